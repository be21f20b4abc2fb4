#include "mail/MimeMessage.h"

#include <QDateTime>

#include "mail/EmailAddress.h"
#include "mail/MimeMultiPart.h"
#include "HeaderLine.h"

MimeMessage::MimeMessage(bool createAutoMimeContent) : autoMimeContent(createAutoMimeContent) {
    if (createAutoMimeContent) content = new MimeMultiPart();
}

MimeMessage::~MimeMessage() {
    if (autoMimeContent) delete content;
    content = nullptr;
}

void MimeMessage::setSender(EmailAddress* e) {
    sender = e;
    e->setParent(this);
}

void MimeMessage::addRecipient(EmailAddress* rcpt, RecipientType type) {
    switch (type) {
    case To: recipientsTo << rcpt; break;
    case Cc: recipientsCc << rcpt; break;
    case Bcc: recipientsBcc << rcpt; break;
    }
    rcpt->setParent(this);
}

void MimeMessage::setReplyTo(EmailAddress* rto) { replyTo = rto; }

void MimeMessage::setSubject(const QString& subject) { this->subject = subject; }

void MimeMessage::setInReplyTo(const QString& inReplyTo) { mInReplyTo = inReplyTo; }

void MimeMessage::setHeaderEncoding(MimePart::Encoding hEnc) { hEncoding = hEnc; }

void MimeMessage::addPart(MimePart* part) {
    if (auto* multi = qobject_cast<MimeMultiPart*>(content)) multi->addPart(part);
}

void MimeMessage::setContent(MimePart* content) {
    if (autoMimeContent) delete this->content;
    this->content = content;
    autoMimeContent = false;
}

const EmailAddress& MimeMessage::getSender() const { return *sender; }

const QList<EmailAddress*>& MimeMessage::getRecipients(RecipientType type) const {
    switch (type) {
    case Cc: return recipientsCc;
    case Bcc: return recipientsBcc;
    case To: break;
    }
    return recipientsTo;
}

const EmailAddress* MimeMessage::getReplyTo() const { return replyTo; }

const QString& MimeMessage::getSubject() const { return subject; }

const QString& MimeMessage::getInReplyTo() const { return mInReplyTo; }

MimePart::Encoding MimeMessage::getHeaderEncoding() const { return hEncoding; }

MimePart& MimeMessage::getContent() { return *content; }

const QList<MimePart*> MimeMessage::getParts() const {
    if (auto* multi = qobject_cast<MimeMultiPart*>(content)) return multi->getParts();
    return QList<MimePart*>() << content;
}

QString MimeMessage::addressLine(const QString& name, const QList<EmailAddress*>& list) const {
    HeaderLine line(name);
    for (int i = 0; i < list.size(); ++i) {
        if (i > 0) line.append(QStringLiteral(","));
        line.addPhrase(list.at(i)->getName(), hEncoding);
        line.addAngleAddress(list.at(i)->getAddress());
    }
    return line.toString();
}

QString MimeMessage::toString() {
    QString mime = addressLine(QStringLiteral("From:"), {sender});
    mime += addressLine(QStringLiteral("To:"), recipientsTo);
    if (!recipientsCc.isEmpty()) mime += addressLine(QStringLiteral("Cc:"), recipientsCc);
    HeaderLine subjectLine(QStringLiteral("Subject:"));
    subjectLine.addText(subject, hEncoding);
    mime += subjectLine.toString();
    if (replyTo) {
        // "Reply-To:" and a blank, then the address as in the other lines.
        HeaderLine replyLine(QStringLiteral("Reply-To: "));
        replyLine.addPhrase(replyTo->getName(), hEncoding);
        replyLine.addAngleAddress(replyTo->getAddress());
        mime += replyLine.toString();
    }
    mime += QStringLiteral("MIME-Version: 1.0\r\n");
    if (!mInReplyTo.isEmpty()) {
        for (const char* name : {"In-Reply-To:", "References:"}) {
            HeaderLine line{QLatin1String(name)};
            line.addAngleAddress(mInReplyTo);
            mime += line.toString();
        }
    }
    mime += QStringLiteral("Date: %1\r\n").arg(QDateTime::currentDateTime().toString(Qt::RFC2822Date));
    mime += content->toString();
    return mime;
}
