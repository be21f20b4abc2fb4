#include "toolkit/ZnStyleLink.h"

ZnStyleLink::ZnStyleLink(QWidget* parent) : QLabel(parent, Qt::WindowFlags()) {}

// The whole text is rewritten, so "none" or "underline" in the visible words
// changes as well; the callers' texts carry them only in the link style.
void ZnStyleLink::enterEvent(QEvent*) {
    QString t = text();
    t.replace(QStringLiteral("none"), QStringLiteral("underline"), Qt::CaseSensitive);
    setText(t);
}

void ZnStyleLink::leaveEvent(QEvent*) {
    QString t = text();
    t.replace(QStringLiteral("underline"), QStringLiteral("none"), Qt::CaseSensitive);
    setText(t);
}
