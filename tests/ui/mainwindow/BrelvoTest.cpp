// SPDX-License-Identifier: MIT
// The main window: languages and catalogues, the device table, what it
// remembers, its pickers, chrome and Log button, the check at Start (through
// a stand-in check); and a run against the real engine and brelvo-devsim,
// which (as Start then sweeps the /24 of the chosen address and lets jobs
// broadcast) skips unless inside the private namespace pair made by
// tests/support/with-netns.sh. What the engine and the check find is judged
// by their own tests; here only what the window makes of it.
#include "dialogs/LogWindow.h"
#include "job/JobSnapshot.h"
#include "mainwindow/Brelvo.h"
#include "mainwindow/CheckText.h"
#include "check/PreflightCheck.h"
#include "server/FirmwareSource.h"
#include "server/UpdateServer.h"
#include "widgets/ComboBox.h"
#include "widgets/ProgressBar.h"
#include "widgets/SWTableWidget.h"
#include "ChildProcess.h"
#include "Csv.h"
#include "DevsimRun.h"
#include "Files.h"
#include "FirmwareFolder.h"
#include "NetnsEnv.h"
#include "UdpPort.h"
#include "UiTestSupport.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QMenu>
#include <QPushButton>
#include <QUdpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <stdexcept>

using brelvo::Finding;
using brelvo::FindingId;
using brelvo::Severity;
using ui_test::ModalWatcher;

