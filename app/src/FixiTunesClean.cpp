// The main window's side of Quick Clean and Deep Clean: the engine's scan of
// the iTunes user data (whose items the scan page polls from the controller),
// the clean of what the user chose, the stop requests of both, and the cleaning
// result pages.
#include <QDebug>

#include "repair/AdvancedRepairGuide.h"
#include "clean/CleaniTunesUserData.h"
#include "clean/CleaniTunesUserDataFinished.h"
#include "gateway/Controller.h"
#include "app/EngineCallbackScope.h"
#include "app/FixiTunes.h"
#include "clean/ScaniTunesData.h"
#include "WindowLogging.h"

void FixiTunes::ScaniTunesUserDataCallback(void* context, int state, void* result) {
    CEngineCallbackScope scope(context);
    if (FixiTunes* window = scope.Window())
        window->OnScaniTunesUserData(state, static_cast<const ST_ITUNES_USERDATA_ITEM*>(result));
}

void FixiTunes::CleaniTunesUserDataCallback(void* context, int state, void* result) {
    CEngineCallbackScope scope(context);
    if (FixiTunes* window = scope.Window())
        window->OnCleaniTunesUserData(state, static_cast<const ST_DELETE_ITUNES_USERDATA_RESULT*>(result));
}

// ---------------------------------------------------------------------------
// Scan
// ---------------------------------------------------------------------------

void FixiTunes::SlotScaniTunesUserData() {
    if (!m_pScaniTunesData) {
        m_pScaniTunesData = new CScaniTunesData(PageArea());
        AddPage(m_pScaniTunesData);
        connect(m_pScaniTunesData, &CScaniTunesData::SignalCleaniTunesUserData, this,
                &FixiTunes::SlotCleaniTunesUserData);
        connect(m_pScaniTunesData, &CScaniTunesData::SignalStopScaniTunesUserData, this,
                &FixiTunes::SlotStopScaniTunesUserData);
        connect(m_pScaniTunesData, &CScaniTunesData::SignalStopScaniTunesUserDataFinished, this,
                &FixiTunes::SlotFixiTunesHomeView);
        connect(m_pScaniTunesData, &CScaniTunesData::SignalBackHome, this, &FixiTunes::SlotFixiTunesHomeView);
        connect(this, &FixiTunes::SignalStopScaniTunesUserDataFinished, m_pScaniTunesData,
                &CScaniTunesData::SlotStopScaniTunesUserDataFinished);
        connect(this, &FixiTunes::SignalScaniTunesUserDataFinished, m_pScaniTunesData,
                &CScaniTunesData::SlotScaniTunesUserDataFinished);
    }
    const int scene = m_pAdvancedRepairGuide ? m_pAdvancedRepairGuide->GetFixScene() : kFixScene_QuickClean;
    m_pScaniTunesData->InitScanView(scene);
    ShowPage(m_pScaniTunesData);

    m_bDeepScaniTunesUserData = scene == kFixScene_DeepClean;
    StoreEngineFlag(m_bStopScaniTunesUserData, false);
    // The page loads the item list from its start: items of an earlier scan must
    // not be offered again when this scan was reached without the home page
    // (Try Again leads straight back to the guide).
    g_pController->ClearUserDataItems();
    qCDebug(lcWindow) << "SlotScaniTunesUserData========================m_bDeepScaniTunesUserData===="
                      << m_bDeepScaniTunesUserData;
    const bool isSuccess = g_pController->ScaniTunesUserData(&FixiTunes::ScaniTunesUserDataCallback, EngineContext(),
                                                             m_bDeepScaniTunesUserData, &m_bStopScaniTunesUserData);
    qCDebug(lcWindow) << "SlotScaniTunesUserData=========================isSuccess=====" << isSuccess;
    if (isSuccess) {
        m_pScaniTunesData->StartLoadTimer();
        return;
    }
    // A scan that never started would leave the page waiting for an end that
    // cannot come: the task's failure is shown instead, with Try Again.
    emit SignalCleaniTunesUserDataFailed(kFixStatus_CleanFailed, 0);
}

