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

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QUdpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <functional>

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
};

// Answers each modal dialog met with the next queued action (by default a
// reject) and records its class, title and content.
class ModalWatcher : public QObject
{
public:
    using Action = std::function<void(QWidget*)>;
    struct Seen { QString className, title, content; };

    ModalWatcher()
    {
        connect(&timer_, &QTimer::timeout, this, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || !w->isVisible())
                return;
            const auto label = [w](const char* name) {
                auto* l = w->findChild<QLabel*>(QLatin1String(name));
                return l ? l->text() : QString();
            };
            seen << Seen{QString::fromLatin1(w->metaObject()->className()), label("titleLab"), label("contentText")};
            Action a = [](QWidget* d) { qobject_cast<QDialog*>(d)->reject(); };
            if (!actions_.empty())
                a = actions_.front(), actions_.pop_front();
            a(w);  // closes it, so the next poll does not meet it again
        });
        timer_.start(10);
    }
    void queue(Action a) { actions_.push_back(std::move(a)); }
    // A file picker: notes the folder it opened in, then takes `choice` ("" cancels).
    void pick(const QString& choice, QStringList* opened = nullptr)
    {
        queue([choice, opened](QWidget* d) {
            if (opened)
                *opened << (qobject_cast<QFileDialog*>(d) ? qobject_cast<QFileDialog*>(d)->directory().absolutePath()
                                                          : QStringLiteral("no file dialog"));
            if (choice.isEmpty())
                return void(qobject_cast<QDialog*>(d)->reject());
            // Typed, as selectFile() skips a focused name field.
            d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(choice);
            QMetaObject::invokeMethod(d, "accept");
        });
    }
    QList<Seen> seen;

private:
    QTimer timer_;
    std::deque<Action> actions_;
};

