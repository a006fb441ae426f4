// SPDX-License-Identifier: MIT
#pragma once

#include <QStyledItemDelegate>

// Item delegate that never draws the dotted focus frame: the dark popup lists
// show the current row through their selection colours alone.
class NoFocusStyledItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit NoFocusStyledItemDelegate(QObject* parent = nullptr);
    ~NoFocusStyledItemDelegate() override;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
