// A run against the real engine and the device simulator. Pressing Start
// sweeps the /24 of the chosen address and jobs broadcast, so this runs only
// inside the private namespace pair made by tests/support/with-netns.sh.
#include "WindowTestSupport.h"

#include "widgets/ProgressBar.h"

#include <QLineEdit>
#include <QProcess>

namespace {

// One image for product ABCDEFG and its version file (checksum: sum of the
// little-endian 32-bit words). Returns the image's path.
QString writeFirmware(const QString& dir)
{
    QByteArray image(32 * 1024, 0);
    quint32 x = 0xB1E55EDu, sum = 0;
    for (int i = 0; i < image.size(); i += 4, sum += x) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        qToLittleEndian(x, image.data() + i);
    }
    QFile img(dir + "/kvx_ABCDEFG_V2.bin"), ver(dir + "/kvx_ABCDEFG_V2-ver.bin");
    const bool ok = img.open(QIODevice::WriteOnly) && img.write(image) == image.size() && ver.open(QIODevice::WriteOnly)
        && ver.write("version=2\r\nproduct=ABCDEFG\r\nchecksum=0x" + QByteArray::number(sum, 16) + "\r\n") > 0;
    return ok ? img.fileName() : QString();
}

// The device asks only once: wait until port 3281 is bound (read from the
// kernel's table; binding to find out could steal the port).
bool listenerBound()
{
    QFile f(QStringLiteral("/proc/net/udp"));
    return f.open(QIODevice::ReadOnly) && f.readAll().contains(":0CD1 ");
}

QString cell(TestWindow& w, int row, int column)
{
    auto* table = w.get<SWTableWidget>("tableWidget");
    return row < table->rowCount() && table->item(row, column) ? table->item(row, column)->text() : QString();
}

} // namespace

class WorkflowTest : public QObject
{
    Q_OBJECT

private slots:
    void runStopAndClear();
};

void WorkflowTest::runStopAndClear()
{
    const QString skip = qEnvironmentVariable("BRELVO_NETNS_SKIP", "not inside a private network namespace");
    if (qEnvironmentVariable("BRELVO_NETNS") != QLatin1String("1") || qEnvironmentVariableIsSet("BRELVO_NETNS_SKIP"))
        QSKIP(qPrintable("BRELVO_NETNS_SKIP: " + skip + " (run through with-netns.sh)"));
    const QString toolAddr = qEnvironmentVariable("BRELVO_TOOL_ADDR");
    QTemporaryDir dir;
    const QString imagePath = writeFirmware(dir.path());
    QVERIFY(!imagePath.isEmpty());

    TestWindow w;
    w.show();
    ModalWatcher watcher;
    w.get<ComboBox>("ipList")->addItem(toolAddr);
    w.get<ComboBox>("ipList")->setCurrentText(toolAddr);
    w.get<QLineEdit>("updateFilePath")->setText(dir.path());

    auto* start = w.get<QPushButton>("startUpdate");
    start->click();
    QVERIFY(w.running);
    QCOMPARE(start->text(), QStringLiteral("Stop"));
    QVERIFY(w.inputsEnabled(false));
    QTRY_VERIFY_WITH_TIMEOUT(listenerBound(), 10000);

    // The device checks every byte and the options, then reports its
    // writing for a few seconds: long enough to press Stop while busy.
    QProcess device;
    device.setProcessChannelMode(QProcess::MergedChannels);
    device.start(QStringLiteral("ip"), {"netns", "exec", qEnvironmentVariable("BRELVO_DEV_NS"),
                                        qEnvironmentVariable("BRELVO_DEVSIM"), "--product", "ABCDEFG", "--tool",
                                        toolAddr, "--expect-image", imagePath, "--expect-options", "1",
                                        "--progress-steps", "20", "--progress-interval", "400"});
    QTRY_VERIFY_WITH_TIMEOUT(cell(w, 0, 2) == QLatin1String("Updating..."), 60000);
    QCOMPARE(cell(w, 0, 0), QStringLiteral("01"));
    const QString lent = cell(w, 0, 1);
    QVERIFY2(lent.startsWith(QStringLiteral("10.213.7.")) && lent != toolAddr
                 && !qEnvironmentVariable("BRELVO_DEV_ADDRS").split(' ').contains(lent),
             qPrintable(lent));

    // While the job is unfinished, Exit and Stop ask; Cancel leaves the run.
    watcher.queue(ModalWatcher::press("cancelBtn"));
    watcher.queue(ModalWatcher::press("cancelBtn"));
    w.get<QPushButton>("exitBtn")->click();
    start->click();
    QCOMPARE(watcher.seen.size(), 2);
    QCOMPARE(watcher.seen.at(0).content,
             QStringLiteral("The update process not completed. Are you sure you want to exit?"));
    QCOMPARE(watcher.seen.at(1).title, QStringLiteral("Stop Update"));
    QVERIFY(w.endCalls == 0 && w.running && w.pollTimer.isActive() && start->text() == QLatin1String("Stop"));

    QTRY_VERIFY_WITH_TIMEOUT(cell(w, 0, 2) == QLatin1String("Update Complete!"), 60000);
    QTRY_COMPARE_WITH_TIMEOUT(qobject_cast<ProgressBar*>(w.get<SWTableWidget>("tableWidget")->cellWidget(0, 3))->value(),
                              100, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(device.state() == QProcess::NotRunning, 20000);
    QVERIFY2(device.exitCode() == 0, device.readAll().constData());

    // Every job is finished: Stop asks nothing and the idle tick ends the run.
    start->click();
    QCOMPARE(watcher.seen.size(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(!w.running, 15000);
    QCOMPARE(start->text(), QStringLiteral("Start"));
    QVERIFY(w.inputsEnabled(true) && start->isEnabled());
    w.get<QPushButton>("clearContent")->click();
    QCOMPARE(w.get<SWTableWidget>("tableWidget")->rowCount(), 0);

    // A listener already running makes the server refuse another start.
    QCOMPARE(w.server->start(dir.path().toStdString(), "", toolAddr.toStdString(), 1), 0);
    start->click();
    QCOMPARE(watcher.seen.size(), 3);
    QCOMPARE(watcher.seen.at(2).content, QStringLiteral("Start Failed!"));
    QVERIFY(!w.running && w.inputsEnabled(true) && start->text() == QLatin1String("Start"));
    w.server->stop();
}

BRELVO_WINDOW_TEST_MAIN(WorkflowTest)
#include "WorkflowTest.moc"