void FixiTunes::OnScaniTunesUserData(int state, const ST_ITUNES_USERDATA_ITEM* item) {
    if (state == kEnumItunesUserDataState_Enum_Item) {
        // Backups that cannot be used are not offered for cleaning.
        if (item && (item->type != kItunesUserDataType_iOSBackup || item->stBackupInfo.isVaild))
            g_pController->AddUserDataItem(*item);
        return;
    }
    if (state != kEnumItunesUserDataState_Enum_End) return;
    const bool stopped = LoadEngineFlag(m_bStopScaniTunesUserData);
    qCDebug(lcWindow) << "AnalysisScaniTunesUserDataCallback=======kEnumItunesUserDataState_Enum_End======"
                         "m_bStopScaniTunesUserData==="
                      << stopped;
    if (stopped)
        emit SignalStopScaniTunesUserDataFinished();
    else
        emit SignalScaniTunesUserDataFinished();
}

void FixiTunes::SlotStopScaniTunesUserData() { StoreEngineFlag(m_bStopScaniTunesUserData, true); }

void FixiTunes::SlotScaniTunesUserDataProcess() {}

// ---------------------------------------------------------------------------
// Clean
// ---------------------------------------------------------------------------

void FixiTunes::SlotCleaniTunesUserData() {
    if (!m_pCleaniTunesUserData) {
        m_pCleaniTunesUserData = new CCleaniTunesUserData(PageArea());
        AddPage(m_pCleaniTunesUserData);
        connect(m_pCleaniTunesUserData, &CCleaniTunesUserData::SignalStopCleaniTunesUserData, this,
                &FixiTunes::SlotStopCleaniTunesUserData);
        connect(m_pCleaniTunesUserData, &CCleaniTunesUserData::SignalStopCleaniTunesUserDataFinished, this,
                &FixiTunes::SlotFixiTunesHomeView);
        connect(this, &FixiTunes::SignalStopCleaniTunesUserDataFinished, m_pCleaniTunesUserData,
                &CCleaniTunesUserData::SlotStopCleaniTunesUserDataFinished);
        connect(this, &FixiTunes::SignalCleaniTunesUserDatProcess, m_pCleaniTunesUserData,
                &CCleaniTunesUserData::SlotCleaniTunesUserDataProcess);
    }
    m_pCleaniTunesUserData->InitCleanView();
    ShowPage(m_pCleaniTunesUserData);

    // The request lives in the window, so it stays valid for as long as an
    // engine might look at it.
    m_vecCleanSubTypes.clear();
    m_vecCleanBackupIds.clear();
    if (m_pScaniTunesData) {
        m_pScaniTunesData->GetUserDataSubTypeList(m_vecCleanSubTypes);
        m_pScaniTunesData->GetBackupIdList(m_vecCleanBackupIds);
    }
    qCDebug(lcWindow) << "tempVecUserDataSubType.size==========================" << m_vecCleanSubTypes.size();
    qCDebug(lcWindow) << "tempVecBackupID.size==========================" << m_vecCleanBackupIds.size();
    StoreEngineFlag(m_bStopCleaniTunesUserData, false);
    CloseiTunesSoftware();

    const bool isSuccess =
        g_pController->CleaniTuensUserData(&FixiTunes::CleaniTunesUserDataCallback, EngineContext(),
                                           &m_vecCleanSubTypes, &m_vecCleanBackupIds, &m_bStopCleaniTunesUserData);
    qCDebug(lcWindow) << "SlotScaniTunesUserData=========================isSuccess=====" << isSuccess;
    if (!isSuccess) {
        qCDebug(lcWindow) << "FixiTunes::SlotCleaniTunesUserData===========faild===================";
        emit SignalCleaniTunesUserDataFailed(kFixStatus_CleanFailed, 0);
    }
}

