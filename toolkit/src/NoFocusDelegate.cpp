#include "toolkit/CNoFocusDelegate.h"
#include "toolkit/NoFocusDelegate.h"

namespace {

QStyleOptionViewItem withoutFocus(const QStyleOptionViewItem& option) {
    QStyleOptionViewItem copy(option);
    if (copy.state & QStyle::State_HasFocus) copy.state &= ~QStyle::State_HasFocus;
    return copy;
}

}  // namespace

CNoFocusDelegate::CNoFocusDelegate() : QStyledItemDelegate(nullptr) {}

void CNoFocusDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, withoutFocus(option), index);
}

NoFocusDelegate::NoFocusDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void NoFocusDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, withoutFocus(option), index);
}
