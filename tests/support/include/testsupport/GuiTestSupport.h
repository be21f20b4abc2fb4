#pragma once
// Helpers shared by the widget tests: answering modal boxes and catching the
// links the code opens.
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>

namespace testsupport {

// Runs `action` on the next modal widget as soon as one is open. Polls every
// 10 ms and gives up after `maxTries` polls, so a box that never opens cannot
// hang the test.
void onNextModal(std::function<void(QWidget*)> action, int maxTries = 300);

// Answers the next modal ZnMessageBox with `button` (ZnMessageBoxButton: Yes,
// No, Ok, Cancel; 0 closes it without a button) and, when `text` is given,
// appends the texts of its labels to it.
void answerNextBox(int button, QString* text = nullptr);

// Collects the addresses handed to QDesktopServices::openUrl (http, https and
// scheme-less links) while it exists.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher();
    ~UrlCatcher() override;
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url);
};

}  // namespace testsupport
