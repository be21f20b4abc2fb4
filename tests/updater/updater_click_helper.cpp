// The updater as a program that clicks Update itself, for the tests that
// follow a real download in a process of its own (and kill it midway):
//
//   updater_click_helper APP_DIR SERVER_URL [OPTION...]
//
// Runs like Velkin from APP_DIR against SERVER_URL ("<server>/verinfo?"),
// clicks Update once the check has fetched the digest, prints "progress N"
// for each progress value and "error TEXT" for each error shown, and ends
// with the event loop's result (the window closes once the installer has
// been started). A failure dialog is answered with OK, printed as
// "failure dialog", and ends the program with 3; "Download failed." ends it
// with 4 (unless retry-on-error). Options:
//   close-on-progress    click Close at the first progress value instead,
//                        while the download runs
//   retry-on-error       after "Download failed." wait for a line on
//                        standard input, then click Update again
//   silent               start as "--silent=true" does: the window stays
//                        hidden until an update is found
//   request-timeout=MS   the time limit of each update-server request
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <string>

#include "updater/CLumeronUpdateStatus.h"
#include "updater/CReadConfiguration.h"
#include "updater/HttpGet.h"
#include "updater/LiveUpdate.h"
#include "updater/LiveUpdateStartup.h"
#include "toolkit/ZnStyleCommon.h"
#include "updater/libAutoUpdate.h"
#include "platform/Programs.h"

namespace {

void say(const QString& text) {
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

void click(QWidget& window, const char* button) {
    QMetaObject::invokeMethod(window.findChild<QObject*>(QLatin1String(button)), "click");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: updater_click_helper APP_DIR SERVER_URL [close-on-progress] [retry-on-error] [silent] "
                     "[request-timeout=MS]\n");
        return 2;
    }
    bool closeOnProgress = false, retryOnError = false, silent = false;
    for (int i = 3; i < argc; ++i) {
        const QByteArray option(argv[i]);
        if (option == "close-on-progress") {
            closeOnProgress = true;
        } else if (option == "retry-on-error") {
            retryOnError = true;
        } else if (option == "silent") {
            silent = true;
        } else if (option.startsWith("request-timeout=")) {
            HttpGet::setRequestTimeoutForTesting(option.mid(16).toInt());
        } else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    QApplication app(argc, argv);
    platform::setApplicationDir(QString::fromLocal8Bit(argv[1]));
    CReadConfiguration::GetInstance()->ReadConfig();
    initStyleCommon(QStringLiteral(ZN_APP_DIR "/skin/"));

    LiveUpdate window;
    window.setProperty("silent", silent);
    window.setProperty("app_name", CReadConfiguration::GetInstance()->GetPName());
    window.setProperty("server_url", QString::fromLocal8Bit(argv[2]));
    window.setProperty("extra_note", QString());
    window.initWindow();
    if (!silent) window.showOnTop();

    // The failure dialog runs modally: answer it and end.
    QTimer dialogs;
    QObject::connect(&dialogs, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<CLumeronUpdateStatus*>(QApplication::activeModalWidget())) {
            say(QStringLiteral("failure dialog"));
            dialog->close();
            QTimer::singleShot(0, [] { QCoreApplication::exit(3); });
        }
    });
    dialogs.start(20);

    auto* facade = window.findChild<libAutoUpdate*>();
    int urlReplies = 0;
    QObject::connect(facade, &libAutoUpdate::signalGetInfo, &window, [&](int type, const QString&) {
        // The notes and the digest each end with a -1; after the digest, click.
        if (type != -1 || ++urlReplies != 2) return;
        QTimer::singleShot(0, &window, [&window] {
            say(QStringLiteral("clicking update"));
            click(window, "btnUpdate");
        });
    });
    QObject::connect(facade, &libAutoUpdate::signalDownloadProgress, &window, [&window, closeOnProgress](int percent) {
        say(QStringLiteral("progress %1").arg(percent));
        if (closeOnProgress) click(window, "btnCancel");
    });
    QObject::connect(facade, &libAutoUpdate::singalHttpReturnError, &window,
                     [&window, retryOnError](const QString& text) {
                         say(QStringLiteral("error ") + text);
                         if (text != QLatin1String("Download failed.")) return;
                         if (!retryOnError) {
                             QTimer::singleShot(0, [] { QCoreApplication::exit(4); });
                             return;
                         }
                         // After the window has handled the error.
                         QTimer::singleShot(0, &window, [&window] {
                             std::string line;
                             std::getline(std::cin, line);
                             say(QStringLiteral("clicking update again"));
                             click(window, "btnUpdate");
                         });
                     });
    return app.exec();
}
