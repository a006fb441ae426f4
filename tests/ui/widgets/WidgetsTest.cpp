// Device table hover, progress bar look, combo box popup and the focus-free
// item delegate.

#include "widgets/ComboBox.h"
#include "widgets/NoFocusStyledItemDelegate.h"
#include "widgets/ProgressBar.h"
#include "widgets/SWTableWidget.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyleFactory>
#include <QTest>

namespace {

const QColor hoverColour("#213147");
const QColor restoredColour(11, 18, 30, 255);

// Rows 0..5, columns "No.", "IP", progress bar; row 3 carries only its bar.
constexpr int kRows = 6;
constexpr int kItemColumns = 2;
constexpr int kWidgetOnlyRow = 3;

void fillTable(SWTableWidget& table)
{
    table.setColumnCount(kItemColumns + 1);
    table.setRowCount(kRows);
    for (int r = 0; r < kRows; ++r) {
        if (r != kWidgetOnlyRow) {
            for (int c = 0; c < kItemColumns; ++c)
                table.setItem(r, c, new QTableWidgetItem(QString("%1/%2").arg(r).arg(c)));
        }
        table.setCellWidget(r, kItemColumns, new ProgressBar);
    }
}

// "h" hover colour, "r" the table ground given back, "-" never coloured.
char rowState(const SWTableWidget& table, int row)
{
    char state = 0;
    for (int c = 0; c < kItemColumns; ++c) {
        const QTableWidgetItem* cell = table.item(row, c);
        if (!cell)
            return '-';
        const QBrush brush = cell->background();
        char cs = '?';
        if (brush.style() == Qt::NoBrush)
            cs = '-';
        else if (brush.color() == hoverColour)
            cs = 'h';
        else if (brush.color() == restoredColour)
            cs = 'r';
        if (state && state != cs)
            return '!'; // columns of one row disagree
        state = cs;
    }
    return state;
}

QString tableState(const SWTableWidget& table)
{
    QString s;
    for (int r = 0; r < kRows; ++r)
        s += QLatin1Char(rowState(table, r));
    return s;
}

// Goes through the table's inherited signal, as the view does when the mouse
// enters a cell, so the signature-string connection is exercised too.
void enter(SWTableWidget& table, int row, int column = 0)
{
    QTableWidget& base = table;
    emit base.cellEntered(row, column);
}

// Records the state each item is drawn with.
class RecordingStyle : public QProxyStyle
{
public:
    RecordingStyle() : QProxyStyle(QStyleFactory::create("Fusion")) {}
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        if (element == CE_ItemViewItem)
            drawnStates.append(option->state);
        QProxyStyle::drawControl(element, option, painter, widget);
    }
    mutable QList<QStyle::State> drawnStates;
};

QImage paintItem(const QStyledItemDelegate& delegate, QWidget* host, const QModelIndex& index,
                 QStyle::State state)
{
    QImage image(120, 28, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.initFrom(host);
    option.rect = image.rect();
    option.widget = host;
    option.state = state;
    delegate.paint(&painter, option, index);
    painter.end();
    return image;
}

} // namespace

class WidgetsTest : public QObject
{
    Q_OBJECT

private slots:
    void tableHoverColours_data();
    void tableHoverColours();
    void tableSameRowKeepsColours();
    void tableWritesOneDebugLinePerCell();
    void tableFollowsTheMouse();
    void tableIsReadOnlyAndSelectsRows();

    void progressBarLook();

    void comboPopupIsStyledList();
    void comboItemsLandInTheList();
    void comboOwnsItsList();

    void delegateDropsFocusOnly_data();
    void delegateDropsFocusOnly();
    void delegatePaintsFocusedLikeUnfocused();
};

void WidgetsTest::tableHoverColours_data()
{
    QTest::addColumn<QList<int>>("entered");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing entered") << QList<int>{} << "------";
    QTest::newRow("first row entered") << QList<int>{4} << "----h-";
    QTest::newRow("row 2 after row 5") << QList<int>{5, 2} << "--h--r";
    QTest::newRow("back and forth") << QList<int>{5, 2, 5} << "--r--h";
    QTest::newRow("negative row ignored") << QList<int>{4, -1} << "----h-";
    QTest::newRow("negative row keeps hover row") << QList<int>{4, -1, 1} << "-h--r-";
    QTest::newRow("widget-only row takes no colour") << QList<int>{1, kWidgetOnlyRow} << "-r----";
    QTest::newRow("widget-only row becomes hover row")
        << QList<int>{1, kWidgetOnlyRow, 1} << "-h----";
    QTest::newRow("stale row past the end") << QList<int>{40, 2} << "--h---";
    QTest::newRow("back to the first row") << QList<int>{0, 5, 0} << "h----r";
}

