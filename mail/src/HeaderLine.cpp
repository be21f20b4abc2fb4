#include "HeaderLine.h"

#include <QByteArray>
#include <QVector>

#include <cstring>

namespace {

const char kHexDigits[] = "0123456789ABCDEF";
const char kEncodedWordEnd[] = "?=";
// Plain words longer than this go out as encoded words, which can be cut.
constexpr int kMaxPlainWord = 70;

bool isAsciiAlphaNumeric(ushort c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isPrintableAscii(ushort c) { return c >= 0x20 && c <= 0x7E; }

// RFC 5322 atext: what a display name may hold without quoting or encoding.
bool isAtext(ushort c) { return isAsciiAlphaNumeric(c) || (c < 0x80 && c && strchr("!#$%&'*+-/=?^_`{|}~", c)); }

// Whether `text` can go out as it is: the allowed characters only, nothing a
// reader would take for an encoded word, and every word short enough to fold.
bool isPlain(const QString& text, bool phrase) {
    if (text.contains(QLatin1String("=?"))) return false;
    int word = 0;
    for (const QChar ch : text) {
        const ushort c = ch.unicode();
        if (c == ' ') {
            word = 0;
            continue;
        }
        if (phrase ? !isAtext(c) : !isPrintableAscii(c)) return false;
        if (++word > kMaxPlainWord) return false;
    }
    return true;
}

QString withoutControls(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        if (ch.unicode() >= 0x20 && ch.unicode() != 0x7F) out += ch;
    }
    return out;
}

void appendHex(QString& out, char prefix, unsigned char byte) {
    out += QLatin1Char(prefix);
    out += QLatin1Char(kHexDigits[byte >> 4]);
    out += QLatin1Char(kHexDigits[byte & 0x0F]);
}

// The Q encoding of RFC 2047 in its strictest form (valid in a display name
// too): letters, digits and "!*+-/" stay, a blank becomes "_", every other
// byte "=XX".
QString qEncode(const QByteArray& bytes) {
    QString out;
    for (const char ch : bytes) {
        const unsigned char byte = static_cast<unsigned char>(ch);
        if (isAsciiAlphaNumeric(byte) || (byte && strchr("!*+-/", byte))) {
            out += QLatin1Char(ch);
        } else if (byte == ' ') {
            out += QLatin1Char('_');
        } else {
            appendHex(out, '=', byte);
        }
    }
    return out;
}

QString wordPayload(const QByteArray& bytes, bool base64) {
    return base64 ? QString::fromLatin1(bytes.toBase64()) : qEncode(bytes);
}

// RFC 2231 value characters: letters, digits and "!#$&+-.^_`|~" stay, every
// other byte "%XX".
QString percentEncode(const QByteArray& bytes) {
    QString out;
    for (const char ch : bytes) {
        const unsigned char byte = static_cast<unsigned char>(ch);
        if (isAsciiAlphaNumeric(byte) || (byte && strchr("!#$&+-.^_`|~", byte))) {
            out += QLatin1Char(ch);
        } else {
            appendHex(out, '%', byte);
        }
    }
    return out;
}

bool isQuotable(const QString& value) {
    for (const QChar ch : value) {
        if (!isPrintableAscii(ch.unicode()) || ch == QLatin1Char('\\')) return false;
    }
    return true;
}

// The UTF-8 bytes of each character of `text` in turn (a character is never
// cut between two encoded words or parameter sections).
QVector<QByteArray> characterBytes(const QString& text) {
    QVector<QByteArray> characters;
    for (const uint codePoint : text.toUcs4()) characters << QString::fromUcs4(&codePoint, 1).toUtf8();
    return characters;
}

}  // namespace

HeaderLine::HeaderLine(const QString& name) : m_text(name), m_column(name.size()) {}

void HeaderLine::add(const QString& token) { put(withoutControls(token), false); }

void HeaderLine::put(const QString& token, bool encodedWord) {
    const int limit = encodedWord || m_lineHasEncodedWord ? kMaxEncodedColumns : kMaxColumns;
    if (m_hasToken && !token.isEmpty() && m_column + 1 + token.size() > limit) {
        m_text += QLatin1String("\r\n ");
        m_column = 1;
        m_lineHasEncodedWord = false;
    } else {
        m_text += QLatin1Char(' ');
        ++m_column;
    }
    m_text += token;
    m_column += token.size();
    m_hasToken = true;
    m_lineHasEncodedWord = m_lineHasEncodedWord || encodedWord;
}

