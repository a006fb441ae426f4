// SPDX-License-Identifier: MIT
// The device table's hover row: one row at a time, the table's ground given
// back to the row left, rows with a progress bar only included.
#include "widgets/ProgressBar.h"
#include "widgets/SWTableWidget.h"

#include <QTest>

class SWTableWidgetTest : public QObject
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
};

QTEST_MAIN(SWTableWidgetTest)
#include "SWTableWidgetTest.moc"
