// The updater as a program that clicks Update itself, for the tests that
// follow a real download in a process of its own (and kill it midway):
//
//   updater_click_helper APP_DIR SERVER_URL [close-on-progress]
//
// Runs like Velkin from APP_DIR against SERVER_URL ("<server>/verinfo?"),
// clicks Update once the check has fetched the digest, prints "progress N"
// for each progress value and ends with the event loop's result (the window
// closes once the installer has been started). With "close-on-progress" it
// clicks Close at the first progress value instead, while the download runs.
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "CReadConfiguration.h"
#include "LiveUpdate.h"
#include "LiveUpdateStartup.h"
#include "ZnStyleCommon.h"
#include "libAutoUpdate.h"
#include "platform/Programs.h"

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: updater_click_helper APP_DIR SERVER_URL [close-on-progress]\n");
        return 2;
    }
    const bool closeOnProgress = argc == 4 && QByteArray(argv[3]) == "close-on-progress";
    QApplication app(argc, argv);
    platform::setApplicationDir(QString::fromLocal8Bit(argv[1]));
    CReadConfiguration::GetInstance()->ReadConfig();
    initStyleCommon(QStringLiteral(ZN_APP_DIR "/skin/"));

    LiveUpdate window;
    window.setProperty("silent", false);
    window.setProperty("app_name", CReadConfiguration::GetInstance()->GetPName());
    window.setProperty("server_url", QString::fromLocal8Bit(argv[2]));
    window.setProperty("extra_note", QString());
    window.initWindow();
    window.showOnTop();

    auto* facade = window.findChild<libAutoUpdate*>();
    int urlReplies = 0;
    QObject::connect(facade, &libAutoUpdate::signalGetInfo, &window, [&](int type, const QString&) {
        // The notes and the digest each end with a -1; after the digest, click.
        if (type != -1 || ++urlReplies != 2) return;
        QTimer::singleShot(0, &window, [&window] {
            std::printf("clicking update\n");
            std::fflush(stdout);
            QMetaObject::invokeMethod(window.findChild<QObject*>(QStringLiteral("btnUpdate")), "click");
        });
    });
    QObject::connect(facade, &libAutoUpdate::signalDownloadProgress, &window, [&window, closeOnProgress](int percent) {
        std::printf("progress %d\n", percent);
        std::fflush(stdout);
        if (closeOnProgress)
            QMetaObject::invokeMethod(window.findChild<QObject*>(QStringLiteral("btnCancel")), "click");
    });
    QObject::connect(facade, &libAutoUpdate::singalHttpReturnError, [](const QString& text) {
        std::printf("error %s\n", qPrintable(text));
        std::fflush(stdout);
    });
    return app.exec();
}
