#include "app/FixiTunes.h"

#include <QAction>
#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDomDocument>
#include <QFile>
#include <QGridLayout>
#include <QMetaType>
#include <QPaintEvent>
#include <QProcess>
#include <QTimer>
#include <QUrl>

#include "app/About.h"
#include "gateway/Controller.h"
#include "app/EngineCallbackScope.h"
#include "app/FeedbackAccount.h"
#include "app/FixiTunesHome.h"
#include "toolkit/ZnBoundedXml.h"
#include "toolkit/ZnMessageBox.h"
#include "toolkit/ZnSkinPath.h"
#include "toolkit/ZnStyleCommon.h"
#include "platform/DetachedProcess.h"
#include "platform/Endpoints.h"
#include "platform/Processes.h"
#include "platform/Programs.h"
#include "ui_FixiTunes.h"
#include "WindowLogging.h"

Q_LOGGING_CATEGORY(lcWindow, "corvane.window")

namespace {

FixiTunes* s_pInstance = nullptr;

QString webSitePage(const char* path) { return platform::endpoint(platform::Endpoint::WebSite) + QLatin1String(path); }

}  // namespace

FixiTunes::FixiTunes(QWidget* parent)
    : QMainWindow(parent),
      ui(new Ui::FixiTunesClass),
      m_pEngineContext(CEngineCallbackScope::Register(this)),
      m_bStopUninstall(m_pEngineContext->bStopUninstall),
      m_bStopScaniTunesUserData(m_pEngineContext->bStopScan),
      m_bStopCleaniTunesUserData(m_pEngineContext->bStopClean) {
    ui->setupUi(this);
    qRegisterMetaType<ST_ITUNES_USERDATA_ITEM>("ST_ITUNES_USERDATA_ITEM");
    s_pInstance = this;
    InitTitleBar();

    // The one controller of the process; it loads the engine at once.
    if (!g_pController) g_pController = new CController();
    m_bEngineLoaded = g_pController->IsEngineLoaded();
    m_striTunesVersion = g_pController->GetiTunesVersion();
    if (m_striTunesVersion.isEmpty()) m_bIsDownloadLastVersion = true;
    m_niTunesVersionBit = g_pController->GetiTunesVersionBit();
    qCDebug(lcWindow) << "iTunesVersion=============" << m_striTunesVersion;
    qCDebug(lcWindow) << "VersionBit============" << m_niTunesVersionBit;

    InitConnect();
    if (!m_bEngineLoaded) {
        // Nothing can work without the engine: start nothing; the program tells
        // the user and ends.
        qCDebug(lcWindow) << "FixiTunes::FixiTunes=====engine missing=====" << g_pController->GetEngineLoadError();
        return;
    }

    m_pEmailConfigTimer = new QTimer(this);
    m_pEmailConfigTimer->setObjectName(QStringLiteral("timerDownloadEmailConfigFile"));
    m_pEmailConfigTimer->setSingleShot(true);
    m_pEmailConfigTimer->setInterval(180);
    connect(m_pEmailConfigTimer, &QTimer::timeout, this, &FixiTunes::SlotDownloadEmailConfigFile);
    m_pEmailConfigTimer->start();

    m_pCheckUpdateTimer = new QTimer(this);
    m_pCheckUpdateTimer->setObjectName(QStringLiteral("timerCheckUpdate"));
    m_pCheckUpdateTimer->setSingleShot(true);
    m_pCheckUpdateTimer->setInterval(220);
    connect(m_pCheckUpdateTimer, &QTimer::timeout, this, &FixiTunes::CheckUpdate);
    m_pCheckUpdateTimer->start();

    ShowFirstPage();
    StartPellact();
}

FixiTunes::~FixiTunes() {
    // From here on engine callbacks find no window, and running operations are
    // asked to stop. Waits for a callback that is working on the window now.
    CEngineCallbackScope::Unregister(m_pEngineContext);
    delete m_pPellactProcess;
    m_pPellactProcess = nullptr;
    if (s_pInstance == this) s_pInstance = nullptr;
    delete ui;
}

