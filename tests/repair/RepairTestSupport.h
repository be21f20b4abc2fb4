#pragma once
// Shared helpers of the repair page tests: the style object as start-up fills
// it, the bar of a page, modal boxes answered from a timer and captured link
// openings.
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QObject>
#include <QProgressBar>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "ZnMessageBox.h"
#include "ZnScanProgressBar.h"
#include "ZnStyleCommon.h"
#include "platform/Programs.h"

namespace repairtest {

// Fills the style object's folders and font family as the program's start-up does.
inline void initStyle() {
    platform::setApplicationDir(QStringLiteral(ZN_APP_DIR));
    const QString app = platform::applicationDir();
    ZnStyleCommon::installPlatformFonts();
    g_styleCommon.setFontFamily(QStringLiteral("Segoe UI"));
    g_styleCommon.setSkinPath(app + QStringLiteral("/skin/"));
    g_styleCommon.setQssPath(app + QStringLiteral("/skin/Qss/"));
    g_styleCommon.setBackupPath(app + QStringLiteral("/backup/"));
    g_styleCommon.setTempPath(app + QStringLiteral("/temp/"));
}

// The value the page's progress bar shows, and its percentage text.
inline int barValue(const QWidget* page) {
    auto* bar = page->findChild<ZnScanProgressBar*>(QStringLiteral("widgetProgressBar"));
    return bar ? bar->findChild<QProgressBar*>(QStringLiteral("progressBar"))->value() : -1;
}
inline QString barText(const QWidget* page) {
    auto* bar = page->findChild<ZnScanProgressBar*>(QStringLiteral("widgetProgressBar"));
    return bar ? bar->findChild<QLabel*>(QStringLiteral("label"))->text() : QString();
}

// Answers the next modal ZnMessageBox with `button` (ZnMessageBoxButton) as
// soon as it is open. The timer gives up after a few seconds so that a box
// that never opens cannot hang the test.
inline void answerNextBox(int button) {
    auto* poll = new QTimer;
    auto* tries = new int(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, button]() {
        auto* box = qobject_cast<ZnMessageBox*>(QApplication::activeModalWidget());
        if (box) {
            if (button == ZnMessageBoxButton::Yes) box->slotClose_yes();
            else box->slotClose_no();
        }
        if (box || ++*tries > 200) {
            poll->stop();
            poll->deleteLater();
            delete tries;
        }
    });
    poll->start(10);
}

// Collects the addresses the code hands to QDesktopServices::openUrl.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
        // A link without a scheme (a bare word) is looked up under "".
        QDesktopServices::setUrlHandler(QString(), this, "open");
    }
    ~UrlCatcher() override {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QString());
    }
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls << url; }
};

}  // namespace repairtest