brelvo::JobSnapshot job(const char* lent, int status = 0, int progress = 0)
{
    brelvo::JobSnapshot s;
    s.lentAddress = lent ? inet_addr(lent) : 0;
    s.status = status;
    s.progress = progress;
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

// Writes `size` bytes to a new file `name` in `dir`; its path.
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

// Chooses the tool's address and a firmware folder.
void prepareRun(TestWindow& w, const QString& address, const QString& firmwareDir)
{
    w.get<ComboBox>("ipList")->addItem(address);
    w.get<ComboBox>("ipList")->setCurrentText(address);
    w.get<QLineEdit>("updateFilePath")->setText(firmwareDir);
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
    void switchLanguage_data();
    void switchLanguage();
    void translationsFolder();
    void tableRows();
    void resultColours_data();
    void resultColours();
    void disabledInputsLookDisabled_data();
    void disabledInputsLookDisabled();
    void eraseWarningOnTickOnly();
    void rememberedSettings_data();
    void rememberedSettings();
    void pickersStartFolder();
    void chrome();
    void logButtonCounts();
    void runStopAndClear();
    void refuseUnusableConfig();
    void refuseWithoutIcmp();
    void startFailedAfterCheck();
    void unmatchedRequestAndFlood();
};

void BrelvoTest::switchLanguage_data()
{
    QTest::addColumn<bool>("shown");
    QTest::newRow("hidden") << false;
    QTest::newRow("shown") << true;  // the change then comes through the platform window
}

// Every visible text follows a language choice at once, the tips page
// opens once, and the choice is remembered for the next start.
void BrelvoTest::switchLanguage()
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
        for (int i = 0; i < w.get<ComboBox>("ipList")->count(); ++i)  // the cards' addresses, not loopback
            QVERIFY(!w.get<ComboBox>("ipList")->itemText(i).startsWith(QLatin1String("127.")));
        if (shown) {
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
        }
        w.showJobs({job("10.213.7.60", 9, 100), job("10.213.7.61", 14, 30)});
        QCOMPARE(visibleTexts(w), english);
        QStringList atTips;  // every text follows before the tips page opens, with no tick between
        watcher.queue([&](QWidget* d) { atTips = visibleTexts(w), qobject_cast<QDialog*>(d)->reject(); });
        w.get<ComboBox>("languageBox")->setCurrentIndex(1);
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(atTips, chinese);
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
void BrelvoTest::translationsFolder()
{
    QTemporaryDir folder, empty, broken;
    const auto put = [&](const char* from, const char* to) {
        return QFile::copy(QStringLiteral(":/Resources/") + QString::fromUtf8(from), folder.filePath(QLatin1String(to)));
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

void BrelvoTest::tableRows()
{
    TestWindow w;
    auto* table = w.get<SWTableWidget>("tableWidget");
    w.showJobs({job("10.213.7.60"), job(nullptr, 5, 42), job("10.213.7.61", 8, 100)});
    const char* rows[][3] = {{"01", "10.213.7.60", "Find Update Server"},
                             {"02", "0.0.0.0", "Sending Data"},
                             {"03", "10.213.7.61", "Updating..."}};
    const int progress[] = {0, 42, 100};
    QCOMPARE(table->rowCount(), 3);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            QCOMPARE(w.cell(r, c), QString::fromLatin1(rows[r][c]));
            QVERIFY(!(table->item(r, c)->flags() & Qt::ItemIsEditable));
        }
        QCOMPARE(qobject_cast<ProgressBar*>(table->cellWidget(r, 3))->value(), progress[r]);
    }
    // The engine's table shrank (finished jobs pruned): so does the window's.
    w.showJobs({job("10.213.7.61", 9, 100)});
    QCOMPARE(table->rowCount(), 1);
    QVERIFY(w.cell(0, 0) == "01" && w.cell(0, 1) == "10.213.7.61" && w.cell(0, 2) == "Update Complete!");
    w.showJobs({});
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(Brelvo::rowNumberText(100), QStringLiteral("100"));
    for (int code : {-1, 16, INT_MIN, INT_MAX})
        QCOMPARE(w.statusText(code), QStringLiteral("Unknown Error!"));
}

void BrelvoTest::resultColours_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("outcome");
    for (int code : {0, 2, 6, 8})
        QTest::addRow("%d running", code) << code << "running";
    QTest::addRow("9 success") << 9 << "success";
    for (int code : {7, 14, 15, 16, -1})
        QTest::addRow("%d failure", code) << code << "failure";
}

// The status text and the bar's chunk carry the outcome; a row that moves on
// to another outcome takes the new colours.
void BrelvoTest::resultColours()
{
    QFETCH(int, status);
    QFETCH(QString, outcome);
    const QMap<QString, QColor> text{{"running", QColor()}, {"success", "#4cc38a"}, {"failure", "#ff6b6b"}};
    const QMap<QString, QColor> chunk{{"running", "#2c7dce"}, {"success", "#1e7b46"}, {"failure", "#b03a3a"}};
    TestWindow w;
    auto* table = w.get<SWTableWidget>("tableWidget");
    const auto look = [&](int row) {
        const QVariant fg = table->item(row, 2)->data(Qt::ForegroundRole);
        auto* bar = qobject_cast<ProgressBar*>(table->cellWidget(row, 3));
        bar->resize(200, 30);
        return std::make_pair(fg.isValid() ? fg.value<QBrush>().color() : QColor(),
                              bar->grab().toImage().pixelColor(26, 15));
    };
    // Row 0 starts with another outcome's colours, so stale ones would show.
    const int before = outcome == QLatin1String("running") ? 9 : 0;
    w.showJobs({job("10.213.7.60", before, 100), job("10.213.7.61", status, 100)});
    QVERIFY(look(0).first != text[outcome] || look(0).second != chunk[outcome]);
    w.showJobs({job("10.213.7.60", status, 100), job("10.213.7.61", status, 100)});
    for (int row = 0; row < 2; ++row) {
        QCOMPARE(look(row).first, text[outcome]);
        QCOMPARE(look(row).second, chunk[outcome]);
    }
}

