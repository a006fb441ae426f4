// The device table's hover row and row selection; the focus-free item delegate.

#include "widgets/NoFocusStyledItemDelegate.h"
#include "widgets/ProgressBar.h"
#include "widgets/SWTableWidget.h"

#include <QLineEdit>
#include <QLoggingCategory>
#include <QPainter>
#include <QProxyStyle>
#include <QStringListModel>
#include <QTest>

namespace {

// Rows 0..5 with two text columns and a progress bar; row 3 has only its bar.
constexpr int kRows = 6;

void fillTable(SWTableWidget& table)
{
    table.setColumnCount(3);
    table.setRowCount(kRows);
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < 2 && r != 3; ++c)
            table.setItem(r, c, new QTableWidgetItem(QString("%1/%2").arg(r).arg(c)));
        table.setCellWidget(r, 2, new ProgressBar);
    }
}

// Per row: 'h' hover colour, 'r' the table ground given back, '-' untouched,
// '!' the row's cells disagree.
QString tableState(const SWTableWidget& table)
{
    const auto look = [&table](int r, int c) -> QChar {
        const QTableWidgetItem* cell = table.item(r, c);
        if (!cell || cell->background().style() == Qt::NoBrush)
            return '-';
        const QColor colour = cell->background().color();
        return colour == QColor("#213147") ? 'h' : colour == QColor(11, 18, 30) ? 'r' : '?';
    };
    QString s;
    for (int r = 0; r < kRows; ++r)
        s += look(r, 0) == look(r, 1) ? look(r, 0) : QChar('!');
    return s;
}

// Records the state each item is drawn with.
class RecordingStyle : public QProxyStyle
{
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter*,
                     const QWidget*) const override
    {
        if (element == CE_ItemViewItem)
            drawn.append(option->state);
    }
    mutable QList<QStyle::State> drawn;
};

} // namespace

class WidgetsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules("default.debug=false"); }

    void hoverColours_data()
    {
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
        fillTable(table);
        // Through the inherited signal, as the view emits it.
        for (int row : entered)
            emit static_cast<QTableWidget&>(table).cellEntered(row, 1);
        QTEST(tableState(table), "expected");
    }

    void followsTheMouseReadOnlyRowSelection()
    {
        SWTableWidget table;
        fillTable(table);
        table.resize(400, 300);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        // No button held: only mouse tracking brings these moves to the cells.
        QTest::mouseMove(table.viewport(), table.visualItemRect(table.item(4, 0)).center());
        QTRY_COMPARE(tableState(table), QString("----h-"));

        const QPoint cell = table.visualItemRect(table.item(2, 1)).center();
        QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::NoModifier, cell);
        QTest::mouseDClick(table.viewport(), Qt::LeftButton, Qt::NoModifier, cell);
        QTest::keyClick(table.viewport(), Qt::Key_F2);
        QVERIFY(!table.findChild<QLineEdit*>());
        const QModelIndexList rows = table.selectionModel()->selectedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.at(0).row(), 2);
    }

    void delegateDropsOnlyFocus_data()
    {
        QTest::addColumn<int>("state");
        const int base = QStyle::State_Enabled | QStyle::State_Active;
        QTest::newRow("focused") << (base | QStyle::State_HasFocus);
        QTest::newRow("focused, selected, under the mouse")
            << (base | QStyle::State_HasFocus | QStyle::State_Selected | QStyle::State_MouseOver);
        QTest::newRow("selected") << (base | QStyle::State_Selected);
    }

    void delegateDropsOnlyFocus()
    {
        QFETCH(int, state);
        RecordingStyle style;
        QWidget host;
        host.setStyle(&style);
        QStringListModel model({"192.168.1.10"});
        QStyleOptionViewItem option;
        option.widget = &host;
        option.state = QStyle::State(state);
        QPainter painter; // the recording style draws nothing
        NoFocusStyledItemDelegate().paint(&painter, option, model.index(0, 0));
        QCOMPARE(style.drawn.size(), 1);
        QCOMPARE(int(style.drawn.at(0)), state & ~int(QStyle::State_HasFocus));
    }
};

QTEST_MAIN(WidgetsTest)
#include "WidgetsTest.moc"
