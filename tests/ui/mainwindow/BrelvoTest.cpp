// SPDX-License-Identifier: MIT
// The main window: languages and catalogues, the device table, what it
// remembers, its pickers, chrome and Log button; and runs against the real
// engine and brelvo-devsim. Whatever presses Start (which checks, then sweeps
// the /24 of the chosen address and lets jobs broadcast) skips unless inside
// the private namespace pair made by tests/support/with-netns.sh, or, for the
// refusal without ICMP rights, the closed namespace of run-without-icmp.sh.
#include "dialogs/LogWindow.h"
#include "job/JobSnapshot.h"
#include "mainwindow/Brelvo.h"
#include "check/PreflightCheck.h"
#include "server/UpdateServer.h"
#include "widgets/ComboBox.h"
#include "widgets/ProgressBar.h"
#include "widgets/SWTableWidget.h"
#include "UiTestSupport.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QUdpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>

using ui_test::ModalWatcher;

namespace {

class TestWindow : public Brelvo
{
public:
    explicit TestWindow(const QString& folder = QStringLiteral("/nonexistent/translations"))
        : Brelvo(folder, nullptr)
    {
        setEndProcess([] { qFatal("the window ended the process"); });
    }
    using Brelvo::applyLanguage;
    using Brelvo::isChecking;
    using Brelvo::isPolling;
    using Brelvo::isRunning;
    using Brelvo::logWindow;
    using Brelvo::restoreSettings;
    using Brelvo::server;
    using Brelvo::setInputsEnabled;
    using Brelvo::setStartCheck;
    using Brelvo::showEvents;
    using Brelvo::showJobs;
    using Brelvo::trayIcon;

    QString log() { return logWindow()->text(); }
    template <class T = QWidget> T* get(const char* name) { return findChild<T*>(QLatin1String(name)); }
    QString text(const char* name) { return get<QObject>(name)->property("text").toString(); }
    QString cell(int row, int column)
    {
        auto* item = get<SWTableWidget>("tableWidget")->item(row, column);
        return item ? item->text() : QString();
    }
    // Whether all seven run inputs are enabled (or all disabled).
    bool inputsEnabled(bool on)
    {
        for (const char* name : {"ipList", "bootCheck", "clearBoot", "selectPath", "initFilePath", "updateFilePath",
                                 "selectInitPath"})
            if (get(name)->isEnabled() != on)
                return false;
        return true;
    }
    // Back to where a run can be started: no run, no check, every input free.
    bool idle()
    {
        auto* start = get<QPushButton>("startUpdate");
        return !isRunning() && !isChecking() && inputsEnabled(true) && start->isEnabled()
            && start->text() == QLatin1String("Start");
    }
    // The log holds each of `lines`, in this order.
    void expectLog(const QStringList& lines)
    {
        int at = 0;
        for (const QString& line : lines) {
            at = log().indexOf(line, at);
            QVERIFY2(at >= 0, qPrintable(line + QStringLiteral("\nmissing or out of order in:\n") + log()));
        }
    }
};

brelvo::JobSnapshot job(const char* lent, int status = 0, int progress = 0)
{
    brelvo::JobSnapshot s;
    s.lentAddress = lent ? inet_addr(lent) : 0, s.status = status, s.progress = progress;
    return s;
}

// The user's settings file under the test's own XDG_CONFIG_HOME.
QString userSettingsPath()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/brelvo-tool/brelvo-tool.conf");
}

QString recordedLanguage()
{
    return QSettings(QStringLiteral("server.ini"), QSettings::IniFormat).value(QStringLiteral("Language")).toString();
}

// Nothing left in the application once every window is gone.
bool noCatalogueInstalled()
{
    return QCoreApplication::translate("Brelvo", "PushButton.exit") == QLatin1String("PushButton.exit");
}

QStringList languages(TestWindow& w)
{
    QStringList out;
    for (int i = 0; i < w.get<ComboBox>("languageBox")->count(); ++i)
        out << w.get<ComboBox>("languageBox")->itemText(i);
    return out;
}

// What a language change must have rewritten: two status cells, the start
// button, a label and the table's headers.
QStringList visibleTexts(TestWindow& w)
{
    QStringList texts{w.cell(0, 2), w.cell(1, 2), w.text("startUpdate"), w.text("languLab")};
    auto* table = w.get<SWTableWidget>("tableWidget");
    for (int c = 0; c < table->columnCount(); ++c)
        texts << table->horizontalHeaderItem(c)->text();
    return texts;
}

// Writes `bytes` to a new file `name` in `dir`; its path.
QString writeFile(const QString& dir, const QString& name, const QByteArray& bytes)
{
    QFile f(dir + QLatin1Char('/') + name);
    const bool ok = f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    return ok ? f.fileName() : QString();
}

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
    const QByteArray version = "version=2\r\nproduct=ABCDEFG\r\nchecksum=0x" + QByteArray::number(sum, 16) + "\r\n";
    return writeFile(dir, "kvx_ABCDEFG_V2-ver.bin", version).isEmpty() ? QString()
                                                                         : writeFile(dir, "kvx_ABCDEFG_V2.bin", image);
}

