#pragma once
// Item delegate that paints items without the focus rectangle.
#include <QStyledItemDelegate>

class CNoFocusDelegate : public QStyledItemDelegate {
public:
    CNoFocusDelegate();
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
