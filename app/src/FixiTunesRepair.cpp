// The main window's repair-side flows: the product check at start, the
// component repair, the complete repair (uninstall keeping the data, then
// install from the unpacked installer) and the complete uninstall. The engine
// callbacks run on engine threads: they update the window's lists and counters
// and emit signals; every page is driven on the GUI thread.
#include <QDebug>
#include <QFileInfo>

#include "repair/AdvancedRepairGuide.h"
#include "repair/CheckiTunesExceptionProcess.h"
#include "gateway/Controller.h"
#include "app/EngineCallbackScope.h"
#include "app/FixiTunes.h"
#include "repair/FixiTunesProcess.h"
#include "repair/ScanResultException.h"
#include "toolkit/ZnMessageBox.h"
#include "platform/Programs.h"
#include "WindowLogging.h"

namespace {

// Set until an uninstall reports its first deletion; set again at its end.
bool s_bFirstDeletion = true;

const char* checkStateName(int state) {
    switch (state) {
    case kCheckItunesProductState_Null: return "kCheckItunesProductState_Null";
    case kCheckItunesProductState_Item_Checking: return "kCheckItunesProductState_Item_Checking";
    case kCheckItunesProductState_Item_Success: return "kCheckItunesProductState_Item_Success";
    case kCheckItunesProductState_Item_Success_NotSure: return "kCheckItunesProductState_Item_Success_NotSure";
    case kCheckItunesProductState_Item_Fail_Miss: return "kCheckItunesProductState_Item_Fail_Miss";
    case kCheckItunesProductState_Item_Fail_Bad: return "kCheckItunesProductState_Item_Fail_Bad";
    case kCheckItunesProductState_All_Check_Complete: return "kCheckItunesProductState_All_Check_Complete";
    default: return "Unknown";
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Engine callbacks
// ---------------------------------------------------------------------------

void FixiTunes::CheckiTunesCallback(void* context, int state, void* result) {
    CEngineCallbackScope scope(context);
    if (FixiTunes* window = scope.Window())
        window->OnCheckiTunes(state, static_cast<const ST_ITUNES_CHECK_RESULT*>(result));
}

void FixiTunes::RepairiTunesCallback(void* context, int state, void* result) {
    CEngineCallbackScope scope(context);
    if (FixiTunes* window = scope.Window())
        window->OnRepairiTunes(state, static_cast<const ST_REPAIR_ITUNES_RESULT*>(result));
}

void FixiTunes::ReinstallUninstallCallback(void* context, int state, void* result) {
    CEngineCallbackScope scope(context);
    if (FixiTunes* window = scope.Window())
        window->OnReinstallUninstall(state, static_cast<const ST_UNINSTALL_ITUNES_RESULT*>(result));
}

void FixiTunes::UninstallCallback(void* context, int state, void* result) {
    CEngineCallbackScope scope(context);
    if (FixiTunes* window = scope.Window())
        window->OnUninstall(state, static_cast<const ST_UNINSTALL_ITUNES_RESULT*>(result));
}

void FixiTunes::InstallCallback(void* context, int state, void* result) {
    CEngineCallbackScope scope(context);
    if (FixiTunes* window = scope.Window())
        window->OnInstall(state, static_cast<const ST_INSTALL_ITUNES_RESULT*>(result));
}

// ---------------------------------------------------------------------------
// Product check
// ---------------------------------------------------------------------------

void FixiTunes::SlotCheckiTunesExceptionProcessView() {
    if (!m_pCheckiTunesExceptionProcess) {
        m_pCheckiTunesExceptionProcess = new CCheckiTunesExceptionProcess(PageArea());
        AddPage(m_pCheckiTunesExceptionProcess);
        connect(this, &FixiTunes::SignalCheckiTunesExceptionFinished, m_pCheckiTunesExceptionProcess,
                &CCheckiTunesExceptionProcess::SlotCheckExceptionFinished);
        connect(this, &FixiTunes::SignalCheckiTunesExceptionProcess, m_pCheckiTunesExceptionProcess,
                &CCheckiTunesExceptionProcess::SlotUpdateProgressBar);
        connect(m_pCheckiTunesExceptionProcess, &CCheckiTunesExceptionProcess::SignalCheckException, this,
                &FixiTunes::SlotScanResultExceptionView);
        connect(m_pCheckiTunesExceptionProcess, &CCheckiTunesExceptionProcess::SignalCheckSuccess, this,
                &FixiTunes::SlotFixiTunesHomeView);
    }
    m_pCheckiTunesExceptionProcess->InitCheckExceptionView();
    ShowPage(m_pCheckiTunesExceptionProcess);
    m_vecCheckResult.clear();
    m_bIsException = false;
}

void FixiTunes::SlotDownloadConfigFileFinished() {
    m_nCheckCount = 0;
    if (!g_pController->CheckiTunes(&FixiTunes::CheckiTunesCallback, EngineContext())) SlotFixiTunesHomeView();
}

void FixiTunes::OnCheckiTunes(int state, const ST_ITUNES_CHECK_RESULT* result) {
    const int product = result ? result->product : 0;
    qCDebug(lcWindow) << QStringLiteral("ProductName======") + QString::fromWCharArray(GetiTunesProductName(product)) +
                             QStringLiteral("=====eCheckItunesProductState====") + QLatin1String(checkStateName(state));

    // The list and the counters are read by the GUI thread only after the
    // signals below, which are emitted after these writes.
    switch (state) {
    case kCheckItunesProductState_Item_Success:
    case kCheckItunesProductState_Item_Success_NotSure:
        if (result) m_vecCheckResult.append(*result);
        break;
    case kCheckItunesProductState_Item_Fail_Miss:
    case kCheckItunesProductState_Item_Fail_Bad:
        m_bIsException = true;
        if (result) m_vecCheckResult.append(*result);
        ++m_nFailCount;
        break;
    default: break;
    }

    if (state != kCheckItunesProductState_All_Check_Complete) {
        ++m_nCheckCount;
        emit SignalCheckiTunesExceptionProcess(m_nCheckCount * (m_niTunesVersionBit == 64 ? 16 : 25));
        return;
    }

    if (result) {
        m_bNeedDowndload = result->bNeedDownload != 0;
        if (result->failCount == 0) {
            m_bIsException = false;
            m_nFailCount = 0;
            m_vecCheckResult.clear();
        }
        qCDebug(lcWindow) << "pResult->failCount=======================" << result->failCount;
    }
    emit SignalCheckiTunesExceptionFinished(m_bIsException);
}

void FixiTunes::SlotScanResultExceptionView() {
    if (!m_pScanResultException) {
        m_pScanResultException = new CScanResultException(PageArea());
        AddPage(m_pScanResultException);
        connect(m_pScanResultException, &CScanResultException::SignalBackHome, this, &FixiTunes::SlotFixiTunesHomeView);
        connect(m_pScanResultException, &CScanResultException::SignalShowComponentDamageListDialog, this,
                &FixiTunes::SlotComponentDamageListShowDialog);
        connect(m_pScanResultException, &CScanResultException::SignalFixiTunes, this,
                &FixiTunes::SlotFixiTunesProcessView);
    }
    m_pScanResultException->LoadComponentData(m_vecCheckResult);
    ShowPage(m_pScanResultException);
}

// ---------------------------------------------------------------------------
// Component repair and complete repair
// ---------------------------------------------------------------------------

bool FixiTunes::ConfirmLatestInstaller() {
    ZnMessageBox box(tr("There is no corresponding repair driver for your iTunes version. To fix this issue, it will "
                        "install the latest version of iTunes.\nAre you sure you want to continue?"),
                     QString(), ZnMessageBoxButton::Yes | ZnMessageBoxButton::No, this);
    box.setBoxSize(510, 230, 510, 230);
    box.setOuterWidgetSize(500, 35, 500, 35);
    box.setInnerWidgetSize(500, 180, 500, 180);
    box.exec();
    if (box.getResult() != ZnMessageBoxButton::Yes) return false;
    m_striTunesVersion = m_strLastiTunesVersion;
    m_strDownloadiTunesUrl = m_strLastDownloadiTunesUrl;
    m_strDownloadiTunesHash = m_strLastDownloadiTunesHash;
    return true;
}

void FixiTunes::SlotFixiTunesProcessView() {
    if (m_bNeedDowndload && (m_bIsDownloadLastVersion || m_bIsNotFindCurrentVersion) && !ConfirmLatestInstaller())
        return;
    CFixiTunesProcess* page = DriverPage();
    qCDebug(lcWindow) << "m_bNeedDowndload==============================" << m_bNeedDowndload;
    if (m_bNeedDowndload)
        page->InitDownloadDriverView();
    else
        page->InitInstallDriverView(m_nFailCount);
    ShowPage(page);

    if (m_bNeedDowndload) {
        SlotCheckLocaliTunesSetup();
        return;
    }
    if (!g_pController->RepairiTunesDamageComponent(&FixiTunes::RepairiTunesCallback, EngineContext()))
        emit SignalFixiTunesFailed(kFixStatus_FixFailedUnknown);
}

void FixiTunes::SlotAdvancedRepairDownloadProcessView(bool isCompleteRepair) {
    if (m_bIsDownloadLastVersion || m_bIsNotFindCurrentVersion) {
        if (!ConfirmLatestInstaller()) return;
        qCDebug(lcWindow) << "708===m_striTunesVersion====" << m_striTunesVersion
                          << "==m_strDownloadiTunesUrl=" << m_strDownloadiTunesUrl
                          << "=m_strDownloadiTunesHash=" << m_strDownloadiTunesHash;
    }
    CFixiTunesProcess* page = DriverPage();
    m_bIsCompleteRepair = isCompleteRepair;
    page->InitDownloadDriverView();
    ShowPage(page);
    SlotCheckLocaliTunesSetup();
}

void FixiTunes::SlotExecuteRepairiTunes() {
    bool isSuccess = false;
    if (m_bIsCompleteRepair) {
        if (!m_pCompleteRepairProcess) {
            m_pCompleteRepairProcess = new CFixiTunesProcess(PageArea());
            AddPage(m_pCompleteRepairProcess);
            connect(this, &FixiTunes::SignalUpdateCompleteRepairData, m_pCompleteRepairProcess,
                    &CFixiTunesProcess::SlotUpdateData);
        }
        m_pCompleteRepairProcess->InitCompleteRepairView();
        ShowPage(m_pCompleteRepairProcess);
        isSuccess =
            g_pController->OneKeyUninstall(&FixiTunes::ReinstallUninstallCallback, EngineContext(), false, nullptr);
        if (!isSuccess) emit SignalCompleteRepairFailed(kFixStatus_RepairFailedUnknown);
    } else {
        DriverPage()->InitInstallDriverView(m_nFailCount);
        isSuccess = g_pController->RepairiTunes(InstallerFolder(), &FixiTunes::RepairiTunesCallback, EngineContext());
        if (!isSuccess) emit SignalFixiTunesFailed(kFixStatus_FixFailedUnknown);
    }
    qCDebug(lcWindow) << "SlotExecuteRepairiTunes=====isSuccess=" << isSuccess;
}

void FixiTunes::OnRepairiTunes(int state, const ST_REPAIR_ITUNES_RESULT* result) {
    if (!result) return;
    if (state == kRepairItunesState_Repairing) {
        emit SignalFixiTunesProcess(result->product);
    } else if (state == kRepairItunesState_Finished) {
        if (result->bSuccess)
            emit SignalFixiTunesSuccess(kFixStatus_FixSuccess);
        else if (result->nErrorCode == kItunesEngineError_ServiceOccupied)
            emit SignalFixiTunesFailed(kFixStatus_ServiceOccupied);
        else
            emit SignalFixiTunesFailed(kFixStatus_FixFailedUnknown);
    }
}

void FixiTunes::OnReinstallUninstall(int state, const ST_UNINSTALL_ITUNES_RESULT* result) {
    const QString text = tr("Installing iTunes ...");
    if (state == kUninstallItunesState_Uninstalling) {
        emit SignalUpdateCompleteRepairData(text, kUpdateDataStep_InstalliTunes);
        return;
    }
    if (state != kUninstallItunesState_Finished) return;
    emit SignalUpdateCompleteRepairData(text, kUpdateDataStep_InstalliTunes);
    if (result && result->bSuccess) {
        emit SignalOneKeyUninstallFinished(true);
    } else if (result && result->nErrorCode == kItunesEngineError_ServiceOccupied) {
        emit SignalCompleteRepairFailed(kFixStatus_ServiceOccupied);
    } else if (result && result->nErrorCode == kItunesEngineError_FileOccupied) {
        // Read by the result page after the signal below.
        m_vecOccupiedFile = result->vecOccupiedFile;
        emit SignalCompleteRepairFailed(kFixStatus_RepairFailedFileOccupied);
    } else {
        emit SignalCompleteRepairFailed(kFixStatus_RepairFailedUnknown);
    }
}

void FixiTunes::SlotOneKeyUninstallFinished(bool isSuccess) {
    if (!isSuccess) {
        emit SignalCompleteRepairFailed(kFixStatus_RepairFailedUnknown);
        return;
    }
    if (!g_pController->OneKeyInstall(InstallerFolder(), &FixiTunes::InstallCallback, EngineContext()))
        emit SignalCompleteRepairFailed(kFixStatus_RepairFailedUnknown);
}

void FixiTunes::OnInstall(int state, const ST_INSTALL_ITUNES_RESULT* result) {
    QString text;
    if (state == kInstallItunesState_Installing) {
        // The engine reports Windows paths: a backslash separates folders too.
        QString path = result ? QString::fromStdWString(result->strInstallerPath) : QString();
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        const QString file = QFileInfo(path).fileName();
        text = tr("Installing ") + file + QStringLiteral(" ...");
        emit SignalUpdateCompleteRepairData(text, kUpdateDataStep_InstallComponent);
    } else if (state == kInstallItunesState_Finished) {
        emit SignalUpdateCompleteRepairData(text, kUpdateDataStep_Done);
        if (result && result->bSuccess)
            emit SignalOneKeyInstallFinished(true);
        else if (result && result->nErrorCode == kItunesEngineError_ServiceOccupied)
            emit SignalCompleteRepairFailed(kFixStatus_ServiceOccupied);
        else
            emit SignalCompleteRepairFailed(kFixStatus_RepairFailedUnknown);
    }
}

void FixiTunes::SlotOneKeyInstallFinished(bool isSuccess) {
    if (isSuccess)
        emit SignalCompleteRepairSuccess(m_pAdvancedRepairGuide ? m_pAdvancedRepairGuide->GetRepairScene()
                                                                : kFixStatus_FixSuccess);
    else
        emit SignalCompleteRepairFailed(kFixStatus_FixFailedUnknown);
}

// ---------------------------------------------------------------------------
// Complete uninstall
// ---------------------------------------------------------------------------

void FixiTunes::SlotCompletelyUninstalliTunesDeleteUserDataView() {
    if (!m_pUninstallProcess) {
        m_pUninstallProcess = new CFixiTunesProcess(PageArea());
        AddPage(m_pUninstallProcess);
        connect(m_pUninstallProcess, &CFixiTunesProcess::SignalDeleteUserDataStop, this,
                &FixiTunes::SlotCompletelyUninstalliTunesDeleteUserDataStopView);
        connect(this, &FixiTunes::SignalUpdateCompleteUninstallData, m_pUninstallProcess,
                &CFixiTunesProcess::SlotUpdateData);
        connect(this, &FixiTunes::SignalCompletelyUninstallDeleteUserDataInit, m_pUninstallProcess,
                &CFixiTunesProcess::SlotInitDeleteUserDataView);
    }
    m_bDeleteUserData = m_pAdvancedRepairGuide && m_pAdvancedRepairGuide->IsDeleteUserData();
    StoreEngineFlag(m_bStopUninstall, false);
    m_pUninstallProcess->InitUninstallView();
    ShowPage(m_pUninstallProcess);
    if (!g_pController->OneKeyUninstall(&FixiTunes::UninstallCallback, EngineContext(), m_bDeleteUserData,
                                        &m_bStopUninstall))
        emit SignalCompletelyUninstalliTunesFailed(kFixStatus_UninstallFailedUnknown);
}

void FixiTunes::SlotCompletelyUninstalliTunesDeleteUserDataStopView() {
    if (!m_pUninstallProcess || !m_pUninstallProcess->isVisible()) return;
    StoreEngineFlag(m_bStopUninstall, true);
    m_pUninstallProcess->InitDeleteUserDataStopView();
    m_pUninstallProcess->show();
}

void FixiTunes::OnUninstall(int state, const ST_UNINSTALL_ITUNES_RESULT* result) {
    QString text;
    switch (state) {
    case kUninstallItunesState_Uninstalling:
        text = tr("Uninstalling ") + (result ? QString::fromStdWString(result->strProductName) : QString()) +
               QStringLiteral(" ...");
        emit SignalUpdateCompleteUninstallData(text, kUpdateDataStep_UninstallComponent);
        break;
    case kUninstallItunesState_Step: emit SignalUpdateCompleteUninstallData(text, kUpdateDataStep_Done); break;
    case kUninstallItunesState_Deleting:
        if (s_bFirstDeletion) {
            emit SignalCompletelyUninstallDeleteUserDataInit();
            s_bFirstDeletion = false;
        }
        text = tr("Deleting ") + (result ? QString::fromStdWString(result->strPath) : QString()) + tr(" ...");
        emit SignalUpdateCompleteUninstallData(text, kUpdateDataStep_DeleteUserData);
        break;
    case kUninstallItunesState_Finished: {
        // User data is deleted only once iTunes itself has been uninstalled, and
        // the user can stop only that deletion: a run that ends stopped after a
        // deletion began has removed iTunes, and its failure is the user's own
        // cancel, not an error. It ends on the success view (the result page
        // then leaves out the data-removed text, see SlotCompletelyUninstallSuccess).
        const bool deletionStopped = !s_bFirstDeletion && LoadEngineFlag(m_bStopUninstall);
        s_bFirstDeletion = true;
        emit SignalUpdateCompleteUninstallData(text, kUpdateDataStep_Done);
        if (result &&
            (result->bSuccess == 1 || (deletionStopped && result->nErrorCode != kItunesEngineError_FileOccupied))) {
            emit SignalUpdateCompleteUninstallData(text, kUpdateDataStep_Done);
            emit SignalCompletelyUninstalliTunesSuccess();
        } else if (result && result->nErrorCode == kItunesEngineError_FileOccupied) {
            m_vecOccupiedFile = result->vecOccupiedFile;
            emit SignalCompletelyUninstalliTunesFailed(kFixStatus_UninstallFailedFileOccupied);
        } else {
            emit SignalCompletelyUninstalliTunesFailed(kFixStatus_UninstallFailedUnknown);
        }
        break;
    }
    default: break;
    }
}

QString FixiTunes::InstallerPath() const { return platform::applicationDir() + QStringLiteral("/iTunesSetup.exe"); }

QString FixiTunes::InstallerFolder() const { return platform::applicationDir() + QStringLiteral("/iTunesSetup"); }
