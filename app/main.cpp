// SPDX-License-Identifier: MIT
#include "dialogs/MessageBoxDlg.h"
#include "mainwindow/Brelvo.h"

#include <QApplication>
#include <QFile>
#include <QString>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);

    // An unreadable style sheet simply leaves the tool unstyled.
    QFile styleSheet(QStringLiteral(":/Resources/style.qss"));
    styleSheet.open(QFile::ReadOnly);
    app.setStyleSheet(QString::fromUtf8(styleSheet.readAll()));
    styleSheet.close();

    Brelvo window;
    window.show();
    MessageBoxDlg::showStartTips(&window);
    return app.exec();
}
