// The log's texts of engine events and pre-flight findings, in both
// catalogues: every kind and id has a line, no placeholder is left over, a
// translation carries every value the English text carries, and text from
// the network or the disk is escaped.
#include "mainwindow/CheckText.h"
#include "mainwindow/EventText.h"

#include "platform/AddressText.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTest>
#include <QTranslator>

#include <arpa/inet.h>

#include <cerrno>
#include <functional>
#include <memory>

using brelvo::Event;
using brelvo::EventKind;
using brelvo::Finding;
using brelvo::FindingId;
using brelvo::IcmpMethod;

Q_DECLARE_METATYPE(brelvo::Event)
Q_DECLARE_METATYPE(brelvo::Finding)

namespace {

Event anEvent(EventKind kind, std::function<void(Event&)> fill = nullptr)
{
    Event e;
    e.kind = kind;
    e.address = inet_addr("10.0.0.23");
    e.port = brelvo::hostToNet16(40001);
    if (fill)
        fill(e);
    return e;
}

// A job's event: row 3, the device 10.0.0.23.
Event jobEvent(EventKind kind, std::function<void(Event&)> fill = nullptr)
{
    return anEvent(kind, [fill](Event& e) {
        e.jobId = 7;
        e.row = 3;
        if (fill)
            fill(e);
    });
}

// Every argument any finding names, each with a value of its own that no
// text contains by itself.
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
    for (auto& o : overrides) {
        for (auto& a : f.args)
            if (a.first == o.first)
                a.second = o.second;
    }
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

const QRegularExpression kPlaceholder(QStringLiteral("%\\d"));

class Catalogue
{
public:
    explicit Catalogue(const QString& file)
    {
        QVERIFY(translator.load(QStringLiteral(":/Resources/") + file));
        QCoreApplication::installTranslator(&translator);
    }
    ~Catalogue() { QCoreApplication::removeTranslator(&translator); }

private:
    QTranslator translator;
};

const QString kChinese = QString::fromUtf8(u8"简体中文.qm");

} // namespace

class LogTextTest : public QObject
{
    Q_OBJECT

private slots:
    void eventLines_data();
    void eventLines();
    void hostileTextIsEscaped();
    void findingTexts_data();
    void findingTexts();
    void refusalTexts_data();
    void refusalTexts();
};