void BrelvoTest::disabledInputsLookDisabled_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {"updateFilePath", "ipList", "clearBoot", "selectPath"})
        QTest::newRow(name) << name;
}

// A run disables the inputs: under the style sheet each must look different
// from its enabled self, a field by its ground, a button keeping its outline.
void BrelvoTest::disabledInputsLookDisabled()
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

void BrelvoTest::eraseWarningOnTickOnly()
{
    TestWindow w;
    ModalWatcher watcher;
    auto* erase = w.get<QCheckBox>("clearBoot");
    erase->click();
    erase->click();  // untick
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen.at(0).title, QStringLiteral("Tips"));

    // Choosing a config file ticks the box without a warning.
    QTemporaryDir dir;
    const QString config = writeFile(dir.path(), QStringLiteral("factory.cfg"), "");
    watcher.pick(config);
    w.get<QPushButton>("selectInitPath")->click();
    QCOMPARE(watcher.seen.size(), 2);
    QVERIFY(watcher.seen.at(1).className.contains(QStringLiteral("FileDialog")));
    QVERIFY(w.text("initFilePath") == config && erase->isChecked());
}

void BrelvoTest::rememberedSettings_data()
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
void BrelvoTest::rememberedSettings()
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

// Each picker opens where its field points, else in the folder last picked
// from (also after a restart), else at home; never in the working directory.
void BrelvoTest::pickersStartFolder()
{
    QTemporaryDir dir;
    const QString configDir = dir.filePath(QStringLiteral("configs"));
    QVERIFY(QDir().mkpath(configDir));
    const QString config = writeFile(configDir, QStringLiteral("factory.cfg"), "");
    QStringList opened;  // where each picker opened
    {
        ModalWatcher watcher;
        TestWindow w;
        const auto pick = [&](const char* button, const QString& choice) {
            watcher.pick(choice, &opened);
            w.get<QPushButton>(button)->click();
        };
        pick("selectInitPath", QString());  // nothing picked yet
        pick("selectPath", QString());      // the firmware field's folder
        pick("selectInitPath", config);     // picks a file
        pick("selectInitPath", QString());  // its folder
        w.get<QLineEdit>("updateFilePath")->setText(dir.filePath(QStringLiteral("gone")));
        pick("selectPath", QString());      // the field's folder is gone
        pick("selectPath", dir.path());     // picks a folder
        QCOMPARE(w.text("updateFilePath"), dir.path());
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

void BrelvoTest::chrome()
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
void BrelvoTest::logButtonCounts()
{
    using K = brelvo::EventKind;
    using S = brelvo::Severity;
    const auto event = [](K kind, S severity) {
        brelvo::Event e;
        e.kind = kind, e.severity = severity, e.row = 1, e.code = 10;
        return e;
    };
    TestWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* button = w.get<QPushButton>("logBtn");
    w.showEvents({event(K::RequestReceived, S::Info)});
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

void BrelvoTest::runStopAndClear()
{
    REQUIRE_NETNS();
    const QString toolAddr = qEnvironmentVariable("BRELVO_TOOL_ADDR");
    QTemporaryDir dir;
    const QString imagePath = writeFirmware(dir.path());
    QVERIFY(!imagePath.isEmpty());
    TestWindow w;
    w.show();
    ModalWatcher watcher;
    prepareRun(w, toolAddr, dir.path());

    auto* start = w.get<QPushButton>("startUpdate");
    start->click();
    // The check runs first, on its own thread: the button says so and
    // nothing can be changed or pressed meanwhile.
    QVERIFY(w.isChecking() && start->text() == QLatin1String("Checking...") && !start->isEnabled()
            && w.inputsEnabled(false) && !w.isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(w.isRunning(), 20000);
    QVERIFY(!w.isChecking() && start->text() == QLatin1String("Stop") && start->isEnabled() && w.inputsEnabled(false));
    QCOMPARE(watcher.seen.size(), 0);
    {
        const QSettings stored(userSettingsPath(), QSettings::NativeFormat);
        QCOMPARE(stored.value("run/firmwareDir").toString(), dir.path());
        QCOMPARE(stored.value("run/localAddress").toString(), toolAddr);
        QCOMPARE(stored.value("window/language").toString(), QStringLiteral("English.qm"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(listenerBound(), 10000);

    // The device checks every byte and the options, then reports its
    // writing for a few seconds: long enough to press Stop while busy.
    QProcess device;
    startDevice(device, {"--product", "ABCDEFG", "--expect-image", imagePath, "--expect-options", "1",
                         "--progress-steps", "20", "--progress-interval", "400"});
    QTRY_VERIFY_WITH_TIMEOUT(w.cell(0, 2) == QLatin1String("Updating..."), 60000);
    QCOMPARE(w.cell(0, 0), QStringLiteral("01"));
    const QString lent = w.cell(0, 1);
    QVERIFY2(lent.startsWith(QStringLiteral("10.213.7.")) && lent != toolAddr
                 && !qEnvironmentVariable("BRELVO_DEV_ADDRS").split(' ').contains(lent),
             qPrintable(lent));

    // While the job is unfinished, Stop asks; Cancel leaves the run.
    watcher.queue([](QWidget* d) { d->findChild<QPushButton*>(QStringLiteral("cancelBtn"))->click(); });
    start->click();
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen.at(0).title, QStringLiteral("Stop Update"));
    QVERIFY(w.isRunning() && w.isPolling() && start->text() == QLatin1String("Stop"));

    QTRY_VERIFY_WITH_TIMEOUT(w.cell(0, 2) == QLatin1String("Update Complete!"), 60000);
    QTRY_COMPARE_WITH_TIMEOUT(qobject_cast<ProgressBar*>(w.get<SWTableWidget>("tableWidget")->cellWidget(0, 3))->value(),
                              100, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(device.state() == QProcess::NotRunning, 20000);
    QVERIFY2(device.exitCode() == 0, device.readAll().constData());

    // Every job is finished: Stop asks nothing and the idle tick ends the run.
    start->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.isRunning(), 15000);
    QVERIFY(watcher.seen.size() == 1 && start->text() == QLatin1String("Start") && w.inputsEnabled(true)
            && start->isEnabled());
    w.get<QPushButton>("clearContent")->click();
    QCOMPARE(w.get<SWTableWidget>("tableWidget")->rowCount(), 0);

    // The run's story, in order, in the log.
    const QString device50 = qEnvironmentVariable("BRELVO_DEV_ADDRS").split(' ').first();
    int at = 0;
    for (const QString& step : {QStringLiteral("Check passed"), QStringLiteral("Listening on UDP port 3281"),
                                QStringLiteral("Address sweep found"),
                                "#01 " + device50 + " asked for ABCDEFG: sending " + imagePath,
                                "#01 " + device50 + ": offer sent, lent address " + lent,
                                "#01 " + device50 + ": Update Complete!",
                                QStringLiteral("Stop: no device was being updated"),
                                QStringLiteral("The run has ended")}) {
        at = w.log().indexOf(step, at);
        QVERIFY2(at >= 0, qPrintable(step + QStringLiteral(" missing or out of order in:\n") + w.log()));
    }
    QVERIFY2(!w.log().contains(QStringLiteral("[Failure]")), qPrintable(w.log()));

    // A listener already running holds port 3281: the check refuses.
    QCOMPARE(w.server()->start(dir.path().toStdString(), "", toolAddr.toStdString(), 1), 0);
    start->click();
    QTRY_COMPARE_WITH_TIMEOUT(watcher.seen.size(), 2, 20000);
    QCOMPARE(watcher.seen.at(1).title, QStringLiteral("Cannot Start"));
    QVERIFY2(watcher.seen.at(1).content.contains(
                 QStringLiteral("UDP port 3281 is held by this program itself (an earlier run still ending?)")),
             qPrintable(watcher.seen.at(1).content));
    QVERIFY(!w.isRunning() && !w.isChecking() && w.inputsEnabled(true) && start->text() == QLatin1String("Start"));
    w.server()->stop();
}

// A configuration file that cannot be sent refuses the start with one box
// that says why and what to do; nothing listens, the inputs come back.
void BrelvoTest::refuseUnusableConfig()
{
    REQUIRE_NETNS();
    QTemporaryDir dir;
    QVERIFY(!writeFirmware(dir.path()).isEmpty());
    const QString config = writeFile(dir.path(), QStringLiteral("factory.cfg"), QByteArray(65535, 'c'));
    const QString says = QStringLiteral("has only 65535 bytes, fewer than the 65536 a configuration needs");

    TestWindow w;
    ModalWatcher watcher;
    prepareRun(w, qEnvironmentVariable("BRELVO_TOOL_ADDR"), dir.path());
    w.get<QLineEdit>("initFilePath")->setText(config);
    auto* start = w.get<QPushButton>("startUpdate");
    start->click();
    QVERIFY(w.isChecking() && start->text() == QLatin1String("Checking...") && w.inputsEnabled(false));
    QTRY_COMPARE_WITH_TIMEOUT(watcher.seen.size(), 1, 20000);
    const auto& box = watcher.seen.at(0);
    QCOMPARE(box.title, QStringLiteral("Cannot Start"));
    QVERIFY2(box.content.startsWith(QStringLiteral("The check before the start found problems that would make the "
                                                   "update fail. Fix them, then press Start again:\n\n\u2022 "
                                                   "Configuration file '")
                                    + config + "' " + says),
             qPrintable(box.content));
    QVERIFY2(box.content.contains(QStringLiteral("\nWhat to do: choose ")), qPrintable(box.content));
    QCOMPARE(box.content.count(QStringLiteral("\u2022")), 1);  // the one failure
    QVERIFY(!w.isRunning() && !w.isChecking() && w.inputsEnabled(true) && start->isEnabled()
            && start->text() == QLatin1String("Start"));
    QVERIFY(!listenerBound());
    QVERIFY2(w.log().contains(QStringLiteral("[Failure] Configuration file '") + config + "' " + says),
             qPrintable(w.log()));
    QVERIFY2(w.log().contains(QStringLiteral("[Failure] Start refused")), qPrintable(w.log()));
    QCOMPARE(w.get<QPushButton>("logBtn")->text(), QStringLiteral("Log (2)"));
}

// Without a raw or a datagram ICMP socket the sweep cannot run: Start is
// refused with the ways to grant the right. Runs as an unprivileged user in
// a namespace whose ping_group_range admits nobody (run-without-icmp.sh).
void BrelvoTest::refuseWithoutIcmp()
{
    if (qEnvironmentVariable("BRELVO_NO_ICMP") != QLatin1String("1"))
        QSKIP("BRELVO_NETNS_SKIP: needs the closed namespace of run-without-icmp.sh");
    QCOMPARE(brelvo::icmpMethodAvailable(), brelvo::IcmpMethod::None);
    QTemporaryDir dir;
    QVERIFY(!writeFirmware(dir.path()).isEmpty());
    TestWindow w;
    ModalWatcher watcher;
    prepareRun(w, QStringLiteral("127.0.0.1"), dir.path());
    w.get<QPushButton>("startUpdate")->click();
    QTRY_COMPARE_WITH_TIMEOUT(watcher.seen.size(), 1, 20000);
    const QString content = watcher.seen.at(0).content;
    QCOMPARE(watcher.seen.at(0).title, QStringLiteral("Cannot Start"));
    for (const char* part : {"\u2022 No ICMP socket can be opened (ping_group_range 1 0): the address sweep cannot run",
                             "sudo setcap cap_net_raw+ep \"$(command -v brelvo-tool)\"",
                             "sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"", "or run it as root"})
        QVERIFY2(content.contains(QString::fromUtf8(part)), qPrintable(content));
    QCOMPARE(content.count(QStringLiteral("\u2022")), 1);
    QVERIFY(!w.isRunning() && w.inputsEnabled(true) && !listenerBound());
    // The loopback address is worth a warning in the log, not a refusal.
    QVERIFY2(w.log().contains(QStringLiteral("[Warning] 127.0.0.1 is a loopback address")), qPrintable(w.log()));
    QVERIFY2(w.log().contains(QStringLiteral("[Failure] No ICMP socket can be opened")), qPrintable(w.log()));
}

// The check passed, but the port was taken before the start could bind it:
// the engine refuses, "Start Failed!" says so and the log says why.
void BrelvoTest::startFailedAfterCheck()
{
    REQUIRE_NETNS();
    QTemporaryDir dir;
    QVERIFY(!writeFirmware(dir.path()).isEmpty());
    TestWindow w;
    ModalWatcher watcher;
    prepareRun(w, qEnvironmentVariable("BRELVO_TOOL_ADDR"), dir.path());
    auto holder = std::make_shared<int>(-1);
    w.setStartCheck([holder](const brelvo::PreflightInput& input) {
        std::vector<brelvo::Finding> findings = brelvo::runPreflightCheck(input);
        *holder = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(3281);
        if (::bind(*holder, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(*holder);
            *holder = -1;
        }
        return findings;
    });
    w.get<QPushButton>("startUpdate")->click();
    QTRY_COMPARE_WITH_TIMEOUT(watcher.seen.size(), 1, 20000);
    QVERIFY2(*holder >= 0, "the port could not be taken for the test");
    ::close(*holder);
    QCOMPARE(watcher.seen.at(0).content, QStringLiteral("Start Failed!"));
    QVERIFY(!w.isRunning() && w.inputsEnabled(true)
            && w.get<QPushButton>("startUpdate")->text() == QLatin1String("Start"));
    for (const char* line : {"[Failure] Cannot listen on UDP port 3281 (Address already in use): another copy",
                             "[Failure] Start Failed: UDP port 3281 cannot be bound (Address already in use)"})
        QVERIFY2(w.log().contains(QLatin1String(line)), qPrintable(w.log()));
}

// A device asks for a product the folder has no firmware for, with a right-
// to-left override and a terminal escape in its name: no row, a warning in
// the log that shows the name and obeys none of it. Then a flood of junk
// overruns the engine's event queue between two ticks, twice: the log says
// once in the run that events were lost, and goes on.
void BrelvoTest::unmatchedRequestAndFlood()
{
    REQUIRE_NETNS();
    QTemporaryDir dir;
    QVERIFY(!writeFirmware(dir.path()).isEmpty());
    TestWindow w;
    ModalWatcher watcher;
    prepareRun(w, qEnvironmentVariable("BRELVO_TOOL_ADDR"), dir.path());
    w.get<QPushButton>("startUpdate")->click();
    QTRY_VERIFY_WITH_TIMEOUT(w.isRunning() && listenerBound(), 30000);
    QProcess device;
    startDevice(device, {"--offer-timeout", "1500", "--product", QString::fromUtf8("EV\u202eIL\x1b[31m")});
    QVERIFY(device.waitForFinished(20000));
    QVERIFY2(device.exitCode() != 0, device.readAll().constData());  // it never got an offer
    const QString expected = "[Warning] " + qEnvironmentVariable("BRELVO_DEV_ADDRS").split(' ').first()
        + " asked for EV\\u202eIL\\x1b[31m: no firmware for it in " + dir.path();
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

    w.get<QPushButton>("startUpdate")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.isRunning(), 15000);
    QVERIFY(w.log().trimmed().endsWith(QStringLiteral("The run has ended: no longer listening for devices")));
    QCOMPARE(watcher.seen.size(), 0);
}

int main(int argc, char** argv)
{
    return ui_test::runInPrivateFolders<BrelvoTest>(argc, argv);
}
#include "BrelvoTest.moc"
