#include "toolkit/ZnStyleButtonWidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

ZnStyleButtonWidget::ZnStyleButtonWidget(QWidget* parent) : QWidget(parent) {
    QPalette pal = palette();
    pal.setColor(QPalette::ButtonText, QColor(66, 66, 66, 255));
    setPalette(pal);
    connect(this, &ZnStyleButtonWidget::signalUpdate, this, QOverload<>::of(&QWidget::update));
}

void ZnStyleButtonWidget::setImages(const QString& normal, const QString& hover, const QString& pressed,
                                    QString disabled) {
    m_images.setImages(normal, hover, pressed, disabled);
    setMouseTracking(true);
}

void ZnStyleButtonWidget::setImages(const QString& normal, const QString& hover, const QString& pressed) {
    m_images.setImages(normal, hover, pressed);
}

void ZnStyleButtonWidget::setIconRect(const QRect& rect) { m_rcIcon = rect; }

void ZnStyleButtonWidget::refresh() {
    if (isEnabled()) emit signalUpdate();
}

void ZnStyleButtonWidget::enterEvent(QEvent*) {
    emit mouseEnter();
    if (m_images.enter()) refresh();
}

void ZnStyleButtonWidget::leaveEvent(QEvent*) {
    emit mouseLeave();
    if (m_images.leave()) refresh();
}

void ZnStyleButtonWidget::mousePressEvent(QMouseEvent* event) {
    if (!isEnabled() || event->button() != Qt::LeftButton) return;
    if (m_images.press()) refresh();
}

void ZnStyleButtonWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (m_images.release()) refresh();
    if (rect().contains(event->pos())) emit clicked();
}

void ZnStyleButtonWidget::paintEvent(QPaintEvent* event) {
    if (!m_images.isImageMode()) {
        QWidget::paintEvent(event);
        return;
    }
    const QPixmap pixmap(m_images.currentImage(isEnabled()));
    if (pixmap.isNull()) return;

    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (m_rcIcon.width() != 0)
        painter.drawPixmap(m_rcIcon, pixmap);
    else if (m_images.isNaturalSize())
        painter.drawPixmap(1, 1, pixmap);
    else
        painter.drawPixmap(rect(), pixmap);
}
