#pragma once
// A plain-text part: "text/plain", charset utf-8, sent as 8bit. A text with a
// line longer than a mail line may be (998 octets, RFC 5322 2.1.1) is sent
// quoted-printable instead, so relays neither refuse nor bounce it; its
// decoded bytes are the text's exactly.
#include <QString>

#include "MimePart.h"

class MimeText : public MimePart {
    Q_OBJECT
public:
    explicit MimeText(const QString& text = QString());
    ~MimeText() override;

    void setText(const QString& text);
    const QString& getText() const;

    void prepare() override;

    // The longest line, in octets without its line end, that goes out as it is.
    static constexpr int kMaxLineOctets = 998;

protected:
    Encoding transferEncoding() const override;

    QString text;
};
