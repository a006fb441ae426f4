// SPDX-License-Identifier: MIT
#pragma once

#include <QTableWidget>

// Read-only device table that selects whole rows and highlights the row the
// mouse last entered.
class SWTableWidget : public QTableWidget
{
    Q_OBJECT

public:
    explicit SWTableWidget(QWidget* parent = nullptr);
    ~SWTableWidget() override;

public slots:
    // Shares its name with the inherited signal it is connected to.
    void cellEntered(int row, int column);

private:
    int hoverRow_;
};
