// Languages: switching, the settings file, the "translations" folder and
// the rule that no catalogue stays installed.
#include "WindowTestSupport.h"

#include "widgets/ComboBox.h"
#include "widgets/SWTableWidget.h"

#include <QCoreApplication>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

namespace {

bool noCatalogueInstalled()
{
    return QCoreApplication::translate("Brelvo", "PushButton.exit") == QLatin1String("PushButton.exit")
        && QCoreApplication::translate("MessageBoxDlg", "PushButton.ok") == QLatin1String("PushButton.ok");
}

QString recordedLanguage()
{
    QSettings settings(QStringLiteral("server.ini"), QSettings::IniFormat);
    return settings.value(QStringLiteral("Language")).toString();
}

// Copies a compiled-in catalogue to `path`, so a folder can hold a real one.
bool copyCatalogue(const QString& resourceName, const QString& path)
{
    QFile::remove(path);
    return QFile::copy(QStringLiteral(":/Resources/") + resourceName, path);
}

bool touch(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write("x") == 1;
}

QString widgetText(QWidget& w, const char* name)
{
    QObject* o = w.findChild<QObject*>(QLatin1String(name));
    return o ? o->property("text").toString() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

} // namespace

class LanguageTest : public QObject
{
    Q_OBJECT

private slots:
    void switchToChinese_data();
    void switchToChinese();
    void switchBackShowsEnglishTips();
    void startButtonFollowsItsKey_data();
    void startButtonFollowsItsKey();
    void settingsKeepOtherKeys();
    void translationsFolderReplacesList();
    void translationsFolderWithoutCatalogues();
    void missingFolderLeavesListsAlone();
    void vanishedCatalogueFallsBackToBundle();
    void unloadableCatalogueShowsKeys();
};

void LanguageTest::switchToChinese_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("title") << "title" << "Brelvo Tool";
    QTest::newRow("start") << "startUpdate" << "开始升级";
    QTest::newRow("localIp") << "machineIp" << "本机地址：";
    QTest::newRow("firmware") << "updatePath" << "升级文件目录：";
    QTest::newRow("config") << "initPath" << "配置文件目录：";
    QTest::newRow("language") << "languLab" << "语言";
    QTest::newRow("browse1") << "selectPath" << "浏览";
    QTest::newRow("browse2") << "selectInitPath" << "浏览";
    QTest::newRow("uptBoot") << "bootCheck" << "升级BOOT分区";
    QTest::newRow("clearBoot") << "clearBoot" << "擦除配置分区";
    QTest::newRow("about") << "aboutBtn" << "关于..";
    QTest::newRow("clear") << "clearContent" << "清除列表";
    QTest::newRow("exit") << "exitBtn" << "退出";
}

void LanguageTest::switchToChinese()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    TestWindow w;
    w.show();
    ModalWatcher watcher;
    watcher.queue(ModalWatcher::press("okBtn"));
    w.findChild<ComboBox*>(QStringLiteral("languageBox"))->setCurrentIndex(1);

    // The change shows the tips page once more, now in the new language.
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen.first().className, QStringLiteral("MessageBoxDlg"));
    QVERIFY2(watcher.seen.first().content.contains(QStringLiteral("运行程序前确认")),
             qPrintable(watcher.seen.first().content));

    QCOMPARE(widgetText(w, qPrintable(name)), text);
    QCOMPARE(w.aboutAction->text(), QStringLiteral("关于 Brelvo Tool"));
    QCOMPARE(w.texts.size(), 13);
    QCOMPARE(w.texts.value(QStringLiteral("exit")), QStringLiteral("退出"));
    QCOMPARE(w.texts.value(QStringLiteral("startFailed")), QStringLiteral("启动失败！"));
    QCOMPARE(w.texts.value(QStringLiteral("choseUptFilePath")), QStringLiteral("选择升级文件"));
    auto* table = w.findChild<SWTableWidget*>(QStringLiteral("tableWidget"));
    const QStringList headers{"编号", "IP地址", "状态", "进度"};
    for (int c = 0; c < 4; ++c)
        QCOMPARE(table->horizontalHeaderItem(c)->text(), headers.at(c));
    QCOMPARE(w.translationPath, QStringLiteral(":/Resources/简体中文.qm"));
    QCOMPARE(recordedLanguage(), QStringLiteral(":/Resources/简体中文.qm"));
    QCOMPARE(w.statusText(9), QStringLiteral("烧写完成"));
    QVERIFY(noCatalogueInstalled());
}