void WidgetsTest::tableHoverColours()
{
    QFETCH(QList<int>, entered);
    QFETCH(QString, expected);

    SWTableWidget table;
    fillTable(table);
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&,
                                                          const QString&) {});
    for (int row : entered)
        enter(table, row, 1);
    qInstallMessageHandler(previous);

    QCOMPARE(tableState(table), expected);
    // The progress bar column never carries an item to colour.
    for (int r = 0; r < kRows; ++r)
        QVERIFY(!table.item(r, kItemColumns));
}

void WidgetsTest::tableSameRowKeepsColours()
{
    SWTableWidget table;
    fillTable(table);
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&,
                                                          const QString&) {});
    enter(table, 2, 0);
    // Anything the window paints meanwhile must survive moving within the row.
    table.item(2, 1)->setBackground(Qt::green);
    enter(table, 2, 1);
    enter(table, 2, 2);
    qInstallMessageHandler(previous);

    QCOMPARE(table.item(2, 0)->background().color(), hoverColour);
    QCOMPARE(table.item(2, 1)->background().color(), QColor(Qt::green));
}

void WidgetsTest::tableWritesOneDebugLinePerCell()
{
    SWTableWidget table;
    fillTable(table);
    QTest::ignoreMessage(QtDebugMsg, "cellEnter,5,0");
    QTest::ignoreMessage(QtDebugMsg, "cellEnter,5,1");
    QTest::ignoreMessage(QtDebugMsg, "cellEnter,-1,2");
    QTest::ignoreMessage(QtDebugMsg, "cellEnter,2,2");
    enter(table, 5, 0);
    enter(table, 5, 1);
    enter(table, -1, 2);
    enter(table, 2, 2);
}

void WidgetsTest::tableFollowsTheMouse()
{
    SWTableWidget table;
    fillTable(table);
    table.resize(400, 300);
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));
    QVERIFY(table.testAttribute(Qt::WA_MouseTracking));

    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&,
                                                          const QString&) {});
    const QPoint inRow4 = table.visualItemRect(table.item(4, 0)).center();
    const QPoint inRow1 = table.visualItemRect(table.item(1, 1)).center();
    QTest::mouseMove(table.viewport(), inRow4);
    QTRY_COMPARE(tableState(table), QString("----h-"));
    QTest::mouseMove(table.viewport(), inRow1);
    QTRY_COMPARE(tableState(table), QString("-h--r-"));
    qInstallMessageHandler(previous);
}

void WidgetsTest::tableIsReadOnlyAndSelectsRows()
{
    SWTableWidget table;
    fillTable(table);
    table.resize(400, 300);
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));
    QCOMPARE(table.editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(table.selectionBehavior(), QAbstractItemView::SelectRows);

    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&,
                                                          const QString&) {});
    const QPoint cell = table.visualItemRect(table.item(2, 1)).center();
    QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::NoModifier, cell);
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, Qt::NoModifier, cell);
    QTest::keyClick(table.viewport(), Qt::Key_F2);
    qInstallMessageHandler(previous);

    QVERIFY(!table.findChild<QLineEdit*>());
    QCOMPARE(table.item(2, 1)->text(), QString("2/1"));
    const QList<QTableWidgetItem*> selected = table.selectedItems();
    QCOMPARE(selected.size(), kItemColumns);
    for (QTableWidgetItem* item : selected)
        QCOMPARE(item->row(), 2);
}

void WidgetsTest::progressBarLook()
{
    ProgressBar bar;
    QCOMPARE(bar.minimum(), 0);
    QCOMPARE(bar.maximum(), 100);
    QCOMPARE(bar.styleSheet(),
             QString("QProgressBar{ border: 1px solid #2c7dce;   border-radius: 5px; "
                     "background-color: #172335; margin-left:20px; margin-right:20px;"
                     "margin-top: 6px; margin-bottom: 6px; text-align: center;color:#ccd3dd;}"
                     "QProgressBar::chunk {background-color: #2c7dce ;}"));
    bar.setValue(42);
    QCOMPARE(bar.text(), QString("42%"));
    bar.setValue(100);
    QCOMPARE(bar.text(), QString("100%"));
    // Out-of-range values are refused, the bar keeps its last one.
    bar.setValue(250);
    QCOMPARE(bar.value(), 100);
}

