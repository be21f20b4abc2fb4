#pragma once
// One mail: sender, recipients by kind, subject, optional Reply-To and
// In-Reply-To, and one content part (by default a "multipart/related" the
// message makes and owns). toString() gives the whole text to send.
#include <QList>
#include <QObject>
#include <QString>

#include "MimePart.h"

class EmailAddress;

class MimeMessage : public QObject {
    Q_OBJECT
public:
    enum RecipientType { To, Cc, Bcc };

    // With createAutoMimeContent the content is a new "multipart/related"
    // that the message deletes.
    explicit MimeMessage(bool createAutoMimeContent = true);
    ~MimeMessage() override;

    // The message becomes the address's parent.
    void setSender(EmailAddress* e);
    void addRecipient(EmailAddress* rcpt, RecipientType type = To);
    void setReplyTo(EmailAddress* rto);
    void setSubject(const QString& subject);
    void setInReplyTo(const QString& inReplyTo);
    // How display names and the subject are written: Base64 or
    // QuotedPrintable always as encoded words of that kind; anything else
    // plain when they are plain printable ASCII (names: without specials),
    // else as Q-encoded words, so that no value can end a header line.
    void setHeaderEncoding(MimePart::Encoding hEnc);

    // Appends a part when the content is a multipart; the part is not owned.
    void addPart(MimePart* part);
    // Replaces the content (deleting it when the message made it); the new one
    // is not owned.
    void setContent(MimePart* content);

    const EmailAddress& getSender() const;
    const QList<EmailAddress*>& getRecipients(RecipientType type = To) const;
    const EmailAddress* getReplyTo() const;
    const QString& getSubject() const;
    const QString& getInReplyTo() const;
    MimePart::Encoding getHeaderEncoding() const;
    MimePart& getContent();
    // The content's parts, or a list of the content alone.
    const QList<MimePart*> getParts() const;

    virtual QString toString();

protected:
    EmailAddress* sender = nullptr;
    EmailAddress* replyTo = nullptr;
    QList<EmailAddress*> recipientsTo;
    QList<EmailAddress*> recipientsCc;
    QList<EmailAddress*> recipientsBcc;
    QString subject;
    QString mInReplyTo;
    MimePart* content = nullptr;
    bool autoMimeContent = false;
    MimePart::Encoding hEncoding = MimePart::_8Bit;

private:
    // One address header line ("To:" ...): each display name encoded as the
    // header encoding says (and whenever it is not plain text), the addresses
    // separated by ",", folded where the line gets long.
    QString addressLine(const QString& name, const QList<EmailAddress*>& list) const;
};