FixiTunes* FixiTunes::GetInstance() { return s_pInstance; }

bool FixiTunes::IsEngineLoaded() const { return m_bEngineLoaded; }

void FixiTunes::ShowEngineLoadError() {
    // The technical reason is in the debug output (see CController).
    ZnMessageBox box(tr("The repair engine of Brelion Corvane is missing or damaged, so the program "
                        "cannot run and will close. Please reinstall Brelion Corvane."),
                     QString(), ZnMessageBoxButton::Ok, nullptr);
    box.exec();
}

void* FixiTunes::EngineContext() const { return m_pEngineContext; }

QString FixiTunes::ComponentInformationUrl() const { return m_strComponentInformationUrl; }

void FixiTunes::InitTitleBar() {
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint);
    setAttribute(Qt::WA_TranslucentBackground);
    resize(1010, 628);
    setMinimumSize(1010, 628);
    setMaximumSize(1010, 628);

    ui->label_ProductName->setText(tr("Brelion Corvane"));
    ui->widgetTitle->setPWidget(this, 5, 5, true);

    const QString skin = QString::fromStdString(GetSkinPath());
    ui->labelLogo->setPixmap(QPixmap(skin + QStringLiteral("/Application/LumeronLogo24.png")));
    ui->widgetTitle->setBackgroundImage(skin + QStringLiteral("/Application/mainMenuBar41.png"));
    ui->btnClose->setImages(skin + QStringLiteral("/Application/mainWindow_close_normal.png"),
                            skin + QStringLiteral("/Application/mainWindow_close_hover.png"),
                            skin + QStringLiteral("/Application/mainWindow_close_pressing.png"), QString());
    ui->btnMin->setImages(skin + QStringLiteral("/Application/mainWindow_min_normal.png"),
                          skin + QStringLiteral("/Application/mainWindow_min_hover.png"),
                          skin + QStringLiteral("/Application/mainWindow_min_pressing.png"), QString());
    ui->btnTools->setImages(skin + QStringLiteral("/Application/mainWindow_tools_normal.png"),
                            skin + QStringLiteral("/Application/mainWindow_tools_hover.png"),
                            skin + QStringLiteral("/Application/mainWindow_tools_pressing.png"), QString());
    ui->pushButton_Feedback->setImages(skin + QStringLiteral("/Application/feedback_normal.png"),
                                       skin + QStringLiteral("/Application/feedback_hover.png"),
                                       skin + QStringLiteral("/Application/feedback_pressing.png"), QString());
    setWindowIcon(QIcon(skin + QStringLiteral("/Application/infologo.png")));

    // The page area: every page is added to this grid.
    m_pPageLayout = new QGridLayout(ui->widgetMain);
    m_pPageLayout->setObjectName(QStringLiteral("gridLayout"));
    m_pPageLayout->setSpacing(0);
    m_pPageLayout->setContentsMargins(0, 0, 0, 0);

    ui->label_ProductName->setStyleSheet(ZnStyleCommon::getColorStyleSheet(13));
    ui->label_ProductName->setFont(g_styleCommon.getFont(15));
}