namespace {

class TestWindow : public Brelvo
{
public:
    explicit TestWindow(const QString& folder = QStringLiteral("/nonexistent/translations")) : Brelvo(folder, nullptr)
    {
        setEndProcess([] { qFatal("the window ended the process"); });
    }
    using Brelvo::applyLanguage, Brelvo::isChecking, Brelvo::isPolling, Brelvo::isRunning, Brelvo::logWindow,
        Brelvo::restoreSettings, Brelvo::server, Brelvo::setInputsEnabled, Brelvo::setEndProcess, Brelvo::setServer,
        Brelvo::setStartCheck, Brelvo::showEvents, Brelvo::showJobs, Brelvo::trayIcon;

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
        return !isRunning() && !isChecking() && inputsEnabled(true) && get("startUpdate")->isEnabled()
            && text("startUpdate") == QLatin1String("Start");
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
    // Sets the address box to `address` and the firmware folder field to `folder`.
    void fill(const QString& address, const QString& folder)
    {
        get<ComboBox>("ipList")->addItem(address);
        get<ComboBox>("ipList")->setCurrentText(address);
        get<QLineEdit>("updateFilePath")->setText(folder);
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

// Inside with-netns.sh's pair, or skip (whatever presses Start for real needs it).
#define REQUIRE_NETNS(env)                                                                                         \
    const auto env = brelvo_test::NetnsEnv::fromEnvironment();                                                     \
    if (!env.usable())                                                                                             \
    QSKIP(qPrintable(QStringLiteral("BRELVO_NETNS_SKIP: ") + QString::fromStdString(env.skipReason)))

// A firmware folder with one image for ABCDEFG, and a window set to serve it
// from this side's address of the namespace pair.
struct Run {
    explicit Run(const brelvo_test::NetnsEnv& env) : tool(QString::fromStdString(env.toolAddr))
    {
        w.fill(tool, QString::fromStdString(fw.dir.path()));
    }
    const QString tool;
    brelvo_test::FirmwareFolder fw{32 * 1024};
    TestWindow w;
    ModalWatcher watcher;
    QPushButton* const start = w.get<QPushButton>("startUpdate");
};

// The process's threads: id and name.
QStringList threads()
{
    QStringList out;
    for (const QString& id : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(id));
        out << id + QLatin1Char(' ') + (comm.open(QIODevice::ReadOnly) ? comm.readAll().trimmed() : QByteArray());
    }
    return out;
}

// Nobody reads the program's output while it lives: descriptors 1 and 2 go
// to a full pipe that blocks its writers, as a stalled terminal does. A
// hang meanwhile ends the test (SIGALRM) after a minute.
struct StalledOutput {
    int pipe_[2] = {-1, -1}, saved_[2] = {::dup(1), ::dup(2)};
    StalledOutput()
    {
        const QByteArray block(4096, 'x');
        if (::pipe2(pipe_, O_NONBLOCK) == 0)
            while (::write(pipe_[1], block.data(), block.size()) > 0 || ::write(pipe_[1], "x", 1) > 0) {
            }
        ::fcntl(pipe_[1], F_SETFL, 0);
        ::dup2(pipe_[1], 1), ::dup2(pipe_[1], 2), ::alarm(60);
    }
    ~StalledOutput()
    {
        ::alarm(0), ::dup2(saved_[0], 1), ::dup2(saved_[1], 2);
        for (int fd : {saved_[0], saved_[1], pipe_[0], pipe_[1]})
            ::close(fd);
    }
};

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
    // opens once, and the choice is remembered for the next start. The Log
    // button counts the warnings and failures the closed log holds, in the
    // window's language; opening the log resets it.
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
            std::vector<brelvo::Event> events(3);
            for (int i = 0; i < 3; ++i)
                events[i].kind = brelvo::EventKind::JobResult, events[i].severity = Severity(i), events[i].row = 1;
            w.showEvents(events);
            QCOMPARE(w.text("logBtn"), QStringLiteral("Log (2)"));
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
            QCOMPARE(w.text("logBtn"), QString::fromUtf8(u8"日志 (2)"));
            w.get<QPushButton>("logBtn")->click();
            QVERIFY(w.logWindow()->isVisible() && w.text("logBtn") == QString::fromUtf8(u8"日志"));
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
        QCOMPARE(languages(*std::make_unique<TestWindow>(empty.path())), (QStringList{"English", "简体中文"}));
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
        // One code per outcome (each code's text and class: the engine's status table).
        QTest::newRow("8") << 8 << "Updating..." << "running";
        QTest::newRow("9") << 9 << "Update Complete!" << "success";
        QTest::newRow("14") << 14 << "Timeout!" << "failure";
        QTest::newRow("15") << 15 << "Stopped" << "failure";
        QTest::newRow("16") << 16 << "Served by Another Tool" << "neutral";
        QTest::newRow("INT_MIN") << INT_MIN << "Unknown Error!" << "failure";
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
        // The status text's colour and the bar chunk's, per outcome.
        const std::pair<QColor, QColor> colours = QMap<QString, std::pair<QColor, QColor>>{
            {"running", {QColor(), "#2c7dce"}}, {"success", {"#4cc38a", "#1e7b46"}},
            {"failure", {"#ff6b6b", "#b03a3a"}}, {"neutral", {"#9aa8ba", "#5b6778"}}}.value(outcome);
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
        QVERIFY(look(0) != colours);
        w.showJobs({job("10.213.7.60", status, 100), job(nullptr, status, 42), job("10.213.7.61", status, 100)});
        QCOMPARE(table->rowCount(), 3);
        const char* const addresses[] = {"10.213.7.60", "0.0.0.0", "10.213.7.61"};
        for (int r = 0; r < 3; ++r) {
            QCOMPARE(QStringList({w.cell(r, 0), w.cell(r, 1), w.cell(r, 2)}),
                     QStringList({Brelvo::rowNumberText(r + 1), addresses[r], text}));
            for (int c = 0; c < 3; ++c)
                QVERIFY(!(table->item(r, c)->flags() & Qt::ItemIsEditable));
            QCOMPARE(bar(r)->value(), r == 1 ? 42 : 100);
            QVERIFY(r == 1 || look(r) == colours);
        }
        QVERIFY(w.cell(1, 0) == "02" && Brelvo::rowNumberText(100) == "100");
        w.showJobs({job("10.213.7.61", 9, 100)});
        QVERIFY(table->rowCount() == 1 && w.cell(0, 1) == "10.213.7.61");
        w.showJobs({});
        QCOMPARE(table->rowCount(), 0);
    }

