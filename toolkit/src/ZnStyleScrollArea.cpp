#include "toolkit/ZnStyleScrollArea.h"

#include <QScrollBar>

#include "toolkit/ZnStyleSheet.h"

namespace {

const char kVerticalSheet[] =
    "QScrollBar{margin: 0px;background:transparent; width: 6px; min-width:10; min-height:10}"
    "QScrollBar::handle{background:#c0c0c0; border:2px solid transparent; border-radius:5px;}"
    "QScrollBar::handle:hover{background:#b1b1b1;}"
    "QScrollBar::sub-line{background:transparent;width:0px;height:0px}"
    "QScrollBar::add-line{background:transparent;width:0px;height:0px}"
    "QScrollBar{background:transparent; height:30px; min-width:6; min-height:30}"
    "QScrollBar::handle{background:#c0c0c0; border:20px solid transparent; border-radius:5px;}"
    "QScrollBar::handle:hover{background:#b1b1b1;}"
    "QScrollBar::sub-line{background:transparent;width:0px;height:0px}"
    "QScrollBar::add-line{background:transparent;width:0px;height:0px}";

}  // namespace

ZnStyleScrollArea::ZnStyleScrollArea(QWidget* parent) : QScrollArea(parent) {
    verticalScrollBar()->setStyleSheet(QLatin1String(kVerticalSheet));
    setGreyScrollBarStyle(horizontalScrollBar());
}

void ZnStyleScrollArea::scrollContentsBy(int dx, int dy) {
    m_nTotalX += dx;
    m_nTotalY += dy;
    emit signalScrollPoint(m_nTotalX, m_nTotalY);
    QScrollArea::scrollContentsBy(dx, dy);
}