void HeaderLine::append(const QString& text) {
    const QString clean = withoutControls(text);
    m_text += clean;
    m_column += clean.size();
}

void HeaderLine::addText(const QString& text, MimePart::Encoding encoding) {
    if (text.isEmpty()) {
        add(QString());
    } else if (encoding == MimePart::Base64 || encoding == MimePart::QuotedPrintable) {
        addEncodedWords(text, encoding == MimePart::Base64);
    } else if (isPlain(text, false)) {
        addWords(text);
    } else {
        addEncodedWords(text, false);
    }
}

void HeaderLine::addPhrase(const QString& name, MimePart::Encoding encoding) {
    if (name.isEmpty()) return;
    if (encoding == MimePart::Base64 || encoding == MimePart::QuotedPrintable) {
        addEncodedWords(name, encoding == MimePart::Base64);
    } else if (isPlain(name, true)) {
        addWords(name);
    } else {
        addEncodedWords(name, false);
    }
}

void HeaderLine::addAngleAddress(const QString& address) { add(QLatin1Char('<') + address + QLatin1Char('>')); }

void HeaderLine::addParameter(const QString& name, const QString& value) {
    append(QStringLiteral(";"));
    if (isQuotable(value)) {
        QString escaped = value;
        escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
        const QString token = name + QStringLiteral("=\"") + escaped + QLatin1Char('"');
        if (1 + token.size() <= kMaxColumns) {
            add(token);
            return;
        }
    }
    const QString charset = QStringLiteral("utf-8''");
    const QString whole = name + QStringLiteral("*=") + charset + percentEncode(value.toUtf8());
    if (1 + whole.size() <= kMaxColumns) {
        add(whole);
        return;
    }
    // Sections of whole characters, each on a line of its own.
    int section = 0;
    QString chunk = charset;
    bool chunkHasText = false;
    auto flush = [&]() {
        if (section > 0) append(QStringLiteral(";"));
        add(name + QLatin1Char('*') + QString::number(section) + QStringLiteral("*=") + chunk);
        ++section;
        chunk.clear();
        chunkHasText = false;
    };
    for (const QByteArray& character : characterBytes(value)) {
        const QString piece = percentEncode(character);
        const int prefix = name.size() + QString::number(section).size() + 3;  // "name*N*="
        if (chunkHasText && 1 + prefix + chunk.size() + piece.size() + 1 > kMaxColumns) flush();
        chunk += piece;
        chunkHasText = true;
    }
    flush();
}

QString HeaderLine::toString() const { return m_text + QLatin1String("\r\n"); }

void HeaderLine::addEncodedWords(const QString& text, bool base64) {
    const QString prefix = base64 ? QStringLiteral("=?utf-8?B?") : QStringLiteral("=?utf-8?Q?");
    const int overhead = prefix.size() + int(sizeof kEncodedWordEnd) - 1;
    // An encoded word is at most 75 characters and its line at most 76.
    const int fullRoom = kMaxEncodedColumns - 1 - overhead;
    // The first word fills what is left of this line, if a character of up to
    // four bytes fits there; otherwise it starts a continuation line.
    int room = qMin(fullRoom, kMaxEncodedColumns - m_column - 1 - overhead);
    if (room < (base64 ? 8 : 12)) room = fullRoom;
    QByteArray word;
    for (const QByteArray& character : characterBytes(text)) {
        if (!word.isEmpty() && wordPayload(word + character, base64).size() > room) {
            put(prefix + wordPayload(word, base64) + QLatin1String(kEncodedWordEnd), true);
            word.clear();
            room = fullRoom;
        }
        word += character;
    }
    if (!word.isEmpty()) put(prefix + wordPayload(word, base64) + QLatin1String(kEncodedWordEnd), true);
}

void HeaderLine::addWords(const QString& text) {
    for (const QString& word : text.split(QLatin1Char(' '))) add(word);
}
