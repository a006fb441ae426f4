// SPDX-License-Identifier: MIT
#include "widgets/NoFocusStyledItemDelegate.h"

NoFocusStyledItemDelegate::NoFocusStyledItemDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

NoFocusStyledItemDelegate::~NoFocusStyledItemDelegate() = default;

void NoFocusStyledItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const
{
    QStyleOptionViewItem itemOption(option);
    if (itemOption.state & QStyle::State_HasFocus)
        itemOption.state = itemOption.state ^ QStyle::State_HasFocus;
    QStyledItemDelegate::paint(painter, itemOption, index);
}
