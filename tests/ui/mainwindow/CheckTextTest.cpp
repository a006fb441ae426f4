// SPDX-License-Identifier: MIT
// The log's and the refusal's texts of the check's findings: every id and
// variant reads as a sentence in both catalogues, with a remedy exactly when
// a run cannot do without one, the Chinese text showing the same values as
// the English one; arguments from the disk are escaped.
#include "mainwindow/CheckText.h"
#include "UiTestSupport.h"

#include <QRegularExpression>

using brelvo::Finding;
using brelvo::FindingId;
Q_DECLARE_METATYPE(brelvo::Finding)

namespace {

// Every argument any finding names, each with a value no text holds by itself.
const char* const kArgs[] = {"port", "holders", "pid", "process", "uid", "error", "text", "local", "address",
                             "interface", "state", "prefix", "network", "other", "otherAddress", "routeInterface",
                             "gateway", "reason", "group", "range", "program", "groups", "folder", "entry",
                             "nameCode", "productCode", "codes", "code", "image", "size", "blocks", "checksum",
                             "others", "version", "expected", "computed", "configSize", "total", "limit",
                             "config", "minimum"};

Finding finding(FindingId id, std::vector<std::pair<std::string, std::string>> overrides = {})
{
    Finding f;
    f.id = id;
    for (const char* key : kArgs)
        f.args.emplace_back(key, std::string("v") + key);
    f.args.emplace_back("self", "no");
    f.args.emplace_back("withConfig", "no");
    for (auto& o : overrides)
        for (auto& a : f.args)
            if (a.first == o.first)
                a.second = o.second;
    return f;
}

// The argument values ("vport", ...) a text shows.
QStringList valuesIn(const QString& text)
{
    QStringList found;
    for (const char* key : kArgs)
        if (text.contains(QStringLiteral("v") + QLatin1String(key)))
            found << QLatin1String(key);
    return found;
}


} // namespace

class CheckTextTest : public QObject
{
    Q_OBJECT

private slots:
    void texts_data();
    void texts();
    void hostileArgumentsEscaped();
};

void CheckTextTest::texts_data()
{
    QTest::addColumn<Finding>("f");
    QTest::addColumn<bool>("needsRemedy");
    for (int i = 0; i <= static_cast<int>(FindingId::EraseWithoutConfig); ++i) {
        const auto id = static_cast<FindingId>(i);
        const bool info = id == FindingId::PortFree || id == FindingId::InterfaceOk || id == FindingId::IcmpRaw
            || id == FindingId::IcmpDatagram || id == FindingId::FirmwareEntry || id == FindingId::FirmwareChoice
            || id == FindingId::ConfigNone || id == FindingId::ConfigOk;
        QTest::addRow("%s", brelvo::findingIdName(id)) << finding(id) << !info;
    }
    QTest::newRow("port held by itself") << finding(FindingId::PortInUse, {{"self", "yes"}}) << true;
    QTest::newRow("port held, no holder seen") << finding(FindingId::PortInUse, {{"holders", ""}, {"pid", ""}}) << true;
    QTest::newRow("port held, nothing known")
        << finding(FindingId::PortInUse, {{"holders", ""}, {"pid", ""}, {"uid", ""}}) << true;
    QTest::newRow("no local address") << finding(FindingId::AddressNotLocal, {{"local", ""}}) << true;
    QTest::newRow("route without gateway") << finding(FindingId::DefaultRouteElsewhere, {{"gateway", ""}}) << true;
    QTest::newRow("no folder given") << finding(FindingId::FolderMissing, {{"folder", ""}}) << true;
    QTest::newRow("entry serving nothing") << finding(FindingId::FirmwareEntry, {{"codes", ""}}) << false;
    QTest::newRow("entry without product line") << finding(FindingId::FirmwareEntry, {{"productCode", ""}}) << false;
    QTest::newRow("empty product code") << finding(FindingId::FirmwareChoice, {{"code", ""}}) << false;
    QTest::newRow("checksum line missing, with config")
        << finding(FindingId::FirmwareChecksumMismatch, {{"expected", ""}, {"withConfig", "yes"}}) << true;
}

void CheckTextTest::texts()
{
    QFETCH(Finding, f);
    QFETCH(bool, needsRemedy);
    QStringList english[2];
    for (const QString& file : {QStringLiteral("English.qm"), QString::fromUtf8(u8"简体中文.qm")}) {
        ui_test::Catalogue catalogue(file);
        const QString texts[2] = {CheckText::message(f), CheckText::remedy(f)};
        for (const QString& text : texts)
            QVERIFY2(!text.contains(QRegularExpression(QStringLiteral("Finding\\.|Remedy\\.|%\\d"))), qPrintable(text));
        QVERIFY(!texts[0].isEmpty());
        QCOMPARE(texts[1].isEmpty(), !needsRemedy);
        for (int i = 0; i < 2; ++i) {
            if (file == QLatin1String("English.qm"))
                english[i] = valuesIn(texts[i]);
            else
                QCOMPARE(valuesIn(texts[i]), english[i]);
        }
    }
}

void CheckTextTest::hostileArgumentsEscaped()
{
    ui_test::Catalogue english(QStringLiteral("English.qm"));
    const Finding f = finding(FindingId::ConfigTooShort,
                              {{"config", "/tmp/EV\xE2\x80\xAEIL\x1b[31m\xff\n"}, {"size", "1000"}, {"minimum", "65536"}});
    QCOMPARE(CheckText::message(f), QStringLiteral("Configuration file '/tmp/EV\\u202eIL\\x1b[31m\\xff\\n' has only "
                                                   "1000 bytes, fewer than the 65536 a configuration needs: it "
                                                   "cannot be sent"));
}

QTEST_GUILESS_MAIN(CheckTextTest)
#include "CheckTextTest.moc"
