// The window as the operator first sees it: texts, sizes, object names,
// the table's set-up and the inputs.
#include "WindowTestSupport.h"

#include "widgets/ComboBox.h"
#include "widgets/SWTableWidget.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void englishTexts_data();
    void englishTexts();
    void tableHeaders();
    void textTable_data();
    void textTable();
    void fixedFramelessWindow();
    void objectNames_data();
    void objectNames();
    void layoutsAndSpacing();
    void initialInputs();
    void tableSetUp();
    void constructionShowsNoDialog();
    void inputsDisabledAsOneGroup();
};

void StartupTest::englishTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("title") << "title" << "Brelvo Tool";
    QTest::newRow("start") << "startUpdate" << "Start";
    QTest::newRow("localIp") << "machineIp" << "Local IP Address";
    QTest::newRow("firmware") << "updatePath" << "Firmware Directory";
    QTest::newRow("config") << "initPath" << "Configuration Directory";
    QTest::newRow("language") << "languLab" << "Language";
    QTest::newRow("browse1") << "selectPath" << "Browse";
    QTest::newRow("browse2") << "selectInitPath" << "Browse";
    QTest::newRow("uptBoot") << "bootCheck" << "Update BOOT Partition.";
    QTest::newRow("clearBoot") << "clearBoot" << "Erase BOOT Partition";
    QTest::newRow("about") << "aboutBtn" << "About..";
    QTest::newRow("clear") << "clearContent" << "Clear";
    QTest::newRow("exit") << "exitBtn" << "Exit";
    QTest::newRow("min") << "minBtn" << "";
    QTest::newRow("max") << "maxBtn" << "";
    QTest::newRow("close") << "closeBtn" << "";
}

void StartupTest::englishTexts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    TestWindow w;
    QObject* o = w.findChild<QObject*>(name);
    QVERIFY2(o, qPrintable(name));
    QCOMPARE(o->property("text").toString(), text);
    // Nothing may stay installed once the texts are set.
    QCOMPARE(QCoreApplication::translate("Brelvo", "PushButton.exit"), QStringLiteral("PushButton.exit"));
}

void StartupTest::tableHeaders()
{
    TestWindow w;
    auto* table = w.findChild<SWTableWidget*>(QStringLiteral("tableWidget"));
    QVERIFY(table);
    const QStringList expected{"No.", "IP Address", "Status", "Progress"};
    QCOMPARE(table->columnCount(), 4);
    for (int c = 0; c < 4; ++c)
        QCOMPARE(table->horizontalHeaderItem(c)->text(), expected.at(c));
    QCOMPARE(w.aboutAction->text(), QStringLiteral("About Brelvo Tool"));
}

void StartupTest::textTable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("exit") << "exit" << "Exit";
    QTest::newRow("update") << "update" << "Update";
    QTest::newRow("warn1") << "warn1" << "1.If the device is missing a profile, it will fail to start!";
    QTest::newRow("warn2") << "warn2"
                           << "2.After erasing the partition, it can still start normally, but the user "
                              "data will be lost.";
    QTest::newRow("warn3") << "warn3" << "3.Erasing partitions is not recommended without professional!";
    QTest::newRow("stopUpdate") << "stopUpdate" << "Stop Update";
    QTest::newRow("specialTip") << "specialTip" << "Tips";
    QTest::newRow("startFailed") << "startFailed" << "Start Failed!";
    QTest::newRow("questionExit")
        << "questionExit" << "The update process not completed. Are you sure you want to exit?";
    QTest::newRow("choseUptFilePath") << "choseUptFilePath" << "Select Firmware";
    QTest::newRow("choseIniFilePath") << "choseIniFilePath" << "Select Configuration";
    QTest::newRow("questionExitApp") << "questionExitApp" << "Do you want to exit the Brelvo Tool?";
    QTest::newRow("questionStopUpdate")
        << "questionStopUpdate" << "The update process not completed. Are you sure you want to stop?";
}

void StartupTest::textTable()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    TestWindow w;
    QCOMPARE(w.texts.size(), 13);
    QVERIFY(w.texts.contains(name));
    QCOMPARE(w.texts.value(name), text);
}

