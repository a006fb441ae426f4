// SPDX-License-Identifier: MIT
// The compiled-in bundle as the window reads it: both catalogues answer every
// key the window's code and forms use, and every image named by the style
// sheet or the code is there.

#include "record/JobStatus.h"

#include <QtTest/QtTest>

#include <QDirIterator>
#include <QImage>
#include <QRegularExpression>
#include <QTranslator>

namespace {

// Every key the window's sources and forms look up, with the class it is
// looked up for (the file's name; the window's own texts are used by all).
QList<QPair<QString, QString>> keysInSources()
{
    QList<QPair<QString, QString>> keys;
    const QRegularExpression key(QStringLiteral("[\">]([A-Z][A-Za-z]*\\.(?!qm\")[a-z][A-Za-z0-9]*)[\"<]"));
    QDirIterator it(QStringLiteral(BRELVO_UI_SOURCES), {"*.cpp", "*.h", "*.ui"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        const QString context = it.fileInfo().baseName().remove(QRegularExpression(QStringLiteral("^Brelvo.+")));
        auto found = key.globalMatch(QString::fromUtf8(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray()));
        while (found.hasNext())
            keys << qMakePair(context.isEmpty() ? QStringLiteral("Brelvo") : context, found.next().captured(1));
    }
    return keys;
}

// Texts no other test shows word for word: {context, key, English, Chinese}.
// (The window's test shows its headers and Log count in both languages; the
// log and check lines are in tests/ui/mainwindow/expected.)
const char* const kSamples[][4] = {
    {"Brelvo", "PushButton.startUpdate", "Start", "开始升级"},  // shown only once a run has ended
    {"Brelvo", "Content.questionStopUpdate", "The update process not completed. Are you sure you want to stop?",
     "设备升级尚未完成，确认停止升级吗？"},
    {"MessageBoxDlg", "TipContent.content6", ":Do not interrupt Power or Network during the update process.",
     ":在更新过程中请勿中断电源或网络"},
    {"VersionInfo", "Title.aboutTool", "About Brelvo Tool", "关于 Brelvo Tool"},
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
        QStringList missing;
        const auto keys = keysInSources();
        QVERIFY2(keys.size() > 150, "the sources name fewer keys than the window has");
        for (const auto &[context, key] : keys) {
            const QByteArray k = key.toLatin1();
            if (translator.translate(qPrintable(context), k).isNull() && translator.translate("Brelvo", k).isNull())
                missing << context + QLatin1Char(':') + key;
        }
        QCOMPARE(missing, QStringList());
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