void FixiTunes::OnCleaniTunesUserData(int state, const ST_DELETE_ITUNES_USERDATA_RESULT* result) {
    if (!result) return;
    if (state == kDeleteItunesUserDataState_Deleting) {
        emit SignalCleaniTunesUserDatProcess(result->llTotalSize, result->llDoneSize);
        return;
    }
    if (state != kDeleteItunesUserDataState_DeleteComplete) return;
    const bool stopped = LoadEngineFlag(m_bStopCleaniTunesUserData);
    qCDebug(lcWindow) << "kDeleteItunesUserDataState_DeleteComplete======" << state
                      << "fileSize=====" << result->llTotalSize << "===m_bStopCleaniTunesUserData===" << stopped
                      << "====pResult->bSucess=====" << result->bSucess;
    if (stopped) {
        emit SignalStopCleaniTunesUserDataFinished();
    } else if (result->bSucess) {
        qCDebug(lcWindow) << "emit SignalCleaniTunesUserDataSuccess======pResult->bSucess=====" << result->bSucess;
        emit SignalCleaniTunesUserDataSuccess(result->llTotalSize);
    } else if (result->vecOccupiedFile.empty()) {
        emit SignalCleaniTunesUserDataFailed(kFixStatus_CleanFailed, result->llDoneSize);
    } else {
        // Read by the occupied-file dialog after the signal below.
        m_vecCleanOccupiedFile = result->vecOccupiedFile;
        emit SignalCleaniTunesUserDataFailed(kFixStatus_CleanFileOccupied, result->llDoneSize);
    }
}

void FixiTunes::SlotStopCleaniTunesUserData() {
    if (m_pCleaniTunesUserData && m_pCleaniTunesUserData->isVisible())
        StoreEngineFlag(m_bStopCleaniTunesUserData, true);
}

// ---------------------------------------------------------------------------
// Cleaning results
// ---------------------------------------------------------------------------

void FixiTunes::SlotCleaniTunesUserDataSuccess(qlonglong cleanedSize) {
    qCDebug(lcWindow) << "FixiTunes::SlotCleaniTunesUserDataSuccess(=====fileSize=====" << cleanedSize;
    if (!m_pCleanSuccess) {
        m_pCleanSuccess = new CCleaniTunesUserDataFinished(PageArea());
        AddPage(m_pCleanSuccess);
        connect(m_pCleanSuccess, &CCleaniTunesUserDataFinished::SignalOkToHome, this,
                &FixiTunes::SlotFixiTunesHomeView);
    }
    m_pCleanSuccess->InitCleanSuccessView(cleanedSize);
    ShowPage(m_pCleanSuccess);
}

void FixiTunes::SlotCleaniTunesUserDataFailed(int fixStatus, qlonglong cleanedSize) {
    if (!m_pCleanFailed) {
        m_pCleanFailed = new CCleaniTunesUserDataFinished(PageArea());
        AddPage(m_pCleanFailed);
        connect(m_pCleanFailed, &CCleaniTunesUserDataFinished::SignalOkToHome, this, &FixiTunes::SlotFixiTunesHomeView);
        connect(m_pCleanFailed, &CCleaniTunesUserDataFinished::SignalTryAgain, this,
                &FixiTunes::SlotAdvancedRepairGuide);
        connect(m_pCleanFailed, &CCleaniTunesUserDataFinished::SignalFileOccupied, this,
                &FixiTunes::SlotFileIsOccupiedListShowDialog);
    }
    if (fixStatus == kFixStatus_CleanFailed)
        m_pCleanFailed->InitCleanFailedView(m_pAdvancedRepairGuide ? m_pAdvancedRepairGuide->GetFixScene()
                                                                   : kFixScene_QuickClean);
    else
        m_pCleanFailed->InitCleanFileOccupiedView(cleanedSize);
    ShowPage(m_pCleanFailed);
}
