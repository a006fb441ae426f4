// SPDX-License-Identifier: MIT
// The log's and the refusal's texts of the check's findings: every id and
// variant in both catalogues, the message and then the remedy where a run
// cannot do without one, word for word against expected/CheckText.txt.
#include "mainwindow/CheckText.h"
#include "UiTestSupport.h"

using brelvo::Finding;
using brelvo::FindingId;

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

} // namespace

class CheckTextTest : public QObject
{
    Q_OBJECT

private slots:
    void texts()
    {
        using F = FindingId;
        QStringList names;
        std::vector<Finding> findings;
        const auto row = [&](const QString& name, const Finding& f) { names << name, findings.push_back(f); };
        for (int i = 0; i <= static_cast<int>(F::EraseWithoutConfig); ++i)
            row(QString::fromUtf8(brelvo::findingIdName(F(i))), finding(F(i)));
        row("port held by itself", finding(F::PortInUse, {{"self", "yes"}}));
        row("port held, no holder seen", finding(F::PortInUse, {{"holders", ""}, {"pid", ""}}));
        row("port held, nothing known", finding(F::PortInUse, {{"holders", ""}, {"pid", ""}, {"uid", ""}}));
        row("no local address", finding(F::AddressNotLocal, {{"local", ""}}));
        row("route without gateway", finding(F::DefaultRouteElsewhere, {{"gateway", ""}}));
        row("no folder given", finding(F::FolderMissing, {{"folder", ""}}));
        row("entry serving nothing", finding(F::FirmwareEntry, {{"codes", ""}}));
        row("entry without product line", finding(F::FirmwareEntry, {{"productCode", ""}}));
        row("empty product code", finding(F::FirmwareChoice, {{"code", ""}}));
        row("checksum line missing, with config",
            finding(F::FirmwareChecksumMismatch, {{"expected", ""}, {"withConfig", "yes"}}));
        // A name from the disk is shown, never obeyed, and breaks no line.
        row("hostile config name",
            finding(F::ConfigTooShort, {{"config", "/tmp/EV\xE2\x80\xAEIL\x1b[31m\xff\n"}, {"size", "1000"}, {"minimum", "65536"}}));
        ui_test::compareInBothLanguages(QStringLiteral(BRELVO_EXPECTED_DIR "/CheckText.txt"), names, [&](int r) {
            const QString remedy = CheckText::remedy(findings[size_t(r)]);
            return QStringList{CheckText::message(findings[size_t(r)])} + (remedy.isEmpty() ? QStringList() : QStringList{remedy});
        });
    }
};

QTEST_GUILESS_MAIN(CheckTextTest)
#include "CheckTextTest.moc"
