// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

// Lets the left button move a frameless window: a press that no child takes
// grabs the window, and it follows the cursor until the button is let go.
// Installed on the window it moves and owned by it; the window's own mouse
// handlers still see every event.
class WindowDrag : public QObject
{
public:
    explicit WindowDrag(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    bool dragging_ = false;
    QPoint startCursor_;
    QPoint startWindow_;
};
