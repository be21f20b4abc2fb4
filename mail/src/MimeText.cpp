#include "MimeText.h"

MimeText::MimeText(const QString& text) : text(text) {
    cType = QStringLiteral("text/plain");
    cCharset = QStringLiteral("utf-8");
    cEncoding = _8Bit;
}

MimeText::~MimeText() = default;

void MimeText::setText(const QString& text) { this->text = text; }

const QString& MimeText::getText() const { return text; }

void MimeText::prepare() {
    content = text.toUtf8();
    MimePart::prepare();
}
