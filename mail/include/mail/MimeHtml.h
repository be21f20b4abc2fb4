#pragma once
// An HTML part: a text part of type "text/html".
#include <QString>

#include "MimeText.h"

class MimeHtml : public MimeText {
    Q_OBJECT
public:
    explicit MimeHtml(const QString& html = QString());
    ~MimeHtml() override;

    void setHtml(const QString& html);
    const QString& getHtml() const;

    void prepare() override;
};