void LogTextTest::eventLines_data()
{
    QTest::addColumn<Event>("e");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QStringList>("values");  // what the Chinese line must show too

    QTest::newRow("listening") << anEvent(EventKind::ListenerStarted, [](Event& e) {
        e.address = 0;
        e.port = brelvo::hostToNet16(3281);
    }) << "Listening on UDP port 3281" << QStringList{"3281"};
    QTest::newRow("listening on") << anEvent(EventKind::ListenerStarted,
                                             [](Event& e) { e.port = brelvo::hostToNet16(3281); })
                                  << "Listening on UDP port 3281 of 10.0.0.23" << QStringList{"3281", "10.0.0.23"};
    QTest::newRow("port taken") << anEvent(EventKind::ListenerFailed, [](Event& e) {
        e.port = brelvo::hostToNet16(3281);
        e.code = EADDRINUSE;
    }) << "Cannot listen on UDP port 3281 (Address already in use): another copy of the tool or another program "
          "holds it"
       << QStringList{"3281", "Address already in use"};
    QTest::newRow("listen failed") << anEvent(EventKind::ListenerFailed, [](Event& e) {
        e.port = brelvo::hostToNet16(3281);
        e.code = EACCES;
        e.detail = "bind";
    }) << "Cannot listen on UDP port 3281: Permission denied (bind)"
       << QStringList{"3281", "Permission denied", "(bind)"};
    QTest::newRow("sweep no icmp") << anEvent(EventKind::SweepFinished, [](Event& e) { e.value = -1; })
                                   << "Address sweep could not ping (no ICMP socket): no address can be lent; run as "
                                      "root, give the program cap_net_raw or allow unprivileged ping "
                                      "(net.ipv4.ping_group_range)"
                                   << QStringList{"root", "cap_net_raw", "net.ipv4.ping_group_range"};
    QTest::newRow("sweep failed") << anEvent(EventKind::SweepFinished, [](Event& e) {
        e.value = -1;
        e.icmp = IcmpMethod::Raw;
    }) << "Address sweep could not run (ICMP: raw): no address can be lent" << QStringList{"raw"};
    QTest::newRow("sweep none free") << anEvent(EventKind::SweepFinished,
                                                [](Event& e) { e.icmp = IcmpMethod::Datagram; })
                                     << "Address sweep found no free address (ICMP: datagram): no address can be lent"
                                     << QStringList{"datagram"};
    QTest::newRow("sweep one") << anEvent(EventKind::SweepFinished, [](Event& e) {
        e.value = 1;
        e.icmp = IcmpMethod::Raw;
    }) << "Address sweep found 1 free address (ICMP: raw)" << QStringList{"1", "raw"};
    QTest::newRow("sweep many") << anEvent(EventKind::SweepFinished, [](Event& e) {
        e.value = 251;
        e.icmp = IcmpMethod::Raw;
    }) << "Address sweep found 251 free addresses (ICMP: raw)" << QStringList{"251", "raw"};
    QTest::newRow("request") << anEvent(EventKind::RequestReceived, [](Event& e) { e.productCode = "ABCDEFG"; })
                             << "10.0.0.23 asked for ABCDEFG" << QStringList{"10.0.0.23", "ABCDEFG"};
    QTest::newRow("matched") << jobEvent(EventKind::RequestMatched, [](Event& e) {
        e.productCode = "ABCDEFG";
        e.path = "/srv/fw/kvx_ABCDEFG_V2.bin";
    }) << "#03 10.0.0.23 asked for ABCDEFG: sending /srv/fw/kvx_ABCDEFG_V2.bin"
       << QStringList{"#03 10.0.0.23", "ABCDEFG", "/srv/fw/kvx_ABCDEFG_V2.bin"};
    QTest::newRow("no firmware") << anEvent(EventKind::RequestNoFirmware, [](Event& e) {
        e.productCode = "ABCDEFG";
        e.path = "/srv/fw";
    }) << "10.0.0.23 asked for ABCDEFG: no firmware for it in /srv/fw"
       << QStringList{"10.0.0.23", "ABCDEFG", "/srv/fw"};
    QTest::newRow("table full") << anEvent(EventKind::RequestTableFull, [](Event& e) { e.productCode = "ABCDEFG"; })
                                << "10.0.0.23 asked for ABCDEFG: the device table is full; press Clear to remove "
                                   "finished devices"
                                << QStringList{"10.0.0.23", "ABCDEFG"};
    QTest::newRow("malformed") << anEvent(EventKind::RequestMalformed, [](Event& e) {
        e.value = 300;
        e.detail = "longer than 256 bytes";
    }) << "10.0.0.23: malformed request of 300 bytes ignored (longer than 256 bytes)"
       << QStringList{"10.0.0.23", "300", "(longer than 256 bytes)"};
    QTest::newRow("offer") << jobEvent(EventKind::OfferSent, [](Event& e) {
        e.lentAddress = inet_addr("10.0.0.60");
        e.jobPort = brelvo::hostToNet16(50123);
    }) << "#03 10.0.0.23: offer sent, lent address 10.0.0.60, job port 50123"
       << QStringList{"#03 10.0.0.23: ", "10.0.0.60", "50123"};
    QTest::newRow("offer without address") << jobEvent(EventKind::OfferSent, [](Event& e) {
        e.jobPort = brelvo::hostToNet16(50123);
    }) << "#03 10.0.0.23: offer sent without an address (none free), job port 50123" << QStringList{"50123"};
    QTest::newRow("size") << jobEvent(EventKind::SizeSent, [](Event& e) { e.value = 1048576; })
                          << "#03 10.0.0.23: image size sent: 1048576 bytes" << QStringList{"1048576"};
    QTest::newRow("blocks") << jobEvent(EventKind::BlockPhaseStarted, [](Event& e) { e.value = 1024; })
                            << "#03 10.0.0.23: sending 1024 blocks" << QStringList{"1024"};
    QTest::newRow("resent one") << jobEvent(EventKind::BlocksResent, [](Event& e) {
        e.code = 2;
        e.value = 1;
    }) << "#03 10.0.0.23: pass 2: 1 block sent again" << QStringList{"2", "1"};
    QTest::newRow("resent") << jobEvent(EventKind::BlocksResent, [](Event& e) {
        e.code = 3;
        e.value = 17;
    }) << "#03 10.0.0.23: pass 3: 17 blocks sent again" << QStringList{"3", "17"};
    QTest::newRow("end") << jobEvent(EventKind::EndSent, [](Event& e) {
        e.checksum = 0xBEEF;
        e.options = 3;
    }) << "#03 10.0.0.23: End sent: checksum 0x0000beef, options 3" << QStringList{"0x0000beef", "3"};
    QTest::newRow("writing") << jobEvent(EventKind::DeviceWriting, [](Event& e) { e.value = 40; })
                             << "#03 10.0.0.23: device writing, 40%" << QStringList{"40%"};
    QTest::newRow("complete") << jobEvent(EventKind::JobResult, [](Event& e) { e.code = 9; })
                              << "#03 10.0.0.23: Update Complete!" << QStringList{"#03 10.0.0.23: "};
    QTest::newRow("failed with detail") << jobEvent(EventKind::JobResult, [](Event& e) {
        e.code = 11;
        e.detail = "no address to lend";
    }) << "#03 10.0.0.23: Network Error! (no address to lend)" << QStringList{"(no address to lend)"};
    QTest::newRow("job without row") << anEvent(EventKind::JobResult, [](Event& e) {
        e.jobId = 12;
        e.address = 0;
        e.code = 15;
    }) << "job 12: Stopped" << QStringList{"12: "};
    QTest::newRow("stop none") << anEvent(EventKind::StopRequested) << "Stop: no device was being updated"
                               << QStringList{};
    QTest::newRow("stop one") << anEvent(EventKind::StopRequested, [](Event& e) { e.value = 1; })
                              << "Stop: 1 unfinished job asked to end" << QStringList{"1"};
    QTest::newRow("stop many") << anEvent(EventKind::StopRequested, [](Event& e) { e.value = 4; })
                               << "Stop: 4 unfinished jobs asked to end" << QStringList{"4"};
    QTest::newRow("timed out") << jobEvent(EventKind::JobTimedOut, [](Event& e) {
        e.code = 5;
        e.detail = "40 s without an answer";
    }) << "#03 10.0.0.23: timed out at \"Sending Data\" (40 s without an answer)"
       << QStringList{"(40 s without an answer)"};
    QTest::newRow("report failed") << anEvent(EventKind::ReportFailed, [](Event& e) {
        e.path = "/home/op/reports";
        e.code = ENOSPC;
        e.detail = "write";
    }) << "Run report: cannot write /home/op/reports: No space left on device (write); the update goes on"
       << QStringList{"/home/op/reports", "No space left on device (write)"};
    QTest::newRow("unknown kind") << anEvent(EventKind(200)) << "Unknown event 200" << QStringList{"200"};
}

