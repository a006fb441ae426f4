// Start, run, stop and clear against the real engine and the device
// simulator. Pressing Start sweeps the /24 of the chosen address and jobs
// broadcast, so this runs only inside the private namespace pair made by
// tests/support/with-netns.sh; anywhere else every case skips.
#include "WindowTestSupport.h"

#include "job/UpdateJob.h"
#include "widgets/ComboBox.h"
#include "widgets/ProgressBar.h"
#include "widgets/SWTableWidget.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QtTest>

namespace {

const char* const kProduct = "ABCDEFG";

struct Netns
{
    QString skip;
    QString toolAddr;
    QString devNs;
    QString devsim;
    QStringList devAddrs;

    static Netns fromEnvironment()
    {
        Netns n;
        n.skip = qEnvironmentVariable("BRELVO_NETNS_SKIP");
        n.toolAddr = qEnvironmentVariable("BRELVO_TOOL_ADDR");
        n.devNs = qEnvironmentVariable("BRELVO_DEV_NS");
        n.devsim = qEnvironmentVariable("BRELVO_DEVSIM");
        n.devAddrs = qEnvironmentVariable("BRELVO_DEV_ADDRS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (n.skip.isEmpty() && qEnvironmentVariable("BRELVO_NETNS") != QLatin1String("1"))
            n.skip = QStringLiteral("not inside a private network namespace (run through with-netns.sh)");
        else if (n.skip.isEmpty() && (n.toolAddr.isEmpty() || n.devNs.isEmpty()))
            n.skip = QStringLiteral("the namespace environment is incomplete");
        else if (n.skip.isEmpty() && n.devsim.isEmpty())
            n.skip = QStringLiteral("brelvo-devsim was not built, so there is no device to talk to");
        return n;
    }
};

#define REQUIRE_NETNS(n)                                                                           \
    const Netns n = Netns::fromEnvironment();                                                      \
    if (!n.skip.isEmpty())                                                                         \
    QSKIP(qPrintable(QStringLiteral("BRELVO_NETNS_SKIP: ") + n.skip))

// Whether something in this namespace holds UDP port 3281, read from the
// kernel's table rather than by binding (which could steal the port).
bool listenerBound()
{
    QFile f(QStringLiteral("/proc/net/udp"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 1 && fields.at(1).endsWith(":0CD1"))
            return true;
    }
    return false;
}

// A firmware folder with one image for kProduct and its version file.
struct Firmware
{
    QTemporaryDir dir;
    QByteArray image;
    QString imagePath;

    explicit Firmware(int size)
    {
        image.resize(size);
        quint32 x = 0xB1E55EDu;
        for (int i = 0; i < size; ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            image[i] = char(x >> 24);
        }
        quint32 sum = 0;
        for (int i = 0; i + 4 <= size; i += 4)
            sum += quint32(quint8(image[i])) | quint32(quint8(image[i + 1])) << 8
                 | quint32(quint8(image[i + 2])) << 16 | quint32(quint8(image[i + 3])) << 24;
        const QString base = QStringLiteral("kvx_%1_V2").arg(QLatin1String(kProduct));
        imagePath = dir.filePath(base + QStringLiteral(".bin"));
        QFile img(imagePath);
        if (img.open(QIODevice::WriteOnly))
            img.write(image);
        QFile ver(dir.filePath(base + QStringLiteral("-ver.bin")));
        if (ver.open(QIODevice::WriteOnly))
            ver.write(QStringLiteral("version=2\r\nproduct=%1\r\nchecksum=0x%2\r\n")
                          .arg(QLatin1String(kProduct))
                          .arg(sum, 8, 16, QLatin1Char('0'))
                          .toLatin1());
    }
};

// The simulator, run on the device side of the namespace pair.
class Device
{
public:
    Device(const Netns& n, const QStringList& extra)
    {
        QStringList args{QStringLiteral("netns"), QStringLiteral("exec"), n.devNs, n.devsim,
                         QStringLiteral("--product"), QLatin1String(kProduct),
                         QStringLiteral("--tool"), n.toolAddr};
        args << extra;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("ip"), args);
    }
    ~Device()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool finished() const { return process.state() == QProcess::NotRunning; }
    QProcess process;
};

QString cell(TestWindow& w, int row, int column)
{
    auto* table = w.findChild<SWTableWidget*>(QStringLiteral("tableWidget"));
    if (!table || row >= table->rowCount() || !table->item(row, column))
        return QString();
    return table->item(row, column)->text();
}

int progressAt(TestWindow& w, int row)
{
    auto* table = w.findChild<SWTableWidget*>(QStringLiteral("tableWidget"));
    auto* bar = table && row < table->rowCount() ? qobject_cast<ProgressBar*>(table->cellWidget(row, 3))
                                                  : nullptr;
    return bar ? bar->value() : -1;
}

const char* const kInputs[] = {"ipList", "bootCheck", "clearBoot", "selectPath", "initFilePath",
                               "updateFilePath", "selectInitPath"};

bool inputsEnabled(TestWindow& w, bool enabled)
{
    for (const char* name : kInputs)
        if (w.findChild<QWidget*>(QLatin1String(name))->isEnabled() != enabled)
            return false;
    return true;
}

void prepare(TestWindow& w, const Netns& n, const QString& firmwareDir)
{
    auto* ipList = w.findChild<ComboBox*>(QStringLiteral("ipList"));
    int index = ipList->findText(n.toolAddr);
    if (index < 0) {
        ipList->addItem(n.toolAddr);
        index = ipList->count() - 1;
    }
    ipList->setCurrentIndex(index);
    w.findChild<QLineEdit*>(QStringLiteral("updateFilePath"))->setText(firmwareDir);
}

QPushButton* button(TestWindow& w, const char* name)
{
    return w.findChild<QPushButton*>(QLatin1String(name));
}

} // namespace