void StartupTest::fixedFramelessWindow()
{
    TestWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.objectName(), QStringLiteral("BrelvoClass"));
    QCOMPARE(w.size(), QSize(900, 600));
    QCOMPARE(w.minimumSize(), QSize(900, 600));
    QCOMPARE(w.maximumSize(), QSize(900, 600));
    QCOMPARE(w.windowTitle(), QStringLiteral("Brelvo"));
    QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!w.windowIcon().isNull());
    QVERIFY(!w.findChild<QLabel*>(QStringLiteral("logo"))->pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(w.findChild<QWidget*>(QStringLiteral("maxBtn"))->isHidden());
    QVERIFY(w.findChild<QWidget*>(QStringLiteral("minBtn"))->isVisible());
    QVERIFY(w.findChild<QWidget*>(QStringLiteral("closeBtn"))->isVisible());
    QCOMPARE(w.findChild<QWidget*>(QStringLiteral("topWidget"))->height(), 40);
    // The table's last column takes what the first three leave.
    auto* table = w.findChild<SWTableWidget*>(QStringLiteral("tableWidget"));
    QCOMPARE(table->columnWidth(0) + table->columnWidth(1) + table->columnWidth(2) + table->columnWidth(3),
             table->viewport()->width());
    QVERIFY(w.trayIcon);
    QVERIFY(w.trayIcon->isVisible());
    QVERIFY(!w.trayIcon->icon().isNull());
    QVERIFY(w.trayIcon->toolTip().isEmpty());
    QVERIFY(!w.trayIcon->contextMenu());
}

void StartupTest::objectNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    const char* rows[][3] = {
        {"topWidget", "QWidget", "BrelvoClass"},
        {"logo", "QLabel", "topWidget"},
        {"title", "QLabel", "topWidget"},
        {"minBtn", "QPushButton", "topWidget"},
        {"maxBtn", "QPushButton", "topWidget"},
        {"closeBtn", "QPushButton", "topWidget"},
        {"machineIp", "QLabel", "BrelvoClass"},
        {"updatePath", "QLabel", "BrelvoClass"},
        {"initPath", "QLabel", "BrelvoClass"},
        {"ipList", "ComboBox", "BrelvoClass"},
        {"languLab", "QLabel", "BrelvoClass"},
        {"languageBox", "ComboBox", "BrelvoClass"},
        {"updateFilePath", "QLineEdit", "BrelvoClass"},
        {"selectPath", "QPushButton", "BrelvoClass"},
        {"initFilePath", "QLineEdit", "BrelvoClass"},
        {"selectInitPath", "QPushButton", "BrelvoClass"},
        {"bootCheck", "QCheckBox", "BrelvoClass"},
        {"clearBoot", "QCheckBox", "BrelvoClass"},
        {"startUpdate", "QPushButton", "BrelvoClass"},
        {"tableWidget", "SWTableWidget", "BrelvoClass"},
        {"aboutBtn", "QPushButton", "BrelvoClass"},
        {"clearContent", "QPushButton", "BrelvoClass"},
        {"exitBtn", "QPushButton", "BrelvoClass"},
        {"verticalLayout_3", "QVBoxLayout", "BrelvoClass"},
        {"horizontalLayout_6", "QHBoxLayout", "topWidget"},
        {"horizontalLayout_5", "QHBoxLayout", ""},
        {"verticalLayout", "QVBoxLayout", ""},
        {"verticalLayout_2", "QVBoxLayout", ""},
        {"horizontalLayout", "QHBoxLayout", ""},
        {"horizontalLayout_2", "QHBoxLayout", ""},
        {"horizontalLayout_3", "QHBoxLayout", ""},
        {"horizontalLayout_4", "QHBoxLayout", ""},
        {"horizontalLayout_8", "QHBoxLayout", ""},
        {"horizontalLayout_7", "QHBoxLayout", ""},
    };
    for (const auto& r : rows)
        QTest::newRow(r[0]) << QString::fromLatin1(r[0]) << QString::fromLatin1(r[1])
                            << QString::fromLatin1(r[2]);
}

