// The services a system frame would give: dragging, minimising to the tray,
// restoring from it, and the title bar's context menu.
#include "mainwindow/Brelvo.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>

void Brelvo::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        dragging = true;
        pressPos = event->globalPos();
        windowPos = frameGeometry().topLeft();
    }
    QWidget::mousePressEvent(event);
}

void Brelvo::mouseReleaseEvent(QMouseEvent* event)
{
    dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void Brelvo::mouseMoveEvent(QMouseEvent* event)
{
    if ((event->buttons() & Qt::LeftButton) && dragging) {
        const QPoint travel = event->globalPos() - pressPos;
        move(windowPos.x() + travel.x(), windowPos.y() + travel.y());
    }
}

void Brelvo::contextMenuEvent(QContextMenuEvent* event)
{
    trayMenu->clear();
    trayMenu->addAction(aboutAction);
    const QPoint cursor = QCursor::pos();
    if (topWidget->geometry().contains(mapFromGlobal(cursor)))
        trayMenu->exec(cursor);
    event->accept();
}

void Brelvo::miniButtonClicked()
{
    // Without a tray there would be no way back to a hidden window.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        showMinimized();
        return;
    }
    hide();
    trayIcon->setVisible(true);
}

void Brelvo::onSystemTrayIconClicked(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::DoubleClick)
        return;
    show();
    trayIcon->hide();
}
