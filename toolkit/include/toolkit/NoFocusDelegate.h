#pragma once
// Item delegate that paints items without the focus rectangle.
#include <QStyledItemDelegate>

class NoFocusDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit NoFocusDelegate(QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
