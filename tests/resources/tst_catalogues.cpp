// The two compiled-in catalogues: every key in its context, the exact texts of
// both languages, and the lookups the window relies on (an empty copyright
// line, the two start-button keys agreeing, unknown keys falling back).

#include <QtTest/QtTest>

#include <QCoreApplication>
#include <QFile>
#include <QSet>
#include <QString>
#include <QTranslator>

namespace {

struct Entry {
    const char *context;
    const char *key;
    const char *english;
    const char *chinese;
};

// The catalogue contents as the window expects them, key by key.
const Entry kEntries[] = {
    {"Brelvo", "Action.about",
     u8"About Brelvo Tool",
     u8"关于 Brelvo Tool"},
    {"Brelvo", "CheckBox.clearBoot",
     u8"Erase BOOT Partition",
     u8"擦除配置分区"},
    {"Brelvo", "CheckBox.uptBoot",
     u8"Update BOOT Partition.",
     u8"升级BOOT分区"},
    {"Brelvo", "Content.burnWriting",
     u8"Updating...",
     u8"正在烧写"},
    {"Brelvo", "Content.checkFailed",
     u8"Verification Failed!",
     u8"校验失败"},
    {"Brelvo", "Content.findUpServer",
     u8"Find Update Server",
     u8"查找升级服务器"},
    {"Brelvo", "Content.modeError",
     u8"Model Mismatch!",
     u8"型号不匹配"},
    {"Brelvo", "Content.netError",
     u8"Network Error!",
     u8"网络错误"},
    {"Brelvo", "Content.openUpFileFailed",
     u8"Open Failed!",
     u8"打开升级文件失败"},
    {"Brelvo", "Content.questionExit",
     u8"The update process not completed. Are you sure you want to exit?",
     u8"升级服务还未停止，是否确认退出？"},
    {"Brelvo", "Content.questionExitApp",
     u8"Do you want to exit the Brelvo Tool?",
     u8"确认退出Brelvo Tool？"},
    {"Brelvo", "Content.questionStopUpdate",
     u8"The update process not completed. Are you sure you want to stop?",
     u8"设备升级尚未完成，确认停止升级吗？"},
    {"Brelvo", "Content.sendComplete",
     u8"Send Successfully!",
     u8"发送完成"},
    {"Brelvo", "Content.sendData",
     u8"Sending Data",
     u8"发送数据"},
    {"Brelvo", "Content.startFailed",
     u8"Start Failed!",
     u8"启动失败！"},
    {"Brelvo", "Content.timeout",
     u8"Timeout!",
     u8"超时"},
    {"Brelvo", "Content.undefineError",
     u8"Unknown Error!",
     u8"未知错误"},
    {"Brelvo", "Content.warn1",
     u8"1.If the device is missing a profile, it will fail to start!",
     u8"1、球机产品擦除配置分区的同时必须要写入出厂配置文件，否则系统可能无法启动!"},
    {"Brelvo", "Content.warn2",
     u8"2.After erasing the partition, it can still start normally, but the user data will be lost.",
     u8"2、网络摄像机擦除配置分区后系统仍可正常启动，但设备的云服务编号等数据将不复存在！"},
    {"Brelvo", "Content.warn3",
     u8"3.Erasing partitions is not recommended without professional!",
     u8"3、非专业人员不建议擦除配置分区！"},
    {"Brelvo", "Content.writeComplete",
     u8"Update Complete!",
     u8"烧写完成"},
    {"Brelvo", "Content.writeFailed",
     u8"Update Failed!",
     u8"烧写失败"},
    {"Brelvo", "Label.Language",
     u8"Language",
     u8"语言"},
    {"Brelvo", "Label.iniFilePath",
     u8"Configuration Directory",
     u8"配置文件目录："},
    {"Brelvo", "Label.localIp",
     u8"Local IP Address",
     u8"本机地址："},
    {"Brelvo", "Label.uptFilePath",
     u8"Firmware Directory",
     u8"升级文件目录："},
    {"Brelvo", "PushButton.aboutDlg",
     u8"About..",
     u8"关于.."},
    {"Brelvo", "PushButton.browse",
     u8"Browse",
     u8"浏览"},
    {"Brelvo", "PushButton.clearContent",
     u8"Clear",
     u8"清除列表"},
    {"Brelvo", "PushButton.exit",
     u8"Exit",
     u8"退出"},
    {"Brelvo", "PushButton.prepareStop",
     u8"Stopping..",
     u8"正在停止"},
    {"Brelvo", "PushButton.startUpdate",
     u8"Start",
     u8"开始升级"},
    {"Brelvo", "PushButton.stopUpdate",
     u8"Stop",
     u8"停止升级"},
    {"Brelvo", "PushButton.update",
     u8"Start",
     u8"开始升级"},
    {"Brelvo", "TableWt.index",
     u8"No.",
     u8"编号"},
    {"Brelvo", "TableWt.ipAddress",
     u8"IP Address",
     u8"IP地址"},
    {"Brelvo", "TableWt.process",
     u8"Progress",
     u8"进度"},
    {"Brelvo", "TableWt.status",
     u8"Status",
     u8"状态"},
    {"Brelvo", "Title.choseIniFilePath",
     u8"Select Configuration",
     u8"选择文件"},
    {"Brelvo", "Title.choseUptFilePath",
     u8"Select Firmware",
     u8"选择升级文件"},
    {"Brelvo", "Title.exit",
     u8"Exit",
     u8"退出"},
    {"Brelvo", "Title.specialTip",
     u8"Tips",
     u8"特别提示"},
    {"Brelvo", "Title.stopUpdate",
     u8"Stop Update",
     u8"停止升级"},
    {"Brelvo", "Title.update",
     u8"Update",
     u8"升级"},
    {"Brelvo", "WindowTitle",
     u8"Brelvo Tool",
     u8"Brelvo Tool"},
    {"MessageBoxDlg", "PushButton.cancel",
     u8"Cancel",
     u8"取消"},
    {"MessageBoxDlg", "PushButton.ok",
     u8"OK",
     u8"确定"},
    {"MessageBoxDlg", "TipContent.content1",
     u8"1.Make sure that your device and computer are in the same LAN and the computer can access the device.",
     u8"1.确保你的设备和电脑在一个局域网内，电脑可以连接到设备"},
    {"MessageBoxDlg", "TipContent.content2",
     u8"2.If it is a multi-network computer, please turn off other networks (If it is a laptop, please turn off the wireless network)",
     u8"2.如果是多网络电脑，请关闭其他网络（如果是笔记本电脑，请关闭无线网络）"},
    {"MessageBoxDlg", "TipContent.content3",
     u8"3.Turn off the computer Anti-virus software and Firewall.",
     u8"3.关闭电脑的防病毒软件和防火墙"},
    {"MessageBoxDlg", "TipContent.content4",
     u8"4.Run Brelvo Tool with Administrator permission.",
     u8"4.运行具有管理员权限的Brelvo工具"},
    {"MessageBoxDlg", "TipContent.content5",
     u8"IMPORTANT",
     u8"重要提示"},
    {"MessageBoxDlg", "TipContent.content6",
     u8":Do not interrupt Power or Network during the update process.",
     u8":在更新过程中请勿中断电源或网络"},
    {"MessageBoxDlg", "Title.readBefore",
     u8"Before You Start",
     u8"运行程序前确认"},
    {"VersionInfo", "Label.copyRight",
     u8"",
     u8""},
    {"VersionInfo", "Label.version",
     u8"Brelvo Tool V2.0.0",
     u8"Brelvo Tool V2.0.0"},
    {"VersionInfo", "PushButton.ok",
     u8"OK",
     u8"确定"},
    {"VersionInfo", "Title.aboutTool",
     u8"About Brelvo Tool",
     u8"关于 Brelvo Tool"},
};

const int kEntryCount = int(sizeof kEntries / sizeof kEntries[0]);

const char kEnglishPath[] = ":/Resources/English.qm";
const char kChinesePath[] = u8":/Resources/简体中文.qm";

QString textOf(const Entry &e, const QString &catalogue)
{
    return QString::fromUtf8(catalogue == QLatin1String(kEnglishPath) ? e.english : e.chinese);
}

} // namespace

