// SPDX-License-Identifier: MIT
#pragma once

#include "widgets/Outcome.h"

#include <QProgressBar>

// Bar shown in the last column of every device row: a rounded frame inset
// from the cell's edges, value centred as a percentage. Its frame and chunk
// take the colour of the row's outcome (blue while running).
class ProgressBar : public QProgressBar
{
    Q_OBJECT

public:
    explicit ProgressBar(QWidget* parent = nullptr);
    ~ProgressBar() override;

    Outcome outcome() const { return outcome_; }
    void setOutcome(Outcome outcome);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Outcome outcome_ = Outcome::Running;
};
