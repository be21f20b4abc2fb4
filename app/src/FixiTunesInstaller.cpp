// The main window's downloads: the two configuration files at start (the
// mail-account file, then the installer table, whose end starts the product
// check), and the iTunes installer before a repair: hashed when it is on disk,
// downloaded when it is missing or different, hashed again, then unpacked with
// 7-Zip into the folder the engine works from (the stages of InstallerStage).
#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QUrl>

#include "app/ConfigFiles.h"
#include "mail/EmailAccountFile.h"
#include "transfer/FileTools.h"
#include "app/FixiTunes.h"
#include "repair/FixiTunesProcess.h"
#include "transfer/GetHashThread.h"
#include "transfer/NetworkDownloadManager.h"
#include "platform/Endpoints.h"
#include "platform/Programs.h"
#include "WindowLogging.h"

namespace {

QString now() { return QDateTime::currentDateTime().toString(QStringLiteral("yyyy.MM.dd hh:mm:ss.zzz ddd")); }

}  // namespace

// ---------------------------------------------------------------------------
// Configuration files
// ---------------------------------------------------------------------------

CNetworkDownloadManager* FixiTunes::ConfigDownloadManager() {
    if (!m_pDownloadManager) {
        m_pDownloadManager = new CNetworkDownloadManager(this);
        connect(m_pDownloadManager, &CNetworkDownloadManager::onDownloadFinished, this,
                &FixiTunes::SlotDownloadFileFinished);
    }
    return m_pDownloadManager;
}

void FixiTunes::SlotDownloadEmailConfigFile() {
    ConfigDownloadManager()->StartDownload(QStringLiteral("encryptEmailFile.xml"),
                                           QUrl(platform::endpoint(platform::Endpoint::ProductInfoServer) +
                                                QStringLiteral("/pro-info/firmware/encryptEmailFile.xml")),
                                           kDownloadType_EmailConfig);
    qCDebug(lcWindow) << "slotDownloadEmailConfigFile======startTime==================================" << now();
}

void FixiTunes::SlotDownloadiTunesSetupUrlConfigFile() {
    ConfigDownloadManager()->StartDownload(QStringLiteral("iTunesDownloadUrl.xml"),
                                           QUrl(platform::endpoint(platform::Endpoint::ConfigServer) +
                                                QStringLiteral("/pro-info/itunesconfig/iTunesDownloadUrl.xml")),
                                           kDownloadType_iTunesSetupUrlConfig);
    qCDebug(lcWindow) << "InitDownloadFile===1781===startTime==================================" << now();
}

void FixiTunes::SlotDownloadFileFinished(DOWNLOADTYPE type) {
    qCDebug(lcWindow) << "endTime=====" << now();
    qCDebug(lcWindow) << "eType======" << int(type);
    switch (type) {
    case kDownloadType_EmailConfig:
        // Success or not, the installer table comes next.
        SlotDownloadiTunesSetupUrlConfigFile();
        break;
    case kDownloadType_iTunesSetupUrlConfig:
        // A failed download left no file: the shipped table is read instead.
        SlotReadiTunesDownloadUrl();
        emit SignalDownloadConfigFileFinished();
        break;
    case kDownloadType_ComponentInformation:
        // Never started.
        break;
    case kDownloadType_iTunesSetup: emit SignalDownloadiTunesPackageFinished(); break;
    }
}

void FixiTunes::SlotReadiTunesDownloadUrl() {
    SInstallerTableState table;
    table.bIsDownloadLastVersion = m_bIsDownloadLastVersion;
    table.nVersionBit = m_niTunesVersionBit;
    table.strVersion = m_striTunesVersion;
    table.bIsNotFindCurrentVersion = m_bIsNotFindCurrentVersion;
    table.strDownloadUrl = m_strDownloadiTunesUrl;
    table.strDownloadHash = m_strDownloadiTunesHash;
    table.strLastVersion = m_strLastiTunesVersion;
    table.strLastDownloadUrl = m_strLastDownloadiTunesUrl;
    table.strLastDownloadHash = m_strLastDownloadiTunesHash;
    table.strComponentInformationUrl = m_strComponentInformationUrl;
    if (!ReadInstallerTable(InstallerTablePath(platform::applicationDir()), table)) return;
    m_striTunesVersion = table.strVersion;
    m_bIsNotFindCurrentVersion = table.bIsNotFindCurrentVersion;
    m_strDownloadiTunesUrl = table.strDownloadUrl;
    m_strDownloadiTunesHash = table.strDownloadHash;
    m_strLastiTunesVersion = table.strLastVersion;
    m_strLastDownloadiTunesUrl = table.strLastDownloadUrl;
    m_strLastDownloadiTunesHash = table.strLastDownloadHash;
    m_strComponentInformationUrl = table.strComponentInformationUrl;
}

void FixiTunes::SlotReadEmailAccount() {
    SEmailAccountLog log;
    log.bEntries = true;
    SEmailAccount account;
    ReadEmailAccount(platform::applicationDir() + QStringLiteral("/encryptEmailFile.xml"), account, log);
}

// ---------------------------------------------------------------------------
// Installer acquisition
// ---------------------------------------------------------------------------

bool FixiTunes::RefuseWhileUnpacking(const char* step) const {
    if (!m_bUnpackingInstaller) return false;
    qCDebug(lcWindow) << step << "=====refused: the installer is being unpacked";
    return true;
}

