#include "toolkit/ZnStyleWidget.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include "toolkit/ZnStyleCommon.h"

ZnStyleWidget::ZnStyleWidget(QWidget* parent)
    : QWidget(parent, Qt::WindowFlags()),
      m_bUpdaterVariant(ZnStyleCommon::toolkitVariant() == ZnToolkitVariant::Updater) {
    initDesktop();
}

void ZnStyleWidget::initDesktop() {
    // The drag bounds come from the primary screen's available area as it is
    // now; a later change of the screen layout keeps them.
    m_pDesktop = QApplication::desktop();
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect available = primary ? primary->availableGeometry() : QRect();
    m_nAvailableWidth = available.width();
    m_nAvailableHeight = available.height();
}

void ZnStyleWidget::setPWidget(QWidget* target, int x, int y, bool enable) {
    m_pWidget = target;
    m_ptOffset = QPoint(x, y);
    if (m_bUpdaterVariant)
        setAttribute(Qt::WA_MouseTracking, enable);
    else
        setMouseTracking(enable);
    m_bDragEnabled = enable;
}

void ZnStyleWidget::setBackgroundImage(const QString& path) { m_strBackgroundImage = path; }

void ZnStyleWidget::slotClosePWidget() {
    if (m_pWidget) m_pWidget->close();
}

void ZnStyleWidget::mousePressEvent(QMouseEvent* event) {
    if (!m_bDragEnabled || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (m_pWidget) {
        if (m_bUpdaterVariant)
            m_pWidget->setFocus(Qt::MouseFocusReason);
        else
            m_pWidget->setFocus();
    }
    m_bPressed = true;
    m_ptPress = event->pos();
    event->accept();
}

void ZnStyleWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!m_bPressed || (!m_bUpdaterVariant && event->buttons() == Qt::NoButton)) return;
    const QPoint target = event->globalPos() - m_ptOffset - m_ptPress;
    // A position outside the bounds is skipped, not clamped: the window stays
    // where it was until the mouse comes back inside.
    const bool inside = target.x() > -800 && target.x() <= m_nAvailableWidth - 200 && target.y() > 22 &&
                        target.y() <= m_nAvailableHeight - 100;
    if (inside && m_pWidget && m_pWidget->hasFocus()) m_pWidget->move(target);
    if (!m_bUpdaterVariant) event->accept();
}

void ZnStyleWidget::mouseReleaseEvent(QMouseEvent* event) {
    m_bPressed = false;
    event->accept();
}

void ZnStyleWidget::paintEvent(QPaintEvent*) {
    const QPixmap pixmap(m_strBackgroundImage);
    if (pixmap.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawPixmap(rect(), pixmap);
}
