#include "mail/Feedback.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDebug>
#include <QScrollBar>

#include <memory>
#include <vector>

#include "mail/EmailAccountFile.h"
#include "mail/EmailAddress.h"
#include "mail/FeedbackAttachments.h"
#include "mail/MimeAttachment.h"
#include "mail/MimeMessage.h"
#include "mail/MimeText.h"
#include "mail/SmtpClient.h"
#include "toolkit/ZnMessageBox.h"
#include "toolkit/ZnSkinPath.h"
#include "toolkit/ZnStyleCommon.h"
#include "toolkit/ZnStyleSheet.h"
#include "toolkit/ZnUtility.h"
#include "platform/Endpoints.h"
#include "platform/Programs.h"
#include "ui_CFeedback.h"
#include "MailLogging.h"

Q_LOGGING_CATEGORY(lcMail, "feedback.mail")

namespace {

const char kDefaultPassword[] = "quorvel@586";
const char kProductTitle[] = "Brelion Corvane";
const char kFailIcon[] = "/Application/tip_fail.png";
const char kSucceedIcon[] = "/Application/tip_succeed.png";

// The wait cursor while the mail goes out: sending blocks the GUI thread, and
// the pointer says so. Restored before every outcome box, and whenever the
// send flow ends.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { restore(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    void restore() {
        if (!m_active) return;
        m_active = false;
        QApplication::restoreOverrideCursor();
    }

private:
    bool m_active = true;
};

}  // namespace

CFeedback::CFeedback(QWidget* parent) : QDialog(parent), ui(new Ui::CFeedback) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint);
    setAttribute(Qt::WA_TranslucentBackground);
    ui->widget->setPWidget(this, 5, 5, true);
    ui->widget->setTitleText(tr("Feedback"));
    initStyle();
    connect(ui->ButtonSubmit, &QPushButton::clicked, this, &CFeedback::slotSendEmail);
    ui->CheckBoxAttachLog->setChecked(true);
    m_strUser = platform::endpoint(platform::Endpoint::FeedbackAccount);
    m_strPassword = QString::fromLatin1(kDefaultPassword);
}

CFeedback::~CFeedback() { delete ui; }

const QString& CFeedback::GetEmailUser() const { return m_strUser; }

const QString& CFeedback::GetEmailPassword() const { return m_strPassword; }

void CFeedback::paintEvent(QPaintEvent* event) {
    m_shadow.drawShadow(this);
    QDialog::paintEvent(event);
}

void CFeedback::initStyle() {
    const QString skin = QString::fromStdString(GetSkinPath());

    ui->LabelTitle->setFont(g_styleCommon.getFont(15));
    ui->LabelTitle->setStyleSheet(ZnStyleCommon::getColorStyleSheet(13));
    ui->label_checkedText->setFont(g_styleCommon.getFont(15));
    ui->label_checkedText->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    for (QWidget* w : std::initializer_list<QWidget*>{ui->LabelEmailTitle, ui->LabelContentTitle, ui->CheckBoxAttachLog,
                                                      ui->ButtonSubmit}) {
        w->setFont(g_styleCommon.getFont(15));
    }

    const QString frame = QStringLiteral("border:1px solid gray;border-radius:2px;border-%1border-width:1px;")
                              .arg(ZnStyleCommon::getColorStyleSheet(11));
    ui->LabelEmailText->setFont(g_styleCommon.getFont(11));
    ui->LabelEmailText->setStyleSheet(frame);
    ui->LabelContentText->setFont(g_styleCommon.getFont(11));
    ui->LabelContentText->setStyleSheet(frame);
    ui->LabelContentText->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    ui->LabelContentText->setMaximumBlockCount(0);
    setThinScrollBarStyle(ui->LabelContentText->verticalScrollBar());

    ui->ButtonSubmit->setStyleSheet(ZnStyleCommon::getColorStyleSheet(3));
    ui->ButtonSubmit->setImages(skin + QStringLiteral("/button/button100_30normal2.png"),
                                skin + QStringLiteral("/button/button100_30hover.png"),
                                skin + QStringLiteral("/button/button100_30pressing.png"), QString());

    setCheckBoxIndicatorStyle(ui->CheckBoxAttachLog, skin);
    ui->LabelEmailText->setFocus();
}

QString CFeedback::emailBody(const QString& address, const QString& content) const {
    const QString version = ZnUtility().getFileVersion(QCoreApplication::applicationFilePath());
    return QStringLiteral("客户邮箱：\t") + address + QLatin1Char('\n') + QStringLiteral("版本号：\t") + version +
           QLatin1Char('\n') + content;
}

void CFeedback::showMessage(const QString& text, const QString& icon, const QString& title) {
    ZnMessageBox box(text, title, ZnMessageBoxButton::Ok, this);
    if (!icon.isEmpty()) box.setIcon(icon);
    box.exec();
}

void CFeedback::senda() {
    const QString address = ui->LabelEmailText->text();
    if (!address.contains(QLatin1Char('@'))) {
        showMessage(tr("Please enter a valid email address."), QString(), tr("Feedback"));
        return;
    }
    const QString body = emailBody(address, QStringLiteral("Brelion Corvane Feedback."));
    qCDebug(lcMail) << "emailContent=========================" << body;
}

