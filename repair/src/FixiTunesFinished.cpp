#include "repair/FixiTunesFinished.h"

#include <QDesktopServices>
#include <QMargins>
#include <QMovie>
#include <QPixmap>
#include <QUrl>

#include "gateway/Controller.h"
#include "FileNames.h"
#include "MainWindowLists.h"
#include "toolkit/ZnSkinButtons.h"
#include "toolkit/ZnSkinPath.h"
#include "toolkit/ZnStyleButton.h"
#include "toolkit/ZnStyleCommon.h"
#include "platform/Endpoints.h"
#include "ui_CFixiTunesFinished.h"

namespace {

// How a view treats one element: show it, hide it, or leave it as it is.
enum Show : char { S, H, K };

// What a view shows, its picture and its margins; the result views share a
// few of these.
struct ViewLayout {
    bool success;  // success movie; otherwise the failure picture
    Show ok, tryAgain, openiTunes, noteLine, noteIcon, occupiedBox, line, shareRow;
    QMargins buttonRow, shareRowMargins, textColumn;
};

struct ViewRow {
    const char* title;
    const char* sentence;
    ViewLayout layout;
};

// Fixed: "Open iTunes" and the note that links to the other repair mode.
const ViewLayout kFixedLayout = {true, S, H, S, S, K, H, H, S, {0, 0, 0, 20}, {0, 0, 0, 20}, {0, 120, 0, 140}};
// Uninstalled: the note that links to the reinstall guide.
const ViewLayout kUninstalledLayout = {true, S, H, H, S, K, H, H, S, {0, 0, 0, 20}, {0, 0, 0, 20}, {0, 120, 0, 140}};
// Repaired: "Open iTunes", the line and the share row.
const ViewLayout kRepairedLayout = {true, S, H, S, H, H, H, S, S, {0, 0, 0, 36}, {0, 30, 0, 20}, {0, 122, 0, 140}};
// An unknown error: "Try Again".
const ViewLayout kUnknownErrorLayout = {false, S, S, H, H, H, H, H, H, {0, 24, 0, 0}, {0, 0, 0, 20}, {0, 165, 0, 175}};
// Occupied files: their list instead of "Try Again".
const ViewLayout kFilesOccupiedLayout = {false, S, H, H, H, H, S, H, H, {0, 12, 0, 0}, {0, 0, 0, 20}, {0, 110, 0, 140}};
// An incomplete repair driver: "Try Again".
const ViewLayout kDriverIncompleteLayout = {false,           S, S, H, H, H, H, H, H, {0, 12, 0, 0}, {0, 0, 0, 20},
                                            {0, 165, 0, 170}};
// Occupied services: "OK" alone.
const ViewLayout kServicesOccupiedLayout = {false,           S, H, H, H, H, H, H, H, {0, 12, 0, 0}, {0, 0, 0, 20},
                                            {0, 165, 0, 178}};

const char* const kTitleUninstalled = QT_TRANSLATE_NOOP("CFixiTunesFinished", "iTunes Uninstalled Successfully!");
const char* const kTitleRepaired = QT_TRANSLATE_NOOP("CFixiTunesFinished", "iTunes Repaired Successfully!");
const char* const kTitleRepairFailed = QT_TRANSLATE_NOOP("CFixiTunesFinished", "Repair Failed.");
const char* const kTitleUninstallFailed = QT_TRANSLATE_NOOP("CFixiTunesFinished", "iTunes Uninstallation Failed.");

const char* const kSentenceOccupied =
    "The repair failed because some files are occupied. Please restart your PC and try it again.";
const char* const kSentenceDriverIncomplete =
    "The repair failed because the repair driver is incomplete. Please make sure you have a stable network "
    "connection and try it again.";

// One row per enumFixStatus code 0 to 16.
const ViewRow kViews[] = {
    {QT_TRANSLATE_NOOP("CFixiTunesFinished", "iTunes Fixed Successfully!"),
     "The iTunes repairing process is done. You can use your iTunes properly now.", kFixedLayout},
    {kTitleUninstalled, "iTunes and related software components have been completely uninstalled from your computer.",
     kUninstalledLayout},
    {kTitleUninstalled,
     "iTunes and related software components have been completely uninstalled and the iTunes data has been "
     "removed from your computer.",
     kUninstalledLayout},
    {kTitleRepaired,
     "The issue \"iTunes failed to detect iPhone/iPad/iPod\" has been fixed. Now you can use your iTunes properly.",
     kRepairedLayout},
    {kTitleRepaired,
     "iTunes installation or update issues have been fixed. Now you can use your iTunes or upgrade it properly.",
     kRepairedLayout},
    {kTitleRepaired,
     "The issues occurred when backing up or restoring backup have been fixed. Now you can use your iTunes "
     "normally.",
     kRepairedLayout},
    {kTitleRepaired, "Your iTunes has been deeply repaired. You can have a better experience with iTunes now.",
     kRepairedLayout},
    {kTitleRepairFailed, "The repair failed because an unknown error occurred.<br>Please try it again.",
     kUnknownErrorLayout},
    {kTitleRepairFailed, kSentenceOccupied, kFilesOccupiedLayout},
    {kTitleRepairFailed, kSentenceDriverIncomplete, kDriverIncompleteLayout},
    {kTitleRepairFailed, "The repair failed because an unknown error occurred. <br>Please try it again.",
     kUnknownErrorLayout},
    {kTitleRepairFailed, kSentenceOccupied, kFilesOccupiedLayout},
    {kTitleRepairFailed, kSentenceDriverIncomplete, kDriverIncompleteLayout},
    {kTitleRepairFailed,
     "The repair failed because some iTunes services are occupied. Please restart your PC and try it again.",
     kServicesOccupiedLayout},
    {kTitleUninstallFailed, "iTunes uninstallation failed because an unknown error occurred. <br>Please try it again.",
     kUnknownErrorLayout},
    {kTitleUninstallFailed,
     "It failed to uninstall your iTunes because some files are occupied. Please restart your PC and try it again.",
     kFilesOccupiedLayout},
    {QT_TRANSLATE_NOOP("CFixiTunesFinished", "Data Deletion Failed."),
     "iTunes uninstallation completed. But it failed to delete user because some files are occupied. Please "
     "restart your PC and try it again.",
     kFilesOccupiedLayout},
};
constexpr int kViewCount = int(sizeof(kViews) / sizeof(kViews[0]));
static_assert(kViewCount == kFixStatus_DeleteDataFailedFileOccupied + 1, "one view per result code 0 to 16");

void apply(Show show, std::initializer_list<QWidget*> widgets) {
    if (show == K) return;
    for (QWidget* w : widgets) w->setVisible(show == S);
}

bool listsOccupiedFiles(int code) {
    return code == kFixStatus_FixFailedFileOccupied || code == kFixStatus_RepairFailedFileOccupied ||
           code == kFixStatus_UninstallFailedFileOccupied || code == kFixStatus_DeleteDataFailedFileOccupied;
}

// The web site's address in the given scheme.
QString siteAddress(const QString& scheme) {
    QUrl site(platform::endpoint(platform::Endpoint::WebSite), QUrl::TolerantMode);
    site.setScheme(scheme);
    return site.toString();
}

// The product's page on its web site, in the given scheme.
QString productPageAddress(const QString& scheme) { return siteAddress(scheme) + QStringLiteral("/repair-itunes/"); }

QString reinstallGuideAddress() {
    return siteAddress(QStringLiteral("https")) +
           QStringLiteral("/clean-itunes/download-the-latest-old-version-of-itunes/");
}

const char* const kShareText =
    "&text=One%20click%20to%20fix%20iTunes%20issues%20and%20optimize%20iTunes%20performance!";

CFixiTunesFinished::OccupiedFileSource& occupiedFileSource() {
    static CFixiTunesFinished::OccupiedFileSource source;
    return source;
}

}  // namespace

