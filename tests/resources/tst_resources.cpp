// SPDX-License-Identifier: MIT
// The compiled-in bundle as the window reads it: both catalogues answer every
// key, and every image named by the style sheet or the code is there.

#include "record/JobStatus.h"

#include <QtTest/QtTest>

#include <QImage>
#include <QRegularExpression>
#include <QTranslator>

namespace {

// Every key the window, the message box, the about dialog and the log look up.
const QList<QPair<const char *, QString>> kKeys{
    {"Brelvo", "Action.about CheckBox.clearBoot CheckBox.uptBoot "
               "Content.questionExit Content.questionExitApp Content.questionStopUpdate "
               "Content.startFailed Content.warn1 Content.warn2 Content.warn3 "
               "Filter.allFiles Filter.configFiles Label.Language "
               "Label.iniFilePath Label.localIp Label.uptFilePath PushButton.aboutDlg PushButton.browse "
               "PushButton.clearContent PushButton.exit PushButton.prepareStop PushButton.startUpdate "
               "PushButton.stopUpdate PushButton.update TableWt.index TableWt.ipAddress TableWt.process "
               "TableWt.status Tip.device Tip.unknown Title.choseIniFilePath Title.choseUptFilePath Title.exit Title.specialTip "
               "Title.stopUpdate Title.update WindowTitle"},
    {"MessageBoxDlg", "PushButton.cancel PushButton.ok TipContent.content1 TipContent.content2 TipContent.content3 "
                      "TipContent.content4 TipContent.content5 TipContent.content6 Title.readBefore"},
    {"VersionInfo", "Label.copyRight Label.version PushButton.ok Title.aboutTool"},
    // The checks at Start, the log and its window.
    {"Brelvo", "Content.moreFailures Content.servedElsewhere Content.startRefused Content.whatToDo Log.checkError Log.checkPassed "
               "Log.checkPassedWarnings Log.checking Log.dropped Log.remedy Log.runEnded Log.startFailed "
               "Log.startFailedEnding Log.startFailedPort Log.startRefused PushButton.checking PushButton.log "
               "PushButton.logCount Title.startRefused"},
    {"CheckText", "Finding.addressInvalid Finding.addressLoopback Finding.addressNotLocal Finding.checksumMismatch "
                  "Finding.checksumNoLine Finding.checksumSays Finding.checksumWithConfig "
                  "Finding.checksumWithoutConfig Finding.configMissing Finding.configNone Finding.configNotRegular "
                  "Finding.configOk Finding.configTooShort Finding.configUnreadable Finding.defaultRouteElsewhere "
                  "Finding.defaultRouteGateway Finding.emptyCode Finding.eraseWithoutConfig Finding.firmwareChoice Finding.firmwareEntry "
                  "Finding.firmwareEntryNone Finding.firmwareEntryProduct Finding.folderEmpty Finding.folderMissing "
                  "Finding.folderNotGiven Finding.icmpDatagram Finding.icmpNone Finding.icmpRaw "
                  "Finding.imageMissing Finding.imageTooLarge Finding.interfaceDown Finding.interfaceNoCarrier Finding.interfaceOk "
                  "Finding.modelMismatch Finding.none Finding.portFree Finding.portInUse Finding.portInUseSelf "
                  "Finding.portInUseUnknown Finding.portInUseUser Finding.portProbeFailed Finding.prefixNarrow "
                  "Finding.subnetShared Finding.tooLarge Finding.versionMissing Remedy.address "
                  "Remedy.addressLoopback Remedy.addressNoneLocal Remedy.checksumMismatch Remedy.configTooShort "
                  "Remedy.configUnusable Remedy.defaultRouteElsewhere Remedy.eraseWithoutConfig Remedy.folderEmpty Remedy.folderMissing "
                  "Remedy.icmpNone Remedy.imageMissing Remedy.imageTooLarge Remedy.interfaceDown Remedy.interfaceNoCarrier "
                  "Remedy.modelMismatch Remedy.portInUse Remedy.portInUseSelf Remedy.portInUseUnknown "
                  "Remedy.portProbeFailed Remedy.prefixNarrow Remedy.subnetShared Remedy.tooLarge "
                  "Remedy.versionMissing"},
    {"EventText", "Log.anotherTool Log.askedAgain Log.blocks Log.end Log.job Log.listenFailed Log.listenFailedInUse Log.listening Log.listeningOn "
                  "Log.macLearnt Log.macUnknown Log.malformed Log.matched Log.noFirmware Log.offer Log.offerNoAddress Log.reportFailed "
                  "Log.request Log.resent Log.resentOne Log.size Log.stop Log.stopNone Log.stopOne Log.sweepFailed "
                  "Log.sweepFound Log.sweepFoundNone Log.sweepFoundOne Log.sweepNoIcmp Log.tableFull Log.timedOut "
                  "Log.unknown Log.writing"},
    {"LogWindow", "Content.noReportsFolder Content.openFolderFailed Content.saveFailed Filter.textFiles "
                  "Log.failureMark Log.warningMark PushButton.openReports PushButton.saveAs Title.log Title.saveLog"},
};

// A few texts of each context: {context, key, English, Chinese}.
const char* const kSamples[][4] = {
    {"Brelvo", "PushButton.startUpdate", "Start", "开始升级"},
    {"Brelvo", "Content.questionStopUpdate", "The update process not completed. Are you sure you want to stop?",
     "设备升级尚未完成，确认停止升级吗？"},
    {"Brelvo", "TableWt.process", "Progress", "进度"},
    {"Brelvo", "Content.stopped", "Stopped", "已停止"},
    {"MessageBoxDlg", "TipContent.content6", ":Do not interrupt Power or Network during the update process.",
     ":在更新过程中请勿中断电源或网络"},
    {"VersionInfo", "Title.aboutTool", "About Brelvo Tool", "关于 Brelvo Tool"},
    {"EventText", "Log.noFirmware", "%1 asked for %2: no firmware for it in %3", "%1 请求升级型号 %2：%3 中没有该型号的升级文件"},
    {"CheckText", "Remedy.icmpNone",
     "give the program the right to ping: sudo setcap cap_net_raw+ep \"$(command -v %1)\"; or allow ping for your "
     "group: sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"; or run it as root",
     "请授予程序 ping 的权限：sudo setcap cap_net_raw+ep \"$(command -v %1)\"；或允许你的用户组使用 ping：sudo sysctl -w "
     "net.ipv4.ping_group_range=\"0 2147483647\"；或以 root 身份运行"},
    {"Brelvo", "PushButton.logCount", "Log (%1)", "日志 (%1)"},
    // Must be an empty text, not a missing one, or the about box shows the key.
    {"VersionInfo", "Label.copyRight", "", ""}};

} // namespace

