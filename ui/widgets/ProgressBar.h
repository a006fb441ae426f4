#pragma once

#include <QProgressBar>

// Bar shown in the last column of every device row: a rounded blue frame inset
// from the cell's edges, value centred as a percentage.
class ProgressBar : public QProgressBar
{
    Q_OBJECT

public:
    explicit ProgressBar(QWidget* parent = nullptr);
    ~ProgressBar() override;
};
