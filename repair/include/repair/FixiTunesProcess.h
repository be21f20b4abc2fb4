#pragma once
// Progress page of the long repair-side operations: the download of the
// repair driver (the iTunes installer), the component repair, the complete
// repair (reinstall), the complete uninstall, the deletion of user data that
// may follow it, and the cancelling of that deletion. The engine reports only
// coarse events, so the page paces its bar itself with three timers:
//  - the fix timer creeps ever more slowly towards 99 during a component repair;
//  - the step timer creeps inside a ceiling that each reported step raises;
//  - the quick timer rushes the bar to just below an aim when a step arrives.
// The bar never shows more than 99; the main window replaces the page by a
// result page when the operation ends.
#include <QString>
#include <QWidget>

class QMovie;
class QTimer;

namespace Ui {
class CFixiTunesProcess;
}

class CFixiTunesProcess : public QWidget {
    Q_OBJECT
public:
    explicit CFixiTunesProcess(QWidget* parent = nullptr);
    ~CFixiTunesProcess() override;

    // View setters.
    void InitDownloadDriverView();
    void InitCompleteRepairView();
    // Paces the fix timer at nFailCount x 500 ms; 0 starts no timer.
    void InitInstallDriverView(int nFailCount);
    void InitUninstallView();
    void InitDeleteUserDataStopView();

    void StopFixProcessTimer();
    // Rushes the bar with the quick timer (every `interval` ms) to aim - 2,
    // unless the bar is already within 5 of the aim.
    void StartQuickToAim(int aim, int interval);

signals:
    // The user confirmed stopping the deletion of user data.
    void SignalDeleteUserDataStop();

public slots:
    void SlotInitDeleteUserDataView();
    // The component being repaired (eItunesProductType).
    void SlotFixiTunesProcess(int product);
    void SlotDownloadiTunesProcess(qlonglong received, qlonglong total);
    // A text for the detail line and an enumUpdateDataStep code.
    void SlotUpdateData(QString text, int step);
    void SlotFixiTunesProcessBar();
    void SlotOneKeyRepairProcessBar();
    void SlotOneKeyQuickToAim();
    void SlotDeleteUserDataStop();

private:
    void initStyle();
    void replaceMovie(const QString& file);
    void resetPacing(int stepInterval);
    void hideStopControls();
    void setDefaultHeights();
    void restartStepTimer();

    Ui::CFixiTunesProcess* ui = nullptr;
    QString m_strSkinPath;
    QMovie* m_pMovie = nullptr;
    QMovie* m_pStopMovie = nullptr;
    QTimer* m_pFixTimer = nullptr;
    QTimer* m_pStepTimer = nullptr;
    QTimer* m_pQuickTimer = nullptr;
    int m_nProgressValue = 0;
    int m_nStepCeiling = 0;
    int m_nItemCount = 0;
    int m_nInstallCount = 0;
    int m_nBaseValue = 0;
    int m_nAimValue = 0;
    int m_nStepInterval = 1000;
    int m_nFixTickCount = 0;
};