void WidgetsTest::comboPopupIsStyledList()
{
    ComboBox combo;
    auto* list = qobject_cast<QListWidget*>(combo.view());
    QVERIFY(list);
    QCOMPARE(list->property("common_comboBox_listWt_style1"), QVariant(true));
    QCOMPARE(list->model(), combo.model());
    QVERIFY(qobject_cast<NoFocusStyledItemDelegate*>(list->itemDelegate()));
    QCOMPARE(list->styleSheet(), QString("QListWidget{border:0px;border-radius:3px;}"));
    QCOMPARE(list->verticalScrollBar()->styleSheet(),
             QString("QScrollBar:vertical{border:0px;} QScrollBar::handle:vertical{border:0px;}"));
    QWidget* frame = list->parentWidget();
    QVERIFY(frame);
    QVERIFY(frame != &combo);
    QCOMPARE(frame->styleSheet(),
             QString("QWidget{border:1px solid #0f8bfd;border-radius:3px;background-color: #1a2639;}"));
}

void WidgetsTest::comboItemsLandInTheList()
{
    ComboBox combo;
    combo.insertItems(0, {"192.168.1.10", "10.0.0.7"});
    auto* list = qobject_cast<QListWidget*>(combo.view());
    QVERIFY(list);
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(1)->text(), QString("10.0.0.7"));
    QCOMPARE(combo.currentText(), QString("192.168.1.10"));

    combo.setCurrentIndex(1);
    QCOMPARE(combo.currentText(), QString("10.0.0.7"));

    combo.resize(200, 26);
    combo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&combo));
    combo.showPopup();
    QTRY_VERIFY(list->isVisible());
    QCOMPARE(list->visualRect(list->model()->index(1, 0)).isEmpty(), false);
    combo.hidePopup();
}

void WidgetsTest::comboOwnsItsList()
{
    auto* combo = new ComboBox;
    QPointer<QListWidget> list = qobject_cast<QListWidget*>(combo->view());
    QPointer<QAbstractItemDelegate> delegate = list->itemDelegate();
    QVERIFY(list && delegate);
    delete combo;
    QVERIFY(list.isNull());
    QVERIFY(delegate.isNull());
}

void WidgetsTest::delegateDropsFocusOnly_data()
{
    QTest::addColumn<int>("state");
    const int base = int(QStyle::State_Enabled | QStyle::State_Active);
    QTest::newRow("focused") << int(base | QStyle::State_HasFocus);
    QTest::newRow("focused and selected")
        << int(base | QStyle::State_HasFocus | QStyle::State_Selected);
    QTest::newRow("keyboard focus under the mouse")
        << int(base | QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange
               | QStyle::State_MouseOver);
    QTest::newRow("selected without focus") << int(base | QStyle::State_Selected);
    QTest::newRow("plain") << base;
}

void WidgetsTest::delegateDropsFocusOnly()
{
    QFETCH(int, state);
    const QStyle::State given(state);

    RecordingStyle style;
    QWidget host;
    host.setStyle(&style);
    QStandardItemModel model;
    model.appendRow(new QStandardItem("192.168.1.10"));

    NoFocusStyledItemDelegate delegate;
    paintItem(delegate, &host, model.index(0, 0), given);
    QCOMPARE(style.drawnStates.size(), 1);
    QStyle::State expected = given;
    expected &= ~QStyle::State(QStyle::State_HasFocus);
    QCOMPARE(int(style.drawnStates.at(0)), int(expected));

    // The plain delegate hands the focus on, so the probe does see it.
    QStyledItemDelegate plain;
    paintItem(plain, &host, model.index(0, 0), given);
    QCOMPARE(style.drawnStates.size(), 2);
    QCOMPARE(int(style.drawnStates.at(1)), int(given));
}

void WidgetsTest::delegatePaintsFocusedLikeUnfocused()
{
    QScopedPointer<QStyle> fusion(QStyleFactory::create("Fusion"));
    QVERIFY(fusion);
    QWidget host;
    host.setStyle(fusion.data());
    QStandardItemModel model;
    model.appendRow(new QStandardItem("English"));
    const QModelIndex index = model.index(0, 0);
    const QStyle::State base = QStyle::State_Enabled | QStyle::State_Active
                               | QStyle::State_Selected | QStyle::State_KeyboardFocusChange;

    QStyledItemDelegate plain;
    QVERIFY2(paintItem(plain, &host, index, base | QStyle::State_HasFocus)
                 != paintItem(plain, &host, index, base),
             "the style draws no focus frame, so the comparison below would prove nothing");

    NoFocusStyledItemDelegate delegate;
    QCOMPARE(paintItem(delegate, &host, index, base | QStyle::State_HasFocus),
             paintItem(delegate, &host, index, base));
}

QTEST_MAIN(WidgetsTest)
#include "WidgetsTest.moc"
