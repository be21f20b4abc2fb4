#pragma once
// FixiTunes: the program's one main window. A frameless, fixed-size window with
// its own title bar (logo, product name, feedback, tools menu, minimise and
// close buttons) and a page area below it in which one page at a time is shown.
//
// The window creates the program's one CController (g_pController), starts the
// outside programs Pellact (at construction), the updater Velkin (220 ms after
// construction, silently, and from the tools menu) and the feedback program
// (from its feedback button), and offers the tools menu with its web pages,
// the About box and the exit question.
//
// It runs every flow of the program in its page area: at start the download of
// the two configuration files and the product check; from the home page the
// seven tasks through their guide, progress and result pages. The engine does
// the work and reports through callbacks on its own threads; those only update
// the window's lists and counters and emit the window's signals, which Qt
// delivers to the GUI thread, where every page is driven. Installer downloads,
// their SHA-1 check and the unpacking with 7-Zip happen between the choice of a
// repair and the engine run.
#include <QMainWindow>
#include <QMenu>
#include <QString>
#include <QVector>

#include <string>
#include <vector>

#include "app/InstallerStage.h"
#include "types/CommonTypes.h"
#include "SorvelInterface.h"
#include "toolkit/ZnStyleShadow.h"

class QAction;
class QGridLayout;
class QPaintEvent;
class QProcess;
class QTimer;
class CAdvancedRepairGuide;
class CCheckiTunesExceptionProcess;
class CCleaniTunesUserData;
class CCleaniTunesUserDataFinished;
class CFixiTunesFinished;
class CFixiTunesHome;
class CFixiTunesProcess;
class CGetHashThread;
class CNetworkDownloadManager;
class CScaniTunesData;
class CScanResultException;
struct SEngineContext;

namespace Ui {
class FixiTunesClass;
}

class FixiTunes : public QMainWindow {
    Q_OBJECT

public:
    explicit FixiTunes(QWidget* parent = nullptr);
    ~FixiTunes() override;

    // The one main window; null before it is built and after it is destroyed.
    static FixiTunes* GetInstance();

    // False when the repair engine could not be loaded. The window then starts
    // nothing (no timers, no outside programs, no page); the program reports it
    // with ShowEngineLoadError and ends.
    bool IsEngineLoaded() const;
    // Tells the user, in a modal box, that the engine is missing or damaged and
    // the program will close.
    void ShowEngineLoadError();

    // What every engine operation of this window gets as its callback context
    // (see EngineCallbackScope.h): it outlives the window, so a callback that
    // arrives late finds the window gone instead of freed memory.
    void* EngineContext() const;

    // Terminates the first process named exactly "iTunes.exe" (before user data
    // is cleaned: iTunes keeps its files open).
    void CloseiTunesSoftware();

    // The component-information address read from the installer table; empty
    // until it has been read.
    QString ComponentInformationUrl() const;

    // Read by the pages through GetInstance(); written by the engine callbacks
    // before the signal that makes the pages read them.
    std::vector<std::wstring> m_vecOccupiedFile;       // files a repair, reinstall or uninstall could not remove
    std::vector<std::wstring> m_vecCleanOccupiedFile;  // files cleaning could not delete
    QVector<ST_ITUNES_CHECK_RESULT> m_vecCheckResult;  // records of the product check

signals:
    void SignalClose();