void LanguageTest::switchBackShowsEnglishTips()
{
    TestWindow w;
    ModalWatcher watcher;
    auto* box = w.findChild<ComboBox*>(QStringLiteral("languageBox"));
    box->setCurrentIndex(1);
    box->setCurrentIndex(0);
    QCOMPARE(watcher.seen.size(), 2);
    QVERIFY(watcher.seen.at(1).content.contains(QStringLiteral("Before You Start")));
    QCOMPARE(widgetText(w, "machineIp"), QStringLiteral("Local IP Address"));
    QCOMPARE(recordedLanguage(), QStringLiteral(":/Resources/English.qm"));
    QVERIFY(noCatalogueInstalled());
}

void LanguageTest::startButtonFollowsItsKey_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("text");
    QTest::newRow("stop en") << "PushButton.stopUpdate" << 0 << "Stop";
    QTest::newRow("stopping en") << "PushButton.prepareStop" << 0 << "Stopping..";
    QTest::newRow("start en") << "PushButton.startUpdate" << 0 << "Start";
    QTest::newRow("stop zh") << "PushButton.stopUpdate" << 1 << "停止升级";
    QTest::newRow("stopping zh") << "PushButton.prepareStop" << 1 << "正在停止";
    QTest::newRow("start zh") << "PushButton.startUpdate" << 1 << "开始升级";
}

void LanguageTest::startButtonFollowsItsKey()
{
    QFETCH(QString, key);
    QFETCH(int, language);
    QFETCH(QString, text);
    TestWindow w;
    ModalWatcher watcher;
    auto* box = w.findChild<ComboBox*>(QStringLiteral("languageBox"));
    box->setCurrentIndex(language);
    w.startButtonKey = key;
    w.applyLanguage(box->currentIndex());
    QCOMPARE(widgetText(w, "startUpdate"), text);
    QVERIFY(noCatalogueInstalled());
}

void LanguageTest::settingsKeepOtherKeys()
{
    {
        QSettings settings(QStringLiteral("server.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Other/kept"), 42);
        settings.setValue(QStringLiteral("Language"), QStringLiteral("rubbish"));
    }
    TestWindow w;
    QSettings settings(QStringLiteral("server.ini"), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("Other/kept")).toInt(), 42);
    QCOMPARE(settings.value(QStringLiteral("Language")).toString(),
             QStringLiteral(":/Resources/English.qm"));
}

void LanguageTest::translationsFolderReplacesList()
{
    QTemporaryDir folder;
    QVERIFY(copyCatalogue(QStringLiteral("简体中文.qm"), folder.filePath(QStringLiteral("de.qm"))));
    QVERIFY(copyCatalogue(QStringLiteral("English.qm"), folder.filePath(QStringLiteral("fr.QM"))));
    QVERIFY(copyCatalogue(QStringLiteral("English.qm"), folder.filePath(QStringLiteral("x.tar.qm"))));
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("y.qm")));
    QVERIFY(touch(folder.filePath(QStringLiteral("readme.txt"))));
    QVERIFY(touch(folder.filePath(QStringLiteral("noqm"))));

    TestWindow w(folder.path());
    auto* box = w.findChild<ComboBox*>(QStringLiteral("languageBox"));
    QStringList offered;
    for (int i = 0; i < box->count(); ++i)
        offered << box->itemText(i);
    QCOMPARE(offered, (QStringList{"de", "fr", "x.tar"}));
    QCOMPARE(w.translationFiles, (QStringList{"de.qm", "fr.QM", "x.tar.qm"}));

    // The first entry is applied from the folder (here: the Chinese catalogue).
    QCOMPARE(w.translationPath, folder.filePath(QStringLiteral("de.qm")));
    QCOMPARE(recordedLanguage(), folder.filePath(QStringLiteral("de.qm")));
    QCOMPARE(widgetText(w, "exitBtn"), QStringLiteral("退出"));

    ModalWatcher watcher;
    box->setCurrentIndex(1);
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(w.translationPath, folder.filePath(QStringLiteral("fr.QM")));
    QCOMPARE(widgetText(w, "exitBtn"), QStringLiteral("Exit"));
    QVERIFY(noCatalogueInstalled());
}

