// SPDX-License-Identifier: MIT
// The compiled-in bundle as the window reads it: both catalogues answer every
// key, and every image named by the style sheet or the code is there.

#include <QtTest/QtTest>

#include <QImage>
#include <QRegularExpression>
#include <QTranslator>

namespace {

// Every key the window, the message box and the about dialog look up.
const QList<QPair<const char *, QString>> kKeys{
    {"Brelvo", "Action.about CheckBox.clearBoot CheckBox.uptBoot Content.burnWriting Content.checkFailed "
               "Content.findUpServer Content.modeError Content.netError Content.openUpFileFailed "
               "Content.questionExit Content.questionExitApp Content.questionStopUpdate Content.sendComplete "
               "Content.sendData Content.startFailed Content.stopped Content.timeout Content.undefineError "
               "Content.warn1 Content.warn2 Content.warn3 Content.writeComplete Content.writeFailed "
               "Filter.allFiles Filter.configFiles Label.Language "
               "Label.iniFilePath Label.localIp Label.uptFilePath PushButton.aboutDlg PushButton.browse "
               "PushButton.clearContent PushButton.exit PushButton.prepareStop PushButton.startUpdate "
               "PushButton.stopUpdate PushButton.update TableWt.index TableWt.ipAddress TableWt.process "
               "TableWt.status Title.choseIniFilePath Title.choseUptFilePath Title.exit Title.specialTip "
               "Title.stopUpdate Title.update WindowTitle"},
    {"MessageBoxDlg", "PushButton.cancel PushButton.ok TipContent.content1 TipContent.content2 TipContent.content3 "
                      "TipContent.content4 TipContent.content5 TipContent.content6 Title.readBefore"},
    {"VersionInfo", "Label.copyRight Label.version PushButton.ok Title.aboutTool"},
};

// A few texts of each context, as {context, key}.
const char *const kSamples[][2] = {{"Brelvo", "PushButton.startUpdate"},
                                   {"Brelvo", "Content.questionStopUpdate"},
                                   {"Brelvo", "TableWt.process"},
                                   {"Brelvo", "Content.stopped"},
                                   {"MessageBoxDlg", "TipContent.content6"},
                                   {"VersionInfo", "Title.aboutTool"},
                                   // Must be an empty text, not a missing one, or the about box shows the key.
                                   {"VersionInfo", "Label.copyRight"}};

} // namespace

class ResourcesTest : public QObject
{
    Q_OBJECT

private slots:
    void catalogue_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("samples");
        QTest::newRow("English") << ":/Resources/English.qm"
            << QStringList{"Start", "The update process not completed. Are you sure you want to stop?", "Progress",
                           "Stopped", ":Do not interrupt Power or Network during the update process.",
                           "About Brelvo Tool", ""};
        QTest::newRow("Chinese") << QString::fromUtf8(u8":/Resources/简体中文.qm")
            << QString::fromUtf8(u8"开始升级|设备升级尚未完成，确认停止升级吗？|进度|已停止|"
                                 u8":在更新过程中请勿中断电源或网络|关于 Brelvo Tool|").split('|');
    }

    void catalogue()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, samples);
        QTranslator translator;
        QVERIFY(translator.load(path));
        QStringList found, missing;
        for (const auto &context : kKeys)
            for (const QString &key : context.second.split(' '))
                (translator.translate(context.first, key.toLatin1().constData()).isNull() ? missing : found) << key;
        QCOMPARE(missing, QStringList());
        QCOMPARE(found.size(), 61);
        for (int i = 0; i < samples.size(); ++i)
            QCOMPARE(translator.translate(kSamples[i][0], kSamples[i][1]), samples.at(i));
    }

    void everyNamedImageIsInTheBundle()
    {
        QFile sheet(QStringLiteral(":/Resources/style.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        const QByteArray bytes = sheet.readAll();
        QVERIFY2(bytes.endsWith("\r\n") && bytes.count("\r\n") == bytes.count('\n') && bytes.count('\r') == bytes.count('\n'),
                 "style.qss must keep CR LF line ends");
        QStringList paths{":/Resources/Brelvo 32_32.ico", ":/Resources/Brelvo 64_64.ico", ":/Resources/ico_information.png",
                          ":/Resources/ico_question.png", ":/Resources/ico_warning.png"};
        auto it = QRegularExpression(QStringLiteral("url\\(\\s*([^)\\s]*)\\s*\\)")).globalMatch(QString::fromLatin1(bytes));
        while (it.hasNext())
            paths << it.next().captured(1);
        QVERIFY2(paths.size() > 5, "no url() found in the style sheet");
        for (const QString &path : paths)
            QVERIFY2(!QImage(path).isNull(), qPrintable(path));
    }
};

QTEST_MAIN(ResourcesTest)
#include "tst_resources.moc"
