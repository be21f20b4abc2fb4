// Fuzzes the MIME encoders with any bytes: quoted-printable (alone, folded,
// and as a text part's body) and the header line with its encoded words.
// Invariants: what a reader decodes is exactly the input; no line of any
// encoded text is longer than a mail line (998 octets), and folded
// quoted-printable and header lines keep their own tighter limits.
#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "HeaderLine.h"
#include "mail/MimeContentFormatter.h"
#include "mail/MimeText.h"
#include "mail/QuotedPrintable.h"

namespace {

constexpr int kMailLine = 998;

// The lines of a text as the SMTP client sends them: CR, LF and CRLF each end
// one.
QList<QByteArray> wireLines(QByteArray text) {
    text.replace("\r\n", "\n").replace('\r', '\n');
    return text.split('\n');
}

void checkLines(const QByteArray& text, int limit) {
    for (const QByteArray& line : wireLines(text)) {
        if (line.size() > limit || line.size() > kMailLine) std::abort();
    }
}

// Folded quoted-printable back to bytes: soft breaks out, then decoded.
QByteArray unfoldQuotedPrintable(QString text) { return decodeQuotedPrintable(text.remove(QStringLiteral("=\r\n"))); }

void checkQuotedPrintable(const QByteArray& bytes) {
    const QString encoded = encodeQuotedPrintable(bytes);
    if (decodeQuotedPrintable(encoded) != bytes) std::abort();
    const QString folded = MimeContentFormatter(76).format(encoded, true);
    checkLines(folded.toLatin1(), 76);
    if (unfoldQuotedPrintable(folded) != bytes) std::abort();
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    std::abort();
}

// One RFC 2047 encoded word "=?utf-8?Q?...?=" or "=?utf-8?B?...?=" to bytes.
QByteArray decodeWord(const QByteArray& word) {
    if (!word.endsWith("?=") || word.size() < 12) std::abort();
    const QByteArray payload = word.mid(10, word.size() - 12);
    if (word.startsWith("=?utf-8?B?")) return QByteArray::fromBase64(payload);
    if (!word.startsWith("=?utf-8?Q?")) std::abort();
    QByteArray out;
    for (int i = 0; i < payload.size(); ++i) {
        const char c = payload.at(i);
        if (c == '_') {
            out += ' ';
        } else if (c == '=') {
            if (i + 2 >= payload.size()) std::abort();
            out += static_cast<char>(hexDigit(payload.at(i + 1)) * 16 + hexDigit(payload.at(i + 2)));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

// A header line back to its value, as a mail reader unfolds and decodes it:
// plain words, or encoded words only (whose bytes join up).
QString readHeaderValue(const QByteArray& line, const QByteArray& name) {
    if (!line.startsWith(name) || !line.endsWith("\r\n")) std::abort();
    QByteArray value = line.mid(name.size(), line.size() - name.size() - 2);
    value.replace("\r\n ", " ");
    if (value.contains('\r') || value.contains('\n')) std::abort();
    if (value.isEmpty()) return QString();
    if (!value.startsWith(' ')) std::abort();
    value.remove(0, 1);
    if (!value.contains("=?utf-8?")) return QString::fromLatin1(value);
    QByteArray bytes;
    for (const QByteArray& word : value.split(' ')) bytes += decodeWord(word);
    return QString::fromUtf8(bytes);
}

void checkHeader(const QString& text, int mode) {
    const MimePart::Encoding encodings[] = {MimePart::_8Bit, MimePart::QuotedPrintable, MimePart::Base64};
    const MimePart::Encoding encoding = encodings[mode % 3];
    HeaderLine line(QStringLiteral("Subject:"));
    if (mode / 3 % 2 == 0) {
        line.addText(text, encoding);
    } else {
        line.addPhrase(text, encoding);
    }
    const QByteArray written = line.toString().toUtf8();
    // A line with encoded words keeps within their limit.
    for (const QByteArray& part : written.split('\n')) {
        if (part.contains("=?utf-8?") && part.size() > HeaderLine::kMaxEncodedColumns + 1) std::abort();
    }
    checkLines(written, kMailLine);
    if (readHeaderValue(written, "Subject:") != text) std::abort();
}

void checkTextPart(const QString& text) {
    MimeText part(text);
    const QByteArray written = part.toString().toUtf8();
    checkLines(written, kMailLine);
    const int bodyStart = written.indexOf("\r\n\r\n") + 4;
    const QByteArray header = written.left(bodyStart);
    const QByteArray body = written.mid(bodyStart, written.size() - bodyStart - 2);
    if (header.contains("Content-Transfer-Encoding: 8bit\r\n")) {
        if (body != text.toUtf8()) std::abort();
    } else if (header.contains("Content-Transfer-Encoding: quoted-printable\r\n")) {
        checkLines(body, 76);
        if (unfoldQuotedPrintable(QString::fromLatin1(body)) != text.toUtf8()) std::abort();
    } else {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int mode = data[0];
    // Repeated up to 32 times, so that lines get past the mail line's limit.
    const QByteArray bytes =
        QByteArray(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1)).repeated(1 + mode / 8);
    checkQuotedPrintable(bytes);
    const QString text = QString::fromUtf8(bytes);
    // The header takes at most 2000 UTF-16 units, cut between characters: a
    // half surrogate pair is no character, and the header rightly sends it as
    // U+FFFD.
    QString headerText = text.left(2000);
    if (!headerText.isEmpty() && headerText.at(headerText.size() - 1).isHighSurrogate()) headerText.chop(1);
    checkHeader(headerText, mode);
    checkTextPart(text);
    return 0;
}