void LanguageTest::translationsFolderWithoutCatalogues()
{
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("y.qm")));
    QVERIFY(touch(folder.filePath(QStringLiteral("readme.txt"))));
    TestWindow w(folder.path());
    auto* box = w.findChild<ComboBox*>(QStringLiteral("languageBox"));
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->itemText(0), QStringLiteral("English"));
    QCOMPARE(box->itemText(1), QStringLiteral("简体中文"));
    QCOMPARE(w.translationPath, QStringLiteral(":/Resources/English.qm"));
    QCOMPARE(widgetText(w, "title"), QStringLiteral("Brelvo Tool"));

    QStringList files{"a.qm"};
    QStringList names{"a"};
    QCOMPARE(w.loadLanguageList(files, names, folder.path()), -1);
    QCOMPARE(files, QStringList{"a.qm"});
    QCOMPARE(names, QStringList{"a"});
}

void LanguageTest::missingFolderLeavesListsAlone()
{
    TestWindow w(QStringLiteral("/nonexistent/brelvo/translations"));
    QStringList files{"a.qm", "b.qm"};
    QStringList names{"a", "b"};
    QCOMPARE(w.loadLanguageList(files, names, QStringLiteral("/nonexistent/brelvo/translations")), -1);
    QCOMPARE(files, (QStringList{"a.qm", "b.qm"}));
    QCOMPARE(names, (QStringList{"a", "b"}));
    QCOMPARE(w.translationPath, QStringLiteral(":/Resources/English.qm"));
    QCOMPARE(w.findChild<ComboBox*>(QStringLiteral("languageBox"))->count(), 2);
}

void LanguageTest::vanishedCatalogueFallsBackToBundle()
{
    // A folder entry named like a compiled-in catalogue, holding the other
    // language: once the file is gone, the bundle's file of that name is used.
    QTemporaryDir folder;
    QVERIFY(copyCatalogue(QStringLiteral("简体中文.qm"), folder.filePath(QStringLiteral("English.qm"))));
    QVERIFY(copyCatalogue(QStringLiteral("English.qm"), folder.filePath(QStringLiteral("zz.qm"))));
    TestWindow w(folder.path());
    QCOMPARE(w.translationPath, folder.filePath(QStringLiteral("English.qm")));
    QCOMPARE(widgetText(w, "exitBtn"), QStringLiteral("退出"));

    QVERIFY(QFile::remove(folder.filePath(QStringLiteral("English.qm"))));
    w.applyLanguage(0);
    QCOMPARE(w.translationPath, QStringLiteral(":/Resources/English.qm"));
    QCOMPARE(widgetText(w, "exitBtn"), QStringLiteral("Exit"));
    QCOMPARE(recordedLanguage(), QStringLiteral(":/Resources/English.qm"));
}

void LanguageTest::unloadableCatalogueShowsKeys()
{
    QTemporaryDir folder;
    QVERIFY(touch(folder.filePath(QStringLiteral("broken.qm"))));  // not a catalogue
    TestWindow w(folder.path());
    QCOMPARE(w.translationPath, folder.filePath(QStringLiteral("broken.qm")));
    QCOMPARE(widgetText(w, "machineIp"), QStringLiteral("Label.localIp"));
    QCOMPARE(widgetText(w, "startUpdate"), QStringLiteral("PushButton.update"));
    QCOMPARE(w.texts.value(QStringLiteral("exit")), QStringLiteral("Title.exit"));
    QCOMPARE(recordedLanguage(), folder.filePath(QStringLiteral("broken.qm")));

    // Gone from the folder and not in the bundle either: still keys, no crash.
    QVERIFY(QFile::remove(folder.filePath(QStringLiteral("broken.qm"))));
    w.applyLanguage(0);
    QCOMPARE(w.translationPath, QStringLiteral(":/Resources/broken.qm"));
    QCOMPARE(widgetText(w, "exitBtn"), QStringLiteral("PushButton.exit"));
    QCOMPARE(w.statusText(9), QStringLiteral("Content.writeComplete"));
    QVERIFY(noCatalogueInstalled());
}

BRELVO_WINDOW_TEST_MAIN(LanguageTest)
#include "LanguageTest.moc"
