// The main window: texts, languages, the device table, its dialogs and
// chrome, the log and its button, and runs against the real engine and the
// device simulator. Whatever presses Start (which checks, then sweeps the /24
// of the chosen address and lets jobs broadcast) skips unless inside the
// private namespace pair made by tests/support/with-netns.sh, or, for the
// refusal without ICMP rights, the closed namespace of run-without-icmp.sh.
#include "dialogs/LogWindow.h"
#include "job/JobSnapshot.h"
#include "mainwindow/Brelvo.h"
#include "server/AddressSweep.h"
#include "server/UpdateServer.h"
#include "widgets/ComboBox.h"
#include "widgets/ProgressBar.h"
#include "widgets/SWTableWidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDialog>
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
    using Brelvo::restoreSettings;
    using Brelvo::isChecking;
    using Brelvo::isPolling;
    using Brelvo::isRunning;
    using Brelvo::logWindow;
    using Brelvo::server;
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
        connect(&timer, &QTimer::timeout, this, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || !w->isVisible())
                return;
            const auto label = [w](const char* name) {
                auto* l = w->findChild<QLabel*>(QLatin1String(name));
                return l ? l->text() : QString();
            };
            seen << Seen{QString::fromLatin1(w->metaObject()->className()), label("titleLab"), label("contentText")};
            Action a = [](QWidget* d) { qobject_cast<QDialog*>(d)->reject(); };
            if (!actions.empty())
                a = actions.front(), actions.pop_front();
            a(w);  // closes it, so the next poll does not meet it again
        });
        timer.start(10);
    }
    void queue(Action a) { actions.push_back(std::move(a)); }
    static Action press(const char* name)
    {
        return [name](QWidget* w) { w->findChild<QPushButton*>(QLatin1String(name))->click(); };
    }
    QList<Seen> seen;

private:
    QTimer timer;
    std::deque<Action> actions;
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

// A table's headers or a box's entries, in order.
QStringList entries(QAbstractItemModel* m, Qt::Orientation o = Qt::Vertical)
{
    QStringList out;
    for (int i = 0; i < (o == Qt::Horizontal ? m->columnCount() : m->rowCount()); ++i)
        out << (o == Qt::Horizontal ? m->headerData(i, o) : m->index(i, 0).data()).toString();
    return out;
}
QStringList headers(TestWindow& w) { return entries(w.get<SWTableWidget>("tableWidget")->model(), Qt::Horizontal); }
QStringList languages(TestWindow& w) { return entries(w.get<ComboBox>("languageBox")->model()); }