void FixiTunes::InitConnect() {
    connect(ui->pushButton_Feedback, &QPushButton::clicked, this, &FixiTunes::SlotFeedback);
    connect(ui->btnClose, &QPushButton::clicked, this, &FixiTunes::SlotExit);
    connect(ui->btnTools, &QPushButton::clicked, this, &FixiTunes::SlotToolsMenu);
    connect(ui->btnMin, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(this, &FixiTunes::SignalClose, this, &QWidget::close);

    // The flows. Signals emitted by engine callbacks reach these slots queued,
    // on the GUI thread.
    connect(this, &FixiTunes::SignalDownloadiTunesPackageFinished, this, &FixiTunes::SlotCheckDownloadiTunesSetup);
    connect(this, &FixiTunes::SignalUnzipiTunesPackageFinished, this, &FixiTunes::SlotExecuteRepairiTunes);
    connect(this, &FixiTunes::SignalFixiTunesSuccess, this, &FixiTunes::SlotFixiTunesSuccess);
    connect(this, &FixiTunes::SignalFixiTunesFailed, this, &FixiTunes::SlotFixiTunesFailed);
    connect(this, &FixiTunes::SignalDownloadConfigFileFinished, this, &FixiTunes::SlotDownloadConfigFileFinished);
    connect(this, &FixiTunes::SignalOneKeyUninstallFinished, this, &FixiTunes::SlotOneKeyUninstallFinished);
    connect(this, &FixiTunes::SignalOneKeyInstallFinished, this, &FixiTunes::SlotOneKeyInstallFinished);
    connect(this, &FixiTunes::SignalCompleteRepairSuccess, this, &FixiTunes::SlotCompleteRepairSuccess);
    connect(this, &FixiTunes::SignalCompleteRepairFailed, this, &FixiTunes::SlotCompleteRepairFailed);
    connect(this, &FixiTunes::SignalCompletelyUninstalliTunesSuccess, this, &FixiTunes::SlotCompletelyUninstallSuccess);
    connect(this, &FixiTunes::SignalCompletelyUninstalliTunesFailed, this, &FixiTunes::SlotCompletelyUninstallFailed);
    connect(this, &FixiTunes::SignalCleaniTunesUserDataSuccess, this, &FixiTunes::SlotCleaniTunesUserDataSuccess);
    connect(this, &FixiTunes::SignalCleaniTunesUserDataFailed, this, &FixiTunes::SlotCleaniTunesUserDataFailed);
}

void FixiTunes::ShowFirstPage() {
    // The detection page is shown while the configuration files download and
    // the product check runs; it then leads to the detection result or home.
    SlotCheckiTunesExceptionProcessView();
}

void FixiTunes::paintEvent(QPaintEvent* event) {
    m_shadow.drawShadow(this);
    QMainWindow::paintEvent(event);
}

// ---------------------------------------------------------------------------
// Pages
// ---------------------------------------------------------------------------

QWidget* FixiTunes::PageArea() const { return ui->widgetMain; }

void FixiTunes::AddPage(QWidget* page) {
    page->setGeometry(ui->widgetMain->rect());
    // Every page takes the whole area; only the current one is visible.
    m_pPageLayout->addWidget(page, 0, 0);
}

void FixiTunes::SwitchPage(QWidget* page) {
    // The page shown before is hidden. No flow shows the current page again; if
    // one did, that page would be hidden too.
    if (m_pCurrentPage && !m_pCurrentPage->isHidden()) m_pCurrentPage->hide();
    if (page != m_pCurrentPage) m_pCurrentPage = page;
}

void FixiTunes::ShowPage(QWidget* page) {
    page->show();
    SwitchPage(page);
}

void FixiTunes::SlotFixiTunesHomeView() {
    if (!m_pFixiTunesHome) {
        m_pFixiTunesHome = new CFixiTunesHome(ui->widgetMain);
        AddPage(m_pFixiTunesHome);
        connect(m_pFixiTunesHome, &CFixiTunesHome::SignalFixiTunesScene, this, &FixiTunes::SlotAdvancedRepairGuide);
    }
    m_pFixiTunesHome->SetiTunesVersion(g_pController ? g_pController->GetiTunesVersion() : QString());
    qCDebug(lcWindow) << "FixiTunes::SlotFixiTunesHomeView==701==m_striTunesVersion==" << m_striTunesVersion
                      << "===m_bIsDownloadLastVersion===" << m_bIsDownloadLastVersion
                      << "===m_bIsNotFindCurrentVersion==" << m_bIsNotFindCurrentVersion;
    RefreshiTunesVersion();
    m_pFixiTunesHome->show();
    SwitchPage(m_pFixiTunesHome);
    if (g_pController) g_pController->ClearUserDataItems();
    StoreEngineFlag(m_bStopScaniTunesUserData, false);
    StoreEngineFlag(m_bStopCleaniTunesUserData, false);
}

void FixiTunes::RefreshiTunesVersion() {
    if (!g_pController) return;
    m_bIsNotFindCurrentVersion = true;
    m_striTunesVersion = g_pController->GetiTunesVersion();
    m_bIsDownloadLastVersion = m_striTunesVersion.isEmpty();
    // The installer for the version found now.
    SlotReadiTunesDownloadUrl();
}

// ---------------------------------------------------------------------------
// Tools menu
// ---------------------------------------------------------------------------

void FixiTunes::CreateToolsMenu() {
    // In the product's look rather than the platform's: white, a thin grey
    // border, dark grey entries and the toolkit's blue under the pointer.
    m_toolsMenu.setFont(g_styleCommon.getFont(15));
    m_toolsMenu.setStyleSheet(
        QStringLiteral("QMenu{background-color:#ffffff;border:1px solid #e6e6e6;padding:4px 0px;}"
                       "QMenu::item{background-color:transparent;color:#484848;padding:6px 28px 6px 20px;}"
                       "QMenu::item:selected{background-color:#377dff;color:#ffffff;}"
                       "QMenu::item:disabled{color:#b4b4b4;}"
                       "QMenu::separator{height:1px;background-color:#e6e6e6;margin:4px 0px;}"));
    auto add = [this](QAction*& action, const QString& text, void (FixiTunes::*slot)()) {
        action = new QAction(text, this);
        m_toolsMenu.addAction(action);
        connect(action, &QAction::triggered, this, slot);
    };
    add(m_pActionTutorial, tr("Tutorial"), &FixiTunes::SlotTutorial);
    add(m_pActionQuestion, tr("FAQ"), &FixiTunes::SlotQuestion);
    add(m_pActionReview, tr("Write a Product Review"), &FixiTunes::SlotReview);
    add(m_pActionContact, tr("Contact Support"), &FixiTunes::SlotContact);
    m_toolsMenu.addSeparator();
    add(m_pActionFacebook, tr("View Facebook Fan Page"), &FixiTunes::SlotFacebook);
    add(m_pActionTwitter, tr("Follow Us on Twitter"), &FixiTunes::SlotTwitter);
    m_toolsMenu.addSeparator();
    add(m_pActionCheckUpdate, tr("Check for Updates"), &FixiTunes::SlotCheckUpdateDialog);
    add(m_pActionAbout, tr("About"), &FixiTunes::SlotAbout);
    add(m_pActionExit, tr("Exit"), &FixiTunes::SlotExit);
    m_bToolsMenuCreated = true;
}

void FixiTunes::SlotToolsMenu() {
    if (!m_bToolsMenuCreated) CreateToolsMenu();
    // The menu opens over the page: no tile stays lit beneath it.
    if (m_pFixiTunesHome) m_pFixiTunesHome->ClearTileHover();
    m_toolsMenu.move(pos() + ui->btnTools->pos() + QPoint(0, 40));
    m_toolsMenu.show();
}

void FixiTunes::OpenWebPage(const QString& address) { QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode)); }