void FixiTunes::SendInstallerFailed() {
    if (m_bIsCompleteRepair)
        emit SignalCompleteRepairFailed(kFixStatus_RepairFailedDriverIncomplete);
    else
        emit SignalFixiTunesFailed(kFixStatus_FixFailedDriverIncomplete);
}

void FixiTunes::SlotCheckLocaliTunesSetup() {
    if (RefuseWhileUnpacking("SlotCheckLocaliTunesSetup")) return;
    if (QFileInfo::exists(InstallerPath()))
        StartInstallerHash(InstallerStage::LocalHashCheck);
    else
        SlotDownloadiTunesSetup();
}

void FixiTunes::SlotDownloadiTunesSetup() {
    if (RefuseWhileUnpacking("SlotDownloadiTunesSetup")) return;
    if (m_pDownloadManager) {
        // Nothing of the download it was running may still arrive, here or at
        // the progress page.
        m_pDownloadManager->disconnect();
        m_pDownloadManager->deleteLater();
        m_pDownloadManager = nullptr;
    }
    m_pDownloadManager = new CNetworkDownloadManager(this);
    connect(m_pDownloadManager, &CNetworkDownloadManager::onDownloadFinished, this,
            &FixiTunes::SlotDownloadFileFinished);
    connect(m_pDownloadManager, &CNetworkDownloadManager::SignalDownloadiTunesProcess, DriverPage(),
            &CFixiTunesProcess::SlotDownloadiTunesProcess);
    m_pDownloadManager->StartDownload(QStringLiteral("iTunesSetup.exe"), QUrl(m_strDownloadiTunesUrl),
                                      kDownloadType_iTunesSetup);
}

void FixiTunes::SlotCheckDownloadiTunesSetup() {
    qCDebug(lcWindow) << "start check===========1581===download setup=============m_strDownloadiTunesHash==="
                      << m_strDownloadiTunesHash;
    if (QFileInfo::exists(InstallerPath()))
        StartInstallerHash(InstallerStage::DownloadHashCheck);
    else
        SendInstallerFailed();
}

void FixiTunes::StartInstallerHash(InstallerStage check) {
    if (!m_pGetHashThread) {
        m_pGetHashThread = new CGetHashThread(this);
        connect(m_pGetHashThread, &CGetHashThread::SignalCheckFinished, this, &FixiTunes::SlotCheckResult);
    }
    if (m_pGetHashThread->isRunning()) {
        m_pGetHashThread->quit();
        m_pGetHashThread->wait();
    }
    qCDebug(lcWindow) << "m_pGetHashThread->isRunning()=====" << m_pGetHashThread->isRunning();
    m_pGetHashThread->SetFilePath(int(check), InstallerPath());
}

void FixiTunes::SlotCheckResult(int checkType, QString /*hashValue*/) {
    // An empty hash (unreadable file, or no hash in the table) never matches.
    const bool isSame = IsSameHash(m_pGetHashThread->GetHashValue(), m_strDownloadiTunesHash);
    if (InstallerStage(checkType) == InstallerStage::DownloadHashCheck) {
        if (isSame)
            SlotUnzipiTunesSetup();
        else
            SendInstallerFailed();
        return;
    }
    // Found on disk: the right one is checked once more as a download would be;
    // any other is replaced by a download.
    if (isSame)
        emit SignalDownloadiTunesPackageFinished();
    else
        SlotDownloadiTunesSetup();
}

void FixiTunes::SlotUnzipiTunesSetup() {
    if (RefuseWhileUnpacking("SlotUnzipiTunesSetup")) return;
    const QString target = InstallerFolder();
    // A folder of an earlier run never counts as this run's output.
    if (!DeleteDirectory(target)) {
        qCDebug(lcWindow) << "SlotUnzipiTunesSetup=====old folder not removed===" << target;
        SendInstallerFailed();
        return;
    }
    const QStringList arguments = {QStringLiteral("x"), InstallerPath(), QStringLiteral("-y"),
                                   QStringLiteral("-o") + target};
    qCDebug(lcWindow) << "SlotUnzipiTunesSetup=====argu===" << arguments;
    // 7-Zip may take minutes on the real installer; only a hung one is killed
    // (see FileTools.h). Warnings (exit code 1) with the folder present count
    // as success; errors (2 and above) do not.
    // The window goes on painting meanwhile (RunUnzip waits in a local event
    // loop); the progress page stays shown, and the flag keeps a second
    // acquisition from starting.
    m_bUnpackingInstaller = true;
    const UnzipResult result =
        RunUnzip(platform::programPath(QStringLiteral("7z.exe")), arguments, target, UnzipTimeoutMs());
    m_bUnpackingInstaller = false;
    qCDebug(lcWindow) << "isRun==" << result.finished;
    qCDebug(lcWindow) << "runTime===" << result.elapsedMs;
    qCDebug(lcWindow) << "isUnzipSuccess======" << result.success() << "==tempPath====" << target;
    if (result.hasWarnings())
        qCWarning(lcWindow)
            << "SlotUnzipiTunesSetup=====7-Zip reported warnings (exit code 1); the installer was unpacked==="
            << result.output;
    else if (!result.success())
        qCWarning(lcWindow) << "SlotUnzipiTunesSetup=====unpacking failed===exitCode" << result.exitCode << "==finished"
                            << result.finished << "==folder" << result.folderExists << "===" << result.output;
    if (result.success())
        emit SignalUnzipiTunesPackageFinished();
    else
        SendInstallerFailed();
}
