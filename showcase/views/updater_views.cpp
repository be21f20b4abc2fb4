// The updater's windows: the update window with release notes, during a
// download, and the failure dialog. The window talks to a local server that
// accepts connections and never answers, so its own queries stay pending while
// the view drives it to the state shown.
#include <QApplication>
#include <QFile>
#include <QTcpServer>
#include <QTimer>

#include "updater/CLumeronUpdateStatus.h"
#include "updater/CReadConfiguration.h"
#include "updater/DownloadServiceCalls.h"
#include "updater/LiveUpdate.h"
#include "updater/LiveUpdateStartup.h"
#include "Showcase.h"
#include "updater/libAutoUpdate.h"
#include "platform/Programs.h"

namespace {

const char kNotes[] =
    "<h3 style=\"color:#303030;\">What's New in Corvane 2.1</h3>"
    "<ul style=\"margin-left:-20px;\">"
    "<li>Repairs iTunes 12.13 installations that stop at the Apple Mobile Device step.</li>"
    "<li>Deep clean finds iOS backups on external drives.</li>"
    "<li>Faster detection of damaged Bonjour components.</li>"
    "<li>Fixes a rare crash when the repair was stopped during the download.</li>"
    "</ul>";

// Start-up of the updater as main() does it: style object, settings, sheet.
void startUpdater() {
    const QString skin = platform::applicationDir() + QStringLiteral("/skin/");
    initStyleCommon(skin);
    CReadConfiguration::GetInstance()->ReadConfig();
    QFile sheet(skin + QStringLiteral("qss/LiveUpdate.qss"));
    if (sheet.open(QIODevice::ReadOnly)) qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
}

QString silentServer() {
    auto* server = new QTcpServer(qApp);
    server->listen(QHostAddress::LocalHost);
    return QStringLiteral("http://127.0.0.1:%1/verinfo?").arg(server->serverPort());
}

LiveUpdate* windowWithNotes() {
    startUpdater();
    auto* window = new LiveUpdate;
    window->setProperty("silent", false);
    window->setProperty("app_name", CReadConfiguration::GetInstance()->GetPName());
    window->setProperty("server_url", silentServer());
    window->setProperty("extra_note", QString());
    window->initWindow();
    window->slotGetInfo(kInfoVer, QStringLiteral("99.0.0.0"));
    window->slotGetInfo(kInfoOtherUrl, QString::fromLatin1(kNotes));
    window->slotGetInfo(kInfoLink, QStringLiteral("http://127.0.0.1:1/CorvaneSetup.exe"));
    return window;
}

// A download service that reports a running download, 42 % done.
bool fakeStart(uint32_t) { return true; }
uint32_t fakeAdd(const DownloadTaskRequest&, int32_t) { return 7; }
bool fakeQuery(uint32_t, DownloadTaskStatus& status) {
    status.state = DownloadTaskDownloading;
    status.file_size = 48 * 1024 * 1024;
    status.bytes_done = status.file_size * 42 / 100;
    status.fraction_done = 0.42f;
    return true;
}

}  // namespace

ZN_SHOWCASE_VIEW("updater/window-notes") { return windowWithNotes(); }

ZN_SHOWCASE_VIEW("updater/window-downloading") {
    LiveUpdate* window = windowWithNotes();
    DownloadServiceCalls fake;
    fake.add = &fakeAdd;
    fake.start = &fakeStart;
    fake.query = &fakeQuery;
    DownloadServiceCalls::setForTesting(fake);
    window->slotStartDownloadFile();
    window->slotDownloadProgress(42);
    return window;
}

ZN_SHOWCASE_VIEW("updater/status-failed") {
    startUpdater();
    auto* owner = new QWidget;
    owner->setProperty("app_name", CReadConfiguration::GetInstance()->GetPName());
    return new CLumeronUpdateStatus(1, owner);
}

ZN_SHOWCASE_VIEW("updater/status-completed") {
    startUpdater();
    auto* owner = new QWidget;
    owner->setProperty("app_name", CReadConfiguration::GetInstance()->GetPName());
    return new CLumeronUpdateStatus(0, owner);
}