// What a language change must have rewritten: two status cells, the start
// button, a label and the table's headers.
QStringList visibleTexts(TestWindow& w)
{
    return QStringList{w.cell(0, 2), w.cell(1, 2), w.text("startUpdate"), w.text("languLab")} + headers(w);
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

// Inside with-netns.sh's pair, or skip (whatever presses Start needs it).
#define REQUIRE_NETNS()                                                                                            \
    do {                                                                                                           \
        if (qEnvironmentVariable("BRELVO_NETNS") != QLatin1String("1") || qEnvironmentVariableIsSet("BRELVO_NETNS_SKIP")) \
            QSKIP(qPrintable("BRELVO_NETNS_SKIP: "                                                                 \
                             + qEnvironmentVariable("BRELVO_NETNS_SKIP", "not inside a private network namespace")   \
                             + " (run through with-netns.sh)"));                                                    \
    } while (false)

// Chooses the tool's address of the namespace pair and a firmware folder.
void prepareRun(TestWindow& w, const QString& address, const QString& firmwareDir)
{
    w.get<ComboBox>("ipList")->addItem(address);
    w.get<ComboBox>("ipList")->setCurrentText(address);
    w.get<QLineEdit>("updateFilePath")->setText(firmwareDir);
}

brelvo::Event logEvent(brelvo::EventKind kind, brelvo::Severity severity, int code = 0)
{
    brelvo::Event e;
    e.kind = kind;
    e.severity = severity;
    e.address = inet_addr("10.0.0.23");
    e.productCode = "NOFWXYZ";
    e.path = "/srv/fw";
    e.row = kind == brelvo::EventKind::JobResult ? 1 : 0;
    e.code = code;
    return e;
}

// Writes `size` bytes to a new file `name` in `dir`; its path.
QString writeFile(const QString& dir, const QString& name, int size)
{
    QFile f(dir + QLatin1Char('/') + name);
    const bool ok = f.open(QIODevice::WriteOnly) && f.write(QByteArray(size, 'c')) == size;
    return ok ? f.fileName() : QString();
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    // Every case starts without remembered settings.
    void init() { QFile::remove(userSettingsPath()); }
    void startUp();
    void switchToChinese_data();
    void switchToChinese();
    void translationsFolder();
    void tableRowsAndStatusTexts();
    void resultColours_data();
    void resultColours();
    void eraseWarningOnTickOnly();
    void rememberedSettings_data();
    void rememberedSettings();
    void rememberedLanguage();
    void pickersStartFolder();
    void chrome();
    void logButtonAndCount();
    void runStopAndClear();
    void refuseUnusableConfig_data();
    void refuseUnusableConfig();
    void refuseWithoutIcmp();
    void startFailedAfterCheck();
    void unmatchedRequestInLog_data();
    void unmatchedRequestInLog();
    void droppedEventsSaidOnce();
};

void WindowTest::startUp()
{
    ModalWatcher watcher;
    TestWindow w;
    QCoreApplication::processEvents();
    QCOMPARE(watcher.seen.size(), 0);  // building the language list opens no tips page
    QCOMPARE(w.text("title"), QStringLiteral("Brelvo Tool"));
    QCOMPARE(w.text("startUpdate"), QStringLiteral("Start"));
    QCOMPARE(headers(w), (QStringList{"No.", "IP Address", "Status", "Progress"}));
    QVERIFY(w.minimumSize() == QSize(900, 600) && w.maximumSize() == QSize(900, 600));
    QVERIFY(w.get("maxBtn")->isHidden());
    QCOMPARE(languages(w), (QStringList{"English", "简体中文"}));
    for (const QString& a : entries(w.get<ComboBox>("ipList")->model()))
        QVERIFY2(a.count(QLatin1Char('.')) == 3 && !a.startsWith(QLatin1String("127.")), qPrintable(a));
    QCOMPARE(w.text("updateFilePath"), QCoreApplication::applicationDirPath());
    QVERIFY(w.text("initFilePath").isEmpty());
    QVERIFY(w.get<QCheckBox>("bootCheck")->isChecked() && !w.get<QCheckBox>("clearBoot")->isChecked());
    QVERIFY(w.inputsEnabled(true) && !w.isRunning() && !w.isPolling());
}

void WindowTest::switchToChinese_data()
{
    QTest::addColumn<bool>("shown");
    QTest::newRow("hidden") << false;
    QTest::newRow("shown") << true;
}

void WindowTest::switchToChinese()
{
    const QStringList english{"Update Complete!", "Timeout!", "Start", "Language", "No.", "IP Address", "Status",
                              "Progress"};
    const QStringList chinese{"烧写完成", "超时", "开始升级", "语言", "编号", "IP地址", "状态", "进度"};
    {
        QFETCH(bool, shown);
        TestWindow w;
        if (shown) {  // then the change comes through the platform window
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
        }
        w.showJobs({job("10.213.7.60", 9, 100), job("10.213.7.61", 14, 30)});
        QCOMPARE(visibleTexts(w), english);

        // Every text follows before the tips page opens, with no tick between.
        ModalWatcher watcher;
        QStringList atTips;
        watcher.queue([&](QWidget* d) {
            atTips = visibleTexts(w);
            qobject_cast<QDialog*>(d)->reject();
        });
        w.get<ComboBox>("languageBox")->setCurrentIndex(1);
        QCOMPARE(watcher.seen.size(), 1);  // the tips page, once
        QCOMPARE(atTips, chinese);
        QCOMPARE(w.text("exitBtn"), QStringLiteral("退出"));
        QCOMPARE(w.statusText(9), QStringLiteral("烧写完成"));
        QCOMPARE(recordedLanguage(), QStringLiteral(":/Resources/简体中文.qm"));

        // And back, without any event processed in between.
        const QSignalBlocker quiet(w.get<ComboBox>("languageBox"));
        w.get<ComboBox>("languageBox")->setCurrentIndex(0);
        w.applyLanguage();
        QCOMPARE(visibleTexts(w), english);
        QCOMPARE(recordedLanguage(), QStringLiteral(":/Resources/English.qm"));
    }
    QVERIFY(noCatalogueInstalled());
}

void WindowTest::translationsFolder()
{
    QTemporaryDir folder;
    const auto put = [&](const char* from, const char* to) {
        return QFile::copy(QStringLiteral(":/Resources/") + QString::fromUtf8(from), folder.filePath(QLatin1String(to)));
    };
    QVERIFY(put("简体中文.qm", "de.qm") && put("English.qm", "fr.QM") && put("English.qm", "x.tar.qm"));
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("y.qm")));
    {
        TestWindow w(folder.path());
        QCOMPARE(languages(w), (QStringList{"de", "fr", "x.tar"}));
        // The first entry is applied from the folder (here: a Chinese catalogue).
        QCOMPARE(recordedLanguage(), folder.filePath(QStringLiteral("de.qm")));
        QCOMPARE(w.text("exitBtn"), QStringLiteral("退出"));
        ModalWatcher watcher;
        w.get<ComboBox>("languageBox")->setCurrentIndex(1);
        QCOMPARE(recordedLanguage(), folder.filePath(QStringLiteral("fr.QM")));
        QCOMPARE(w.text("exitBtn"), QStringLiteral("Exit"));
    }
    QTemporaryDir empty;
    {
        TestWindow w(empty.path());
        QCOMPARE(languages(w), (QStringList{"English", "简体中文"}));
        QCOMPARE(w.text("exitBtn"), QStringLiteral("Exit"));
    }
    // A catalogue that does not load falls back to the built-in one of that name.
    QTemporaryDir broken;
    QFile bad(broken.filePath(QStringLiteral("English.qm")));
    QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("not a catalogue") > 0);
    bad.close();
    {
        TestWindow w(broken.path());
        QCOMPARE(languages(w), QStringList{"English"});
        QCOMPARE(w.text("exitBtn"), QStringLiteral("Exit"));
        QCOMPARE(recordedLanguage(), QStringLiteral(":/Resources/English.qm"));
    }
    QVERIFY(noCatalogueInstalled());
}