// English as written; Chinese with the same values, a CJK text and no key or
// placeholder left.
void LogTextTest::eventLines()
{
    QFETCH(Event, e);
    QFETCH(QStringList, values);
    {
        Catalogue english(QStringLiteral("English.qm"));
        QTEST(EventText::line(e), "english");
    }
    Catalogue chinese(kChinese);
    const QString line = EventText::line(e);
    QVERIFY2(!line.contains(QLatin1String("Log.")) && !line.contains(kPlaceholder), qPrintable(line));
    QVERIFY2(line.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]"))), qPrintable(line));
    for (const QString& v : values)
        QVERIFY2(line.contains(v), qPrintable(v + QStringLiteral(" missing in: ") + line));
}

// Product codes, paths and details from outside are shown escaped, whatever
// they hold: nothing in them is obeyed or breaks the line.
void LogTextTest::hostileTextIsEscaped()
{
    Catalogue english(QStringLiteral("English.qm"));
    const std::string hostile = "EV\xE2\x80\xAEIL\x1b[31m\xff";
    const QString shown = QStringLiteral("EV\\u202eIL\\x1b[31m\\xff");
    const Event e = anEvent(EventKind::RequestNoFirmware, [&](Event& e) {
        e.productCode = hostile;
        e.path = "/srv/fw\nfake line";
    });
    const QString line = EventText::line(e);
    QCOMPARE(line, "10.0.0.23 asked for " + shown + ": no firmware for it in /srv/fw\\nfake line");

    Finding f =
        finding(FindingId::ConfigTooShort, {{"config", "/tmp/" + hostile}, {"size", "1000"}, {"minimum", "65536"}});
    QCOMPARE(CheckText::message(f), "Configuration file '/tmp/" + shown
                                        + "' has only 1000 bytes, fewer than the 65536 a configuration needs: it "
                                          "cannot be sent");
    for (const QString& text : {line, CheckText::message(f)}) {
        for (QChar c : text)
            QVERIFY2(c.unicode() >= 0x20 && c != QChar(0x202e) && c != QChar(0xfffd), qPrintable(text));
    }
}