void StartupTest::objectNames()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    TestWindow w;
    const QList<QObject*> found = w.findChildren<QObject*>(name);
    QCOMPARE(found.size(), 1);
    QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), className);
    if (!parentName.isEmpty())
        QCOMPARE(found.first()->parent()->objectName(), parentName);
}

void StartupTest::layoutsAndSpacing()
{
    TestWindow w;
    struct Expect {
        const char* name;
        int spacing;
        QMargins margins;
    };
    const Expect expects[] = {
        {"verticalLayout_3", 6, QMargins(0, 0, 0, 20)},
        {"horizontalLayout_6", 10, QMargins(5, 0, 15, 0)},
        {"horizontalLayout_5", 10, QMargins(20, 24, 20, 0)},
        {"verticalLayout", 10, QMargins(0, 0, 0, 0)},
        {"verticalLayout_2", 10, QMargins(0, 0, 0, 0)},
        {"horizontalLayout", 6, QMargins(0, 0, 0, 0)},
        {"horizontalLayout_4", 6, QMargins(0, 0, 0, 0)},
        {"horizontalLayout_8", 0, QMargins(20, 0, 20, 0)},
        {"horizontalLayout_7", 6, QMargins(20, 0, 20, 0)},
    };
    for (const Expect& e : expects) {
        auto* layout = w.findChild<QLayout*>(QLatin1String(e.name));
        QVERIFY2(layout, e.name);
        QCOMPARE(layout->spacing(), e.spacing);
        QCOMPARE(layout->contentsMargins(), e.margins);
    }
    // The top-level column: title bar, inputs, table, bottom buttons.
    auto* top = w.findChild<QLayout*>(QStringLiteral("verticalLayout_3"));
    QCOMPARE(top->count(), 4);
    QCOMPARE(top->itemAt(0)->widget()->objectName(), QStringLiteral("topWidget"));
    QCOMPARE(top->itemAt(1)->layout()->objectName(), QStringLiteral("horizontalLayout_5"));
    QCOMPARE(top->itemAt(2)->layout()->objectName(), QStringLiteral("horizontalLayout_8"));
    QCOMPARE(top->itemAt(3)->layout()->objectName(), QStringLiteral("horizontalLayout_7"));
    // The language row: address box, two spacers, label, spacer, box, spacer.
    auto* row = w.findChild<QLayout*>(QStringLiteral("horizontalLayout"));
    QCOMPARE(row->count(), 7);
    QCOMPARE(row->itemAt(0)->widget()->objectName(), QStringLiteral("ipList"));
    QCOMPARE(row->itemAt(3)->widget()->objectName(), QStringLiteral("languLab"));
    QCOMPARE(row->itemAt(5)->widget()->objectName(), QStringLiteral("languageBox"));
    QCOMPARE(row->itemAt(6)->spacerItem()->sizeHint(), QSize(120, 20));
    QCOMPARE(w.findChild<QWidget*>(QStringLiteral("ipList"))->minimumSize(), QSize(105, 28));
    QCOMPARE(w.findChild<QWidget*>(QStringLiteral("startUpdate"))->minimumSize(), QSize(73, 28));
    QCOMPARE(w.findChild<QWidget*>(QStringLiteral("closeBtn"))->maximumSize(), QSize(20, 18));
    QCOMPARE(w.findChild<QWidget*>(QStringLiteral("minBtn"))->maximumSize(), QSize(18, 18));
}

