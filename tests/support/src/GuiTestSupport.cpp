#include "testsupport/GuiTestSupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QTimer>

#include "toolkit/ZnMessageBox.h"

namespace testsupport {

void onNextModal(std::function<void(QWidget*)> action, int maxTries) {
    auto* poll = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, action, maxTries]() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal) action(modal);
        if (modal || ++*tries > maxTries) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(10);
}

void answerNextBox(int button, QString* text) {
    onNextModal([button, text](QWidget* modal) {
        auto* box = qobject_cast<ZnMessageBox*>(modal);
        if (!box) return;
        if (text) {
            for (QLabel* label : box->findChildren<QLabel*>()) *text += label->text() + QLatin1Char('\n');
        }
        switch (button) {
        case ZnMessageBoxButton::Yes: box->slotClose_yes(); break;
        case ZnMessageBoxButton::No: box->slotClose_no(); break;
        case ZnMessageBoxButton::Ok: box->slotClose_ok(); break;
        case ZnMessageBoxButton::Cancel: box->slotClose_cancel(); break;
        default: box->reject(); break;
        }
    });
}

UrlCatcher::UrlCatcher() {
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
    // A link without a scheme (a bare word) is looked up under "".
    QDesktopServices::setUrlHandler(QString(), this, "open");
}

UrlCatcher::~UrlCatcher() {
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QString());
}

void UrlCatcher::open(const QUrl& url) { urls << url; }

}  // namespace testsupport