class CatalogueTest : public QObject
{
    Q_OBJECT

private slots:
    void cataloguesLoadByTheirBundleNames_data();
    void cataloguesLoadByTheirBundleNames();
    void everyKeyHasItsText_data();
    void everyKeyHasItsText();
    void everyKeyIsPresentInBothCatalogues_data();
    void everyKeyIsPresentInBothCatalogues();
    void keysAreBoundToTheirContext_data();
    void keysAreBoundToTheirContext();
    void copyrightLineIsEmptyNotTheKey_data();
    void copyrightLineIsEmptyNotTheKey();
    void startButtonKeysAgree_data();
    void startButtonKeysAgree();
    void withoutInstalledTranslatorKeysComeBack();
};

void CatalogueTest::cataloguesLoadByTheirBundleNames_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("English") << QString::fromUtf8(kEnglishPath);
    QTest::newRow("Simplified Chinese") << QString::fromUtf8(kChinesePath);
}

void CatalogueTest::cataloguesLoadByTheirBundleNames()
{
    QFETCH(QString, path);
    QVERIFY2(QFile::exists(path), qPrintable(path));
    QTranslator translator;
    QVERIFY(translator.load(path));
    QVERIFY(!translator.isEmpty());
    // Neither catalogue records a language: the window picks them by file name.
    QCOMPARE(translator.language(), QString());
}

