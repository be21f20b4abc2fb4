#pragma once
// The page shown while the user data chosen on the scan result page is
// deleted: an animation, the sizes cleaned so far and in all, a progress bar
// and Stop behind a confirmation. The main window feeds it the engine's
// progress and tells it when a stopped clean has ended.
#include <QString>
#include <QWidget>

class QLabel;
class QMovie;
class ZnMessageBox;

namespace Ui {
class CCleaniTunesUserData;
}

class CCleaniTunesUserData : public QWidget {
    Q_OBJECT
public:
    explicit CCleaniTunesUserData(QWidget* parent = nullptr);
    ~CCleaniTunesUserData() override;

    // Shows the cleaning view with the bar at 0; called before each clean.
    void InitCleanView();

signals:
    void SignalStopCleaniTunesUserData();
    void SignalStopCleaniTunesUserDataFinished();

public slots:
    // The engine's total size of the clean first, the size cleaned so far second.
    void SlotCleaniTunesUserDataProcess(qlonglong totalSize, qlonglong currentFileSize);
    void SlotStopCleaniTunesUserData();
    void SlotStopCleaniTunesUserDataFinished();

private:
    void initStyle();
    void showCancelView();
    // Shows a new animation of the skin image in the label; the one shown
    // before is stopped and dropped.
    void playMovie(QMovie*& movie, QLabel* label, const QString& image);

    Ui::CCleaniTunesUserData* ui = nullptr;
    QString m_strSkinPath;
    ZnMessageBox* m_pStopBox = nullptr;
    QMovie* m_pCleanMovie = nullptr;
    QMovie* m_pCancelMovie = nullptr;
};
