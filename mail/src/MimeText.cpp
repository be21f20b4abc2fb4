#include "mail/MimeText.h"

namespace {

// Whether a line of `bytes` is longer than `limit` octets. Lines end at CR or
// LF, as the SMTP client puts every one of them on the wire as a line end.
bool hasLineLongerThan(const QByteArray& bytes, int limit) {
    int length = 0;
    for (const char c : bytes) {
        length = (c == '\r' || c == '\n') ? 0 : length + 1;
        if (length > limit) return true;
    }
    return false;
}

}  // namespace

MimeText::MimeText(const QString& text) : text(text) {
    cType = QStringLiteral("text/plain");
    cCharset = QStringLiteral("utf-8");
    cEncoding = _8Bit;
}

MimeText::~MimeText() = default;

void MimeText::setText(const QString& text) { this->text = text; }

const QString& MimeText::getText() const { return text; }

MimePart::Encoding MimeText::transferEncoding() const {
    if (cEncoding == _8Bit && hasLineLongerThan(content, kMaxLineOctets)) return QuotedPrintable;
    return cEncoding;
}

void MimeText::prepare() {
    content = text.toUtf8();
    MimePart::prepare();
}
