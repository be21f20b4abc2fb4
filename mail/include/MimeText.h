#pragma once
// A plain-text part: "text/plain", charset utf-8, sent as 8bit.
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

protected:
    QString text;
};