CFixiTunesFinished::CFixiTunesFinished(QWidget* parent) : QWidget(parent), ui(new Ui::CFixiTunesFinished) {
    ui->setupUi(this);
    initStyle();

    connect(ui->pushButton_OK, &QPushButton::clicked, this, &CFixiTunesFinished::SlotOk);
    connect(ui->btnFaceBook, &QPushButton::clicked, this, &CFixiTunesFinished::SlotFaceBook);
    connect(ui->btnTwitter, &QPushButton::clicked, this, &CFixiTunesFinished::SlotTwitter);
    connect(ui->btnGoogle, &QPushButton::clicked, this, &CFixiTunesFinished::SlotGoogle);
    connect(ui->pushButton_OpeniTunes, &QPushButton::clicked, this, &CFixiTunesFinished::SlotOpeniTunes);
    connect(ui->label_SuccessNote, &QLabel::linkActivated, this, &CFixiTunesFinished::SlotClickLink);
}

CFixiTunesFinished::~CFixiTunesFinished() {
    delete m_pSuccessMovie;
    delete ui;
}

void CFixiTunesFinished::initStyle() {
    ui->label_title->setFont(g_styleCommon.getFont(39));
    ui->label_title->setStyleSheet(ZnStyleCommon::getColorStyleSheet(9));
    ui->label_title->adjustSize();
    ui->label_text->setFont(g_styleCommon.getFont(19));
    ui->label_text->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    ui->label_text->setWordWrap(true);
    ui->label_text->adjustSize();
    ui->LabelShare->setFont(g_styleCommon.getFont(19));
    ui->LabelShare->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    ui->LabelShare->adjustSize();
    ui->label_SuccessNote->setFont(g_styleCommon.getFont(15));
    ui->label_SuccessNote->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    ui->label_SuccessNote->adjustSize();
    ui->pushButton_OK->setFont(g_styleCommon.getFont(15));
    ui->pushButton_OK->setStyleSheet(ZnStyleCommon::getColorStyleSheet(3));
    ui->pushButton_OpeniTunes->setFont(g_styleCommon.getFont(15));
    ui->pushButton_TryAgain->setFont(g_styleCommon.getFont(15));
    ui->label_fileIsOccupiedTitle->setFont(g_styleCommon.getFont(15));
    ui->label_fileIsOccupiedTitle->setStyleSheet(ZnStyleCommon::getColorStyleSheet(13));
    ui->labelList->setFont(g_styleCommon.getFont(11));
    ui->labelList->setStyleSheet(
        QStringLiteral("QLabel{margin-top:5px;margin-right:0px;margin-bottom:5px; margin-left:11px;}"));
    ui->widgetFilesOccupied->setStyleSheet(
        QStringLiteral("QWidget #widgetFilesOccupied{border:1px solid;border-color:#e6e6e6;padding:0;}"));

    m_strSkinPath = QString::fromStdString(GetSkinPath());
    const QString& skin = m_strSkinPath;

    m_pSuccessMovie = new QMovie(skin + QStringLiteral("/gif/Succeed.gif"));

    setFilledButtonImages(ui->pushButton_OK, skin);
    for (ZnStyleButton* button : {ui->pushButton_OpeniTunes, ui->pushButton_TryAgain})
        setOutlineButtonStyle(button, skin, QStringLiteral("button110_34"));

    ui->label->setPixmap(QPixmap(skin + QStringLiteral("/Application/iTunesNoteIcon.png")));

    ui->btnFaceBook->setImages(skin + QStringLiteral("/Application/ShareFacebookNormal.png"),
                               skin + QStringLiteral("/Application/ShareFacebookHover.png"),
                               skin + QStringLiteral("/Application/ShareFacebookNormal.png"),
                               skin + QStringLiteral("/Application/ShareFacebookNormal.png"));
    ui->btnGoogle->setImages(skin + QStringLiteral("/Application/ShareGoogleNormal.png"),
                             skin + QStringLiteral("/Application/ShareGoogleHover.png"),
                             skin + QStringLiteral("/Application/ShareGoogleNormal.png"),
                             skin + QStringLiteral("/Application/ShareGoogleNormal.png"));
    ui->btnTwitter->setImages(skin + QStringLiteral("/Application/ShareTwitterNormal.png"),
                              skin + QStringLiteral("/Application/ShareTwitterHover.png"),
                              skin + QStringLiteral("/Application/ShareTwitterNormal.png"),
                              skin + QStringLiteral("/Application/ShareTwitterNormal.png"));
}

