// SPDX-License-Identifier: MIT
#include "widgets/SWTableWidget.h"

#include <QBrush>
#include <QColor>
#include <QDebug>

SWTableWidget::SWTableWidget(QWidget* parent)
    : QTableWidget(parent), hoverRow_(-1)
{
    // Cells must report the mouse while no button is held.
    setAttribute(Qt::WA_MouseTracking);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);

    // By signature strings: a pointer-to-member connect could not tell the
    // inherited signal from this class's slot of the same name.
    connect(this, SIGNAL(cellEntered(int, int)), this, SLOT(cellEntered(int, int)));
}

SWTableWidget::~SWTableWidget() = default;

void SWTableWidget::cellEntered(int row, int column)
{
    qDebug("cellEnter,%d,%d", row, column);
    if (row == hoverRow_)
        return;
    if (row < 0)
        return;

    const int columns = columnCount();
    for (int c = 0; c < columns; ++c) {
        if (QTableWidgetItem* cell = item(row, c))
            cell->setBackground(QColor("#213147"));
    }
    // The row left behind gets the table's own ground back; a stale row past
    // the end simply has no items.
    for (int c = 0; c < columns; ++c) {
        if (QTableWidgetItem* cell = item(hoverRow_, c))
            cell->setBackground(QColor(11, 18, 30, 255));
    }
    hoverRow_ = row;
}