    // Start-up: both configuration downloads have ended.
    void SignalDownloadConfigFileFinished();
    // Product check.
    void SignalCheckiTunesExceptionProcess(int progress);
    void SignalCheckiTunesExceptionFinished(bool isException);
    // Installer acquisition.
    void SignalDownloadiTunesPackageFinished();
    void SignalUnzipiTunesPackageFinished();
    // Component repair and the repair from the installer.
    void SignalFixiTunesProcess(int product);
    void SignalFixiTunesSuccess(int fixStatus);
    void SignalFixiTunesFailed(int fixStatus);
    // Complete repair: uninstall keeping the data, then install.
    void SignalUpdateCompleteRepairData(QString text, int step);
    void SignalOneKeyUninstallFinished(bool isSuccess);
    void SignalOneKeyInstallFinished(bool isSuccess);
    void SignalCompleteRepairSuccess(int fixStatus);
    void SignalCompleteRepairFailed(int fixStatus);
    // Complete uninstall.
    void SignalUpdateCompleteUninstallData(QString text, int step);
    void SignalCompletelyUninstallDeleteUserDataInit();
    void SignalCompletelyUninstalliTunesSuccess();
    void SignalCompletelyUninstalliTunesFailed(int fixStatus);
    // Scan and clean of the user data.
    void SignalScaniTunesUserDataFinished();
    void SignalStopScaniTunesUserDataFinished();
    void SignalCleaniTunesUserDatProcess(qlonglong totalSize, qlonglong cleanedSize);
    void SignalCleaniTunesUserDataSuccess(qlonglong cleanedSize);
    void SignalCleaniTunesUserDataFailed(int fixStatus, qlonglong cleanedSize);
    void SignalStopCleaniTunesUserDataFinished();

public slots:
    // Title bar and tools menu.
    void SlotToolsMenu();
    void SlotTutorial();
    void SlotQuestion();
    void SlotReview();
    void SlotContact();
    void SlotFacebook();
    void SlotTwitter();
    void SlotCheckUpdateDialog();
    void SlotCheckUpdate(int type, QString info);
    void SlotAbout();
    void SlotExit();
    void SlotFeedback();

    // Starts the updater silently (single shot, 220 ms after construction).
    void CheckUpdate();
    // Configuration files: the mail-account file (single shot, 180 ms after
    // construction), whose end starts the installer table, whose end starts the
    // product check.
    void SlotDownloadEmailConfigFile();
    void SlotDownloadiTunesSetupUrlConfigFile();
    void SlotDownloadFileFinished(DOWNLOADTYPE type);
    // Reads the installer table (the downloaded one, else the shipped fallback).
    void SlotReadiTunesDownloadUrl();
    // Reads the mail account from the mail-account file; keeps nothing.
    void SlotReadEmailAccount();
    // Reads the component-information address from "iTunesDownloadUrl.xml".
    void SlotReadiTunesComponentInformationUrlPrefix();

    // Pages and navigation.
    void SlotFixiTunesHomeView();
    void SlotAdvancedRepairGuide(enumFixScene scene);
    void SlotComponentDamageListShowDialog(int product);
    void SlotFileIsOccupiedListShowDialog();

    // Product check.
    void SlotCheckiTunesExceptionProcessView();
    void SlotDownloadConfigFileFinished();
    void SlotScanResultExceptionView();

    // Component repair (from the detection result), complete repair (from the
    // guide) and the engine run once the installer is unpacked.
    void SlotFixiTunesProcessView();
    void SlotAdvancedRepairDownloadProcessView(bool isCompleteRepair);
    void SlotExecuteRepairiTunes();
    void SlotOneKeyUninstallFinished(bool isSuccess);
    void SlotOneKeyInstallFinished(bool isSuccess);

    // Complete uninstall and the stop of its user-data deletion.
    void SlotCompletelyUninstalliTunesDeleteUserDataView();
    void SlotCompletelyUninstalliTunesDeleteUserDataStopView();

    // Result pages.
    void SlotFixiTunesSuccess(int fixStatus);
    void SlotFixiTunesFailed(int fixStatus);
    void SlotCompleteRepairSuccess(int fixStatus);
    void SlotCompleteRepairFailed(int fixStatus);
    void SlotCompletelyUninstallSuccess();
    void SlotCompletelyUninstallFailed(int fixStatus);