void CFeedback::slotSendEmail() {
    qCDebug(lcMail) << "slotSendEmail=========================";
    setEnabled(false);
    const QString address = ui->LabelEmailText->text();
    const QString content = ui->LabelContentText->toPlainText();
    if (!checkInput(address, content)) {
        setEnabled(true);
        return;
    }
    WaitCursor waitCursor;
    const QString body = emailBody(address, content);
    readEmailConfig();

    // The login, the text and the logs go under TLS whenever the server can:
    // STARTTLS first, with the certificate verified. A server without TLS
    // (any answer but 220) is still served in plain text; a handshake that
    // fails after the server agreed ends the send.
    SmtpClient client(platform::endpoint(platform::Endpoint::MailServer),
                      platform::endpoint(platform::Endpoint::MailServerPort).toInt(), SmtpClient::TlsConnection);
    client.setStartTlsRequired(false);
    client.setUser(m_strUser);
    client.setPassword(m_strPassword);

    // The parts outlive the message that lists them; everything goes with the
    // end of this function, whichever way it ends.
    MailParts parts;
    MimeMessage message(true);
    composeMessage(message, parts, body);
    attachFiles(message, parts);

    const SendOutcome outcome = deliver(client, message);
    waitCursor.restore();
    reportOutcome(outcome, client);
}

bool CFeedback::checkInput(const QString& address, const QString& content) {
    const QString title = QString::fromLatin1(kProductTitle);
    const QString failIcon = QString::fromLatin1(kFailIcon);
    if (!address.contains(QLatin1Char('@'))) {
        showMessage(tr("Please enter a valid email address."), failIcon, title);
        return false;
    }
    // A text of blanks is a message; only an empty one is refused.
    if (content.isEmpty()) {
        showMessage(tr("The content is empty. Please enter your comments or suggestions."), failIcon, title);
        return false;
    }
    return true;
}

void CFeedback::composeMessage(MimeMessage& message, MailParts& parts, const QString& body) const {
    message.setSender(new EmailAddress(m_strUser, m_strUser));
    message.addRecipient(
        new EmailAddress(platform::endpoint(platform::Endpoint::FeedbackMailTo), QStringLiteral("corvane")));
    message.setSubject(QStringLiteral("Brelion Corvane for Win Feedback."));
    parts.push_back(std::make_unique<MimeText>(body));
    message.addPart(parts.back().get());
}

void CFeedback::attachFiles(MimeMessage& message, MailParts& parts) const {
    qCDebug(lcMail) << "CFeedback::slotSendEmail=======148=======isChecked========================"
                    << ui->CheckBoxAttachLog->isChecked();
    if (!ui->CheckBoxAttachLog->isChecked()) return;
    const QString app = platform::applicationDir();
    qCDebug(lcMail) << "logPath======" << app + QStringLiteral("/Log/");
    // Every file is taken and read here, once: what goes out is what was
    // chosen, whatever happens to the names while the server is slow.
    for (const FeedbackAttachments::File& file : FeedbackAttachments::collect(app)) {
        parts.push_back(std::make_unique<MimeAttachment>(file.bytes, file.name));
        message.addPart(parts.back().get());
    }
}

CFeedback::SendOutcome CFeedback::deliver(SmtpClient& client, MimeMessage& message) {
    if (!client.connectToHost()) {
        qCDebug(lcMail) << "Failed to connect to host!=======================";
        return SendOutcome::NotConnected;
    }
    if (!client.login()) {
        qCDebug(lcMail) << "Failed to login!===========================";
        return SendOutcome::NotLoggedIn;
    }
    return client.sendMail(message) ? SendOutcome::Sent : SendOutcome::NotSent;
}

void CFeedback::reportOutcome(SendOutcome outcome, SmtpClient& client) {
    const QString title = QString::fromLatin1(kProductTitle);
    const QString failIcon = QString::fromLatin1(kFailIcon);
    switch (outcome) {
    case SendOutcome::Sent:
        showMessage(tr("Submitted successfully."), QString::fromLatin1(kSucceedIcon), title);
        // The dialog closes still disabled: its work is done.
        close();
        client.quit();
        return;
    case SendOutcome::NotConnected:
        showMessage(tr("Sorry, it failed to submit the feedback. Please make sure you have a stable network "
                       "connection and try it again."),
                    failIcon, title);
        break;
    case SendOutcome::NotLoggedIn:
        showMessage(tr("Sorry, it failed to submit the feedback because fail to login."), QString(), title);
        break;
    case SendOutcome::NotSent:
        qCDebug(lcMail) << "unknown==========================";
        showMessage(tr("Sorry, it failed to submit the feedback because an unknown error occurred."), failIcon, title);
        break;
    }
    // Open again for another try.
    setEnabled(true);
}

void CFeedback::readEmailConfig() {
    SEmailAccountLog log;
    log.bParseErrors = true;
    SEmailAccount account;
    if (!ReadEmailAccount(platform::applicationDir() + QStringLiteral("/encryptEmailFile.xml"), account, log)) return;
    m_strUser = account.strUser;
    m_strPassword = account.strPassword;
}
