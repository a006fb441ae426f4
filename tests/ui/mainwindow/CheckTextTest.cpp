// SPDX-License-Identifier: MIT
// The log's and the refusal's texts of the check's findings: every id and
// variant reads as a sentence in both catalogues, with a remedy exactly when
// a run cannot do without one, the Chinese text showing the same values as
// the English one; arguments from the disk are escaped.
#include "mainwindow/CheckText.h"
#include "UiTestSupport.h"

#include <QRegularExpression>

#include <set>

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
    void texts_data()
    {
        QTest::addColumn<Finding>("f");
        QTest::addColumn<bool>("needsRemedy");
        QTest::addColumn<QString>("english");  // empty: not compared
        const auto row = [](const char* name, const Finding& f, bool remedy, const char* english = "") {
            QTest::newRow(name) << f << remedy << QString::fromUtf8(english);
        };
        using F = FindingId;
        const std::set<F> info{F::PortFree,      F::InterfaceOk,    F::IcmpRaw,    F::IcmpDatagram, F::IcmpService,
                               F::FirmwareEntry, F::FirmwareChoice, F::ConfigNone, F::ConfigOk};
        for (int i = 0; i <= static_cast<int>(F::EraseWithoutConfig); ++i)
            row(brelvo::findingIdName(F(i)), finding(F(i)), !info.count(F(i)));
        row("port held by itself", finding(F::PortInUse, {{"self", "yes"}}), true);
        row("port held, no holder seen", finding(F::PortInUse, {{"holders", ""}, {"pid", ""}}), true);
        row("port held, nothing known", finding(F::PortInUse, {{"holders", ""}, {"pid", ""}, {"uid", ""}}), true);
        row("no local address", finding(F::AddressNotLocal, {{"local", ""}}), true);
        row("route without gateway", finding(F::DefaultRouteElsewhere, {{"gateway", ""}}), true);
        row("no folder given", finding(F::FolderMissing, {{"folder", ""}}), true);
        row("entry serving nothing", finding(F::FirmwareEntry, {{"codes", ""}}), false);
        row("entry without product line", finding(F::FirmwareEntry, {{"productCode", ""}}), false);
        row("empty product code", finding(F::FirmwareChoice, {{"code", ""}}), false);
        row("checksum line missing, with config",
            finding(F::FirmwareChecksumMismatch, {{"expected", ""}, {"withConfig", "yes"}}), true);
        // A name from the disk is shown, never obeyed, and breaks no line.
        row("hostile config name",
            finding(F::ConfigTooShort, {{"config", "/tmp/EV\xE2\x80\xAEIL\x1b[31m\xff\n"}, {"size", "1000"}, {"minimum", "65536"}}),
            true, "Configuration file '/tmp/EV\\u202eIL\\x1b[31m\\xff\\n' has only 1000 bytes, fewer than the 65536 a "
                  "configuration needs: it cannot be sent");
    }

    void texts()
    {
        QFETCH(Finding, f);
        QFETCH(bool, needsRemedy);
        QFETCH(QString, english);
        QStringList englishValues;
        for (const QString& file : {QStringLiteral("English.qm"), QString::fromUtf8(u8"简体中文.qm")}) {
            ui_test::Catalogue catalogue(file);
            const QString texts[2] = {CheckText::message(f), CheckText::remedy(f)};
            for (const QString& text : texts)
                QVERIFY2(!text.contains(QRegularExpression(QStringLiteral("Finding\\.|Remedy\\.|%\\d"))), qPrintable(text));
            QVERIFY(!texts[0].isEmpty());
            QCOMPARE(texts[1].isEmpty(), !needsRemedy);
            const QStringList values = valuesIn(texts[0]) + QStringList{"| remedy:"} + valuesIn(texts[1]);
            if (file == QLatin1String("English.qm")) {
                englishValues = values;
                QVERIFY2(english.isEmpty() || texts[0] == english, qPrintable(texts[0]));
            }
            QCOMPARE(values, englishValues);
        }
    }
};

QTEST_GUILESS_MAIN(CheckTextTest)
#include "CheckTextTest.moc"
