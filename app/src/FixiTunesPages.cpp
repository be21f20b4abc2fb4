// The main window's page area: the repair guide, the result pages of repair,
// reinstall and uninstall, and the file dialogs. Each page is made on first use
// with its connections and kept; only the scan and cleaning pages are made anew
// for each task chosen in the guide.
#include <QCursor>
#include <QDebug>

#include "repair/AdvancedRepairGuide.h"
#include "clean/CleaniTunesUserData.h"
#include "repair/ComponentDamageListShow.h"
#include "app/EngineCallbackScope.h"
#include "app/FixiTunes.h"
#include "repair/FixiTunesFinished.h"
#include "repair/FixiTunesProcess.h"
#include "clean/ScaniTunesData.h"

void FixiTunes::SlotAdvancedRepairGuide(enumFixScene scene) {
    if (!m_pAdvancedRepairGuide) {
        m_pAdvancedRepairGuide = new CAdvancedRepairGuide(PageArea());
        AddPage(m_pAdvancedRepairGuide);
        connect(m_pAdvancedRepairGuide, &CAdvancedRepairGuide::SignalBackHome, this, &FixiTunes::SlotFixiTunesHomeView);
        connect(m_pAdvancedRepairGuide, &CAdvancedRepairGuide::SignalCleaniTunesQuickly, this,
                &FixiTunes::SlotScaniTunesUserData);
        connect(m_pAdvancedRepairGuide, &CAdvancedRepairGuide::SignalCleaniTunesDeeply, this,
                &FixiTunes::SlotScaniTunesUserData);
        connect(m_pAdvancedRepairGuide, &CAdvancedRepairGuide::SignalCompletelyUninstalliTunes, this,
                &FixiTunes::SlotCompletelyUninstalliTunesDeleteUserDataView);
        connect(m_pAdvancedRepairGuide, &CAdvancedRepairGuide::SignalRepairiTunes, this,
                &FixiTunes::SlotAdvancedRepairDownloadProcessView);
    }
    m_pAdvancedRepairGuide->SetFixScene(scene);
    ShowPage(m_pAdvancedRepairGuide);

    // Every scan and clean started from the guide gets fresh pages; deleting
    // them at once also cuts the connections over which a late end of an
    // earlier scan could still arrive.
    delete m_pScaniTunesData;
    m_pScaniTunesData = nullptr;
    delete m_pCleaniTunesUserData;
    m_pCleaniTunesUserData = nullptr;
}

void FixiTunes::SlotComponentDamageListShowDialog(int product) {
    CComponentDamageListShow dialog(this);
    dialog.SetComponentDamageList(m_vecCheckResult, product);
    dialog.setMinimumSize(401, 198);
    dialog.setMaximumSize(401, 198);
    dialog.move(QCursor::pos() + QPoint(-400, -100));
    dialog.exec();
}

void FixiTunes::SlotFileIsOccupiedListShowDialog() {
    CComponentDamageListShow dialog(this);
    dialog.SetFileOccupiedList(m_vecCleanOccupiedFile);
    dialog.SetTitleText(tr("The following files have not been cleaned because they are occupied:"));
    dialog.setMinimumSize(401, 198);
    dialog.setMaximumSize(401, 198);
    dialog.move(QCursor::pos() + QPoint(-400, -100));
    dialog.exec();
}

// ---------------------------------------------------------------------------
// Pages made on first use
// ---------------------------------------------------------------------------

CFixiTunesProcess* FixiTunes::DriverPage() {
    if (!m_pFixiTunesProcess) {
        m_pFixiTunesProcess = new CFixiTunesProcess(PageArea());
        AddPage(m_pFixiTunesProcess);
        connect(this, &FixiTunes::SignalFixiTunesProcess, m_pFixiTunesProcess,
                &CFixiTunesProcess::SlotFixiTunesProcess);
    }
    return m_pFixiTunesProcess;
}

CFixiTunesFinished* FixiTunes::NewResultPage(void (CFixiTunesFinished::*connectTryAgain)()) {
    auto* page = new CFixiTunesFinished(PageArea());
    AddPage(page);
    if (connectTryAgain) (page->*connectTryAgain)();
    connect(page, &CFixiTunesFinished::SignalOk, this, &FixiTunes::SlotFixiTunesHomeView);
    return page;
}

// ---------------------------------------------------------------------------
// Result pages of repair, reinstall and uninstall
// ---------------------------------------------------------------------------

void FixiTunes::SlotFixiTunesSuccess(int fixStatus) {
    if (m_pFixiTunesProcess) m_pFixiTunesProcess->StopFixProcessTimer();
    if (!m_pFixiTunesSuccess) m_pFixiTunesSuccess = NewResultPage(nullptr);
    m_pFixiTunesSuccess->SetFixStatus(fixStatus);
    ShowPage(m_pFixiTunesSuccess);
}

void FixiTunes::SlotFixiTunesFailed(int fixStatus) {
    if (m_pFixiTunesProcess) m_pFixiTunesProcess->StopFixProcessTimer();
    if (!m_pFixiTunesFailed) {
        m_pFixiTunesFailed = NewResultPage(&CFixiTunesFinished::ConnectTryAgainRepair);
        connect(m_pFixiTunesFailed, &CFixiTunesFinished::SignalTryAgainSingleFix, this,
                &FixiTunes::SlotFixiTunesProcessView);
    }
    m_pFixiTunesFailed->SetFixStatus(fixStatus);
    ShowPage(m_pFixiTunesFailed);
}

void FixiTunes::SlotCompleteRepairSuccess(int fixStatus) {
    if (!m_pCompleteRepairSuccess) m_pCompleteRepairSuccess = NewResultPage(nullptr);
    m_pCompleteRepairSuccess->SetFixStatus(fixStatus);
    ShowPage(m_pCompleteRepairSuccess);
}

void FixiTunes::SlotCompleteRepairFailed(int fixStatus) {
    if (!m_pCompleteRepairFailed) {
        m_pCompleteRepairFailed = NewResultPage(&CFixiTunesFinished::ConnectTryAgainOneKeyRepair);
        connect(m_pCompleteRepairFailed, &CFixiTunesFinished::SignalTryAgainRepair, this,
                &FixiTunes::SlotAdvancedRepairDownloadProcessView);
    }
    m_pCompleteRepairFailed->SetFixStatus(fixStatus);
    ShowPage(m_pCompleteRepairFailed);
}

void FixiTunes::SlotCompletelyUninstallSuccess() {
    // "Data removed" only when the user data was to go and its deletion was
    // not stopped on the way.
    const bool dataRemoved = m_bDeleteUserData && !LoadEngineFlag(m_bStopUninstall);
    if (!m_pUninstallSuccess) m_pUninstallSuccess = NewResultPage(nullptr);
    m_pUninstallSuccess->SetFixStatus(dataRemoved ? kFixStatus_UninstallDeleteDataSuccess
                                                  : kFixStatus_UninstallSuccess);
    ShowPage(m_pUninstallSuccess);
}

void FixiTunes::SlotCompletelyUninstallFailed(int fixStatus) {
    if (!m_pUninstallFailed) {
        m_pUninstallFailed = NewResultPage(&CFixiTunesFinished::ConnectTryAgainUninstall);
        connect(m_pUninstallFailed, &CFixiTunesFinished::SignalTryAgainUninstall, this,
                &FixiTunes::SlotCompletelyUninstalliTunesDeleteUserDataView);
    }
    m_pUninstallFailed->SetFixStatus(fixStatus);
    ShowPage(m_pUninstallFailed);
}