    // A run disables the inputs: under the style sheet each must look different
    // from its enabled self, a field by its ground, a button keeping its outline.
    void disabledInputsLookDisabled()
    {
        QFile sheet(QStringLiteral(":/Resources/style.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        TestWindow w;
        w.setStyleSheet(QString::fromUtf8(sheet.readAll()));
        w.get<ComboBox>("ipList")->addItem(QStringLiteral("10.213.7.1"));
        w.get<QCheckBox>("clearBoot")->setChecked(true);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const char* const names[] = {"updateFilePath", "ipList", "clearBoot", "selectPath"};
        QList<QImage> enabled;
        for (const char* name : names)
            enabled << w.get(name)->grab().toImage();
        w.setInputsEnabled(false);
        for (int i = 0; i < 4; ++i) {
            const QImage disabled = w.get(names[i])->grab().toImage();
            QVERIFY2(enabled[i] != disabled, names[i]);
            QVERIFY2(i > 1 || enabled[i].pixelColor(4, 4) != disabled.pixelColor(4, 4), "a disabled field keeps its ground");
            const int y = disabled.height() / 2;
            QVERIFY2(i != 3 || disabled.pixelColor(0, y) != disabled.pixelColor(4, y), "a disabled button has no outline");
        }
    }

    void rememberedSettings_data()
    {
        // What the settings file holds; "FW", "CFG" and "ADDR" stand for a
        // firmware folder, a configuration file and an address that exist;
        // `at`: where that address is in the box (another one is current).
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("restored");
        QTest::addColumn<int>("at");
        const QByteArray all("[run]\nfirmwareDir=FW\nconfigFile=CFG\nlocalAddress=ADDR\n");
        QTest::newRow("all still there") << all << true << 1;
        QTest::newRow("the address first in the box") << all << true << 0;
        QTest::newRow("all gone") << QByteArray("[run]\nfirmwareDir=FW/gone\nconfigFile=CFG.gone\n"
                                                "localAddress=192.0.2.99\n[window]\nlanguage=Klingon.qm\n")
                                  << false << 1;
        QTest::newRow("swapped kinds") << QByteArray("[run]\nfirmwareDir=CFG\nconfigFile=FW\nlocalAddress=\n") << false
                                       << 1;
        QTest::newRow("not text") << QByteArray("[run]\nfirmwareDir=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x1)\n"
                                                "configFile=a, b\nlocalAddress=@ByteArray(ADDR)\n"
                                                "[window]\nlanguage=@Invalid()\n")
                                  << false << 1;
        QTest::newRow("not a settings file") << QByteArray("\x7f""ELF\x01\x01\0\0[[[\n=\n\xff\xfe") << false << 1;
    }

    // A remembered folder, file and address come back only while they fit; a
    // value that does not fit leaves the default, without a crash.
    void rememberedSettings()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, restored);
        QFETCH(int, at);
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
        addresses->insertItem(at, address);
        addresses->setCurrentIndex(1 - at);
        w.restoreSettings();
        QCOMPARE(w.text("updateFilePath"), restored ? firmware : QCoreApplication::applicationDirPath());
        QCOMPARE(w.text("initFilePath"), restored ? config : QString());
        QCOMPARE(addresses->currentText(), restored ? address : QStringLiteral("192.0.2.1"));
        QCOMPARE(w.text("exitBtn"), QStringLiteral("Exit"));
    }

    // Ticking the erase box warns (unticking does not; a picked configuration
    // file ticks it silently). Each picker opens where its field points,
    // else in the folder last picked from (also after a restart), else at home;
    // never in the working directory.
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

