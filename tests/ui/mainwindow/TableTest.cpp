// Device table rows, status texts and the idle tick, fed with job records
// that are never started (no traffic leaves the process).
#include "WindowTestSupport.h"

#include "job/UpdateJob.h"
#include "widgets/ProgressBar.h"
#include "widgets/SWTableWidget.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <arpa/inet.h>

#include <climits>

namespace {

std::shared_ptr<brelvo::UpdateJob> makeJob(const char* lentAddress)
{
    const uint8_t request[] = {'u', 'p', 'd', ':', 0, 0, 0, 0, 0, 0, 0, 7,
                               'A', 'B', 'C', 'D', 'E', 'F', 'G'};
    auto job = brelvo::UpdateJob::create(request, static_cast<int>(sizeof request));
    if (job) {
        in_addr lent{};
        inet_pton(AF_INET, lentAddress, &lent);
        in_addr local{};
        inet_pton(AF_INET, "10.213.7.1", &local);
        job->init("/nonexistent/kvx_ABCDEFG.bin", "", local.s_addr, htons(4100), lent.s_addr,
                  htons(5000), 1);
    }
    return job;
}

SWTableWidget* tableOf(QWidget& w)
{
    return w.findChild<SWTableWidget*>(QStringLiteral("tableWidget"));
}

} // namespace

class TableTest : public QObject
{
    Q_OBJECT

private slots:
    void rowNumbers_data();
    void rowNumbers();
    void statusTexts_data();
    void statusTexts();
    void rowsFollowOccupiedSlots();
    void rowsGrowAndKeepTheirBars();
    void foreignCellWidgetIsReplaced();
    void hundredRows();
    void noCellIsEditable();
    void clearEmptiesTheTable();
    void idleTickGivesInputsBack();
    void stopWithoutJobsAsksNothing();
};

void TableTest::rowNumbers_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::newRow("1") << 1 << "01";
    QTest::newRow("9") << 9 << "09";
    QTest::newRow("10") << 10 << "10";
    QTest::newRow("99") << 99 << "99";
    QTest::newRow("100") << 100 << "100";
}

void TableTest::rowNumbers()
{
    QFETCH(int, row);
    QFETCH(QString, text);
    QCOMPARE(Brelvo::rowNumberText(row), text);
}

void TableTest::statusTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "Find Update Server";
    for (int code = 1; code <= 5; ++code)
        QTest::newRow(qPrintable(QString::number(code))) << code << "Sending Data";
    QTest::newRow("6") << 6 << "Send Successfully!";
    QTest::newRow("7") << 7 << "Verification Failed!";
    QTest::newRow("8") << 8 << "Updating...";
    QTest::newRow("9") << 9 << "Update Complete!";
    QTest::newRow("10") << 10 << "Update Failed!";
    QTest::newRow("11") << 11 << "Network Error!";
    QTest::newRow("12") << 12 << "Model Mismatch!";
    QTest::newRow("13") << 13 << "Open Failed!";
    QTest::newRow("14") << 14 << "Timeout!";
    QTest::newRow("-1") << -1 << "Unknown Error!";
    QTest::newRow("15") << 15 << "Unknown Error!";
    QTest::newRow("1000") << 1000 << "Unknown Error!";
    QTest::newRow("INT_MIN") << INT_MIN << "Unknown Error!";
}

void TableTest::statusTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    TestWindow w;
    QCOMPARE(w.statusText(code), text);
    // Looked up through a transient catalogue only.
    QCOMPARE(QCoreApplication::translate("Brelvo", "Content.writeComplete"),
             QStringLiteral("Content.writeComplete"));
}

void TableTest::rowsFollowOccupiedSlots()
{
    TestWindow w;
    auto first = makeJob("10.213.7.60");
    auto third = makeJob("10.213.7.61");
    QVERIFY(first && third);
    w.showJobs({first, nullptr, third});

    SWTableWidget* table = tableOf(w);
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(w.rowCount, 2);
    QCOMPARE(table->columnCount(), 4);
    const QStringList addresses{"10.213.7.60", "10.213.7.61"};
    for (int r = 0; r < 2; ++r) {
        QCOMPARE(table->item(r, 0)->text(), Brelvo::rowNumberText(r + 1));
        QCOMPARE(table->item(r, 1)->text(), addresses.at(r));
        QCOMPARE(table->item(r, 2)->text(), QStringLiteral("Find Update Server"));
        for (int c = 0; c < 3; ++c)
            QCOMPARE(int(table->item(r, c)->textAlignment()), 0x84);
        auto* bar = qobject_cast<ProgressBar*>(table->cellWidget(r, 3));
        QVERIFY(bar);
        QCOMPARE(bar->value(), 0);  // set, not QProgressBar's unset -1
    }
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("01"));
    QCOMPARE(table->item(1, 0)->text(), QStringLiteral("02"));
}