class ResourcesTest : public QObject
{
    Q_OBJECT

private slots:
    void catalogue_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("language");  // the column of kSamples
        QTest::newRow("English") << ":/Resources/English.qm" << 2;
        QTest::newRow("Chinese") << QString::fromUtf8(u8":/Resources/简体中文.qm") << 3;
    }

    void catalogue()
    {
        QFETCH(QString, path);
        QFETCH(int, language);
        QTranslator translator;
        QVERIFY(translator.load(path));
        QStringList found, missing;
        for (const auto &context : kKeys)
            for (const QString &key : context.second.split(' '))
                (translator.translate(context.first, key.toLatin1().constData()).isNull() ? missing : found) << key;
        QCOMPARE(missing, QStringList());
        QCOMPARE(found.size(), 181);
        // Every status's key, in English as the engine says it.
        std::vector<brelvo::StatusRow> rows = brelvo::statusRows();
        rows.push_back(brelvo::statusRow(-1));
        for (const brelvo::StatusRow &row : rows) {
            const QString text = translator.translate("Brelvo", row.key);
            QVERIFY2(!text.isNull() && (!path.contains("English") || text == row.english), row.key);
        }
        for (const auto &sample : kSamples)
            QCOMPARE(translator.translate(sample[0], sample[1]), QString::fromUtf8(sample[language]));
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