// One row per key and language, so a wrong text names its key and catalogue.
void CatalogueTest::everyKeyHasItsText_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("expected");
    for (const QString &path : {QString::fromUtf8(kEnglishPath), QString::fromUtf8(kChinesePath)}) {
        const QByteArray tag = path == QLatin1String(kEnglishPath) ? "en" : "zh";
        for (const Entry &e : kEntries) {
            QTest::newRow((tag + ' ' + e.context + ' ' + e.key).constData())
                << path << QByteArray(e.context) << QByteArray(e.key) << textOf(e, path);
        }
    }
}

void CatalogueTest::everyKeyHasItsText()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, key);
    QFETCH(QString, expected);

    QTranslator translator;
    QVERIFY(translator.load(path));
    // Looked up without a disambiguation comment, as tr() in the code does.
    const QString direct = translator.translate(context.constData(), key.constData());
    QVERIFY2(!direct.isNull(), "key missing from catalogue");
    QCOMPARE(direct, expected);

    // The same text through an installed translator and tr()'s own route.
    QVERIFY(QCoreApplication::installTranslator(&translator));
    const QString viaApp = QCoreApplication::translate(context.constData(), key.constData());
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(viaApp, expected);
}

void CatalogueTest::everyKeyIsPresentInBothCatalogues_data()
{
    cataloguesLoadByTheirBundleNames_data();
}

void CatalogueTest::everyKeyIsPresentInBothCatalogues()
{
    QFETCH(QString, path);
    QTranslator translator;
    QVERIFY(translator.load(path));

    int found = 0;
    QSet<QByteArray> contexts;
    QSet<QByteArray> seen;
    for (const Entry &e : kEntries) {
        const QByteArray id = QByteArray(e.context) + "::" + e.key;
        QVERIFY2(!seen.contains(id), id.constData());
        seen.insert(id);
        contexts.insert(e.context);
        if (!translator.translate(e.context, e.key).isNull())
            ++found;
        else
            qWarning("missing: %s", id.constData());
    }
    QCOMPARE(kEntryCount, 58);
    QCOMPARE(found, 58);
    QCOMPARE(contexts, (QSet<QByteArray>{"Brelvo", "MessageBoxDlg", "VersionInfo"}));
}