    // Installer acquisition.
    void SlotCheckLocaliTunesSetup();
    void SlotDownloadiTunesSetup();
    void SlotCheckDownloadiTunesSetup();
    void SlotCheckResult(int checkType, QString hashValue);
    void SlotUnzipiTunesSetup();

    // Scan and clean of the user data.
    void SlotScaniTunesUserData();
    void SlotStopScaniTunesUserData();
    void SlotScaniTunesUserDataProcess();
    void SlotCleaniTunesUserData();
    void SlotStopCleaniTunesUserData();
    void SlotCleaniTunesUserDataSuccess(qlonglong cleanedSize);
    void SlotCleaniTunesUserDataFailed(int fixStatus, qlonglong cleanedSize);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Engine callbacks: plain functions whose context is EngineContext(); each
    // hands the call to the window's handler while the window exists.
    static void CheckiTunesCallback(void* context, int state, void* result);
    static void RepairiTunesCallback(void* context, int state, void* result);
    static void ReinstallUninstallCallback(void* context, int state, void* result);
    static void UninstallCallback(void* context, int state, void* result);
    static void InstallCallback(void* context, int state, void* result);
    static void ScaniTunesUserDataCallback(void* context, int state, void* result);
    static void CleaniTunesUserDataCallback(void* context, int state, void* result);
    // The handlers; they run on engine threads.
    void OnCheckiTunes(int state, const ST_ITUNES_CHECK_RESULT* result);
    void OnRepairiTunes(int state, const ST_REPAIR_ITUNES_RESULT* result);
    void OnReinstallUninstall(int state, const ST_UNINSTALL_ITUNES_RESULT* result);
    void OnUninstall(int state, const ST_UNINSTALL_ITUNES_RESULT* result);
    void OnInstall(int state, const ST_INSTALL_ITUNES_RESULT* result);
    void OnScaniTunesUserData(int state, const ST_ITUNES_USERDATA_ITEM* item);
    void OnCleaniTunesUserData(int state, const ST_DELETE_ITUNES_USERDATA_RESULT* result);

    // Asks whether to install the latest iTunes when there is no installer for
    // the installed one; on Yes the latest installer becomes the one to use.
    bool ConfirmLatestInstaller();
    // The installer could not be obtained, checked or unpacked.
    void SendInstallerFailed();
    // True (and logged) while the installer is being unpacked: `step` would
    // start another acquisition and is not run.
    bool RefuseWhileUnpacking(const char* step) const;
    // Hashes the installer on the hash thread for one of the two hash checks
    // of InstallerStage (found on disk, or about to be unpacked).
    void StartInstallerHash(InstallerStage check);
    // The download manager of the configuration files, made on first use.
    CNetworkDownloadManager* ConfigDownloadManager();
    // The pages made on first use, with their connections.
    CFixiTunesProcess* DriverPage();
    // A new repair result page: its Try Again route (when given), then OK home.
    CFixiTunesFinished* NewResultPage(void (CFixiTunesFinished::*connectTryAgain)());
    // Shows a page made before and makes it the current one.
    void ShowPage(QWidget* page);
    // The area every page is a child of.
    QWidget* PageArea() const;
    QString InstallerPath() const;
    QString InstallerFolder() const;

    void InitTitleBar();
    void InitConnect();
    void ShowFirstPage();
    void StartPellact();
    void CreateToolsMenu();
    void OpenWebPage(const QString& address);
    // Hides the page shown before and remembers `page` as the current one.
    void SwitchPage(QWidget* page);
    // Creates a page's place in the page area: sized to it and added to its grid.
    void AddPage(QWidget* page);
    // Takes the installed version from the engine again.
    void RefreshiTunesVersion();