void WindowTest::tableRowsAndStatusTexts()
{
    TestWindow w;
    auto* table = w.get<SWTableWidget>("tableWidget");
    w.showJobs({job("10.213.7.60"), job(nullptr, 5, 42), job("10.213.7.61", 8, 100)});
    QCOMPARE(table->rowCount(), 3);
    const char* rows[][3] = {{"01", "10.213.7.60", "Find Update Server"},
                             {"02", "0.0.0.0", "Sending Data"},
                             {"03", "10.213.7.61", "Updating..."}};
    const int progress[] = {0, 42, 100};
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

    const QString sending = QStringLiteral("Sending Data"), unknown = QStringLiteral("Unknown Error!");
    const QMap<int, QString> expected{
        {-1, unknown}, {0, "Find Update Server"}, {1, sending}, {2, sending}, {3, sending}, {4, sending},
        {5, sending}, {6, "Send Successfully!"}, {7, "Verification Failed!"}, {8, "Updating..."},
        {9, "Update Complete!"}, {10, "Update Failed!"}, {11, "Network Error!"}, {12, "Model Mismatch!"},
        {13, "Open Failed!"}, {14, "Timeout!"}, {15, "Stopped"}, {16, unknown}, {INT_MIN, unknown},
        {INT_MAX, unknown}};
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QCOMPARE(w.statusText(it.key()), it.value());
}

