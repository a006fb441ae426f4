// SPDX-License-Identifier: MIT
#pragma once

#include <QComboBox>

class QListWidget;

// Drop-down whose popup is a list widget dressed for the dark theme: the
// application style sheet recognises the list by a dynamic property, and items
// are drawn without a focus frame.
class ComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit ComboBox(QWidget* parent = nullptr);
    ~ComboBox() override;

    void showPopup() override;

private:
    QListWidget* listWidget_;
};
