#include "toolkit/ZnStyleTableWidget.h"

#include <QHeaderView>
#include <QScrollBar>

#include "toolkit/NoFocusDelegate.h"
#include "toolkit/ZnStyleCommon.h"
#include "toolkit/ZnStyleSheet.h"

namespace {

// The second block's "min-width:6 min-height:10" lacks its semicolon; the sheet
// has always read so.
const char kTableVerticalSheet[] =
    "QScrollBar{background:transparent; width: 6px; min-width:6; min-height:10}"
    "QScrollBar::handle{background:lightgray; border:2px solid transparent; border-radius:5px;}"
    "QScrollBar::handle:hover{background:gray;}"
    "QScrollBar::sub-line{background:transparent;}QScrollBar::add-line{background:transparent;}"
    "QScrollBar{background:transparent; height:10px; min-width:6 min-height:10}"
    "QScrollBar::handle{background:lightgray; border:2px solid transparent; border-radius:5px;}"
    "QScrollBar::handle:hover{background:gray;}"
    "QScrollBar::sub-line{background:transparent;}QScrollBar::add-line{background:transparent;}";

}  // namespace

ZnStyleTableWidget::ZnStyleTableWidget(QWidget* parent) : QTableWidget(parent) {
    QHeaderView* header = horizontalHeader();
    header->setFont(g_styleCommon.getFont(15));
    header->setMinimumHeight(34);
    header->setStyleSheet(
        QStringLiteral("QHeaderView::section {background-color: transparent;color: rgb(102, 102, 102);selection-color: "
                       "#616c72;border: 1px solid #eeeeee;border-width: 1px 1px 1px 1px;border-color: #eeeeee;}"));
    header->setStretchLastSection(true);

    setGreyScrollBarStyle(horizontalScrollBar());
    verticalScrollBar()->setStyleSheet(QLatin1String(kTableVerticalSheet));

    setStyleSheet(QStringLiteral(
        "color: #787878;selection-color: #787878;selection-background-color: rgb(215, 229, 255);gridline-color: "
        "rgb(230, 230, 230);border-color: rgb(230, 230, 230);border: 0px solid #eeeeee;"));

    setItemDelegate(new NoFocusDelegate(this));

    verticalHeader()->setHidden(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    header->setSectionsClickable(false);

    setFont(g_styleCommon.getFont(15));
}
