// The updater Velkin. Started by the main program, quietly at its start
// ("--silent=true": the window appears only when an update is found) or from
// its menu ("--updateURL=<update server>/verinfo?"). One instance runs at a
// time; a later start brings the running window to the front ("active").
#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QFont>
#include <QScreen>
#include <QTranslator>
#include <gflags/gflags.h>

#include "updater/CReadConfiguration.h"
#include "updater/LiveUpdate.h"
#include "updater/LiveUpdateStartup.h"
#include "updater/LiveUpdateTranslation.h"
#include "ZnSingleApplication.h"
#include "toolkit/ZnStyleCommon.h"
#include "platform/Endpoints.h"
#include "UpdaterLogging.h"

DEFINE_bool(silent, false, "check quietly: show the window only when an update is found");
DEFINE_int32(shadowWidth, kDefaultShadowWidth, "width in pixels of the window's shadow frame (0-20; else 5)");
DEFINE_bool(enableHighDPI, true, "write the screen size to the debug output");
DEFINE_string(updateURL, "", "prefix of every update-server query (the update server + \"/verinfo?\")");
DEFINE_string(skinPath, "", "skin folder (default: the application folder + \"/skin/\")");
DEFINE_string(extraNote, "", "extra text of the window's note line");

namespace {

void writeScreenInfo() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QSize physical = screen->geometry().size() * screen->devicePixelRatio();
    qCDebug(lcUpdaterStartup) << "Zn Live Update: screen info->" << physical.width() << " x " << physical.height();
    qCDebug(lcUpdaterStartup) << "Zn Live Update: y->" << screen->availableGeometry().height();
}

}  // namespace

int main(int argc, char** argv) {
    // A line of the debug output is the message alone, without the name of its
    // logging category (QT_MESSAGE_PATTERN, when set, still decides).
    qSetMessagePattern(QStringLiteral("%{message}"));
    bool noteFound = false;
    QString extraNote = extraNoteFromArguments(processArguments(), &noteFound);

    const std::string defaultUrl =
        (platform::endpoint(platform::Endpoint::UpdateServer) + QStringLiteral("/verinfo?")).toStdString();
    gflags::SetCommandLineOptionWithMode("updateURL", defaultUrl.c_str(), gflags::SET_FLAGS_DEFAULT);
    gflags::ParseCommandLineFlags(&argc, &argv, false);

    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    ZnSingleApplication app(argc, argv);
    if (FLAGS_enableHighDPI) writeScreenInfo();
    if (app.isRunning()) {
        if (!FLAGS_silent) app.sendMessage(QStringLiteral("active"), 5000);
        return 0;
    }
    ZnStyleCommon::installPlatformFonts();

    CReadConfiguration::GetInstance()->ReadConfig();
    const QString skinFolder = skinFolderFor(QString::fromLocal8Bit(FLAGS_skinPath.c_str()));
    initStyleCommon(skinFolder);

    QTranslator translator;
    loadTranslation(&translator);

    QFile styleSheet(skinFolder + QStringLiteral("qss/LiveUpdate.qss"));
    if (styleSheet.open(QIODevice::ReadOnly)) {
        app.setStyleSheet(QString::fromUtf8(styleSheet.readAll()));
        app.setFont(QFont(QStringLiteral("Segoe UI")));
        styleSheet.close();
    }

    const QString serverUrl = QString::fromStdString(FLAGS_updateURL);
    if (!noteFound) extraNote = QString::fromLocal8Bit(FLAGS_extraNote.c_str());

    auto* window = new LiveUpdate();
    window->setProperty("silent", FLAGS_silent);
    window->setProperty("app_name", CReadConfiguration::GetInstance()->GetPName());
    window->setProperty("server_url", serverUrl);
    window->setProperty("extra_note", extraNote);
    window->setShadowWidth(shadowWidthFor(FLAGS_shadowWidth));
    window->initWindow();
    QObject::connect(&app, &ZnSingleApplication::messageReceived, window,
                     &LiveUpdate::slotMsgReceivedFromOtherInstance);
    if (!FLAGS_silent) window->showOnTop();

    const int result = app.exec();
    delete window;
    return result;
}