// The device asks only once: wait until port 3281 is bound (read from the
// kernel's table; binding to find out could steal the port).
bool listenerBound()
{
    QFile f(QStringLiteral("/proc/net/udp"));
    return f.open(QIODevice::ReadOnly) && f.readAll().contains(":0CD1 ");
}

// Inside with-netns.sh's pair, or skip (whatever presses Start needs it).
#define REQUIRE_NETNS()                                                                                            \
    do {                                                                                                           \
        if (qEnvironmentVariable("BRELVO_NETNS") != QLatin1String("1") || qEnvironmentVariableIsSet("BRELVO_NETNS_SKIP")) \
            QSKIP(qPrintable("BRELVO_NETNS_SKIP: "                                                                 \
                             + qEnvironmentVariable("BRELVO_NETNS_SKIP", "not inside a private network namespace")   \
                             + " (run through with-netns.sh)"));                                                    \
    } while (false)

// A firmware folder with one image, and a window set to serve it from `address`.
struct Run {
    explicit Run(const QString& address)
    {
        w.get<ComboBox>("ipList")->addItem(address);
        w.get<ComboBox>("ipList")->setCurrentText(address);
        w.get<QLineEdit>("updateFilePath")->setText(dir.path());
    }
    QTemporaryDir dir;
    const QString imagePath = writeFirmware(dir.path());
    TestWindow w;
    ModalWatcher watcher;
    QPushButton* const start = w.get<QPushButton>("startUpdate");
};

// The one box that refuses a start, naming each of `parts` and one problem.
void expectRefusal(const ModalWatcher::Seen& box, const QStringList& parts)
{
    QCOMPARE(box.title, QStringLiteral("Cannot Start"));
    for (const QString& part : parts)
        QVERIFY2(box.content.contains(part), qPrintable(box.content));
    QCOMPARE(box.content.count(QStringLiteral("\u2022")), 1);
}

// brelvo-devsim in the device namespace, asking the tool for ARGS.
void startDevice(QProcess& device, const QStringList& args)
{
    device.setProcessChannelMode(QProcess::MergedChannels);
    device.start(QStringLiteral("ip"), QStringList{"netns", "exec", qEnvironmentVariable("BRELVO_DEV_NS"),
                                                   qEnvironmentVariable("BRELVO_DEVSIM"), "--tool",
                                                   qEnvironmentVariable("BRELVO_TOOL_ADDR")}
                                           + args);
}

} // namespace

class BrelvoTest : public QObject
{
    Q_OBJECT

private slots:
    // Every case starts without remembered settings.
    void init() { QFile::remove(userSettingsPath()); }

    void switchLanguage_data()
    {
        QTest::addColumn<bool>("shown");
        QTest::newRow("hidden") << false;
        QTest::newRow("shown") << true;  // the change then comes through the platform window
    }

