// The compiled-in bundle as the window reads it: both catalogues answer every
// key with the right text, and every image named by the style sheet or the
// code is there and drawable.

#include <QtTest/QtTest>

#include <QImage>
#include <QRegularExpression>
#include <QTranslator>

namespace {

const QString kEnglish = QStringLiteral(":/Resources/English.qm");
const QString kChinese = QString::fromUtf8(u8":/Resources/简体中文.qm");

// Every key the window, the message box and the about dialog look up.
const QList<QPair<const char *, QString>> kKeys{
    {"Brelvo", "Action.about CheckBox.clearBoot CheckBox.uptBoot Content.burnWriting "
               "Content.checkFailed Content.findUpServer Content.modeError Content.netError "
               "Content.openUpFileFailed Content.questionExit Content.questionExitApp "
               "Content.questionStopUpdate Content.sendComplete Content.sendData "
               "Content.startFailed Content.timeout Content.undefineError Content.warn1 "
               "Content.warn2 Content.warn3 Content.writeComplete Content.writeFailed "
               "Label.Language Label.iniFilePath Label.localIp Label.uptFilePath "
               "PushButton.aboutDlg PushButton.browse PushButton.clearContent PushButton.exit "
               "PushButton.prepareStop PushButton.startUpdate PushButton.stopUpdate "
               "PushButton.update TableWt.index TableWt.ipAddress TableWt.process TableWt.status "
               "Title.choseIniFilePath Title.choseUptFilePath Title.exit Title.specialTip "
               "Title.stopUpdate Title.update WindowTitle"},
    {"MessageBoxDlg", "PushButton.cancel PushButton.ok TipContent.content1 TipContent.content2 "
                      "TipContent.content3 TipContent.content4 TipContent.content5 "
                      "TipContent.content6 Title.readBefore"},
    {"VersionInfo", "Label.copyRight Label.version PushButton.ok Title.aboutTool"},
};

} // namespace

class ResourcesTest : public QObject
{
    Q_OBJECT

private slots:
    void texts_data();
    void texts();
    void everyKeyInBothCatalogues();
    void everyNamedImageIsDrawable();
    void styleSheetHasCrLf();
};

void ResourcesTest::texts_data()
{
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("chinese");
    const auto row = [](const char *c, const char *k, const char *en, const char *zh) {
        QTest::addRow("%s %s", c, k) << QByteArray(c) << QByteArray(k) << QString::fromUtf8(en)
                                     << QString::fromUtf8(zh);
    };
    row("Brelvo", "PushButton.startUpdate", "Start", u8"开始升级");
    row("Brelvo", "PushButton.update", "Start", u8"开始升级");
    row("Brelvo", "Content.questionStopUpdate",
        "The update process not completed. Are you sure you want to stop?",
        u8"设备升级尚未完成，确认停止升级吗？");
    row("Brelvo", "Label.localIp", "Local IP Address", u8"本机地址：");
    row("Brelvo", "TableWt.process", "Progress", u8"进度");
    row("MessageBoxDlg", "PushButton.cancel", "Cancel", u8"取消");
    row("MessageBoxDlg", "TipContent.content6",
        ":Do not interrupt Power or Network during the update process.",
        u8":在更新过程中请勿中断电源或网络");
    row("VersionInfo", "Title.aboutTool", "About Brelvo Tool", u8"关于 Brelvo Tool");
    // Must be an empty text, not a missing one, or the about box shows the key.
    row("VersionInfo", "Label.copyRight", "", "");
}

void ResourcesTest::texts()
{
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, key);
    QFETCH(QString, english);
    QFETCH(QString, chinese);
    for (const QString &path : {kEnglish, kChinese}) {
        QTranslator translator;
        QVERIFY2(translator.load(path), qPrintable(path));
        QVERIFY(QCoreApplication::installTranslator(&translator));
        const QString shown = QCoreApplication::translate(context.constData(), key.constData());
        QCoreApplication::removeTranslator(&translator);
        QCOMPARE(shown, path == kEnglish ? english : chinese);
    }
}

void ResourcesTest::everyKeyInBothCatalogues()
{
    for (const QString &path : {kEnglish, kChinese}) {
        QTranslator translator;
        QVERIFY(translator.load(path));
        QSet<QString> found;
        for (const auto &context : kKeys) {
            for (const QString &key : context.second.split(QLatin1Char(' '))) {
                if (!translator.translate(context.first, key.toLatin1().constData()).isNull())
                    found.insert(QString::fromLatin1(context.first) + "::" + key);
                else
                    qWarning("%s: no %s::%s", qPrintable(path), context.first, qPrintable(key));
            }
        }
        QCOMPARE(found.size(), 58);
    }
}

void ResourcesTest::everyNamedImageIsDrawable()
{
    QFile sheet(QStringLiteral(":/Resources/style.qss"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    QStringList paths{":/Resources/Brelvo 32_32.ico", ":/Resources/Brelvo 64_64.ico",
                      ":/Resources/ico_information.png", ":/Resources/ico_question.png",
                      ":/Resources/ico_warning.png"};
    auto it = QRegularExpression(QStringLiteral("url\\(\\s*([^)\\s]*)\\s*\\)"))
                  .globalMatch(QString::fromLatin1(sheet.readAll()));
    while (it.hasNext())
        paths << it.next().captured(1);
    QVERIFY2(paths.size() > 5, "no url() found in the style sheet");
    for (const QString &path : paths) {
        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        QVERIFY2(image.width() >= 8 && image.height() >= 8 && image.width() <= 64
                     && image.height() <= 64,
                 qPrintable(path));
    }
}

void ResourcesTest::styleSheetHasCrLf()
{
    QFile sheet(QStringLiteral(":/Resources/style.qss"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    const QByteArray bytes = sheet.readAll();
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
    QCOMPARE(bytes.count("\r\n"), bytes.count('\r'));
}

QTEST_MAIN(ResourcesTest)
#include "tst_resources.moc"