class WorkflowTest : public QObject
{
    Q_OBJECT

private slots:
    void fullRun();
    void stopAsksOnlyWhileBusy();
    void failedStartReported();
    void exitDuringRunEndsTheServerFirst();
};

void WorkflowTest::fullRun()
{
    REQUIRE_NETNS(n);
    Firmware firmware(64 * 1024);
    TestWindow w;
    w.show();
    ModalWatcher watcher;
    prepare(w, n, firmware.dir.path());

    // Every status the table showed, sampled after each tick.
    QSet<QString> statuses;
    QObject::connect(&w.pollTimer, &QTimer::timeout, &w, [&] {
        if (!cell(w, 0, 2).isEmpty())
            statuses << cell(w, 0, 2);
    });

    QPushButton* start = button(w, "startUpdate");
    start->click();
    QCOMPARE(watcher.seen.size(), 0);
    QVERIFY(w.running);
    QVERIFY(w.pollTimer.isActive());
    QCOMPARE(start->text(), QStringLiteral("Stop"));
    QVERIFY(start->isEnabled());
    QVERIFY(inputsEnabled(w, false));
    QVERIFY(w.findChild<QWidget*>(QStringLiteral("languageBox"))->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(listenerBound(), 10000);

    // Slow enough that the once-a-second polling sees the transfer and the
    // device's writing.
    Device device(n, {QStringLiteral("--expect-image"), firmware.imagePath,
                      QStringLiteral("--expect-options"), QStringLiteral("1"),
                      QStringLiteral("--expect-tool"), n.toolAddr,
                      QStringLiteral("--ack-delay"), QStringLiteral("30"),
                      QStringLiteral("--progress-steps"), QStringLiteral("4"),
                      QStringLiteral("--progress-interval"), QStringLiteral("700")});

    QTRY_VERIFY_WITH_TIMEOUT(cell(w, 0, 0) == QLatin1String("01"), 60000);
    const QString lent = cell(w, 0, 1);
    QVERIFY2(lent.startsWith(QStringLiteral("10.213.7.")), qPrintable(lent));
    QVERIFY(lent != n.toolAddr);
    QVERIFY(!n.devAddrs.contains(lent));

    QTRY_VERIFY_WITH_TIMEOUT(cell(w, 0, 2) == QLatin1String("Update Complete!"), 90000);
    QTRY_COMPARE_WITH_TIMEOUT(progressAt(w, 0), 100, 5000);
    QVERIFY2(statuses.contains(QStringLiteral("Sending Data")) || statuses.contains(QStringLiteral("Updating...")),
             qPrintable(QStringList(statuses.values()).join(QStringLiteral(", "))));
    QTRY_VERIFY_WITH_TIMEOUT(device.finished(), 20000);
    const QByteArray deviceOutput = device.process.readAll();
    QVERIFY2(device.process.exitCode() == 0, deviceOutput.constData());
    QCOMPARE(w.findChild<SWTableWidget*>(QStringLiteral("tableWidget"))->rowCount(), 1);

    // The listener still runs: the run goes on, inputs stay disabled.
    QVERIFY(w.running);
    QVERIFY(inputsEnabled(w, false));

    // Every job is finished, so Stop asks nothing.
    start->click();
    QCOMPARE(watcher.seen.size(), 0);
    QCOMPARE(start->text(), QStringLiteral("Stopping.."));
    QVERIFY(!start->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!w.running, 15000);
    QCOMPARE(start->text(), QStringLiteral("Start"));
    QVERIFY(start->isEnabled());
    QVERIFY(inputsEnabled(w, true));
    QVERIFY(!w.pollTimer.isActive());

    // Clear releases the finished job in the server and empties the table.
    QCOMPARE(w.server->jobCount(), 1);
    button(w, "clearContent")->click();
    QCOMPARE(w.findChild<SWTableWidget*>(QStringLiteral("tableWidget"))->rowCount(), 0);
    QCOMPARE(w.server->jobCount(), 0);
}

void WorkflowTest::stopAsksOnlyWhileBusy()
{
    REQUIRE_NETNS(n);
    Firmware firmware(32 * 1024);
    TestWindow w;
    w.show();
    ModalWatcher watcher;
    prepare(w, n, firmware.dir.path());
    QPushButton* start = button(w, "startUpdate");
    start->click();
    QVERIFY(w.running);
    QTRY_VERIFY_WITH_TIMEOUT(listenerBound(), 10000);

    // A device that reports its writing for half a minute: its job stays
    // unfinished, yet hears from the device often enough to notice a stop.
    Device device(n, {QStringLiteral("--progress-steps"), QStringLiteral("100"),
                      QStringLiteral("--progress-interval"), QStringLiteral("300")});
    QTRY_VERIFY_WITH_TIMEOUT(cell(w, 0, 2) == QLatin1String("Updating..."), 60000);
    QVERIFY(!w.server->isIdle());
    {
        const auto job = w.server->jobAt(0);
        QVERIFY(job);
        QVERIFY2(!job->isFinished(), qPrintable(QStringLiteral("job finished early, status %1, device: %2")
                                                    .arg(job->statusCode())
                                                    .arg(QString::fromLocal8Bit(device.process.readAll()))));
    }

    // A change of language during the run changes the texts, not the run.
    auto* languageBox = w.findChild<ComboBox*>(QStringLiteral("languageBox"));
    languageBox->setCurrentIndex(1);
    QCOMPARE(watcher.seen.size(), 1);  // the tips page
    QCOMPARE(start->text(), QStringLiteral("停止升级"));
    QTRY_COMPARE_WITH_TIMEOUT(cell(w, 0, 2), QStringLiteral("正在烧写"), 5000);
    QVERIFY(w.running);
    QVERIFY(w.pollTimer.isActive());
    QVERIFY(inputsEnabled(w, false));
    languageBox->setCurrentIndex(0);
    QCOMPARE(watcher.seen.size(), 2);
    QCOMPARE(start->text(), QStringLiteral("Stop"));
    watcher.seen.clear();

    // Exit while busy asks the run's question; Cancel keeps everything.
    watcher.queue(ModalWatcher::press("cancelBtn"));
    button(w, "exitBtn")->click();
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen.at(0).title, QStringLiteral("Exit"));
    QCOMPARE(watcher.seen.at(0).content,
             QStringLiteral("The update process not completed. Are you sure you want to exit?"));
    QCOMPARE(w.endCalls, 0);

    // Stop asks; Cancel leaves the run alone.
    watcher.queue(ModalWatcher::press("cancelBtn"));
    start->click();
    QCOMPARE(watcher.seen.size(), 2);
    QCOMPARE(watcher.seen.at(1).title, QStringLiteral("Stop Update"));
    QCOMPARE(watcher.seen.at(1).content,
             QStringLiteral("The update process not completed. Are you sure you want to stop?"));
    QVERIFY(w.running);
    QCOMPARE(start->text(), QStringLiteral("Stop"));
    QVERIFY(start->isEnabled());
    QVERIFY(w.pollTimer.isActive());
    QVERIFY(!w.server->isIdle());
    QVERIFY(inputsEnabled(w, false));

    // OK stops the listener and the job; the first idle tick ends the run.
    watcher.queue(ModalWatcher::press("okBtn"));
    start->click();
    QCOMPARE(watcher.seen.size(), 3);
    QCOMPARE(start->text(), QStringLiteral("Stopping.."));
    QVERIFY(!start->isEnabled());
    // The job ends at the device's next message (a silent device would
    // take up to its 40-second silence).
    QTRY_VERIFY_WITH_TIMEOUT(!w.running, 60000);
    QCOMPARE(start->text(), QStringLiteral("Start"));
    QVERIFY(inputsEnabled(w, true));
    QVERIFY(w.server->isIdle());
    QCOMPARE(cell(w, 0, 2), QStringLiteral("Updating..."));  // stopped while the device wrote
}