void WindowTest::resultColours_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("outcome");  // running, success, failure
    for (int code : {0, 1, 2, 3, 4, 5, 6, 8})
        QTest::addRow("%d running", code) << code << "running";
    QTest::addRow("9 success") << 9 << "success";
    for (int code : {7, 10, 11, 12, 13, 14, 15, 16, -1})
        QTest::addRow("%d failure", code) << code << "failure";
}

// The status text and the bar's chunk carry the outcome; a row that moves on
// to another outcome takes the new colours.
void WindowTest::resultColours()
{
    QFETCH(int, status);
    QFETCH(QString, outcome);
    const QMap<QString, QColor> text{
        {"running", QColor()}, {"success", QColor("#4cc38a")}, {"failure", QColor("#ff6b6b")}};
    const QMap<QString, QColor> chunk{
        {"running", QColor("#2c7dce")}, {"success", QColor("#1e7b46")}, {"failure", QColor("#b03a3a")}};
    TestWindow w;
    auto* table = w.get<SWTableWidget>("tableWidget");
    const auto look = [&](int row) {
        const QVariant fg = table->item(row, 2)->data(Qt::ForegroundRole);
        auto* bar = qobject_cast<ProgressBar*>(table->cellWidget(row, 3));
        bar->resize(200, 30);
        const QImage image = bar->grab().toImage();
        return std::make_pair(fg.isValid() ? fg.value<QBrush>().color() : QColor(), image.pixelColor(26, 15));
    };
    // Row 0 starts with the other outcome's colours, so stale ones would show.
    const int before = outcome == QLatin1String("running") ? 9 : 0;
    w.showJobs({job("10.213.7.60", before, 100), job("10.213.7.61", status, 100)});
    QVERIFY(look(0).first != text[outcome] || look(0).second != chunk[outcome]);
    w.showJobs({job("10.213.7.60", status, 100), job("10.213.7.61", status, 100)});
    for (int row = 0; row < 2; ++row) {
        QCOMPARE(look(row).first, text[outcome]);
        QCOMPARE(look(row).second, chunk[outcome]);
    }
}

void WindowTest::eraseWarningOnTickOnly()
{
    TestWindow w;
    ModalWatcher watcher;
    auto* erase = w.get<QCheckBox>("clearBoot");
    erase->click();
    erase->click();  // untick
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen.at(0).title, QStringLiteral("Tips"));
    QVERIFY(watcher.seen.at(0).content.startsWith(QStringLiteral("1.If the device is missing a profile")));

    // Choosing a config file ticks the box without a warning.
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("factory.cfg"));
    QVERIFY(QFile(config).open(QIODevice::WriteOnly));
    watcher.queue([&](QWidget* d) {  // typed, as selectFile() skips a focused name field
        d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(config);
        QMetaObject::invokeMethod(d, "accept");
    });
    w.get<QPushButton>("selectInitPath")->click();
    QCOMPARE(watcher.seen.size(), 2);
    QVERIFY(watcher.seen.at(1).className.contains(QStringLiteral("FileDialog")));
    QVERIFY(w.text("initFilePath") == config && erase->isChecked());
}

void WindowTest::rememberedSettings_data()
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
    QTest::newRow("empty") << QByteArray() << false;
}

// A remembered folder, file and address come back only while they fit; a
// value that does not fit leaves the default, without a crash.
void WindowTest::rememberedSettings()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, restored);
    QTemporaryDir dir;
    const QString firmware = dir.filePath(QStringLiteral("firmware folder"));
    const QString config = dir.filePath(QStringLiteral("factory.cfg"));
    QVERIFY(QDir().mkpath(firmware) && QFile(config).open(QIODevice::WriteOnly));
    const QString address = QStringLiteral("192.0.2.7");  // added to the box below, as a card's would be
    file.replace("FW", firmware.toUtf8()).replace("CFG", config.toUtf8()).replace("ADDR", address.toUtf8());
    QVERIFY(QDir().mkpath(QFileInfo(userSettingsPath()).path()));
    QFile settings(userSettingsPath());
    QVERIFY(settings.open(QIODevice::WriteOnly | QIODevice::Truncate) && settings.write(file) == file.size());
    settings.close();

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

