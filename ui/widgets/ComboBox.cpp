// SPDX-License-Identifier: MIT
#include "widgets/ComboBox.h"

#include "widgets/NoFocusStyledItemDelegate.h"

#include <QAbstractItemView>
#include <QListWidget>
#include <QScrollBar>
#include <QVariant>

ComboBox::ComboBox(QWidget* parent)
    : QComboBox(parent)
{
    listWidget_ = new QListWidget(this);

    // The popup's container frame survives the view being replaced below, so
    // its border and ground are set on it rather than on the list.
    if (QWidget* popupFrame = view()->parentWidget())
        popupFrame->setStyleSheet(
            "QWidget{border:1px solid #0f8bfd;border-radius:3px;background-color: #1a2639;}");

    listWidget_->setItemDelegate(new NoFocusStyledItemDelegate(this));
    listWidget_->setProperty("common_comboBox_listWt_style1", true);
    listWidget_->setStyleSheet("QListWidget{border:0px;border-radius:3px;}");
    listWidget_->verticalScrollBar()->setStyleSheet(
        "QScrollBar:vertical{border:0px;} QScrollBar::handle:vertical{border:0px;}");

    // The combo adopts the list widget's own model (a list widget refuses a
    // foreign one), so the combo's item calls land in the list.
    setModel(listWidget_->model());
    setView(listWidget_);
}

ComboBox::~ComboBox() = default;

void ComboBox::showPopup()
{
    // The list placed its rows while it was still hidden and unpolished, with
    // the plain row height; the style sheet's taller rows then overlap and the
    // first entry is cut in half. Place them again with the styled height.
    listWidget_->doItemsLayout();
    QComboBox::showPopup();
}
