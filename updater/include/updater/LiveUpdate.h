#pragma once
// The updater's window. initWindow() builds it and starts the check at once:
//
//   "ver" (newer than the product executable's FileVersion, see isOlderVersion)
//     -> "info" (lang=en_GB) -> the release notes at the URL it names (shown)
//     -> "link" (installer URL; enables Update) -> "exinfo" -> the SHA-1 at
//        the URL it names
//
// Update downloads the installer into the updater's own folder "update/" in
// the application folder; when the download has finished and its SHA-1 equals
// the server's (see digestMatches), "Pellact.exe" and the product's process
// are stopped and the installer is started detached with "/VERYSILENT" and
// "/SUPPRESSMSGBOXES"; then the window closes. A file whose digest differs is
// removed. Every failure shows the failure dialog and enables Update again;
// so does "Download failed." (without the dialog), after which a new start
// resumes the task.
//
// main() sets the dynamic properties "silent", "app_name", "server_url" and
// "extra_note" and the shadow width before initWindow(). The style sheet sets
// bgColor and shadowColor (the body and the painted shadow frame).
#include <QString>
#include <QWidget>

#include "updater/UpdateCheckStage.h"

class QLabel;
class QProgressBar;
class QTextEdit;
class ZnLinkQLabel;
class ZnStyleButton;
class libAutoUpdate;
namespace Ui {
class LiveUpdate;
}

class LiveUpdate : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString bgColor READ bgColor WRITE setBgColor)
    Q_PROPERTY(QString shadowColor READ shadowColor WRITE setShadowColor)
public:
    explicit LiveUpdate(QWidget* parent = nullptr);
    ~LiveUpdate() override;

    QString bgColor() const { return m_strBgColor; }
    void setBgColor(const QString& color) { m_strBgColor = color; }
    QString shadowColor() const { return m_strShadowColor; }
    void setShadowColor(const QString& color) { m_strShadowColor = color; }
    void setShadowWidth(int width) { m_nShadowWidth = width; }

    // Builds the facade and the window, then asks for "ver".
    void initWindow();
    // Shows the window and brings it to the front without keeping it on top.
    void showOnTop();

    // True when the product's installed FileVersion is older than
    // `serverVersion`: number by number for dotted decimal versions ("1.9.0"
    // is older than "1.10.0"), else in plain-text order.
    bool isNewVersion(const QString& serverVersion);
    // What the text box shows of release notes: the notes themselves up to
    // kMaxShownNotes characters; longer ones cut at a line end (or, for
    // HTML, a tag's end), else at the limit (never inside a surrogate pair or
    // an entity), and followed by a closing line saying they were cut.
    // Either way passed through withBreakOpportunities.
    static QString shownReleaseNotes(const QString& notes, bool rich);
    static constexpr int kMaxShownNotes = 256 * 1024;
    // `text` with a zero-width space wherever a run without white space (a
    // no-break space joins a run) would grow beyond kMaxUnbrokenRun
    // characters; never between the halves of a surrogate pair. In HTML tags
    // ("<" to a ">" within 8 Ki characters) and entities ("&", up to 32
    // letters, digits or "#", ";") stay whole; any other "<" or "&" is text.
    static QString withBreakOpportunities(const QString& text, bool rich);
    static constexpr int kMaxUnbrokenRun = 512;
    // SHA-1 of the file as 40 upper-case hex digits; a null text when the file
    // cannot be opened or cannot be read to its end.
    static QString getFileDigest(const QString& filePath);
    // Alpha of ring `ring` (0 = outermost) of a shadow frame `width` pixels wide,
    // within 0..255.
    static int shadowAlpha(int width, int ring);

    // Where Update saves the installer: the application folder's "update".
    static QString downloadFolder();

    // Stop attempts of the product before the update gives up.
    static constexpr int kStopRounds = 3;

public slots:
    void slotGetVerInfo();
    void slotGetInfo(int type, QString body);
    void slotStartDownloadFile();
    void slotDownloadProgress(int percent);
    void slotDownloadFinished();
    void slotHandleHttpReturnError(QString text);
    void slotMsgReceivedFromOtherInstance(QString message);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void initAutoUpdate();
    // Builds the window: the form (ui/LiveUpdate.ui), then each step below.
    void setupUi();
    void setupFrame();
    void setupTitleBar(const QString& images);
    void setupProductRow(const QString& images);
    void setupNotesBox();
    void setupButtons(const QString& images);
    void initProductView();
    void updateNoteText(const QString& productName);
    void showFailure();
    // Stops Pellact and the product; false when the product could not be
    // stopped (the failure dialog has been shown for each attempt).
    bool stopProduct();
    bool isSilentAndHidden() const;

    Ui::LiveUpdate* m_ui = nullptr;
    libAutoUpdate* m_pAutoUpdate = nullptr;
    bool m_bPolished = false;
    QString m_strDownloadUrl;
    QString m_strServerDigest;
    QString m_strDownloadDir;
    UpdateCheckStage m_nStage = UpdateCheckStage::Start;
    bool m_bDownloading = false;  // a started download has not yet ended
    QTextEdit* textEditUpdateInfo = nullptr;
    ZnStyleButton* m_pButtonUpdate = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* labelProgressValue = nullptr;
    QLabel* labelProductName = nullptr;
    QWidget* m_pProgressRow = nullptr;
    ZnLinkQLabel* labelNote = nullptr;
    QString m_strBgColor;
    QString m_strShadowColor;
    int m_nShadowWidth = 5;
};
