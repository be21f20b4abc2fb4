#include "gateway/Controller.h"

#include <QDebug>
#include <QLibrary>

#include "platform/Programs.h"
#include "GatewayLogging.h"

Q_LOGGING_CATEGORY(lcGateway, "corvane.gateway")

CController* g_pController = nullptr;

CController::CController() {
    m_pFixMgr = nullptr;
    m_pUserDataMgr = nullptr;
    m_vecUserDataItems.clear();

    // The engine is loaded by absolute path and never unloaded: its managers and
    // threads live for the process.
    const QString path = platform::libraryPath(QStringLiteral("Sorvel.dll"));
    QLibrary library(path);
    if (!library.load()) {
        m_strEngineLoadError =
            QStringLiteral("The repair engine could not be loaded from \"%1\": %2").arg(path, library.errorString());
        qCDebug(lcGateway) << "CController::CController======load failed=====" << m_strEngineLoadError;
        return;
    }

    auto createFixMgr = reinterpret_cast<PFN_CreateFixItuensMgr>(library.resolve("CreateFixItuensMgr"));
    auto createUserDataMgr = reinterpret_cast<PFN_CreateItunesUserDataMgr>(library.resolve("CreateItunesUserDataMgr"));
    if (!createFixMgr || !createUserDataMgr) {
        m_strEngineLoadError =
            QStringLiteral("The repair engine \"%1\" does not provide \"%2\".")
                .arg(path, QLatin1String(!createFixMgr ? "CreateFixItuensMgr" : "CreateItunesUserDataMgr"));
        qCDebug(lcGateway) << "CController::CController======resolve failed=====" << m_strEngineLoadError;
        return;
    }

    IFixItunesMgr* fixMgr = createFixMgr();
    IItunesUserDataMgr* userDataMgr = createUserDataMgr();
    if (!fixMgr || !userDataMgr) {
        m_strEngineLoadError = QStringLiteral("The repair engine \"%1\" could not create its managers.").arg(path);
        qCDebug(lcGateway) << "CController::CController======create failed=====" << m_strEngineLoadError;
        return;
    }
    m_pFixMgr = fixMgr;
    m_pUserDataMgr = userDataMgr;
}

// The managers belong to the engine and live for the process: nothing of the
// engine is released here.
CController::~CController() = default;

bool CController::IsEngineLoaded() const { return m_pFixMgr && m_pUserDataMgr; }

QString CController::GetEngineLoadError() const { return m_strEngineLoadError; }

QString CController::GetiTunesVersion() {
    if (!m_pFixMgr) return QString();
    return QString::fromStdWString(m_pFixMgr->GetiTunesVersion());
}

int CController::GetiTunesVersionBit() {
    if (m_pFixMgr && m_pFixMgr->GetiTunesVersionBit() == 1) return 64;
    return 32;
}

int CController::OpeniTunes() {
    if (!m_pFixMgr) return 0;
    return m_pFixMgr->OpeniTunes();
}

bool CController::CheckiTunes(ItunesEngineCallback callback, void* context) {
    const bool isResult = m_pFixMgr && m_pFixMgr->CheckiTunes(callback, context, 0);
    qCDebug(lcGateway) << "isResult================CheckiTunes==========================" << isResult;
    return isResult;
}

bool CController::RepairiTunes(const QString& folder, ItunesEngineCallback callback, void* context) {
    const bool isResult = m_pFixMgr && m_pFixMgr->RepairiTunes(folder.toStdWString(), callback, context);
    qCDebug(lcGateway) << "isResult==============RepairiTunes============================" << isResult;
    return isResult;
}

bool CController::RepairiTunesDamageComponent(ItunesEngineCallback callback, void* context) {
    const bool isResult = m_pFixMgr && m_pFixMgr->RepairiTunesDamageComponent(callback, context);
    qCDebug(lcGateway) << "isResult==============RepairiTunesDamageComponent============================" << isResult;
    return isResult;
}

bool CController::OneKeyUninstall(ItunesEngineCallback callback, void* context, bool deleteUserData, bool* stop) {
    const bool isResult = m_pFixMgr && m_pFixMgr->OneKeyUninstall(callback, context, deleteUserData, stop);
    qCDebug(lcGateway) << "isResult==============OneKeyUninstall============================" << isResult;
    return isResult;
}

bool CController::OneKeyInstall(QString folder, ItunesEngineCallback callback, void* context) {
    const bool isResult = m_pFixMgr && m_pFixMgr->OneKeyInstall(folder.toStdWString(), callback, context);
    qCDebug(lcGateway) << "isResult==============OneKeyInstall============================" << isResult;
    return isResult;
}

bool CController::ScaniTunesUserData(ItunesEngineCallback callback, void* context, bool deep, bool* stop) {
    const bool isResult = m_pUserDataMgr && m_pUserDataMgr->ScaniTunesUserData(callback, context, deep, stop);
    qCDebug(lcGateway) << "isResult==============ScaniTunesUserData============================" << isResult;
    return isResult;
}

bool CController::CleaniTuensUserData(ItunesEngineCallback callback, void* context, std::vector<int>* subTypes,
                                      std::vector<int>* backupIds, bool* stop) {
    const bool isResult =
        m_pUserDataMgr && m_pUserDataMgr->CleaniTuensUserData(callback, context, subTypes, backupIds, stop);
    qCDebug(lcGateway) << "isResult==============CleaniTuensUserData============================" << isResult;
    return isResult;
}

void CController::AddUserDataItem(const ST_ITUNES_USERDATA_ITEM& item) {
    KSB::CAutoMutexControl lock(&m_lock);
    m_vecUserDataItems.append(item);
}

std::optional<ST_ITUNES_USERDATA_ITEM> CController::GetUserDataItem(int index) {
    KSB::CAutoMutexControl lock(&m_lock);
    if (index < 0 || index >= m_vecUserDataItems.size()) return std::nullopt;
    // A copy taken under the lock: the list may grow (and move its elements) as
    // soon as the lock is given back.
    return m_vecUserDataItems.at(index);
}

int CController::GetUserDataItemCount() {
    KSB::CAutoMutexControl lock(&m_lock);
    return m_vecUserDataItems.size();
}

void CController::ClearUserDataItems() {
    KSB::CAutoMutexControl lock(&m_lock);
    if (!m_vecUserDataItems.isEmpty()) m_vecUserDataItems.clear();
}