    // The title bar's menu (nowhere else), and the tray: a double click brings
    // the window back, a single one does not.
    void chrome()
    {
        TestWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const auto menuAt = [&](const char* name) {
            const QPoint global = w.get(name)->mapToGlobal(w.get(name)->rect().center());
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

    void startRefused_data()
    {
        QTest::addColumn<int>("failures");  // -1: the check cannot run
        QTest::newRow("a failure and a warning") << 1;
        QTest::newRow("seven failures") << 7;
        QTest::newRow("the check cannot run") << -1;
    }

    // Start checks first, on another thread, what the fields hold: the button
    // says so and nothing can be changed or pressed meanwhile. A refusal shows
    // each failure (six at most) with what to do, the log every finding; then
    // everything is free again. (Warnings alone: runStopAndClear.)
    void startRefused()
    {
        QFETCH(int, failures);
        TestWindow w;
        ModalWatcher watcher;
        w.fill(QStringLiteral("192.0.2.7"), QStringLiteral("/srv/fw"));
        w.get<QLineEdit>("initFilePath")->setText(QStringLiteral("/srv/c.cfg"));
        w.get<QCheckBox>("clearBoot")->setChecked(true);
        const Finding warning{Severity::Warning, FindingId::AddressLoopback, {{"address", "192.0.2.7"}}, {}};
        const Finding failure{
            Severity::Failure, FindingId::ConfigTooShort, {{"config", "/srv/c.cfg"}, {"size", "9"}, {"minimum", "65536"}}, {}};
        auto checked = std::make_shared<brelvo::PreflightInput>();
        w.setStartCheck([=](const brelvo::PreflightInput& input) {
            *checked = input;
            if (failures < 0)
                throw std::runtime_error("out of memory");
            std::vector<Finding> found(size_t(failures), failure);
            found.insert(found.begin(), warning);
            return found;
        });
        w.get<QPushButton>("startUpdate")->click();
        QVERIFY(w.isChecking() && w.text("startUpdate") == QLatin1String("Checking...")
                && !w.get("startUpdate")->isEnabled() && w.inputsEnabled(false) && !w.isRunning());
        QTRY_COMPARE(watcher.seen.size(), 1);
        QVERIFY(w.idle());
        QVERIFY(checked->localAddress == "192.0.2.7" && checked->firmwareDir == "/srv/fw"
                && checked->configPath == "/srv/c.cfg" && checked->programName == "brelvo-tool"
                && checked->options == (brelvo::OptionUpdateBoot | brelvo::OptionEraseBoot));
        const ModalWatcher::Seen& box = watcher.seen.at(0);
        QCOMPARE(box.title, QStringLiteral("Cannot Start"));
        if (failures < 0) {
            const QString says = QStringLiteral("The check before the start could not run (out of memory)");
            QVERIFY2(box.content.startsWith(says), qPrintable(box.content));
            w.expectLog({"[Failure] " + says});
            return;
        }
        const QString item = "\n\n\u2022 " + CheckText::message(failure) + "\nWhat to do: " + CheckText::remedy(failure);
        QVERIFY2(box.content.startsWith(QStringLiteral("The check before the start found problems")), qPrintable(box.content));
        QCOMPARE(box.content.count(item), std::min(failures, 6));
        QCOMPARE(box.content.endsWith(QStringLiteral("\n\n...and 1 more problems; the Log lists them all.")), failures == 7);
        QVERIFY(!box.content.contains(CheckText::message(warning)));
        w.expectLog({"[Warning] " + CheckText::message(warning), "[Failure] " + CheckText::message(failure),
                     QStringLiteral("[Failure] Start refused")});
        QCOMPARE(w.log().count("[Failure] " + CheckText::message(failure)), failures);
        QCOMPARE(w.text("logBtn"), QStringLiteral("Log (%1)").arg(failures + 2));
    }

    // One whole run. First the check passes with a warning, which does not
    // refuse, but the port is taken before the start can bind it: the engine
    // refuses, "Start Failed!" says so and the log says why. Then a device is
    // served, Stop while it is busy asks (Enter leaves the run), junk that
    // overruns the engine's event queue is said once a run, Stop ends the
    // run, Clear empties the table.
    void runStopAndClear()
    {
        REQUIRE_NETNS(env);
        Run run(env);
        auto& w = run.w;
        auto holder = std::make_shared<int>(-1);  // the port, taken at the first check only
        w.setStartCheck([holder](const brelvo::PreflightInput& input) {
            std::vector<Finding> findings = brelvo::runPreflightCheck(input);
            findings.push_back({Severity::Warning, FindingId::AddressLoopback, {{"address", input.localAddress}}, {}});
            sockaddr_in a{};
            a.sin_family = AF_INET, a.sin_port = htons(3281);
            if (*holder == -1 && (*holder = ::socket(AF_INET, SOCK_DGRAM, 0)) >= 0
                && ::bind(*holder, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
                ::close(*holder), *holder = -2;
            return findings;
        });
        w.show();
        run.start->click();
        QTRY_COMPARE_WITH_TIMEOUT(run.watcher.seen.size(), 1, 20000);
        QVERIFY2(*holder >= 0, "the port could not be taken for the test");
        ::close(*holder);
        QVERIFY(run.watcher.seen.at(0).content == QLatin1String("Start Failed!") && w.idle());
        w.expectLog({"[Warning] ", "Check passed with warnings",
                     "[Failure] Cannot listen on UDP port 3281 (Address already in use): another copy",
                     "[Failure] Start Failed: UDP port 3281 cannot be bound (Address already in use)"});
        run.start->click();
        QTRY_VERIFY_WITH_TIMEOUT(w.isRunning(), 20000);
        QVERIFY(!w.isChecking() && run.start->text() == "Stop" && run.start->isEnabled() && w.inputsEnabled(false));
        const QSettings stored(userSettingsPath(), QSettings::NativeFormat);
        QCOMPARE(stored.value("run/firmwareDir").toString(), QString::fromStdString(run.fw.dir.path()));
        QCOMPARE(stored.value("run/localAddress").toString(), run.tool);
        QCOMPARE(stored.value("window/language").toString(), QStringLiteral("English.qm"));
        QTRY_VERIFY_WITH_TIMEOUT(brelvo_test::udpPortBound(3281), 10000);

        // The device reports its writing for a few seconds: long enough to press Stop while busy.
        brelvo_test::ChildProcess device(brelvo_test::devsimCommand(
            env, {"--expect-options", "1", "--progress-steps", "20", "--progress-interval", "400"}));
        QTRY_VERIFY_WITH_TIMEOUT(w.cell(0, 2) == QLatin1String("Updating..."), 60000);
        // Stop while busy asks; Enter presses Cancel, drawn as the default, and leaves the run.
        QString drawn;
        run.watcher.queue([&](QWidget* d) { drawn = ui_test::drawnDefault(d), QTest::keyClick(d, Qt::Key_Return); });
        run.start->click();
        QCOMPARE(drawn, QStringLiteral("cancelBtn"));
        QVERIFY(run.watcher.seen.size() == 2 && run.watcher.seen.at(1).title == QLatin1String("Stop Update"));
        QVERIFY(w.isRunning() && w.isPolling() && run.start->text() == QLatin1String("Stop"));
        QTRY_VERIFY_WITH_TIMEOUT(w.cell(0, 2) == QLatin1String("Update Complete!"), 60000);
        auto* bar = qobject_cast<ProgressBar*>(w.get<SWTableWidget>("tableWidget")->cellWidget(0, 3));
        QTRY_COMPARE_WITH_TIMEOUT(bar->value(), 100, 5000);
        const brelvo_test::ProcessResult ran = device.wait(std::chrono::seconds(20));
        QVERIFY2(ran.exitCode == 0, ran.output.c_str());
        const QString device50 = QString::fromStdString(env.devAddrs.at(0));
        const QString image = QString::fromStdString(run.fw.imagePath);
        // The unit by its own hardware address (with-netns.sh --device-macs): in the log and the row's tooltip.
        QVERIFY2(!env.devMacs.empty(), "needs with-netns.sh --device-macs");
        const QString mac50 = QString::fromStdString(env.devMacs.at(0));
        QVERIFY(w.get<SWTableWidget>("tableWidget")->item(0, 1)->toolTip().contains("Hardware address: " + mac50 +
                                                                                    "\nImage file: " + image));
        w.expectLog({"Start Failed", "Check passed", "#01 " + device50 + " asked for ABCDEFG: sending " + image,
                     "#01 " + device50 + " (" + mac50 + "): hardware address learnt",
                     "#01 " + device50 + " (" + mac50 + "): Update Complete!"});
        QVERIFY2(w.log().count(QStringLiteral("[Failure]")) == 2, qPrintable(w.log()));  // the failed start's

        // Malformed requests over loopback, paced a little so that the socket's
        // buffer keeps them; no tick drains meanwhile.
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
        QVERIFY(w.log().contains(mark));
        QCOMPARE(w.log().mid(w.log().indexOf(mark)).count(note), 0);

        // Every job is finished: Stop asks nothing and the idle tick ends the run.
        run.start->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w.isRunning(), 15000);
        QVERIFY(run.watcher.seen.size() == 2 && w.idle());
        w.get<QPushButton>("clearContent")->click();
        QCOMPARE(w.get<SWTableWidget>("tableWidget")->rowCount(), 0);
        w.expectLog({mark, "Stop: no device was being updated", "The run has ended"});
    }

    // Exit while a device is at work, three times. Enter in the question
    // (Cancel, drawn as the default) leaves the device working; OK ends the
    // run completely, every thread of it joined and the device's row in the
    // report, also while nobody reads the program's output (a terminal that
    // does not keep up).
    void exitWithLiveJobs()
    {
        REQUIRE_NETNS(env);
        for (int round = 0; round < 3; ++round) {
            Run run(env);
            auto& w = run.w;
            bool ended = false;
            w.setEndProcess([&] { ended = true; });
            const QStringList before = threads();
            run.start->click();
            QTRY_VERIFY_WITH_TIMEOUT(w.isRunning() && brelvo_test::udpPortBound(3281), 30000);
            brelvo_test::ChildProcess device(
                brelvo_test::devsimCommand(env, {"--progress-steps", "1000", "--progress-interval", "50"}));
            QTRY_VERIFY_WITH_TIMEOUT(w.cell(0, 2) == QLatin1String("Updating..."), 60000);
            const QString report = QString::fromStdString(w.server()->reportPath());

            QString drawn;
            run.watcher.queue([&](QWidget* d) { drawn = ui_test::drawnDefault(d), QTest::keyClick(d, Qt::Key_Return); });
            w.get<QPushButton>("exitBtn")->click();
            QCOMPARE(drawn, QStringLiteral("cancelBtn"));
            const int progress = w.server()->snapshot().at(0).progress;
            QTRY_VERIFY_WITH_TIMEOUT(w.server()->snapshot().at(0).progress > progress, 10000);
            QVERIFY(!ended && w.isRunning());

            run.watcher.queue([](QWidget* d) { d->findChild<QPushButton*>(QStringLiteral("okBtn"))->click(); });
            {
                StalledOutput stall;
                QTest::qWait(1500);  // the listener meets it
                w.get<QPushButton>("exitBtn")->click();
            }
            QVERIFY(ended && !w.server());
            for (const QString& thread : threads())
                QVERIFY2(round == 0 || before.contains(thread) || thread.endsWith(QLatin1String(" Thread (pooled)")),
                         qPrintable(thread + QStringLiteral(" outlived the run")));
            brelvo_test::CsvRows rows;
            QVERIFY2(brelvo_test::parseCsv(brelvo_test::readText(report.toStdString()), &rows) && rows.size() == 2
                         && rows[1][10] == "15" && rows[1][11] == "Stopped",
                     qPrintable(report));
        }
    }

    // The listener throws on the first request (as when memory runs out):
    // the log says so, Start comes back, and a new Start serves again.
    void listenerDeathGivesStartBack()
    {
        REQUIRE_NETNS(env);
        struct Throwing : brelvo::FirmwareSource {
            std::string find(const std::string&, const std::string&, const brelvo::StopCheck&) override
            {
                throw std::bad_alloc();
            }
            std::shared_ptr<const brelvo::PreparedImage> prepare(const std::string&, const std::string&,
                                                                 const std::string&, brelvo::Error*,
                                                                 const brelvo::StopCheck&) override
            {
                return nullptr;
            }
        };
        const auto listenerBound = [] { return brelvo_test::udpPortBound(3281); };
        Run run(env);
        run.w.setServer(std::make_unique<brelvo::UpdateServer>(std::make_unique<Throwing>()));
        run.start->click();
        QTRY_VERIFY_WITH_TIMEOUT(run.w.isRunning() && listenerBound(), 20000);
        brelvo_test::ChildProcess device(brelvo_test::devsimCommand(env, {"--expect-no-offer", "--offer-timeout", "1000"}));
        QTRY_VERIFY_WITH_TIMEOUT(run.w.idle(), 20000);
        QVERIFY(!listenerBound());
        run.w.expectLog({"[Failure] The listener thread failed: no more requests are heard on UDP port 3281 "
                         "(out of memory)",
                         "[Failure] The server has failed and no longer hears devices; press Start to serve again"});
        device.wait(std::chrono::seconds(10));
        run.start->click();
        QTRY_VERIFY_WITH_TIMEOUT(run.w.isRunning() && listenerBound(), 20000);
        QVERIFY(run.watcher.seen.isEmpty());
    }

    // The window's side of tests/reliability/faults.sh, which injects each
    // fault from outside: Start, the log on standard output as it grows;
    // once the file BRELVO_FAULT_STOP exists, Stop (OK to the question),
    // and the device rows once Start is back.
    void faultRun()
    {
        const QString stopFile = qEnvironmentVariable("BRELVO_FAULT_STOP");
        if (stopFile.isEmpty())
            QSKIP("driven by tests/reliability/faults.sh");
        REQUIRE_NETNS(env);
        qputenv("XDG_DATA_HOME", qgetenv("BRELVO_FAULT_DATA"));
        TestWindow w;
        ModalWatcher watcher;
        watcher.queue([](QWidget* d) { d->findChild<QPushButton*>(QStringLiteral("okBtn"))->click(); });
        w.fill(QString::fromStdString(env.toolAddr), qEnvironmentVariable("BRELVO_FAULT_FIRMWARE"));
        int shown = 0;
        const auto print = [&] {
            const QString log = w.log();
            std::fputs(qPrintable(log.mid(shown)), stdout);
            std::fflush(stdout);
            shown = log.size();
        };
        w.get<QPushButton>("startUpdate")->click();
        QTRY_VERIFY_WITH_TIMEOUT(w.isRunning(), 30000);
        while (!QFile::exists(stopFile))
            QTest::qWait(100), print();
        w.get<QPushButton>("startUpdate")->click();
        QTRY_VERIFY_WITH_TIMEOUT(w.idle(), 20000);
        print();
        for (int r = 0; r < w.get<SWTableWidget>("tableWidget")->rowCount(); ++r)
            std::printf("row %s %s\n", qPrintable(w.cell(r, 0)), qPrintable(w.cell(r, 2)));
    }
};

int main(int argc, char** argv)
{
    return ui_test::runInPrivateFolders<BrelvoTest>(argc, argv);
}
#include "BrelvoTest.moc"