void CFixiTunesFinished::SetFixStatus(int fixStatus) {
    if (fixStatus < 0 || fixStatus >= kViewCount) return;
    const ViewRow& row = kViews[fixStatus];
    const ViewLayout& view = row.layout;

    ui->label_title->setText(tr(row.title));
    ui->label_text->setText(
        tr("<html><head/><body><p style=\"height:16px;line-height:24px;color:#787878\"> %1</p></body></html>")
            .arg(QString::fromUtf8(row.sentence)));

    apply(view.ok, {ui->pushButton_OK});
    apply(view.tryAgain, {ui->pushButton_TryAgain});
    apply(view.openiTunes, {ui->pushButton_OpeniTunes});
    apply(view.noteLine, {ui->labelLine_2, ui->label_SuccessNote});
    apply(view.noteIcon, {ui->label});
    apply(view.occupiedBox, {ui->widget_fileIsOccupied, ui->widgetFilesOccupied});
    apply(view.line, {ui->labelLine});
    apply(view.shareRow, {ui->widget_share, ui->LabelShare, ui->btnFaceBook, ui->btnTwitter, ui->btnGoogle});

    ui->horizontalLayoutButton->setContentsMargins(view.buttonRow);
    ui->horizontalLayoutShare->setContentsMargins(view.shareRowMargins);
    ui->verticalLayoutData->setContentsMargins(view.textColumn);

    if (view.success) {
        ui->label_image->setMovie(m_pSuccessMovie);
        m_pSuccessMovie->start();
    } else {
        ui->label_image->setPixmap(QPixmap(m_strSkinPath + QStringLiteral("/Application/Failed_249x221.png")));
    }

    if (fixStatus == kFixStatus_FixSuccess) {
        ui->label_SuccessNote->setText(
            tr("<html><head/><body><p>Note: If your iTunes still performs abnormally, please use <br>< a href = "
               "\"other repair mode\"><span style=\"text-decoration: none; color:#377dff;\">other repair "
               "mode</span></a>.</p></body></html>"));
    } else if (fixStatus == kFixStatus_UninstallSuccess || fixStatus == kFixStatus_UninstallDeleteDataSuccess) {
        ui->label_SuccessNote->setText(
            tr("<html><head/><body><p>Note: If you want to reinstall iTunes, please < a href = \"%1\"><span "
               "style=\"text-decoration: none; color:#377dff;\">click here</span></a>.</p></body></html>")
                .arg(reinstallGuideAddress()));
    } else if (listsOccupiedFiles(fixStatus)) {
        fillOccupiedFileList();
    }
}

