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

#include "ZnStyleShadow.h"

class QPaintEvent;

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
    void initStyle();
    QString emailBody(const QString& address, const QString& content) const;
    // A message box titled with the product name, with the OK button; the
    // icon path is relative to the skin folder (empty: none).
    void showMessage(const QString& text, const QString& icon, const QString& title);

    Ui::CFeedback* ui = nullptr;
    ZnStyleShadow m_shadow;
    QString m_strUser;
    QString m_strPassword;
};