// A key must answer only in the context of the class that shows it; the
// same key in another class's context falls back to the key.
void CatalogueTest::keysAreBoundToTheirContext_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("key");
    const QString en = QString::fromUtf8(kEnglishPath);
    const QString zh = QString::fromUtf8(kChinesePath);
    QTest::newRow("en window key in message box") << en << QByteArray("MessageBoxDlg") << QByteArray("PushButton.exit");
    QTest::newRow("zh window key in about box") << zh << QByteArray("VersionInfo") << QByteArray("WindowTitle");
    QTest::newRow("en message box key in window") << en << QByteArray("Brelvo") << QByteArray("PushButton.cancel");
    QTest::newRow("zh tips key in window") << zh << QByteArray("Brelvo") << QByteArray("TipContent.content1");
    QTest::newRow("en about key in window") << en << QByteArray("Brelvo") << QByteArray("Label.version");
    QTest::newRow("zh about key in message box") << zh << QByteArray("MessageBoxDlg") << QByteArray("Title.aboutTool");
    QTest::newRow("en unknown key") << en << QByteArray("Brelvo") << QByteArray("PushButton.nothing");
    QTest::newRow("zh unknown context") << zh << QByteArray("ComboBox") << QByteArray("PushButton.ok");
    QTest::newRow("en key differing in case") << en << QByteArray("Brelvo") << QByteArray("pushButton.exit");
}

void CatalogueTest::keysAreBoundToTheirContext()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, key);
    QTranslator translator;
    QVERIFY(translator.load(path));
    QVERIFY(translator.translate(context.constData(), key.constData()).isNull());

    QVERIFY(QCoreApplication::installTranslator(&translator));
    const QString shown = QCoreApplication::translate(context.constData(), key.constData());
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(shown, QString::fromLatin1(key));
}

void CatalogueTest::copyrightLineIsEmptyNotTheKey_data()
{
    cataloguesLoadByTheirBundleNames_data();
}

void CatalogueTest::copyrightLineIsEmptyNotTheKey()
{
    QFETCH(QString, path);
    QTranslator translator;
    QVERIFY(translator.load(path));
    const QString direct = translator.translate("VersionInfo", "Label.copyRight");
    // A null string would mean "not in the catalogue", and the about dialog
    // would then show the key itself.
    QVERIFY(!direct.isNull());
    QVERIFY(direct.isEmpty());

    QVERIFY(QCoreApplication::installTranslator(&translator));
    const QString shown = QCoreApplication::translate("VersionInfo", "Label.copyRight");
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(shown, QString(""));
}

void CatalogueTest::startButtonKeysAgree_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("English") << QString::fromUtf8(kEnglishPath) << QStringLiteral("Start");
    QTest::newRow("Simplified Chinese") << QString::fromUtf8(kChinesePath) << QString::fromUtf8(u8"开始升级");
}

void CatalogueTest::startButtonKeysAgree()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QTranslator translator;
    QVERIFY(translator.load(path));
    QCOMPARE(translator.translate("Brelvo", "PushButton.update"), expected);
    QCOMPARE(translator.translate("Brelvo", "PushButton.startUpdate"), expected);
}

// Translators are transient: once one is removed, tr() must give keys again,
// whichever catalogue was loaded before.
void CatalogueTest::withoutInstalledTranslatorKeysComeBack()
{
    {
        QTranslator translator;
        QVERIFY(translator.load(QString::fromUtf8(kChinesePath)));
        QVERIFY(QCoreApplication::installTranslator(&translator));
        QCOMPARE(QCoreApplication::translate("Brelvo", "PushButton.exit"), QString::fromUtf8(u8"退出"));
    } // destroying the translator uninstalls it
    QCOMPARE(QCoreApplication::translate("Brelvo", "PushButton.exit"), QStringLiteral("PushButton.exit"));
}

QTEST_GUILESS_MAIN(CatalogueTest)
#include "tst_catalogues.moc"
