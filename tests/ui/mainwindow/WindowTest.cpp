// The main window: texts, languages, the device table, its dialogs and
// chrome, and a run against the real engine and the device simulator. The
// run presses Start, which sweeps the /24 of the chosen address and lets jobs
// broadcast, so it skips unless inside the private namespace pair made by
// tests/support/with-netns.sh.
#include "job/JobSnapshot.h"
#include "mainwindow/Brelvo.h"
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
#include <QtTest>

#include <arpa/inet.h>

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
    using Brelvo::isPolling;
    using Brelvo::isRunning;
    using Brelvo::server;
    using Brelvo::showJobs;
    using Brelvo::trayIcon;

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
    void runStopAndClear();
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
    QVERIFY(w.isRunning() && start->text() == QLatin1String("Stop") && w.inputsEnabled(false));
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

    // A listener already running makes the server refuse another start.
    QCOMPARE(w.server()->start(dir.path().toStdString(), "", toolAddr.toStdString(), 1), 0);
    start->click();
    QCOMPARE(watcher.seen.size(), 2);
    QCOMPARE(watcher.seen.at(1).content, QStringLiteral("Start Failed!"));
    QVERIFY(!w.isRunning() && w.inputsEnabled(true) && start->text() == QLatin1String("Start"));
    w.server()->stop();
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