void StartupTest::initialInputs()
{
    TestWindow w;
    auto* ipList = w.findChild<ComboBox*>(QStringLiteral("ipList"));
    for (int i = 0; i < ipList->count(); ++i) {
        QVERIFY(ipList->itemText(i) != QStringLiteral("127.0.0.1"));
        QVERIFY2(QHostAddress(ipList->itemText(i)).protocol() == QAbstractSocket::IPv4Protocol,
                 qPrintable(ipList->itemText(i)));
    }
    QCOMPARE(ipList->currentIndex(), ipList->count() > 0 ? 0 : -1);
    QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("updateFilePath"))->text(),
             QCoreApplication::applicationDirPath());
    QVERIFY(w.findChild<QLineEdit*>(QStringLiteral("initFilePath"))->text().isEmpty());
    QVERIFY(w.findChild<QCheckBox*>(QStringLiteral("bootCheck"))->isChecked());
    QVERIFY(!w.findChild<QCheckBox*>(QStringLiteral("clearBoot"))->isChecked());
    auto* languageBox = w.findChild<ComboBox*>(QStringLiteral("languageBox"));
    QCOMPARE(languageBox->count(), 2);
    QCOMPARE(languageBox->itemText(0), QStringLiteral("English"));
    QCOMPARE(languageBox->itemText(1), QStringLiteral("简体中文"));
    QCOMPARE(languageBox->currentIndex(), 0);
    QCOMPARE(w.translationPath, QStringLiteral(":/Resources/English.qm"));
    QVERIFY(!w.pollTimer.isActive());
    QCOMPARE(w.pollTimer.interval(), 1000);
    QVERIFY(!w.pollTimer.isSingleShot());
    QVERIFY(!w.running);
    QVERIFY(w.server);
    QCOMPARE(w.server->jobCount(), 0);
    QCOMPARE(w.startButtonKey, QStringLiteral("PushButton.update"));
    for (const char* name : {"ipList", "bootCheck", "clearBoot", "selectPath", "initFilePath",
                             "updateFilePath", "selectInitPath", "startUpdate", "languageBox"})
        QVERIFY2(w.findChild<QWidget*>(QLatin1String(name))->isEnabled(), name);
    // No input shows focus at start: the address label holds it.
    QVERIFY(!ipList->hasFocus());
}

void StartupTest::tableSetUp()
{
    TestWindow w;
    auto* table = w.findChild<SWTableWidget*>(QStringLiteral("tableWidget"));
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(w.rowCount, 0);
    QCOMPARE(w.columnCount, 4);
    QCOMPARE(table->columnWidth(0), 70);
    QCOMPARE(table->columnWidth(1), 150);
    QCOMPARE(table->columnWidth(2), 150);
    QVERIFY(!table->verticalHeader()->isVisible() || table->verticalHeader()->isHidden());
    QVERIFY(table->verticalHeader()->isHidden());
    QCOMPARE(table->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(table->horizontalHeader()->minimumSectionSize(), 25);
    QVERIFY(table->horizontalHeader()->stretchLastSection());
    for (int c = 0; c < 4; ++c)
        QCOMPARE(table->horizontalHeader()->sectionResizeMode(c), QHeaderView::Fixed);
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void StartupTest::constructionShowsNoDialog()
{
    // Filling and selecting the language box must not reach the change slot,
    // which would show a second tips page during start-up.
    ModalWatcher watcher;
    {
        TestWindow w;
        QCoreApplication::processEvents();
    }
    QCOMPARE(watcher.seen.size(), 0);
    QSettings settings(QStringLiteral("server.ini"), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("Language")).toString(),
             QStringLiteral(":/Resources/English.qm"));
}

void StartupTest::inputsDisabledAsOneGroup()
{
    TestWindow w;
    const char* inputs[] = {"ipList", "bootCheck", "clearBoot", "selectPath", "initFilePath",
                            "updateFilePath", "selectInitPath"};
    const char* others[] = {"languageBox", "startUpdate", "aboutBtn", "clearContent", "exitBtn",
                            "minBtn", "closeBtn"};
    w.setInputsEnabled(false);
    for (const char* name : inputs)
        QVERIFY2(!w.findChild<QWidget*>(QLatin1String(name))->isEnabled(), name);
    for (const char* name : others)
        QVERIFY2(w.findChild<QWidget*>(QLatin1String(name))->isEnabled(), name);
    w.setInputsEnabled(true);
    for (const char* name : inputs)
        QVERIFY2(w.findChild<QWidget*>(QLatin1String(name))->isEnabled(), name);
}

BRELVO_WINDOW_TEST_MAIN(StartupTest)
#include "StartupTest.moc"