void FixiTunes::SlotTutorial() { OpenWebPage(webSitePage("/repair-itunes/guide/")); }

void FixiTunes::SlotQuestion() { OpenWebPage(webSitePage("/support/technical-faq/")); }

void FixiTunes::SlotReview() { OpenWebPage(webSitePage("/repair-itunes/reviews/")); }

void FixiTunes::SlotContact() { OpenWebPage(webSitePage("/support/contact/")); }

void FixiTunes::SlotFacebook() { OpenWebPage(platform::endpoint(platform::Endpoint::FacebookPage)); }

void FixiTunes::SlotTwitter() { OpenWebPage(platform::endpoint(platform::Endpoint::TwitterPage)); }

void FixiTunes::SlotAbout() {
    CAbout about(this);
    about.exec();
}

void FixiTunes::SlotExit() {
    ZnMessageBox box(tr("Are you sure that you want to exit the program?"), QString(),
                     ZnMessageBoxButton::Yes | ZnMessageBoxButton::No, this);
    box.exec();
    if (box.getResult() != ZnMessageBoxButton::Yes) return;
    delete m_pPellactProcess;
    m_pPellactProcess = nullptr;
    emit SignalClose();
    close();
}

// ---------------------------------------------------------------------------
// Outside programs
// ---------------------------------------------------------------------------