void TableTest::rowsGrowAndKeepTheirBars()
{
    TestWindow w;
    auto a = makeJob("10.213.7.60");
    auto b = makeJob("10.213.7.61");
    auto c = makeJob("10.213.7.62");
    w.showJobs({a, nullptr, b});
    SWTableWidget* table = tableOf(w);
    QWidget* bar0 = table->cellWidget(0, 3);
    QWidget* bar1 = table->cellWidget(1, 3);

    w.showJobs({a, c, b});
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(table->cellWidget(0, 3), bar0);
    QCOMPARE(table->cellWidget(1, 3), bar1);
    QVERIFY(qobject_cast<ProgressBar*>(table->cellWidget(2, 3)));
    QCOMPARE(table->item(1, 1)->text(), QStringLiteral("10.213.7.62"));
    QCOMPARE(table->item(2, 1)->text(), QStringLiteral("10.213.7.61"));
    QCOMPARE(table->item(2, 0)->text(), QStringLiteral("03"));

    // Fewer jobs than rows: rows are never removed by polling.
    w.showJobs({a});
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("10.213.7.60"));
}

void TableTest::foreignCellWidgetIsReplaced()
{
    TestWindow w;
    auto a = makeJob("10.213.7.60");
    w.showJobs({a});
    SWTableWidget* table = tableOf(w);
    table->setCellWidget(0, 3, new QLabel(QStringLiteral("not a bar")));
    w.showJobs({a});
    auto* bar = qobject_cast<ProgressBar*>(table->cellWidget(0, 3));
    QVERIFY(bar);
    QCOMPARE(bar->value(), a->progress());
}

void TableTest::hundredRows()
{
    TestWindow w;
    std::vector<std::shared_ptr<brelvo::UpdateJob>> jobs;
    for (int i = 0; i < 100; ++i)
        jobs.push_back(makeJob(qPrintable(QStringLiteral("10.213.7.%1").arg(i + 100))));
    w.showJobs(jobs);
    SWTableWidget* table = tableOf(w);
    QCOMPARE(table->rowCount(), 100);
    QCOMPARE(table->item(98, 0)->text(), QStringLiteral("99"));
    QCOMPARE(table->item(99, 0)->text(), QStringLiteral("100"));
    QCOMPARE(table->item(99, 1)->text(), QStringLiteral("10.213.7.199"));
}

void TableTest::noCellIsEditable()
{
    TestWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.showJobs({makeJob("10.213.7.60"), makeJob("10.213.7.61")});
    SWTableWidget* table = tableOf(w);
    for (int r = 0; r < table->rowCount(); ++r) {
        for (int c = 0; c < 3; ++c) {
            QTableWidgetItem* item = table->item(r, c);
            QVERIFY(!(item->flags() & Qt::ItemIsEditable));
            // Even asked directly, the table opens no editor on it.
            table->editItem(item);
            const QRect cell = table->visualItemRect(item);
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
            QCoreApplication::processEvents();
            QVERIFY(table->viewport()->findChildren<QLineEdit*>().isEmpty());
            QCOMPARE(item->text().isEmpty(), false);
        }
    }
}

void TableTest::clearEmptiesTheTable()
{
    TestWindow w;
    w.showJobs({makeJob("10.213.7.60"), makeJob("10.213.7.61")});
    w.findChild<QPushButton*>(QStringLiteral("clearContent"))->click();
    SWTableWidget* table = tableOf(w);
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(table->columnCount(), 4);
    QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("No."));
    // The next rows start again at 01.
    w.showJobs({makeJob("10.213.7.62")});
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("01"));
}

void TableTest::idleTickGivesInputsBack()
{
    // A server that was never started is idle: the first tick of a run in
    // that state ends it on the window's side.
    TestWindow w;
    w.running = true;
    w.setInputsEnabled(false);
    auto* start = w.findChild<QPushButton*>(QStringLiteral("startUpdate"));
    start->setEnabled(false);
    w.startButtonKey = QStringLiteral("PushButton.prepareStop");
    w.pollTimer.start();
    QVERIFY(w.server->isIdle());

    w.call("onTimeOut");
    QVERIFY(!w.running);
    QVERIFY(!w.pollTimer.isActive());
    QCOMPARE(w.startButtonKey, QStringLiteral("PushButton.startUpdate"));
    QCOMPARE(start->text(), QStringLiteral("Start"));
    for (const char* name : {"ipList", "bootCheck", "clearBoot", "selectPath", "initFilePath",
                             "updateFilePath", "selectInitPath", "startUpdate"})
        QVERIFY2(w.findChild<QWidget*>(QLatin1String(name))->isEnabled(), name);
}

void TableTest::stopWithoutJobsAsksNothing()
{
    TestWindow w;
    ModalWatcher watcher;
    w.running = true;
    w.setInputsEnabled(false);
    w.startButtonKey = QStringLiteral("PushButton.stopUpdate");
    w.applyLanguage(0);
    auto* start = w.findChild<QPushButton*>(QStringLiteral("startUpdate"));
    QCOMPARE(start->text(), QStringLiteral("Stop"));

    start->click();
    QCOMPARE(watcher.seen.size(), 0);
    QVERIFY(!start->isEnabled());
    QCOMPARE(start->text(), QStringLiteral("Stopping.."));
    QVERIFY(w.running);
    QVERIFY(!w.findChild<QWidget*>(QStringLiteral("ipList"))->isEnabled());
}

BRELVO_WINDOW_TEST_MAIN(TableTest)
#include "TableTest.moc"