void WorkflowTest::failedStartReported()
{
    REQUIRE_NETNS(n);
    Firmware firmware(4 * 1024);
    TestWindow w;
    w.show();
    ModalWatcher watcher;
    prepare(w, n, firmware.dir.path());

    // A listener already running makes the server refuse another start.
    QCOMPARE(w.server->start(firmware.dir.path().toStdString(), "", n.toolAddr.toStdString(), 1), 0);
    watcher.queue(ModalWatcher::press("okBtn"));
    QPushButton* start = button(w, "startUpdate");
    start->click();
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen.at(0).title, QStringLiteral("Update"));
    QCOMPARE(watcher.seen.at(0).content, QStringLiteral("Start Failed!"));
    QVERIFY(!w.running);
    QVERIFY(!w.pollTimer.isActive());
    QCOMPARE(start->text(), QStringLiteral("Start"));
    QVERIFY(inputsEnabled(w, true));

    w.server->stop();
    QTRY_VERIFY_WITH_TIMEOUT(w.server->isIdle(), 15000);

    // Once the listener has ended, the same inputs start normally.
    start->click();
    QCOMPARE(watcher.seen.size(), 1);
    QVERIFY(w.running);
    QCOMPARE(start->text(), QStringLiteral("Stop"));
    start->click();  // no jobs: no question
    QCOMPARE(watcher.seen.size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!w.running, 15000);
}

