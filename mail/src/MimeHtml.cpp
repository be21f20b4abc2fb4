#include "mail/MimeHtml.h"

MimeHtml::MimeHtml(const QString& html) : MimeText(html) { cType = QStringLiteral("text/html"); }

MimeHtml::~MimeHtml() = default;

void MimeHtml::setHtml(const QString& html) { text = html; }

const QString& MimeHtml::getHtml() const { return text; }

void MimeHtml::prepare() { MimeText::prepare(); }
