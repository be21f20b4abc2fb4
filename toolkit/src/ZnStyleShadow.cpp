#include "toolkit/ZnStyleShadow.h"

#include <QPainter>
#include <QPainterPath>
#include <QWidget>
#include <cmath>

ZnStyleShadow::ZnStyleShadow() = default;
ZnStyleShadow::~ZnStyleShadow() = default;

void ZnStyleShadow::drawShadow(QWidget* widget) {
    if (!widget) return;
    const int w = widget->width();
    const int h = widget->height();

    QPainterPath body;
    body.setFillRule(Qt::WindingFill);
    body.addRoundedRect(QRectF(5, 5, w - 10, h - 10), 0, 0);

    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillPath(body, QBrush(Qt::white));

    // Five 1-px outlines from the body outwards, fading with the distance.
    for (int i = 0; i < 5; ++i) {
        const int inset = 5 - i;
        // The outline runs through the centres of the pixels of row/column
        // `inset` (and its mirror), so each one is a crisp 1-px line instead of
        // being smeared over two pixels by the antialiasing.
        QPainterPath outline;
        outline.setFillRule(Qt::WindingFill);
        outline.addRoundedRect(QRectF(inset + 0.5, inset + 0.5, w - 2 * inset - 1, h - 2 * inset - 1), 0, 0);
        QColor color(62, 137, 255);
        color.setAlpha(int((std::sqrt(5.0) - std::sqrt(double(i))) * 50));
        painter.setPen(color);
        painter.drawPath(outline);
    }
}