// The language comes back at the next start, and is written when it changes.
void WindowTest::rememberedLanguage()
{
    {
        TestWindow w;
        QCOMPARE(w.text("exitBtn"), QStringLiteral("Exit"));
        QVERIFY(!QFile::exists(userSettingsPath()));  // nothing written before a change
        ModalWatcher watcher;
        w.get<ComboBox>("languageBox")->setCurrentIndex(1);
    }
    QCOMPARE(QSettings(userSettingsPath(), QSettings::NativeFormat).value("window/language").toString(),
             QStringLiteral("简体中文.qm"));
    {
        ModalWatcher watcher;
        TestWindow w;
        QCOMPARE(w.get<ComboBox>("languageBox")->currentIndex(), 1);
        QCOMPARE(w.text("exitBtn"), QStringLiteral("退出"));
        QCOMPARE(recordedLanguage(), QStringLiteral(":/Resources/简体中文.qm"));
        QCOMPARE(watcher.seen.size(), 0);  // restoring is no choice: no tips page
    }
}

// Each picker opens where its field points, else in the folder last picked
// from (also after a restart), else at home; never in the working directory.
void WindowTest::pickersStartFolder()
{
    QTemporaryDir dir;
    const QString configDir = dir.filePath(QStringLiteral("configs"));
    const QString config = configDir + QStringLiteral("/factory.cfg");
    QVERIFY(QDir().mkpath(configDir) && QFile(config).open(QIODevice::WriteOnly));
    QStringList opened;  // where each picker opened
    const auto pick = [&](ModalWatcher& watcher, TestWindow& w, const char* button, const QString& choice) {
        watcher.queue([&opened, choice](QWidget* d) {
            auto* dialog = qobject_cast<QFileDialog*>(d);
            opened << (dialog ? dialog->directory().absolutePath() : QStringLiteral("no file dialog"));
            if (choice.isEmpty()) {
                dialog->reject();
                return;
            }
            d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(choice);
            QMetaObject::invokeMethod(d, "accept");
        });
        w.get<QPushButton>(button)->click();
    };
    {
        ModalWatcher watcher;
        TestWindow w;
        pick(watcher, w, "selectInitPath", QString());            // nothing picked yet
        pick(watcher, w, "selectPath", QString());                // the firmware field's folder
        pick(watcher, w, "selectInitPath", config);               // picks a file
        pick(watcher, w, "selectInitPath", QString());            // its folder
        w.get<QLineEdit>("updateFilePath")->setText(dir.filePath(QStringLiteral("gone")));
        pick(watcher, w, "selectPath", QString());                // the field's folder is gone
        pick(watcher, w, "selectPath", dir.path());               // picks a folder
        QCOMPARE(w.text("updateFilePath"), dir.path());
    }
    QCOMPARE(opened, (QStringList{QDir::homePath(), QCoreApplication::applicationDirPath(), QDir::homePath(),
                                  configDir, configDir, configDir}));
    opened.clear();
    QFile::remove(config);
    {
        ModalWatcher watcher;
        TestWindow w;  // after a restart, with the field empty
        QVERIFY(w.text("initFilePath").isEmpty());
        pick(watcher, w, "selectInitPath", QString());
    }
    QCOMPARE(opened, QStringList{dir.path()});
}

void WindowTest::chrome()
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