    // Every visible text follows a language choice at once, the tips page
    // opens once, and the choice is remembered for the next start.
    void switchLanguage()
    {
        QFETCH(bool, shown);
        const QStringList english{"Update Complete!", "Timeout!", "Start", "Language", "No.", "IP Address", "Status",
                                  "Progress"};
        const QStringList chinese{"烧写完成", "超时", "开始升级", "语言", "编号", "IP地址", "状态", "进度"};
        {
            ModalWatcher watcher;
            TestWindow w;
            QCoreApplication::processEvents();
            QCOMPARE(watcher.seen.size(), 0);  // building the language list opens no tips page
            QVERIFY(!QFile::exists(userSettingsPath()));  // and writes nothing before a choice
            // The cards' addresses, not loopback.
            QCOMPARE(w.get<ComboBox>("ipList")->findText(QStringLiteral("127."), Qt::MatchStartsWith), -1);
            if (shown)
                w.show();
            QVERIFY(!shown || QTest::qWaitForWindowExposed(&w));
            brelvo::JobSnapshot unit = job("10.213.7.60", 9, 100);
            unit.mac = 0x02000ad50732, unit.productCode = "ABCDEFG", unit.imagePath = "/srv/<b>kvx.bin";
            unit.checksum = 0xcac169f7, unit.checksumKnown = true, unit.options = 3;
            w.showJobs({unit, job("10.213.7.61", 14, 30)});
            QCOMPARE(visibleTexts(w), english);
            // The address cell tells which unit it is and what it was sent; never as markup.
            const auto tip = [&w](int row) { return w.get<SWTableWidget>("tableWidget")->item(row, 1)->toolTip(); };
            QCOMPARE(tip(0), QStringLiteral("<p style='white-space:pre'>Product code: ABCDEFG\nHardware address: "
                                            "02:00:0a:d5:07:32\nImage file: /srv/&lt;b&gt;kvx.bin\nChecksum: "
                                            "0xcac169f7\nOptions sent: 3</p>"));
            QVERIFY(tip(1).contains(QStringLiteral("Hardware address: unknown\n")));
            QStringList atTips;  // every text follows before the tips page opens, with no tick between
            watcher.queue([&](QWidget* d) { atTips = visibleTexts(w), qobject_cast<QDialog*>(d)->reject(); });
            w.get<ComboBox>("languageBox")->setCurrentIndex(1);
            QCOMPARE(watcher.seen.size(), 1);
            QCOMPARE(atTips, chinese);
            QVERIFY(tip(0).contains(QStringLiteral("MAC 地址：02:00:0a:d5:07:32\n")) && tip(1).contains(QStringLiteral("MAC 地址：未知")));
            QCOMPARE(recordedLanguage(), QStringLiteral(":/Resources/简体中文.qm"));
        }
        {
            ModalWatcher watcher;
            TestWindow w;  // the next start: Chinese, and no tips page, for restoring is no choice
            QCOMPARE(w.get<ComboBox>("languageBox")->currentIndex(), 1);
            QCOMPARE(w.text("exitBtn"), QStringLiteral("退出"));
            QCOMPARE(watcher.seen.size(), 0);
            w.showJobs({job("10.213.7.60", 9, 100), job("10.213.7.61", 14, 30)});
            QCOMPARE(visibleTexts(w), chinese);
            // And back, without any event processed in between.
            const QSignalBlocker quiet(w.get<ComboBox>("languageBox"));
            w.get<ComboBox>("languageBox")->setCurrentIndex(0);
            w.applyLanguage();
            QCOMPARE(visibleTexts(w), english);
            QCOMPARE(recordedLanguage(), QStringLiteral(":/Resources/English.qm"));
        }
        QVERIFY(noCatalogueInstalled());
    }

