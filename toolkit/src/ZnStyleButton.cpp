#include "toolkit/ZnStyleButton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QTextOption>

#include "toolkit/ZnStyleCommon.h"

ZnStyleButton::ZnStyleButton(QWidget* parent)
    : QPushButton(parent),
      m_bUpdaterVariant(ZnStyleCommon::toolkitVariant() == ZnToolkitVariant::Updater) {
    if (m_bUpdaterVariant) {
        setFlat(true);
    } else {
        QPalette pal = palette();
        pal.setColor(QPalette::ButtonText, QColor(66, 66, 66, 255));
        setPalette(pal);
    }
    connect(this, &ZnStyleButton::signalUpdate, this, QOverload<>::of(&QWidget::update));
}

void ZnStyleButton::setImages(const QString& normal, const QString& hover, const QString& pressed, QString disabled) {
    m_images.setImages(normal, hover, pressed, disabled);
}

void ZnStyleButton::setImages(const QString& normal, const QString& hover, const QString& pressed) {
    m_images.setImages(normal, hover, pressed);
}

void ZnStyleButton::setIconRect(const QRect& rect) { m_rcIcon = rect; }

void ZnStyleButton::refresh() {
    if (isEnabled()) emit signalUpdate();
}

// The base class's mouse handlers are never called: the button is never
// "down", never toggles or repeats, and reports mouse clicks only through the
// clicked(false) emitted on release.
void ZnStyleButton::enterEvent(QEvent*) {
    emit mouseEnter();
    if (m_images.enter()) refresh();
}

void ZnStyleButton::leaveEvent(QEvent*) {
    emit mouseLeave();
    if (m_images.leave()) refresh();
}

void ZnStyleButton::mousePressEvent(QMouseEvent* event) {
    if (!isEnabled()) return;
    if (m_bUpdaterVariant ? !rect().contains(event->pos()) : event->button() != Qt::LeftButton) return;
    if (m_images.press()) refresh();
}

void ZnStyleButton::mouseReleaseEvent(QMouseEvent* event) {
    if (m_bUpdaterVariant ? !isEnabled() : event->button() != Qt::LeftButton) return;
    if (m_images.release()) refresh();
    if (rect().contains(event->pos())) emit clicked(false);
}

void ZnStyleButton::paintEvent(QPaintEvent* event) {
    if (!m_images.isImageMode()) {
        QPushButton::paintEvent(event);
        return;
    }
    const QPixmap pixmap(m_images.currentImage(isEnabled()));

    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setFont(font());
    if (m_bUpdaterVariant) {
        if (!pixmap.isNull()) {
            const QPoint at = m_rcIcon.width() != 0 ? m_rcIcon.topLeft() : QPoint(0, 0);
            painter.drawPixmap(QRect(at, pixmap.size() / pixmap.devicePixelRatio()), pixmap);
        }
        painter.drawText(QRectF(rect()), text(), QTextOption(Qt::AlignCenter));
        return;
    }
    if (!pixmap.isNull()) painter.drawPixmap(m_rcIcon.width() != 0 ? m_rcIcon : rect(), pixmap);
    painter.drawText(rect(), Qt::AlignCenter, text());
}
