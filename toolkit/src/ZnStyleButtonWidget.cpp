#include "ZnStyleButtonWidget.h"

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
    m_nState = 1;
    m_strImages[1] = normal;
    m_strImages[2] = hover;
    m_strImages[3] = pressed;
    m_strImages[4] = disabled;
    m_bNaturalSizeIcon = false;
    setMouseTracking(true);
}

void ZnStyleButtonWidget::setImages(const QString& normal, const QString& hover, const QString& pressed) {
    m_nState = 1;
    m_strImages[1] = normal;
    m_strImages[2] = hover;
    m_strImages[3] = pressed;
    m_bNaturalSizeIcon = true;
}

void ZnStyleButtonWidget::setIconRect(const QRect& rect) { m_rcIcon = rect; }

void ZnStyleButtonWidget::refresh() {
    if (isEnabled()) emit signalUpdate();
}

void ZnStyleButtonWidget::enterEvent(QEvent*) {
    emit mouseEnter();
    if (m_nState != 0) {
        m_nState = 2;
        refresh();
    }
}

void ZnStyleButtonWidget::leaveEvent(QEvent*) {
    emit mouseLeave();
    if (m_nState != 0) {
        m_nState = 1;
        refresh();
    }
}

void ZnStyleButtonWidget::mousePressEvent(QMouseEvent* event) {
    if (m_nState == 0 || !isEnabled() || event->button() != Qt::LeftButton) return;
    m_nState = 3;
    refresh();
}

void ZnStyleButtonWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (m_nState != 0) {
        m_nState = 2;
        refresh();
    }
    if (rect().contains(event->pos())) emit clicked();
}

void ZnStyleButtonWidget::paintEvent(QPaintEvent* event) {
    if (m_nState == 0) {
        QWidget::paintEvent(event);
        return;
    }
    int state = m_nState;
    if (!isEnabled() && !m_strImages[4].isEmpty()) state = 4;
    const QPixmap pixmap(m_strImages[state]);
    if (pixmap.isNull()) return;

    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (m_rcIcon.width() != 0)
        painter.drawPixmap(m_rcIcon, pixmap);
    else if (m_bNaturalSizeIcon)
        painter.drawPixmap(1, 1, pixmap);
    else
        painter.drawPixmap(rect(), pixmap);
}