void WindowTest::runStopAndClear()
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
    QVERIFY2(w.log().contains(QStringLiteral("Check passed")), qPrintable(w.log()));
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
    device.setProcessChannelMode(QProcess::MergedChannels);
    device.start(QStringLiteral("ip"), {"netns", "exec", qEnvironmentVariable("BRELVO_DEV_NS"),
                                        qEnvironmentVariable("BRELVO_DEVSIM"), "--product", "ABCDEFG", "--tool",
                                        toolAddr, "--expect-image", imagePath, "--expect-options", "1",
                                        "--progress-steps", "20", "--progress-interval", "400"});
    QTRY_VERIFY_WITH_TIMEOUT(w.cell(0, 2) == QLatin1String("Updating..."), 60000);
    QCOMPARE(w.cell(0, 0), QStringLiteral("01"));
    const QString lent = w.cell(0, 1);
    QVERIFY2(lent.startsWith(QStringLiteral("10.213.7.")) && lent != toolAddr
                 && !qEnvironmentVariable("BRELVO_DEV_ADDRS").split(' ').contains(lent),
             qPrintable(lent));

    // While the job is unfinished, Stop asks; Cancel leaves the run.
    watcher.queue(ModalWatcher::press("cancelBtn"));
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
    for (const QString& step : {QStringLiteral("Listening on UDP port 3281"), QStringLiteral("Address sweep found"),
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

// The Log button counts the warnings and failures that came while the log
// was closed, in the window's language; opening the log resets the count.
void WindowTest::logButtonAndCount()
{
    using brelvo::EventKind;
    using brelvo::Severity;
    TestWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* button = w.get<QPushButton>("logBtn");
    QCOMPARE(button->text(), QStringLiteral("Log"));
    // Beside its neighbours, as tall as they are, and the window keeps its size.
    auto* clear = w.get<QPushButton>("clearContent");
    QVERIFY(button->geometry().right() < clear->geometry().left() && button->y() == clear->y()
            && button->height() == clear->height() && button->width() >= 73);
    QCOMPARE(w.size(), QSize(900, 600));

    w.showEvents({logEvent(EventKind::RequestReceived, Severity::Info)});
    QCOMPARE(button->text(), QStringLiteral("Log"));
    w.showEvents({logEvent(EventKind::RequestNoFirmware, Severity::Warning)});
    QCOMPARE(button->text(), QStringLiteral("Log (1)"));
    w.showEvents({logEvent(EventKind::JobResult, Severity::Info, 9),
                  logEvent(EventKind::JobResult, Severity::Failure, 10)});
    QCOMPARE(button->text(), QStringLiteral("Log (2)"));
    const QStringList lines = w.log().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines.at(1).endsWith(
                 QStringLiteral("  [Warning] 10.0.0.23 asked for NOFWXYZ: no firmware for it in /srv/fw")),
             qPrintable(lines.at(1)));
    QVERIFY2(lines.at(3).endsWith(QStringLiteral("  [Failure] #01 10.0.0.23: Update Failed!")),
             qPrintable(lines.at(3)));

    {
        ModalWatcher watcher;  // the tips page that follows a language choice
        w.get<ComboBox>("languageBox")->setCurrentIndex(1);
    }
    QCOMPARE(button->text(), QString::fromUtf8(u8"日志 (2)"));
    button->click();
    QVERIFY(w.logWindow()->isVisible());
    QCOMPARE(button->text(), QString::fromUtf8(u8"日志"));
    w.showEvents({logEvent(EventKind::RequestTableFull, Severity::Warning)});  // seen as it comes
    QCOMPARE(button->text(), QString::fromUtf8(u8"日志"));
    QVERIFY(w.log().endsWith(QString::fromUtf8(u8"[警告] 10.0.0.23 请求升级型号 NOFWXYZ：设备列表已满，请点击“清除列表”移除已完成的设备\n")));
    w.logWindow()->findChild<QPushButton*>("closeBtn")->click();
    QVERIFY(!w.logWindow()->isVisible());
    w.showEvents({logEvent(EventKind::ReportFailed, Severity::Failure)});
    QCOMPARE(button->text(), QString::fromUtf8(u8"日志 (1)"));
}

void WindowTest::refuseUnusableConfig_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");
    QTest::newRow("1000 bytes") << "short" << "has only 1000 bytes, fewer than the 65536 a configuration needs";
    QTest::newRow("65535 bytes") << "one short" << "has only 65535 bytes, fewer than the 65536";
    QTest::newRow("missing") << "missing" << "cannot be found: No such file or directory";
    QTest::newRow("a folder") << "folder" << "is not a regular file";
}