void CFixiTunesFinished::fillOccupiedFileList() {
    const OccupiedFileSource& source = occupiedFileSource();
    const std::vector<std::wstring> files = source ? source() : repair::MainWindowOccupiedFiles();
    if (files.empty()) return;

    const QString bullet = QStringLiteral(" \u00B7  ");
    QString list;
    for (const std::wstring& path : files) {
        // The names come from the engine and go into rich text: escaped, so
        // that a name like "<b>x</b>" is shown as written.
        list += QStringLiteral(
                    "<html><head/><body><p style=\"line-height:10px;color:#787878\"><b>%1</b> %2</p></body></html>")
                    .arg(bullet, repair::fileNameOf(path).toHtmlEscaped());
    }
    ui->labelList->setText(list);
}

void CFixiTunesFinished::SetOccupiedFileSource(OccupiedFileSource source) { occupiedFileSource() = std::move(source); }

void CFixiTunesFinished::ConnectTryAgainRepair() {
    connect(ui->pushButton_TryAgain, &QPushButton::clicked, this, &CFixiTunesFinished::SlotTryAgainRepair);
}

void CFixiTunesFinished::ConnectTryAgainOneKeyRepair() {
    connect(ui->pushButton_TryAgain, &QPushButton::clicked, this, &CFixiTunesFinished::SlotTryAgainOneKeyRepair);
}

void CFixiTunesFinished::ConnectTryAgainUninstall() {
    connect(ui->pushButton_TryAgain, &QPushButton::clicked, this, &CFixiTunesFinished::SlotTryAgainUninstall);
}

void CFixiTunesFinished::SlotOk() { emit SignalOk(); }

void CFixiTunesFinished::SlotFaceBook() {
    const QString address = platform::endpoint(platform::Endpoint::FacebookShare) + QStringLiteral("/sharer.php?u=") +
                            productPageAddress(QStringLiteral("http"));
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

void CFixiTunesFinished::SlotTwitter() {
    const QString address = platform::endpoint(platform::Endpoint::TwitterShare) +
                            QStringLiteral("/intent/tweet?url=") + productPageAddress(QStringLiteral("https")) +
                            QLatin1String(kShareText);
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

void CFixiTunesFinished::SlotGoogle() {
    const QString address = platform::endpoint(platform::Endpoint::GoogleShare) + QStringLiteral("/share?url=") +
                            productPageAddress(QStringLiteral("https")) + QLatin1String(kShareText);
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

void CFixiTunesFinished::SlotOpeniTunes() {
    if (g_pController) g_pController->OpeniTunes();
}

void CFixiTunesFinished::SlotClickLink(QString link) {
    if (link == QLatin1String("other repair mode")) {
        emit SignalOk();
        return;
    }
    QDesktopServices::openUrl(QUrl(link, QUrl::TolerantMode));
}

void CFixiTunesFinished::SlotTryAgainRepair() { emit SignalTryAgainSingleFix(); }

void CFixiTunesFinished::SlotTryAgainOneKeyRepair() { emit SignalTryAgainRepair(true); }

void CFixiTunesFinished::SlotTryAgainUninstall() { emit SignalTryAgainUninstall(); }