void FixiTunes::StartPellact() {
    if (!m_pPellactProcess) {
        m_pPellactProcess = new QProcess(this);
        m_pPellactProcess->setObjectName(QStringLiteral("pellactProcess"));
    }
    platform::startDetached(
        platform::programPath(QStringLiteral("Pellact.exe")),
        {QCoreApplication::applicationName() + QStringLiteral(".exe"),
         platform::endpoint(platform::Endpoint::FeedbackMailTo), QCoreApplication::applicationFilePath(),
         FeedbackAccountUser(), FeedbackAccountPassword()});
}

void FixiTunes::SlotFeedback() {
    auto* process = new QProcess(this);
    // The process object goes once the feedback program has ended (or could
    // not be started).
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), process, &QObject::deleteLater);
    connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) process->deleteLater();
    });
    process->start(platform::programPath(QStringLiteral("Feedback.exe")),
                   {platform::endpoint(platform::Endpoint::FeedbackMailTo), QCoreApplication::applicationFilePath(),
                    FeedbackAccountUser(), FeedbackAccountPassword(), QStringLiteral("1")},
                   QIODevice::ReadWrite);
}

void FixiTunes::CheckUpdate() {
    platform::startDetached(platform::programPath(QStringLiteral("Velkin.exe")), {QStringLiteral("--silent=true")});
}

void FixiTunes::SlotCheckUpdateDialog() {
    qCDebug(lcWindow) << "SlotCheckUpdateDialog--->called";
    platform::startDetached(platform::programPath(QStringLiteral("Velkin.exe")),
                            {QStringLiteral("--updateURL=") + platform::endpoint(platform::Endpoint::UpdateServer) +
                             QStringLiteral("/verinfo?")});
}

void FixiTunes::SlotCheckUpdate(int type, QString info) {
    qCDebug(lcWindow) << "SlotCheckUpdate ---> called";
    qCDebug(lcWindow) << "type ===" << type;
    qCDebug(lcWindow) << "info ====" << info;
    if (!info.isEmpty()) SlotCheckUpdateDialog();
}

void FixiTunes::CloseiTunesSoftware() {
    qCDebug(lcWindow) << "CloseiTunesSoftware==========================================================";
    platform::KillProcessByName(QStringLiteral("iTunes.exe"));
}

// ---------------------------------------------------------------------------
// Installer table
// ---------------------------------------------------------------------------

void FixiTunes::SlotReadiTunesComponentInformationUrlPrefix() {
    QFile file(platform::applicationDir() + QStringLiteral("/iTunesDownloadUrl.xml"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return;
    QDomDocument document;
    ZnBoundedXml::Error error;
    if (!ZnBoundedXml::parse(file, document, &error)) {
        ZnBoundedXml::logError(error);
        return;
    }
    const QDomElement root = document.documentElement();
    for (QDomElement version = root.firstChildElement(); !version.isNull(); version = version.nextSiblingElement()) {
        if (version.tagName() != QLatin1String("iTunesVersion")) continue;
        for (QDomElement entry = version.firstChildElement(); !entry.isNull(); entry = entry.nextSiblingElement()) {
            if (entry.tagName() != QLatin1String("iTunesUrl")) continue;
            const QDomNodeList children = entry.childNodes();
            if (children.count() != 3) continue;
            if (children.at(0).toElement().text() == QLatin1String("iTunesComponentInformationUrl"))
                m_strComponentInformationUrl = children.at(1).toElement().text();
        }
    }
}
