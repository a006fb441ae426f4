// The device table's hover row, the styled combo box popup, and the style
// sheet's disabled look.

#include "widgets/ComboBox.h"
#include "widgets/ProgressBar.h"
#include "widgets/SWTableWidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QFile>
#include <QLoggingCategory>
#include <QTest>

namespace {

// Rows 0..5 with two text columns and a progress bar; row 3 has only its bar.
// Per row: 'h' hover colour, 'r' the table ground given back, '-' untouched,
// '!' the row's cells disagree.
QString hoverAfter(const QList<int>& entered)
{
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
    QString s;
    for (int r = 0; r < 6; ++r)
        s += look(r, 0) == look(r, 1) ? look(r, 0) : QChar('!');
    return s;
}

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
        QTEST(hoverAfter(entered), "expected");
    }

    // The style sheet makes rows taller than the list first placed them.
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
        qApp->setStyleSheet(QString());
    }

    // A run disables the inputs: each must look different from its enabled
    // self, and a disabled button must keep a frame of its own.
    void disabledLooksDisabled_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"line edit", "combo box", "check box", "button"})
            QTest::newRow(kind) << kind;
    }

    void disabledLooksDisabled()
    {
        QFETCH(QString, kind);
        QFile sheet(":/Resources/style.qss");
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        QWidget window;
        window.setObjectName("BrelvoClass");  // the window's ground
        window.setStyleSheet(QString::fromUtf8(sheet.readAll()));
        QWidget* w = nullptr;
        if (kind == "line edit")
            w = new QLineEdit("/srv/firmware", &window);
        else if (kind == "combo box")
            w = new ComboBox(&window);
        else if (kind == "check box")
            w = new QCheckBox("Update BOOT Partition.", &window);
        else
            w = new QPushButton("Browse", &window);
        if (auto* box = qobject_cast<ComboBox*>(w))
            box->addItem("10.213.7.1");
        if (auto* check = qobject_cast<QCheckBox*>(w))
            check->setChecked(true);
        w->setGeometry(10, 10, 160, 28);
        window.resize(180, 48);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QImage enabled = w->grab().toImage();
        w->setEnabled(false);
        const QImage disabled = w->grab().toImage();
        QVERIFY2(enabled != disabled, "disabled looks the same as enabled");
        if (kind == "line edit" || kind == "combo box")  // a field's own ground, not just its text
            QVERIFY2(enabled.pixelColor(4, 4) != disabled.pixelColor(4, 4), "a disabled field keeps its ground");
        if (kind == "button") {
            const QColor frame = disabled.pixelColor(0, disabled.height() / 2);
            const QColor inside = disabled.pixelColor(4, disabled.height() / 2);
            QVERIFY2(frame != inside, "a disabled button has no outline");
        }
    }
};

QTEST_MAIN(WidgetsTest)
#include "WidgetsTest.moc"