void WorkflowTest::exitDuringRunEndsTheServerFirst()
{
    REQUIRE_NETNS(n);
    Firmware firmware(16 * 1024);
    TestWindow w;
    w.show();
    ModalWatcher watcher;
    prepare(w, n, firmware.dir.path());
    button(w, "startUpdate")->click();
    QVERIFY(w.running);
    QTRY_VERIFY_WITH_TIMEOUT(listenerBound(), 10000);

    // A device that falls silent after asking for the size: its job waits
    // for it with a worker thread that must not outlive the server.
    Device device(n, {QStringLiteral("--stop-after"), QStringLiteral("size")});
    QTRY_VERIFY_WITH_TIMEOUT(cell(w, 0, 0) == QLatin1String("01"), 60000);
    std::weak_ptr<brelvo::UpdateJob> job = w.server->jobAt(0);
    QVERIFY(!job.expired());

    bool serverGoneAtEnd = false;
    w.endProcess = [&] {
        ++w.endCalls;
        serverGoneAtEnd = !w.server;
    };
    watcher.queue(ModalWatcher::press("okBtn"));
    QElapsedTimer clock;
    clock.start();
    button(w, "exitBtn")->click();
    qInfo("confirmed exit with a waiting job took %lld ms", static_cast<long long>(clock.elapsed()));
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen.at(0).content,
             QStringLiteral("The update process not completed. Are you sure you want to exit?"));
    QCOMPARE(w.endCalls, 1);
    QVERIFY(serverGoneAtEnd);
    QVERIFY(!w.isVisible());
    QVERIFY(!listenerBound());
    QVERIFY(job.expired());  // record and worker gone with the server
}

BRELVO_WINDOW_TEST_MAIN(WorkflowTest)
#include "WorkflowTest.moc"
