#include "MimeMultiPart.h"

#include <QCryptographicHash>
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

    // The boundary: the MD5 digest of one random byte, in hexadecimal.
    const char random = static_cast<char>(QRandomGenerator::global()->generate() & 0xFF);
    cBoundary = QString::fromLatin1(QCryptographicHash::hash(QByteArray(1, random), QCryptographicHash::Md5).toHex());
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
