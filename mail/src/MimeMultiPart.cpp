#include "mail/MimeMultiPart.h"

#include <QRandomGenerator>

namespace {

// Content types by MultiPartType.
const char* const MULTI_PART_NAMES[] = {
    "multipart/mixed",  "multipart/digest", "multipart/alternative", "multipart/related",
    "multipart/report", "multipart/signed", "multipart/encrypted",
};

}  // namespace

MimeMultiPart::MimeMultiPart(MultiPartType type) : type(type) {
    cType = QLatin1String(MULTI_PART_NAMES[type]);
    cEncoding = _8Bit;

    // The boundary: 128 bits from the system's random source as 32 lower-case
    // hexadecimal digits. Two multiparts of one mail must never share it (the
    // inner one's parts would fall out of the outer one), nor may a line of a
    // part hit it by chance.
    quint32 random[4];
    QRandomGenerator::system()->fillRange(random);
    cBoundary = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(random), sizeof random).toHex());
}

MimeMultiPart::~MimeMultiPart() = default;

void MimeMultiPart::setMimeType(MultiPartType type) {
    this->type = type;
    cType = QLatin1String(MULTI_PART_NAMES[type]);
}

MimeMultiPart::MultiPartType MimeMultiPart::getMimeType() const { return type; }

const QList<MimePart*>& MimeMultiPart::getParts() const { return parts; }

void MimeMultiPart::addPart(MimePart* part) { parts.append(part); }

void MimeMultiPart::prepare() {
    QString text;
    for (MimePart* part : parts) {
        text += QStringLiteral("--") + cBoundary + QLatin1String("\r\n");
        part->prepare();
        text += part->toString();
    }
    text += QStringLiteral("--") + cBoundary + QLatin1String("--\r\n");
    content = text.toUtf8();
    MimePart::prepare();
}
