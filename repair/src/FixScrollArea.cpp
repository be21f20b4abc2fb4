#include "repair/FixScrollArea.h"

#include <QScrollBar>

CFixScrollArea::CFixScrollArea(QWidget* parent) : QScrollArea(parent) {
    setStyleSheet(QStringLiteral("QScrollArea{border:0;padding:0;}"));
    verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar{margin: 0px;background:transparent; width: 6px;height:30px; min-width:6; min-height:30}"
        "QScrollBar::handle{background:#c0c0c0; border:0; height:40;min-height:40;border-radius:3px;}"
        "QScrollBar::handle:hover{background:gray; border:0;}"
        "QScrollBar::sub-line{background:transparent;width:0px;height:0px;border:0;}"
        "QScrollBar::add-line{background:transparent;width:0px;height:0px;border:0;}"));
}

void CFixScrollArea::scrollContentsBy(int dx, int dy) {
    m_nTotalX += dx;
    m_nTotalY += dy;
    emit signalScrollPoint(m_nTotalX, m_nTotalY);
    QScrollArea::scrollContentsBy(dx, dy);
}
