// Shows one of the product's windows in a typical state and writes a picture of
// it, for review. The window is painted with its own translucency and composed
// over a plain desktop colour, as a user's desktop shows it.
//
//   ZnShowcase --list
//   ZnShowcase NAME OUT.png [--wait MS]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QTextStream>
#include <QTimer>
#include <cstdio>

#include "Showcase.h"
#include "toolkit/ZnStyleCommon.h"
#include "platform/Programs.h"

namespace showcase {
std::map<QString, ViewFactory>& registry() {
    static std::map<QString, ViewFactory> views;
    return views;
}
}  // namespace showcase

namespace {

void waitFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Views that build the main window start its downloads: keep them on this
    // machine (a closed local port) unless the caller points them elsewhere.
    for (const char* name : {"CORVANE_PRODUCT_INFO_SERVER", "CORVANE_CONFIG_SERVER", "CORVANE_UPDATE_SERVER"}) {
        if (qEnvironmentVariableIsEmpty(name)) qputenv(name, "http://127.0.0.1:1");
    }
    QApplication app(argc, argv);
    // The showcase lives beside the tests; the product's files are in the
    // application folder of the build.
    platform::setApplicationDir(QStringLiteral(ZN_APP_DIR));
    // The style object as the programs' start-up sets it, so views look as they
    // do in the product.
    g_styleCommon.setUpForProgram(platform::applicationDir());

    const QStringList args = app.arguments();
    QTextStream out(stdout);
    if (args.size() < 2 || args.at(1) == QLatin1String("--list")) {
        for (const auto& entry : showcase::registry()) out << entry.first << "\n";
        return args.size() < 2 ? 2 : 0;
    }
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: ZnShowcase NAME OUT.png [--wait MS]\n");
        return 2;
    }
    const QString name = args.at(1);
    const QString outPath = args.at(2);
    int waitMs = 700;
    const int waitAt = args.indexOf(QStringLiteral("--wait"));
    if (waitAt > 0 && waitAt + 1 < args.size()) waitMs = args.at(waitAt + 1).toInt();

    auto it = showcase::registry().find(name);
    if (it == showcase::registry().end()) {
        std::fprintf(stderr, "no view named %s; --list shows them\n", qPrintable(name));
        return 2;
    }
    QWidget* widget = it->second();
    if (!widget) return 3;
    widget->show();
    widget->raise();
    waitFor(waitMs);

    const QPixmap shot = widget->grab();
    const int margin = 24;
    QImage canvas(shot.size() / shot.devicePixelRatio() + QSize(2 * margin, 2 * margin), QImage::Format_RGB32);
    QPainter painter(&canvas);
    QLinearGradient desktop(0, 0, 0, canvas.height());
    desktop.setColorAt(0, QColor(58, 96, 140));
    desktop.setColorAt(1, QColor(34, 60, 96));
    painter.fillRect(canvas.rect(), desktop);
    painter.drawPixmap(margin, margin, shot);
    painter.end();
    if (!canvas.save(outPath, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(outPath));
        return 4;
    }
    out << outPath << "\n";
    return 0;
}
