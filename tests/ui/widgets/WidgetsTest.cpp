// SPDX-License-Identifier: MIT
// The window's own widgets: the device table's hover row (one row at a time,
// the table's ground given back to the row left, rows with a progress bar
// only included), dragging a frameless window (only the left button held on
// the window itself carries it, and only while it is held), and the styled
// combo box (the style sheet makes its list's rows taller than the list first
// placed them; they must not overlap).
#include "widgets/ComboBox.h"
#include "widgets/ProgressBar.h"
#include "widgets/SWTableWidget.h"
#include "widgets/WindowDrag.h"

#include <QAbstractItemView>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

class WidgetsTest : public QObject
{
    Q_OBJECT

private slots:
    void hoverColours_data()
    {
        // Per row: 'h' hover colour, 'r' the table ground given back, '-'
        // untouched, '!' the row's cells disagree. Row 3 has only its bar.
        QTest::addColumn<QList<int>>("entered");
        QTest::addColumn<QString>("expected");
        QTest::newRow("5 then 2") << QList<int>{5, 2} << "--h--r";
        QTest::newRow("same row again") << QList<int>{2, 2} << "--h---";
        QTest::newRow("negative row ignored") << QList<int>{4, -1} << "----h-";
        QTest::newRow("bar-only row") << QList<int>{1, 3} << "-r----";
        QTest::newRow("back from bar-only row") << QList<int>{1, 3, 1} << "-h----";
    }

    void hoverColours()
    {
        QFETCH(QList<int>, entered);
        SWTableWidget table;
        table.setColumnCount(3);
        table.setRowCount(6);
        for (int r = 0; r < 6; ++r) {
            for (int c = 0; c < 2 && r != 3; ++c)
                table.setItem(r, c, new QTableWidgetItem(QString::number(r)));
            table.setCellWidget(r, 2, new ProgressBar);
        }
        for (int row : entered)  // through the inherited signal, as the view emits it
            emit static_cast<QTableWidget&>(table).cellEntered(row, 1);
        const auto look = [&table](int r, int c) -> QChar {
            const QTableWidgetItem* cell = table.item(r, c);
            if (!cell || cell->background().style() == Qt::NoBrush)
                return '-';
            const QColor colour = cell->background().color();
            return colour == QColor("#213147") ? 'h' : colour == QColor(11, 18, 30) ? 'r' : '?';
        };
        QString seen;
        for (int r = 0; r < 6; ++r)
            seen += look(r, 0) == look(r, 1) ? look(r, 0) : QChar('!');
        QTEST(seen, "expected");
    }

    void followsTheLeftButtonOnly_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("onChild");
        QTest::addColumn<bool>("moves");
        QTest::newRow("left on the window") << int(Qt::LeftButton) << false << true;
        QTest::newRow("right on the window") << int(Qt::RightButton) << false << false;
        QTest::newRow("left on a button") << int(Qt::LeftButton) << true << false;
    }

    void followsTheLeftButtonOnly()
    {
        QFETCH(int, button);
        QFETCH(bool, onChild);
        QFETCH(bool, moves);
        const auto which = Qt::MouseButton(button);
        QWidget window(nullptr, Qt::FramelessWindowHint);
        window.setGeometry(100, 100, 300, 200);
        auto* child = new QPushButton("x", &window);
        child->setGeometry(10, 10, 80, 30);
        new WindowDrag(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // What the platform would send for the cursor at `global` over `target`.
        const auto mouse = [](QWidget* target, QEvent::Type type, QPoint global, Qt::MouseButton b, Qt::MouseButtons held) {
            QMouseEvent event(type, target->mapFromGlobal(global), global, b, held, Qt::NoModifier);
            QApplication::sendEvent(target, &event);
        };
        QWidget* target = onChild ? static_cast<QWidget*>(child) : &window;
        const QPoint start = window.frameGeometry().topLeft();
        const QPoint grab = target->mapToGlobal(QPoint(20, 15));
        mouse(target, QEvent::MouseButtonPress, grab, which, which);
        mouse(target, QEvent::MouseMove, grab + QPoint(30, 20), Qt::NoButton, which);
        QCOMPARE(window.frameGeometry().topLeft(), moves ? start + QPoint(30, 20) : start);
        // Let go: later moves leave it where it is.
        mouse(target, QEvent::MouseButtonRelease, grab + QPoint(30, 20), which, Qt::NoButton);
        const QPoint dropped = window.frameGeometry().topLeft();
        mouse(&window, QEvent::MouseMove, grab + QPoint(90, 90), Qt::NoButton, Qt::NoButton);
        QCOMPARE(window.frameGeometry().topLeft(), dropped);
    }

    void popupRowsDoNotOverlap()
    {
        QFile sheet(":/Resources/style.qss");
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
        ComboBox box;
        box.addItems({"English", "Chinese"});
        box.show();
        box.showPopup();
        const QRect first = box.view()->visualRect(box.model()->index(0, 0));
        QCOMPARE(box.view()->visualRect(box.model()->index(1, 0)).top(), first.height());
        QVERIFY(first.height() >= 28);
    }
};

QTEST_MAIN(WidgetsTest)
#include "WidgetsTest.moc"
