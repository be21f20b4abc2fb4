#include "ZnStyleButton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QTextOption>

#include "ZnStyleCommon.h"

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
    m_nState = 1;
    m_strImages[1] = normal;
    m_strImages[2] = hover;
    m_strImages[3] = pressed;
    m_strImages[4] = disabled;
    m_bNaturalSizeIcon = false;
}

void ZnStyleButton::setImages(const QString& normal, const QString& hover, const QString& pressed) {
    m_nState = 1;
    m_strImages[1] = normal;
    m_strImages[2] = hover;
    m_strImages[3] = pressed;
    m_bNaturalSizeIcon = true;
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
    if (m_nState != 0) {
        m_nState = 2;
        refresh();
    }
}

void ZnStyleButton::leaveEvent(QEvent*) {
    emit mouseLeave();
    if (m_nState != 0) {
        m_nState = 1;
        refresh();
    }
}

void ZnStyleButton::mousePressEvent(QMouseEvent* event) {
    if (m_bUpdaterVariant) {
        if (m_nState == 0 || !isEnabled() || !rect().contains(event->pos())) return;
    } else if (m_nState == 0 || !isEnabled() || event->button() != Qt::LeftButton) {
        return;
    }
    m_nState = 3;
    refresh();
}

void ZnStyleButton::mouseReleaseEvent(QMouseEvent* event) {
    if (m_bUpdaterVariant) {
        if (!isEnabled()) return;
    } else if (event->button() != Qt::LeftButton) {
        return;
    }
    if (m_nState != 0) {
        m_nState = 2;
        refresh();
    }
    if (rect().contains(event->pos())) emit clicked(false);
}

void ZnStyleButton::paintEvent(QPaintEvent* event) {
    if (m_nState == 0) {
        QPushButton::paintEvent(event);
        return;
    }
    int state = m_nState;
    if (!isEnabled() && !m_strImages[4].isEmpty()) state = 4;
    const QPixmap pixmap(m_strImages[state]);

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
