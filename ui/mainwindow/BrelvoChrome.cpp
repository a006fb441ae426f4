// SPDX-License-Identifier: MIT
// The services a system frame would give: dragging, minimising to the tray,
// restoring from it, and the title bar's context menu.
#include "mainwindow/Brelvo.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QMenu>

void Brelvo::contextMenuEvent(QContextMenuEvent* event)
{
    titleBarMenu_->clear();
    titleBarMenu_->addAction(aboutAction_);
    const QPoint cursor = QCursor::pos();
    if (titleBar_->geometry().contains(mapFromGlobal(cursor)))
        titleBarMenu_->exec(cursor);
    event->accept();
}

void Brelvo::minimizeToTray()
{
    // Without a tray there would be no way back to a hidden window.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        showMinimized();
        return;
    }
    hide();
    trayIcon_->setVisible(true);
}

void Brelvo::trayIconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::DoubleClick)
        return;
    show();
    trayIcon_->hide();
}
