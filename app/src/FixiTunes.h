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
#include <QMainWindow>
#include <QMenu>
#include <QString>
#include <QVector>

#include <string>
#include <vector>

#include "CommonTypes.h"
#include "SorvelInterface.h"
#include "ZnStyleShadow.h"

class QAction;
class QGridLayout;
class QPaintEvent;
class QProcess;
class QTimer;
class CFixiTunesHome;
class CGetHashThread;
class CNetworkDownloadManager;
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
  // Starts the configuration downloads (single shot, 180 ms after construction).
  void SlotDownloadEmailConfigFile();
  // Reads the component-information address from "iTunesDownloadUrl.xml".
  void SlotReadiTunesComponentInformationUrlPrefix();

  // Pages.
  void SlotFixiTunesHomeView();

protected:
  void paintEvent(QPaintEvent* event) override;

private:
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
  QString m_strComponentInformationUrl;
  bool m_bNeedDowndload = true;
  bool m_bIsNotFindCurrentVersion = true;
  bool m_bIsDownloadLastVersion = false;
  bool m_bIsException = false;
  bool m_bIsCompleteRepair = false;
  bool m_bDeleteUserData = false;
  bool m_bDeepScaniTunesUserData = false;
  int m_nCheckCount = 0;
  int m_nFailCount = 0;
  CNetworkDownloadManager* m_pDownloadManager = nullptr;
  CGetHashThread* m_pGetHashThread = nullptr;

  // The stop flags whose addresses go to the engine. They live in the engine
  // context, so they stay readable for the engine after the window is gone.
  bool& m_bStopUninstall;
  bool& m_bStopScaniTunesUserData;
  bool& m_bStopCleaniTunesUserData;
};