    // Catalogues from a folder, named after their files; one that does not load
    // falls back to the built-in one of its name; an empty folder to the built-in.
    void translationsFolder()
    {
        QTemporaryDir folder, empty, broken;
        const auto put = [&](const char* from, const char* to) {
            return QFile::copy(QStringLiteral(":/Resources/") + QString::fromUtf8(from),
                               folder.filePath(QLatin1String(to)));
        };
        QVERIFY(put("简体中文.qm", "de.qm") && put("English.qm", "fr.QM") && put("English.qm", "x.tar.qm"));
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("y.qm")));
        QVERIFY(!writeFile(broken.path(), QStringLiteral("English.qm"), "not a catalogue").isEmpty());
        {
            TestWindow w(folder.path());
            QCOMPARE(languages(w), (QStringList{"de", "fr", "x.tar"}));
            QCOMPARE(recordedLanguage(), folder.filePath(QStringLiteral("de.qm")));  // the first, applied
            QCOMPARE(w.text("exitBtn"), QStringLiteral("退出"));
            ModalWatcher watcher;
            w.get<ComboBox>("languageBox")->setCurrentIndex(1);
            QCOMPARE(recordedLanguage(), folder.filePath(QStringLiteral("fr.QM")));
            QCOMPARE(w.text("exitBtn"), QStringLiteral("Exit"));
        }
        {
            TestWindow w(empty.path());
            QCOMPARE(languages(w), (QStringList{"English", "简体中文"}));
        }
        {
            TestWindow w(broken.path());
            QCOMPARE(languages(w), QStringList{"English"});
            QCOMPARE(w.text("exitBtn"), QStringLiteral("Exit"));
            QCOMPARE(recordedLanguage(), QStringLiteral(":/Resources/English.qm"));
        }
        QVERIFY(noCatalogueInstalled());
    }

    void deviceRows_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("0") << 0 << "Find Update Server" << "running";
        QTest::newRow("2") << 2 << "Sending Data" << "running";
        QTest::newRow("6") << 6 << "Send Successfully!" << "running";
        QTest::newRow("8") << 8 << "Updating..." << "running";
        QTest::newRow("9") << 9 << "Update Complete!" << "success";
        QTest::newRow("7") << 7 << "Verification Failed!" << "failure";
        QTest::newRow("14") << 14 << "Timeout!" << "failure";
        QTest::newRow("15") << 15 << "Stopped" << "failure";
        for (int code : {16, -1, INT_MIN, INT_MAX})
            QTest::addRow("%d", code) << code << "Unknown Error!" << "failure";
    }

    // One read-only row per job: number, lent address, status text and bar. The
    // status text and the bar's chunk carry the outcome; a row that moves on to
    // another status takes the new text, colours and progress; rows of jobs the
    // engine pruned go.
    void deviceRows()
    {
        QFETCH(int, status);
        QFETCH(QString, text);
        QFETCH(QString, outcome);
        const QMap<QString, QColor> textColour{{"running", QColor()}, {"success", "#4cc38a"}, {"failure", "#ff6b6b"}};
        const QMap<QString, QColor> chunk{{"running", "#2c7dce"}, {"success", "#1e7b46"}, {"failure", "#b03a3a"}};
        TestWindow w;
        auto* table = w.get<SWTableWidget>("tableWidget");
        const auto bar = [&](int row) { return qobject_cast<ProgressBar*>(table->cellWidget(row, 3)); };
        const auto look = [&](int row) {
            const QVariant fg = table->item(row, 2)->data(Qt::ForegroundRole);
            bar(row)->resize(200, 30);
            return std::make_pair(fg.isValid() ? fg.value<QBrush>().color() : QColor(),
                                  bar(row)->grab().toImage().pixelColor(26, 15));
        };
        // Rows start with another outcome's text, colours and progress, so stale ones would show.
        const int before = outcome == QLatin1String("running") ? 9 : 0;
        w.showJobs({job("10.213.7.60", before, 100), job(nullptr, before, 10), job("10.213.7.62", before, 100)});
        QVERIFY(look(0) != std::make_pair(textColour[outcome], chunk[outcome]));
        w.showJobs({job("10.213.7.60", status, 100), job(nullptr, status, 42), job("10.213.7.61", status, 100)});
        QCOMPARE(table->rowCount(), 3);
        const char* const addresses[] = {"10.213.7.60", "0.0.0.0", "10.213.7.61"};
        for (int r = 0; r < 3; ++r) {
            QCOMPARE(QStringList({w.cell(r, 0), w.cell(r, 1), w.cell(r, 2)}),
                     QStringList({Brelvo::rowNumberText(r + 1), addresses[r], text}));
            for (int c = 0; c < 3; ++c)
                QVERIFY(!(table->item(r, c)->flags() & Qt::ItemIsEditable));
            QCOMPARE(bar(r)->value(), r == 1 ? 42 : 100);
            if (r != 1) {
                QCOMPARE(look(r).first, textColour[outcome]);
                QCOMPARE(look(r).second, chunk[outcome]);
            }
        }
        QVERIFY(w.cell(1, 0) == "02" && Brelvo::rowNumberText(100) == "100");
        w.showJobs({job("10.213.7.61", 9, 100)});
        QVERIFY(table->rowCount() == 1 && w.cell(0, 1) == "10.213.7.61");
        w.showJobs({});
        QCOMPARE(table->rowCount(), 0);
    }

    void disabledInputsLookDisabled_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"updateFilePath", "ipList", "clearBoot", "selectPath"})
            QTest::newRow(name) << name;
    }

    // A run disables the inputs: under the style sheet each must look different
    // from its enabled self, a field by its ground, a button keeping its outline.
    void disabledInputsLookDisabled()
    {
        QFETCH(QString, name);
        QFile sheet(QStringLiteral(":/Resources/style.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        TestWindow w;
        w.setStyleSheet(QString::fromUtf8(sheet.readAll()));
        w.get<ComboBox>("ipList")->addItem(QStringLiteral("10.213.7.1"));
        w.get<QCheckBox>("clearBoot")->setChecked(true);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QWidget* input = w.get(qPrintable(name));
        const QImage enabled = input->grab().toImage();
        w.setInputsEnabled(false);
        const QImage disabled = input->grab().toImage();
        QVERIFY2(enabled != disabled, "disabled looks the same as enabled");
        if (name == QLatin1String("updateFilePath") || name == QLatin1String("ipList"))
            QVERIFY2(enabled.pixelColor(4, 4) != disabled.pixelColor(4, 4), "a disabled field keeps its ground");
        if (name == QLatin1String("selectPath"))
            QVERIFY2(disabled.pixelColor(0, disabled.height() / 2) != disabled.pixelColor(4, disabled.height() / 2),
                     "a disabled button has no outline");
    }

    void rememberedSettings_data()
    {
        // What the settings file holds; "FW", "CFG" and "ADDR" stand for a
        // firmware folder, a configuration file and an address that exist.
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("restored");
        QTest::newRow("all still there") << QByteArray("[run]\nfirmwareDir=FW\nconfigFile=CFG\nlocalAddress=ADDR\n")
                                         << true;
        QTest::newRow("all gone") << QByteArray("[run]\nfirmwareDir=FW/gone\nconfigFile=CFG.gone\n"
                                                "localAddress=192.0.2.99\n[window]\nlanguage=Klingon.qm\n")
                                  << false;
        QTest::newRow("swapped kinds") << QByteArray("[run]\nfirmwareDir=CFG\nconfigFile=FW\nlocalAddress=\n") << false;
        QTest::newRow("not text") << QByteArray("[run]\nfirmwareDir=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x1)\n"
                                                "configFile=a, b\nlocalAddress=@ByteArray(ADDR)\n"
                                                "[window]\nlanguage=@Invalid()\n")
                                  << false;
        QTest::newRow("not a settings file") << QByteArray("\x7f""ELF\x01\x01\0\0[[[\n=\n\xff\xfe") << false;
    }

    // A remembered folder, file and address come back only while they fit; a
    // value that does not fit leaves the default, without a crash.
    void rememberedSettings()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, restored);
        QTemporaryDir dir;
        const QString firmware = dir.filePath(QStringLiteral("firmware folder"));
        const QString config = writeFile(dir.path(), QStringLiteral("factory.cfg"), "");
        const QString address = QStringLiteral("192.0.2.7");  // added to the box below, as a card's would be
        QVERIFY(QDir().mkpath(firmware) && QDir().mkpath(QFileInfo(userSettingsPath()).path()));
        file.replace("FW", firmware.toUtf8()).replace("CFG", config.toUtf8()).replace("ADDR", address.toUtf8());
        QVERIFY(!writeFile(QFileInfo(userSettingsPath()).path(), QStringLiteral("brelvo-tool.conf"), file).isEmpty());

        TestWindow w;
        auto* addresses = w.get<ComboBox>("ipList");
        addresses->insertItem(0, QStringLiteral("192.0.2.1"));
        addresses->addItem(address);
        addresses->setCurrentIndex(0);
        w.restoreSettings();
        QCOMPARE(w.text("updateFilePath"), restored ? firmware : QCoreApplication::applicationDirPath());
        QCOMPARE(w.text("initFilePath"), restored ? config : QString());
        QCOMPARE(addresses->currentText(), restored ? address : QStringLiteral("192.0.2.1"));
        QCOMPARE(w.text("exitBtn"), QStringLiteral("Exit"));
    }

    // Ticking the erase box warns (unticking does not; a picked configuration
    // file ticks it silently). Each picker opens where its field points, else in
    // the folder last picked from (also after a restart), else at home; never in
    // the working directory.
    void pickersAndEraseWarning()
    {
        QTemporaryDir dir;
        const QString configDir = dir.filePath(QStringLiteral("configs"));
        QVERIFY(QDir().mkpath(configDir));
        const QString config = writeFile(configDir, QStringLiteral("factory.cfg"), "");
        QStringList opened;  // where each picker opened
        {
            ModalWatcher watcher;
            TestWindow w;
            auto* erase = w.get<QCheckBox>("clearBoot");
            erase->click();
            erase->click();
            QVERIFY(watcher.seen.size() == 1 && watcher.seen.at(0).title == "Tips" && !erase->isChecked());
            const auto pick = [&](const char* button, const QString& choice) {
                watcher.pick(choice, &opened);
                w.get<QPushButton>(button)->click();
            };
            pick("selectInitPath", QString());  // nothing picked yet
            pick("selectPath", QString());      // the firmware field's folder
            pick("selectInitPath", config);     // picks a file
            QVERIFY(w.text("initFilePath") == config && erase->isChecked());
            pick("selectInitPath", QString());  // its folder
            w.get<QLineEdit>("updateFilePath")->setText(dir.filePath(QStringLiteral("gone")));
            pick("selectPath", QString());      // the field's folder is gone
            pick("selectPath", dir.path());     // picks a folder
            QCOMPARE(w.text("updateFilePath"), dir.path());
            QCOMPARE(watcher.seen.size(), 7);  // the one warning, then only the pickers
        }
        QCOMPARE(opened, (QStringList{QDir::homePath(), QCoreApplication::applicationDirPath(), QDir::homePath(),
                                      configDir, configDir, configDir}));
        opened.clear();
        QFile::remove(config);
        ModalWatcher watcher;
        TestWindow w;  // after a restart, with the field empty
        watcher.pick(QString(), &opened);
        w.get<QPushButton>("selectInitPath")->click();
        QCOMPARE(opened, QStringList{dir.path()});
    }

    void chrome()
    {
        TestWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const auto menuAt = [&](const char* name) {
            QWidget* where = w.get(name);
            const QPoint global = where->mapToGlobal(where->rect().center());
            QCursor::setPos(global);
            QStringList shown;
            QTimer probe;
            connect(&probe, &QTimer::timeout, [&] {
                if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                    for (QAction* a : menu->actions())
                        shown << a->text();
                    menu->close();
                }
            });
            probe.start(10);
            QContextMenuEvent event(QContextMenuEvent::Mouse, w.mapFromGlobal(global), global);
            QApplication::sendEvent(&w, &event);
            return shown;
        };
        QCOMPARE(menuAt("topWidget"), QStringList{"About Brelvo Tool"});
        QVERIFY(menuAt("tableWidget").isEmpty());

        w.hide();
        w.trayIcon()->show();
        emit w.trayIcon()->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!w.isVisible());
        emit w.trayIcon()->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(w.isVisible());
    }

    // The Log button counts the warnings and failures that came while the log
    // was closed, in the window's language; opening the log resets the count.
    void logButtonCounts()
    {
        using K = brelvo::EventKind;
        using S = brelvo::Severity;
        const auto event = [](K kind, S severity, int code = 10) {
            brelvo::Event e;
            e.kind = kind, e.severity = severity, e.row = 1, e.code = code;
            return e;
        };
        TestWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* button = w.get<QPushButton>("logBtn");
        w.showEvents({event(K::RequestReceived, S::Info), event(K::JobResult, S::Info, 9)});  // a success
        QCOMPARE(button->text(), QStringLiteral("Log"));
        w.showEvents({event(K::RequestNoFirmware, S::Warning), event(K::JobResult, S::Failure)});
        QCOMPARE(button->text(), QStringLiteral("Log (2)"));
        QVERIFY2(w.log().contains(QStringLiteral("  [Failure] #01: Update Failed!\n")), qPrintable(w.log()));
        {
            ModalWatcher watcher;  // the tips page that follows a language choice
            w.get<ComboBox>("languageBox")->setCurrentIndex(1);
        }
        QCOMPARE(button->text(), QString::fromUtf8(u8"日志 (2)"));
        button->click();
        QVERIFY(w.logWindow()->isVisible());
        QCOMPARE(button->text(), QString::fromUtf8(u8"日志"));
        w.showEvents({event(K::RequestTableFull, S::Warning)});  // seen as it comes
        QCOMPARE(button->text(), QString::fromUtf8(u8"日志"));
        w.logWindow()->findChild<QPushButton*>("closeBtn")->click();
        w.showEvents({event(K::ReportFailed, S::Failure)});
        QCOMPARE(button->text(), QString::fromUtf8(u8"日志 (1)"));
    }

    // A whole run: a configuration file that cannot be sent is refused first;
    // without it the check passes, a device is served, Stop while it is busy
    // asks, the table clears; then a listener of this program's own holding the
    // port refuses the next start.
    void runStopAndClear()
    {
        REQUIRE_NETNS();
        const QString toolAddr = qEnvironmentVariable("BRELVO_TOOL_ADDR");
        Run run(toolAddr);
        auto& w = run.w;
        auto* start = run.start;
        QVERIFY(!run.imagePath.isEmpty());
        w.show();

        const QString config = writeFile(run.dir.path(), QStringLiteral("factory.cfg"), QByteArray(65535, 'c'));
        const QString says = "Configuration file '" + config
            + "' has only 65535 bytes, fewer than the 65536 a configuration needs";
        w.get<QLineEdit>("initFilePath")->setText(config);
        start->click();
        // The check runs first, on its own thread: the button says so and
        // nothing can be changed or pressed meanwhile.
        QVERIFY(w.isChecking() && start->text() == QLatin1String("Checking...") && !start->isEnabled()
                && w.inputsEnabled(false) && !w.isRunning());
        QTRY_COMPARE_WITH_TIMEOUT(run.watcher.seen.size(), 1, 20000);
        expectRefusal(run.watcher.seen.at(0), {"The check before the start found problems that would make the update "
                                               "fail. Fix them, then press Start again:\n\n\u2022 " + says,
                                               "\nWhat to do: choose "});
        QVERIFY(w.idle() && !listenerBound());
        w.expectLog({"[Failure] " + says, QStringLiteral("[Failure] Start refused")});
        QCOMPARE(w.get<QPushButton>("logBtn")->text(), QStringLiteral("Log (2)"));

        w.get<QLineEdit>("initFilePath")->clear();
        start->click();
        QVERIFY(w.isChecking() && !start->isEnabled() && w.inputsEnabled(false));
        QTRY_VERIFY_WITH_TIMEOUT(w.isRunning(), 20000);
        QVERIFY(!w.isChecking() && start->text() == "Stop" && start->isEnabled() && w.inputsEnabled(false));
        QCOMPARE(run.watcher.seen.size(), 1);
        {
            const QSettings stored(userSettingsPath(), QSettings::NativeFormat);
            QCOMPARE(stored.value("run/firmwareDir").toString(), run.dir.path());
            QCOMPARE(stored.value("run/localAddress").toString(), toolAddr);
            QCOMPARE(stored.value("window/language").toString(), QStringLiteral("English.qm"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(listenerBound(), 10000);

        // The device checks every byte and the options, then reports its
        // writing for a few seconds: long enough to press Stop while busy.
        QProcess device;
        startDevice(device, {"--product", "ABCDEFG", "--expect-image", run.imagePath, "--expect-options", "1",
                             "--progress-steps", "20", "--progress-interval", "400"});
        QTRY_VERIFY_WITH_TIMEOUT(w.cell(0, 2) == QLatin1String("Updating..."), 60000);
        QCOMPARE(w.cell(0, 0), QStringLiteral("01"));
        const QString lent = w.cell(0, 1);
        QVERIFY2(lent.startsWith(QStringLiteral("10.213.7.")) && lent != toolAddr
                     && !qEnvironmentVariable("BRELVO_DEV_ADDRS").split(' ').contains(lent),
                 qPrintable(lent));

        // While the job is unfinished, Stop asks; Cancel leaves the run.
        run.watcher.queue([](QWidget* d) { d->findChild<QPushButton*>(QStringLiteral("cancelBtn"))->click(); });
        start->click();
        QCOMPARE(run.watcher.seen.size(), 2);
        QCOMPARE(run.watcher.seen.at(1).title, QStringLiteral("Stop Update"));
        QVERIFY(w.isRunning() && w.isPolling() && start->text() == QLatin1String("Stop"));

        QTRY_VERIFY_WITH_TIMEOUT(w.cell(0, 2) == QLatin1String("Update Complete!"), 60000);
        const QString mac50 = qEnvironmentVariable("BRELVO_DEV_MACS").split(' ').first();
        QVERIFY(!mac50.isEmpty() && w.get<SWTableWidget>("tableWidget")->item(0, 1)->toolTip().contains(
                                        "Hardware address: " + mac50 + "\nImage file: " + run.imagePath));
        auto* bar = qobject_cast<ProgressBar*>(w.get<SWTableWidget>("tableWidget")->cellWidget(0, 3));
        QTRY_COMPARE_WITH_TIMEOUT(bar->value(), 100, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(device.state() == QProcess::NotRunning, 20000);
        QVERIFY2(device.exitCode() == 0, device.readAll().constData());

        // Every job is finished: Stop asks nothing and the idle tick ends the run.
        start->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w.isRunning(), 15000);
        QVERIFY(run.watcher.seen.size() == 2 && w.idle());
        w.get<QPushButton>("clearContent")->click();
        QCOMPARE(w.get<SWTableWidget>("tableWidget")->rowCount(), 0);

        // The run's story, in order, in the log, and no failure in it.
        const QString device50 = qEnvironmentVariable("BRELVO_DEV_ADDRS").split(' ').first();
        w.expectLog({"Check passed", "Listening on UDP port 3281", "Address sweep found",
                     "#01 " + device50 + " asked for ABCDEFG: sending " + run.imagePath,
                     "#01 " + device50 + ": offer sent, lent address " + lent,
                     "#01 " + device50 + " (" + mac50 + "): hardware address learnt",
                     "#01 " + device50 + " (" + mac50 + "): Update Complete!",
                     "Stop: no device was being updated", "The run has ended"});
        QVERIFY2(!w.log().mid(w.log().indexOf(QStringLiteral("Check passed"))).contains(QStringLiteral("[Failure]")),
                 qPrintable(w.log()));

        // A listener already running holds port 3281: the check refuses.
        QCOMPARE(w.server()->start(run.dir.path().toStdString(), "", toolAddr.toStdString(), 1), 0);
        start->click();
        QTRY_COMPARE_WITH_TIMEOUT(run.watcher.seen.size(), 3, 20000);
        expectRefusal(run.watcher.seen.at(2),
                      {QStringLiteral("UDP port 3281 is held by this program itself (an earlier run still ending?)")});
        QVERIFY(w.idle());
        w.server()->stop();
    }

    // Without a raw or a datagram ICMP socket the sweep cannot run: Start is
    // refused with the ways to grant the right. Runs as an unprivileged user in
    // a namespace whose ping_group_range admits nobody (run-without-icmp.sh).
    void refuseWithoutIcmp()
    {
        if (qEnvironmentVariable("BRELVO_NO_ICMP") != QLatin1String("1"))
            QSKIP("BRELVO_NETNS_SKIP: needs the closed namespace of run-without-icmp.sh");
        QCOMPARE(brelvo::icmpMethodAvailable(), brelvo::IcmpMethod::None);
        Run run(QStringLiteral("127.0.0.1"));
        run.start->click();
        QTRY_COMPARE_WITH_TIMEOUT(run.watcher.seen.size(), 1, 20000);
        expectRefusal(run.watcher.seen.at(0),
                      {QString::fromUtf8("\u2022 No ICMP socket can be opened (ping_group_range 1 0): the address "
                                         "sweep cannot run"),
                       "sudo setcap cap_net_raw+ep \"$(command -v brelvo-tool)\"",
                       "sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"", "or run it as root"});
        QVERIFY(run.w.idle() && !listenerBound());
        // The loopback address is worth a warning in the log, not a refusal.
        run.w.expectLog({"[Warning] 127.0.0.1 is a loopback address", "[Failure] No ICMP socket can be opened"});
    }

    // The check passed, but the port was taken before the start could bind it:
    // the engine refuses, "Start Failed!" says so and the log says why.
    void startFailedAfterCheck()
    {
        REQUIRE_NETNS();
        Run run(qEnvironmentVariable("BRELVO_TOOL_ADDR"));
        auto holder = std::make_shared<int>(-1);
        run.w.setStartCheck([holder](const brelvo::PreflightInput& input) {
            std::vector<brelvo::Finding> findings = brelvo::runPreflightCheck(input);
            *holder = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(3281);
            if (::bind(*holder, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
                ::close(*holder), *holder = -1;
            return findings;
        });
        run.start->click();
        QTRY_COMPARE_WITH_TIMEOUT(run.watcher.seen.size(), 1, 20000);
        QVERIFY2(*holder >= 0, "the port could not be taken for the test");
        ::close(*holder);
        QCOMPARE(run.watcher.seen.at(0).content, QStringLiteral("Start Failed!"));
        QVERIFY(run.w.idle());
        run.w.expectLog({"[Failure] Cannot listen on UDP port 3281 (Address already in use): another copy",
                         "[Failure] Start Failed: UDP port 3281 cannot be bound (Address already in use)"});
    }

    // A device asks for a product the folder has no firmware for, with a right-
    // to-left override and a terminal escape in its name: no row, a warning in
    // the log that shows the name and obeys none of it. Then a flood of junk
    // overruns the engine's event queue between two ticks, twice: the log says
    // once in the run that events were lost, and goes on.
    void unmatchedRequestAndFlood()
    {
        REQUIRE_NETNS();
        Run run(qEnvironmentVariable("BRELVO_TOOL_ADDR"));
        auto& w = run.w;
        run.start->click();
        QTRY_VERIFY_WITH_TIMEOUT(w.isRunning() && listenerBound(), 30000);
        QProcess device;
        startDevice(device, {"--offer-timeout", "1500", "--product", QString::fromUtf8("EV\u202eIL\x1b[31m")});
        QVERIFY(device.waitForFinished(20000));
        QVERIFY2(device.exitCode() != 0, device.readAll().constData());  // it never got an offer
        const QString expected = "[Warning] " + qEnvironmentVariable("BRELVO_DEV_ADDRS").split(' ').first()
            + " asked for EV\\u202eIL\\x1b[31m: no firmware for it in " + run.dir.path();
        QTRY_VERIFY2_WITH_TIMEOUT(w.log().contains(expected), qPrintable(w.log()), 5000);
        QCOMPARE(w.get<SWTableWidget>("tableWidget")->rowCount(), 0);
        QCOMPARE(w.get<QPushButton>("logBtn")->text(), QStringLiteral("Log (1)"));
        for (QChar c : w.log())
            QVERIFY2(c == QLatin1Char('\n') || (c.unicode() >= 0x20 && c != QChar(0x202e)), "a raw control in the log");

        // Malformed requests over loopback, paced a little so that the socket's
        // buffer keeps them; no tick drains meanwhile.
        QTRY_VERIFY_WITH_TIMEOUT(w.log().contains(QStringLiteral("Address sweep found")), 15000);
        QUdpSocket junk;
        const auto flood = [&junk] {
            for (int i = 0; i < 8000; ++i) {
                junk.writeDatagram(QByteArray("junk"), QHostAddress(QHostAddress::LocalHost), 3281);
                if (i % 40 == 0)
                    QThread::usleep(300);
            }
            QTest::qWait(2500);  // ticks drain
        };
        const QString note = QStringLiteral("events were lost because the window could not keep up");
        flood();
        const uint64_t lost = w.server()->droppedEvents();
        QVERIFY2(lost > 0, "the flood did not overrun the event queue");
        QCOMPARE(w.log().count(note), 1);
        const QString mark = QStringLiteral("---- second flood ----");
        w.logWindow()->addLine(0, mark, LogWindow::Tone::Info);
        flood();
        QVERIFY2(w.server()->droppedEvents() > lost, "the second flood did not overrun the event queue");
        const QString log = w.log();
        QVERIFY(log.contains(mark));
        QCOMPARE(log.mid(log.indexOf(mark)).count(note), 0);
        QVERIFY(log.contains(QStringLiteral("127.0.0.1: malformed request of 4 bytes ignored")));
        QCOMPARE(w.logWindow()->lineCount(), LogWindow::kMaxLines);  // bounded, newest kept

        run.start->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w.isRunning(), 15000);
        QVERIFY(w.log().trimmed().endsWith(QStringLiteral("The run has ended: no longer listening for devices")));
        QCOMPARE(run.watcher.seen.size(), 0);
    }
};

int main(int argc, char** argv)
{
    return ui_test::runInPrivateFolders<BrelvoTest>(argc, argv);
}
#include "BrelvoTest.moc"
