#pragma once
// The feedback dialog: the user's e-mail address and message, sent with the
// crash dump and the log files (when the box is checked) as a mail to the
// product's feedback address, through the product's own mail account.
//
// Sending is synchronous on the GUI thread: the dialog is disabled and the
// pointer a wait cursor for the whole SMTP dialogue, and every outcome is told
// in a message box (with the cursor restored). After a
// successful send the dialog closes itself; after a failure it stays open for
// another try.
#include <QDialog>
#include <QString>

#include <memory>
#include <vector>

#include "toolkit/ZnStyleShadow.h"

class MimeMessage;
class MimePart;
class QPaintEvent;
class SmtpClient;

namespace Ui {
class CFeedback;
}

class CFeedback : public QDialog {
    Q_OBJECT
public:
    explicit CFeedback(QWidget* parent = nullptr);
    ~CFeedback() override;

    // Reads the mail-account file "encryptEmailFile.xml" of the application
    // folder; its last "P00" entry replaces the account. A missing or
    // unreadable file keeps the account as it is.
    void readEmailConfig();

    // The account the next send uses (built in, or from the account file).
    const QString& GetEmailUser() const;
    const QString& GetEmailPassword() const;

public slots:
    // Writes the mail body of a fixed test message to the debug output.
    void senda();
    // Checks the input and sends the mail.
    void slotSendEmail();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The parts of one mail, owned for as long as the message lists them.
    using MailParts = std::vector<std::unique_ptr<MimePart>>;
    // How far one send came.
    enum class SendOutcome { NotConnected, NotLoggedIn, NotSent, Sent };

    void initStyle();
    QString emailBody(const QString& address, const QString& content) const;
    // A message box titled with the product name, with the OK button; the
    // icon path is relative to the skin folder (empty: none).
    void showMessage(const QString& text, const QString& icon, const QString& title);

    // The steps of slotSendEmail, in order.
    // An address with "@" and a non-empty message; otherwise tells the user.
    bool checkInput(const QString& address, const QString& content);
    // Sender (the account), the feedback address, the subject and the body.
    void composeMessage(MimeMessage& message, MailParts& parts, const QString& body) const;
    // The crash dump and the log files, when the box is checked.
    void attachFiles(MimeMessage& message, MailParts& parts) const;
    // Connects, logs in and sends.
    SendOutcome deliver(SmtpClient& client, MimeMessage& message);
    // The outcome's box. After a send the dialog closes and the client says
    // QUIT; after a failure the dialog is enabled again.
    void reportOutcome(SendOutcome outcome, SmtpClient& client);

    Ui::CFeedback* ui = nullptr;
    ZnStyleShadow m_shadow;
    QString m_strUser;
    QString m_strPassword;
};