// A configuration file that cannot be sent refuses the start with one box
// that says why and what to do; nothing listens, the inputs come back.
void WindowTest::refuseUnusableConfig()
{
    REQUIRE_NETNS();
    QFETCH(QString, kind);
    QFETCH(QString, says);
    QTemporaryDir dir;
    QVERIFY(!writeFirmware(dir.path()).isEmpty());
    QString config = dir.filePath(QStringLiteral("factory.cfg"));
    if (kind == QLatin1String("short"))
        config = writeFile(dir.path(), QStringLiteral("factory.cfg"), 1000);
    else if (kind == QLatin1String("one short"))
        config = writeFile(dir.path(), QStringLiteral("factory.cfg"), 65535);
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("factory.cfg")));
    QVERIFY(!config.isEmpty());

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
void WindowTest::refuseWithoutIcmp()
{
    if (qEnvironmentVariable("BRELVO_NO_ICMP") != QLatin1String("1"))
        QSKIP("BRELVO_NETNS_SKIP: needs the closed namespace of run-without-icmp.sh");
    QCOMPARE(brelvo::probeIcmpMethod(), brelvo::IcmpMethod::None);
    QTemporaryDir dir;
    QVERIFY(!writeFirmware(dir.path()).isEmpty());
    TestWindow w;
    ModalWatcher watcher;
    prepareRun(w, QStringLiteral("127.0.0.1"), dir.path());
    w.get<QPushButton>("startUpdate")->click();
    QTRY_COMPARE_WITH_TIMEOUT(watcher.seen.size(), 1, 20000);
    const QString content = watcher.seen.at(0).content;
    QCOMPARE(watcher.seen.at(0).title, QStringLiteral("Cannot Start"));
    QVERIFY2(content.contains(QStringLiteral("\u2022 No ICMP socket can be opened (ping_group_range 1 0): the address "
                                             "sweep cannot run")),
             qPrintable(content));
    for (const char* way : {"sudo setcap cap_net_raw+ep \"$(command -v brelvo-tool)\"",
                            "sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"", "or run it as root"})
        QVERIFY2(content.contains(QLatin1String(way)), qPrintable(content));
    QCOMPARE(content.count(QStringLiteral("\u2022")), 1);
    QVERIFY(!w.isRunning() && w.inputsEnabled(true) && !listenerBound());
    // The loopback address is worth a warning in the log, not a refusal.
    QVERIFY2(w.log().contains(QStringLiteral("[Warning] 127.0.0.1 is a loopback address")), qPrintable(w.log()));
    QVERIFY2(w.log().contains(QStringLiteral("[Failure] No ICMP socket can be opened")), qPrintable(w.log()));
}

// The check passed, but the port was taken before the start could bind it:
// the engine refuses, "Start Failed!" says so and the log says why.
void WindowTest::startFailedAfterCheck()
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

void WindowTest::unmatchedRequestInLog_data()
{
    QTest::addColumn<QString>("product");  // as printf(1) writes it
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << "NOFWXYZ" << "NOFWXYZ";
    // A right-to-left override and a terminal escape: shown, never obeyed.
    QTest::newRow("hostile") << "EV\\342\\200\\256IL\\033[31m" << "EV\\u202eIL\\x1b[31m";
}

// A device asks for a product the folder has no firmware for: it gets no row,
// but the log says who asked for what, marked as a warning.
void WindowTest::unmatchedRequestInLog()
{
    REQUIRE_NETNS();
    QFETCH(QString, product);
    QFETCH(QString, shown);
    const QString toolAddr = qEnvironmentVariable("BRELVO_TOOL_ADDR");
    QTemporaryDir dir;
    QVERIFY(!writeFirmware(dir.path()).isEmpty());
    TestWindow w;
    ModalWatcher watcher;
    prepareRun(w, toolAddr, dir.path());
    auto* start = w.get<QPushButton>("startUpdate");
    start->click();
    QTRY_VERIFY_WITH_TIMEOUT(w.isRunning(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(listenerBound(), 10000);

    QProcess device;
    device.setProcessChannelMode(QProcess::MergedChannels);
    device.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    device.start(QStringLiteral("sh"),
                 {"-c", QStringLiteral("exec ip netns exec \"$BRELVO_DEV_NS\" \"$BRELVO_DEVSIM\" --tool %1 "
                                       "--offer-timeout 1500 --product \"$(printf '%2')\"")
                            .arg(toolAddr, product)});
    QVERIFY(device.waitForFinished(20000));
    QVERIFY2(device.exitCode() != 0, device.readAll().constData());  // it never got an offer

    const QString expected = qEnvironmentVariable("BRELVO_DEV_ADDRS").split(' ').first() + " asked for " + shown
        + ": no firmware for it in " + dir.path();
    QTRY_VERIFY2_WITH_TIMEOUT(w.log().contains(QStringLiteral("[Warning] ") + expected), qPrintable(w.log()), 5000);
    QCOMPARE(w.get<SWTableWidget>("tableWidget")->rowCount(), 0);
    QCOMPARE(w.get<QPushButton>("logBtn")->text(), QStringLiteral("Log (1)"));
    for (QChar c : w.log())
        QVERIFY2(c == QLatin1Char('\n') || (c.unicode() >= 0x20 && c != QChar(0x202e)), "a raw control in the log");

    start->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.isRunning(), 15000);
    QCOMPARE(watcher.seen.size(), 0);
}

// A flood of junk overruns the engine's event queue between two ticks: the
// log says once in the run that events were lost, and goes on.
void WindowTest::droppedEventsSaidOnce()
{
    REQUIRE_NETNS();
    QTemporaryDir dir;
    QVERIFY(!writeFirmware(dir.path()).isEmpty());
    TestWindow w;
    ModalWatcher watcher;
    prepareRun(w, qEnvironmentVariable("BRELVO_TOOL_ADDR"), dir.path());
    auto* start = w.get<QPushButton>("startUpdate");
    start->click();
    QTRY_VERIFY_WITH_TIMEOUT(w.isRunning(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(listenerBound(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(w.log().contains(QStringLiteral("Address sweep found")), 15000);

    // Malformed requests to the listener over loopback, paced a little so the
    // socket's buffer keeps them; no tick drains meanwhile.
    QUdpSocket junk;
    const auto flood = [&junk] {
        for (int i = 0; i < 8000; ++i) {
            junk.writeDatagram(QByteArray("junk"), QHostAddress(QHostAddress::LocalHost), 3281);
            if (i % 40 == 0)
                QThread::usleep(300);
        }
    };
    const QString note = QStringLiteral("events were lost because the window could not keep up");
    flood();
    QTest::qWait(2500);  // ticks drain
    const uint64_t lost = w.server()->droppedEvents();
    QVERIFY2(lost > 0, "the flood did not overrun the event queue");
    QCOMPARE(w.log().count(note), 1);
    // The second flood loses events too, and the log does not say it again.
    const QString mark = QStringLiteral("---- second flood ----");
    w.logWindow()->addLine(0, mark, LogWindow::Tone::Info);
    flood();
    QTest::qWait(2500);
    QVERIFY2(w.server()->droppedEvents() > lost, "the second flood did not overrun the event queue");
    const QString log = w.log();
    QVERIFY(log.contains(mark));
    QCOMPARE(log.mid(log.indexOf(mark)).count(note), 0);
    QVERIFY(w.log().contains(QStringLiteral("127.0.0.1: malformed request of 4 bytes ignored")));
    QCOMPARE(w.logWindow()->lineCount(), LogWindow::kMaxLines);  // bounded, newest kept

    start->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.isRunning(), 15000);
    QVERIFY(w.log().trimmed().endsWith(QStringLiteral("The run has ended: no longer listening for devices")));
}

// The window writes "server.ini" into the current directory.
int main(int argc, char** argv)
{
    // The user's settings go to a folder of the test's own (read once, so
    // set before anything reads it).
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "WindowTest.moc"