void LogTextTest::findingTexts_data()
{
    QTest::addColumn<Finding>("f");
    QTest::addColumn<bool>("needsRemedy");
    const auto last = static_cast<int>(FindingId::ConfigTooShort);
    for (int i = 0; i <= last; ++i) {
        const auto id = static_cast<FindingId>(i);
        // The ids a run cannot do without name what to do.
        const bool info = id == FindingId::PortFree || id == FindingId::InterfaceOk || id == FindingId::IcmpRaw
            || id == FindingId::IcmpDatagram || id == FindingId::FirmwareEntry || id == FindingId::FirmwareChoice
            || id == FindingId::ConfigNone || id == FindingId::ConfigOk;
        QTest::addRow("%s", brelvo::findingIdName(id)) << finding(id) << !info;
    }
    // The variants some ids have.
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

// Every finding reads as a sentence in both languages, and the Chinese text
// shows the same values as the English one.
void LogTextTest::findingTexts()
{
    QFETCH(Finding, f);
    QFETCH(bool, needsRemedy);
    QStringList englishValues[2];
    for (const QString& file : {QStringLiteral("English.qm"), kChinese}) {
        Catalogue catalogue(file);
        const QString message = CheckText::message(f), remedy = CheckText::remedy(f);
        for (const QString& text : {message, remedy}) {
            QVERIFY2(!text.contains(QLatin1String("Finding.")) && !text.contains(QLatin1String("Remedy.")),
                     qPrintable(text));
            QVERIFY2(!text.contains(kPlaceholder), qPrintable(text));
        }
        QVERIFY(!message.isEmpty());
        QCOMPARE(remedy.isEmpty(), !needsRemedy);
        if (file == QLatin1String("English.qm")) {
            englishValues[0] = valuesIn(message);
            englishValues[1] = valuesIn(remedy);
        } else {
            QCOMPARE(valuesIn(message), englishValues[0]);
            QCOMPARE(valuesIn(remedy), englishValues[1]);
        }
    }
}

void LogTextTest::refusalTexts_data()
{
    QTest::addColumn<Finding>("f");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("remedy");
    QTest::newRow("short configuration")
        << finding(FindingId::ConfigTooShort, {{"config", "/tmp/factory.cfg"}, {"size", "1000"}, {"minimum", "65536"}})
        << "Configuration file '/tmp/factory.cfg' has only 1000 bytes, fewer than the 65536 a configuration needs: "
           "it cannot be sent"
        << "choose the full configuration file (at least 65536 bytes), or clear the field";
    QTest::newRow("configuration missing")
        << finding(FindingId::ConfigMissing, {{"config", "/tmp/gone.cfg"}, {"error", "No such file or directory"}})
        << "Configuration file '/tmp/gone.cfg' cannot be found: No such file or directory"
        << "choose a readable configuration file, or clear the field";
    QTest::newRow("no icmp")
        << finding(FindingId::IcmpNone, {{"range", "1 0"}, {"program", "brelvo-tool"}})
        << "No ICMP socket can be opened (ping_group_range 1 0): the address sweep cannot run, no address can be "
           "lent and every device would be refused"
        << "give the program the right to ping: sudo setcap cap_net_raw+ep \"$(command -v brelvo-tool)\"; or allow "
           "ping for your group: sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"; or run it as root";
}

// The texts of the refusals the operator meets most, word for word.
void LogTextTest::refusalTexts()
{
    QFETCH(Finding, f);
    Catalogue english(QStringLiteral("English.qm"));
    QTEST(CheckText::message(f), "message");
    QTEST(CheckText::remedy(f), "remedy");
}

QTEST_GUILESS_MAIN(LogTextTest)
#include "LogTextTest.moc"
