#include "MimeMessage.h"

#include <QDateTime>

#include "EmailAddress.h"
#include "MimeMultiPart.h"
#include "QuotedPrintable.h"

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

QString MimeMessage::encodeHeaderText(const QString& text) const {
    switch (hEncoding) {
    case MimePart::Base64:
        return QStringLiteral("=?utf-8?B?") + QString::fromLatin1(text.toUtf8().toBase64()) + QStringLiteral("?=");
    case MimePart::QuotedPrintable:
        return QStringLiteral("=?utf-8?Q?") +
               encodeQuotedPrintable(text.toUtf8())
                   .replace(QLatin1Char(':'), QLatin1String("=3A"))
                   .replace(QLatin1Char(' '), QLatin1Char('_')) +
               QStringLiteral("?=");
    default: return text;
    }
}

QString MimeMessage::namePart(const EmailAddress& address) const {
    if (address.getName().isEmpty()) return QString();
    return QLatin1Char(' ') + encodeHeaderText(address.getName());
}

QString MimeMessage::addressList(const QList<EmailAddress*>& list) const {
    QString text;
    for (int i = 0; i < list.size(); ++i) {
        if (i > 0) text += QLatin1Char(',');
        text += namePart(*list.at(i)) + QStringLiteral(" <") + list.at(i)->getAddress() + QLatin1Char('>');
    }
    return text;
}

QString MimeMessage::toString() {
    QString mime;
    mime = QStringLiteral("From:") + namePart(*sender) + QStringLiteral(" <") + sender->getAddress() +
           QStringLiteral(">\r\n");
    mime += QStringLiteral("To:") + addressList(recipientsTo) + QStringLiteral("\r\n");
    if (!recipientsCc.isEmpty()) mime += QStringLiteral("Cc:") + addressList(recipientsCc) + QStringLiteral("\r\n");
    mime += QStringLiteral("Subject: ") + encodeHeaderText(subject) + QStringLiteral("\r\n");
    if (replyTo) {
        mime += QStringLiteral("Reply-To: ") + namePart(*replyTo) + QStringLiteral(" <") + replyTo->getAddress() +
                QStringLiteral(">\r\n");
    }
    mime += QStringLiteral("MIME-Version: 1.0\r\n");
    if (!mInReplyTo.isEmpty()) {
        mime += QStringLiteral("In-Reply-To: <") + mInReplyTo + QStringLiteral(">\r\n");
        mime += QStringLiteral("References: <") + mInReplyTo + QStringLiteral(">\r\n");
    }
    mime += QStringLiteral("Date: %1\r\n").arg(QDateTime::currentDateTime().toString(Qt::RFC2822Date));
    mime += content->toString();
    return mime;
}
