#include "mail/MimePart.h"

#include "HeaderLine.h"
#include "mail/QuotedPrintable.h"

MimePart::MimePart() : formatter(76) {}

MimePart::~MimePart() = default;

const QString& MimePart::getHeader() const { return header; }

const QByteArray& MimePart::getContent() const { return content; }

void MimePart::setContent(const QByteArray& content) { this->content = content; }

void MimePart::setHeader(const QString& header) { this->header = header; }

void MimePart::addHeaderLine(const QString& line) { header += line + QLatin1String("\r\n"); }

void MimePart::setContentId(const QString& cId) { this->cId = cId; }

const QString& MimePart::getContentId() const { return cId; }

void MimePart::setContentName(const QString& cName) { this->cName = cName; }

const QString& MimePart::getContentName() const { return cName; }

void MimePart::setContentType(const QString& cType) { this->cType = cType; }

const QString& MimePart::getContentType() const { return cType; }

void MimePart::setCharset(const QString& charset) { cCharset = charset; }

const QString& MimePart::getCharset() const { return cCharset; }

void MimePart::setEncoding(Encoding enc) { cEncoding = enc; }

MimePart::Encoding MimePart::getEncoding() const { return cEncoding; }

MimeContentFormatter& MimePart::getContentFormatter() { return formatter; }

MimePart::Encoding MimePart::transferEncoding() const { return cEncoding; }

QString MimePart::toString() {
    if (!prepared) prepare();
    return mimeString;
}

void MimePart::prepare() {
    // The name is a file name from anywhere: quoted and escaped, or encoded
    // when it holds more than printable ASCII.
    HeaderLine type(QStringLiteral("Content-Type:"));
    type.add(cType);
    if (!cName.isEmpty()) type.addParameter(QStringLiteral("name"), cName);
    if (!cCharset.isEmpty()) {
        type.append(QStringLiteral(";"));
        type.add(QStringLiteral("charset=") + cCharset);
    }
    if (!cBoundary.isEmpty()) {
        type.append(QStringLiteral(";"));
        type.add(QStringLiteral("boundary=") + cBoundary);
    }
    mimeString = type.toString();

    const Encoding encoding = transferEncoding();

    mimeString += QStringLiteral("Content-Transfer-Encoding: ");
    switch (encoding) {
    case _7Bit: mimeString += QLatin1String("7bit\r\n"); break;
    case _8Bit: mimeString += QLatin1String("8bit\r\n"); break;
    case Base64: mimeString += QLatin1String("base64\r\n"); break;
    case QuotedPrintable: mimeString += QLatin1String("quoted-printable\r\n"); break;
    }

    if (!cId.isEmpty()) {
        HeaderLine id(QStringLiteral("Content-ID:"));
        id.addAngleAddress(cId);
        mimeString += id.toString();
    }

    mimeString += header + QLatin1String("\r\n");

    switch (encoding) {
    case _7Bit:
        // Only what survives Latin-1 stays; ASCII content passes unchanged.
        mimeString += QString::fromUtf8(QString::fromUtf8(content).toLatin1());
        break;
    case _8Bit: mimeString += QString::fromUtf8(content); break;
    case Base64: mimeString += formatter.format(QString::fromLatin1(content.toBase64())); break;
    case QuotedPrintable: mimeString += formatter.format(encodeQuotedPrintable(content), true); break;
    }
    mimeString += QLatin1String("\r\n");
    prepared = true;
}