    Ui::FixiTunesClass* ui = nullptr;
    ZnStyleShadow m_shadow;
    QGridLayout* m_pPageLayout = nullptr;
    QWidget* m_pCurrentPage = nullptr;
    CFixiTunesHome* m_pFixiTunesHome = nullptr;
    CCheckiTunesExceptionProcess* m_pCheckiTunesExceptionProcess = nullptr;
    CScanResultException* m_pScanResultException = nullptr;
    CAdvancedRepairGuide* m_pAdvancedRepairGuide = nullptr;
    CFixiTunesProcess* m_pFixiTunesProcess = nullptr;       // driver page: download and component repair
    CFixiTunesProcess* m_pCompleteRepairProcess = nullptr;  // reinstall
    CFixiTunesProcess* m_pUninstallProcess = nullptr;       // complete uninstall
    CFixiTunesFinished* m_pFixiTunesSuccess = nullptr;
    CFixiTunesFinished* m_pFixiTunesFailed = nullptr;
    CFixiTunesFinished* m_pCompleteRepairSuccess = nullptr;
    CFixiTunesFinished* m_pCompleteRepairFailed = nullptr;
    CFixiTunesFinished* m_pUninstallSuccess = nullptr;
    CFixiTunesFinished* m_pUninstallFailed = nullptr;
    CScaniTunesData* m_pScaniTunesData = nullptr;
    CCleaniTunesUserData* m_pCleaniTunesUserData = nullptr;
    CCleaniTunesUserDataFinished* m_pCleanSuccess = nullptr;
    CCleaniTunesUserDataFinished* m_pCleanFailed = nullptr;

    // Tools menu, built on its first opening.
    QMenu m_toolsMenu;
    bool m_bToolsMenuCreated = false;
    QAction* m_pActionTutorial = nullptr;
    QAction* m_pActionQuestion = nullptr;
    QAction* m_pActionReview = nullptr;
    QAction* m_pActionContact = nullptr;
    QAction* m_pActionFacebook = nullptr;
    QAction* m_pActionTwitter = nullptr;
    QAction* m_pActionCheckUpdate = nullptr;
    QAction* m_pActionAbout = nullptr;
    QAction* m_pActionExit = nullptr;

    QProcess* m_pPellactProcess = nullptr;
    QTimer* m_pEmailConfigTimer = nullptr;
    QTimer* m_pCheckUpdateTimer = nullptr;

    bool m_bEngineLoaded = false;
    SEngineContext* m_pEngineContext = nullptr;

    // State of the flows, with the values they start from.
    QString m_striTunesVersion;
    int m_niTunesVersionBit = 32;
    QString m_strDownloadiTunesUrl;
    QString m_strDownloadiTunesHash;
    QString m_strLastiTunesVersion;
    QString m_strLastDownloadiTunesUrl;
    QString m_strLastDownloadiTunesHash;
    QString m_strComponentInformationUrl;
    bool m_bNeedDowndload = true;
    bool m_bIsNotFindCurrentVersion = true;
    bool m_bIsDownloadLastVersion = false;
    bool m_bIsException = false;
    bool m_bIsCompleteRepair = false;
    bool m_bDeleteUserData = false;
    bool m_bDeepScaniTunesUserData = false;
    // 7-Zip is unpacking the installer (InstallerStage::Unpacking). The wait
    // keeps the window's events going, so nothing may start another
    // acquisition of the installer then (it would replace the file 7-Zip
    // reads, or the folder it writes).
    bool m_bUnpackingInstaller = false;
    int m_nCheckCount = 0;
    int m_nFailCount = 0;
    CNetworkDownloadManager* m_pDownloadManager = nullptr;
    CGetHashThread* m_pGetHashThread = nullptr;
    // The clean request handed to the engine, kept until the next one.
    std::vector<int> m_vecCleanSubTypes;
    std::vector<int> m_vecCleanBackupIds;

    // The stop flags whose addresses go to the engine. They live in the engine
    // context, so they stay readable for the engine after the window is gone.
    bool& m_bStopUninstall;
    bool& m_bStopScaniTunesUserData;
    bool& m_bStopCleaniTunesUserData;
};
