#pragma once
// One header line of a mail, built from its name and tokens. Whatever a value
// holds, nothing it adds can end the line: text that is not plain printable
// ASCII goes out as RFC 2047 encoded words, a file name as a quoted and
// escaped string or an RFC 2231 parameter, and control characters never reach
// an address. Long lines are folded (CRLF and a blank) before a token that
// would run past 78 columns; a line with encoded words stays within 76.
//
//   HeaderLine line(QStringLiteral("Subject:"));
//   line.addText(subject, MimePart::_8Bit);
//   mime += line.toString();  // "Subject: ...\r\n", possibly folded
#include <QString>

#include "mail/MimePart.h"

class HeaderLine {
public:
    // `name` with its colon, e.g. "Subject:".
    explicit HeaderLine(const QString& name);

    // A blank (or a fold, when the token would run past the line) and `token`.
    void add(const QString& token);
    // `text` directly after what is there, never folded before (",", ";").
    void append(const QString& text);

    // Unstructured text such as the subject. With `Base64` or
    // `QuotedPrintable` always encoded words of that kind; otherwise plain
    // words when it is printable ASCII, else Q-encoded words.
    void addText(const QString& text, MimePart::Encoding encoding);
    // A display name: as addText, but plain only when it holds no RFC 5322
    // specials either. An empty name adds nothing.
    void addPhrase(const QString& name, MimePart::Encoding encoding);
    // "<address>" without control characters (an address never carries any
    // on the wire; the SMTP client refuses them).
    void addAngleAddress(const QString& address);
    // `name="value"` (quoted, '"' escaped) for a printable ASCII value without
    // '\', else `name*=utf-8''...` percent-encoded; a parameter that cannot
    // fit one line is cut into RFC 2231 sections `name*0*=`, `name*1*=`, ...
    void addParameter(const QString& name, const QString& value);

    // The line with its folds and the closing CRLF.
    QString toString() const;

    // Where lines are folded, and the limit of a line with encoded words.
    static constexpr int kMaxColumns = 78;
    static constexpr int kMaxEncodedColumns = 76;

private:
    // Adds a clean token after a blank or a fold.
    void put(const QString& token, bool encodedWord);
    void addEncodedWords(const QString& text, bool base64);
    // Plain words, split at blanks (every blank of the text stays).
    void addWords(const QString& text);

    QString m_text;
    int m_column = 0;
    bool m_hasToken = false;
    bool m_lineHasEncodedWord = false;
};
