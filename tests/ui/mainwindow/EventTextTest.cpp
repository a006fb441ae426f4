// SPDX-License-Identifier: MIT
// The log's lines of the engine's events. Every kind, and every variant the
// code chooses a text for, in both catalogues: no key or placeholder left,
// no control character, the Chinese line in Chinese with every value the
// English one shows. English word for word where the code chooses.
#include "mainwindow/EventText.h"
#include "platform/AddressText.h"
#include "UiTestSupport.h"

#include <QRegularExpression>

#include <arpa/inet.h>

#include <cerrno>

using brelvo::Event;
using brelvo::EventKind;
using brelvo::IcmpMethod;
Q_DECLARE_METATYPE(brelvo::Event)

namespace {

// Every field holds a value of its own, so a line shows which fields it used.
struct Ev : Event {
    explicit Ev(EventKind k)
    {
        kind = k, address = inet_addr("10.0.0.23"), port = brelvo::hostToNet16(3281);
        lentAddress = inet_addr("10.0.0.60"), jobPort = brelvo::hostToNet16(50999), value = 251, checksum = 0xBEEF;
        options = 3, icmp = IcmpMethod::Raw, productCode = "ABCDEFG", path = "/srv/fw";
    }
    Ev& set(int64_t v, int c = 0) { return value = v, code = c, *this; }
    Ev& job(int r) { return row = r, jobId = 12, *this; }
    Ev& why(const char* d) { return detail = d, *this; }
    Ev& via(IcmpMethod m) { return icmp = m, *this; }
    Ev& unit() { return mac = 0xa0b1c2d3e4f5, *this; }
    Ev& in(const char* t) { return thread = t, *this; }
    Ev& from(const char* product, const char* folder) { return productCode = product, path = folder, *this; }
    Ev& none(uint32_t Event::*field) { return this->*field = 0, *this; }
};

const char* const kValues[] = {"10.0.0.23", "3281", "ABCDEFG", "/srv/fw", "10.0.0.60", "50999", "251", "17", "12",
                               "0x0000beef", "#03", "(why)", "Address already in use", "Permission denied",
                               "No space left on device", "raw", "datagram", "cap_net_raw", "ping_group_range",
                               "a0:b1:c2:d3:e4:f5"};

} // namespace

class EventTextTest : public QObject
{
    Q_OBJECT

private slots:
    void lines_data()
    {
        using K = EventKind;
        QTest::addColumn<Event>("e");
        QTest::addColumn<QString>("english");  // empty: not compared
        for (int k = 0; k <= int(K::AskedAgain); ++k)
            QTest::addRow("kind %d", k) << Event(Ev(K(k)).job(3).why("why")) << QString();
        const auto row = [](const char* name, const Event& e, const char* english) {
            QTest::newRow(name) << e << QString::fromUtf8(english);
        };
        row("listening", Ev(K::ListenerStarted).none(&Event::address), "Listening on UDP port 3281");
        row("listening on", Ev(K::ListenerStarted), "Listening on UDP port 3281 of 10.0.0.23");
        row("port taken", Ev(K::ListenerFailed).set(0, EADDRINUSE),
            "Cannot listen on UDP port 3281 (Address already in use): another copy of the tool or another program "
            "holds it");
        row("listen failed", Ev(K::ListenerFailed).set(0, EACCES).why("bind"),
            "Cannot listen on UDP port 3281: Permission denied (bind)");
        row("sweep no icmp", Ev(K::SweepFinished).via(IcmpMethod::None),
            "Address sweep could not ping (no ICMP socket): no address can be lent; run as root, give the program "
            "cap_net_raw or allow unprivileged ping (net.ipv4.ping_group_range)");
        row("sweep failed", Ev(K::SweepFinished).set(-1),
            "Address sweep could not run (ICMP: raw): no address can be lent");
        row("sweep none free", Ev(K::SweepFinished).set(0).via(IcmpMethod::Datagram),
            "Address sweep found no free address (ICMP: datagram): no address can be lent");
        row("sweep one", Ev(K::SweepFinished).set(1), "Address sweep found 1 free address (ICMP: raw)");
        row("sweep many", Ev(K::SweepFinished), "Address sweep found 251 free addresses (ICMP: raw)");
        row("matched", Ev(K::RequestMatched).job(3), "#03 10.0.0.23 asked for ABCDEFG: sending /srv/fw");
        row("offer", Ev(K::OfferSent).job(3), "#03 10.0.0.23: offer sent, lent address 10.0.0.60, job port 50999");
        row("offer, none free", Ev(K::OfferSent).job(3).none(&Event::lentAddress),
            "#03 10.0.0.23: offer sent without an address (none free), job port 50999");
        row("resent one", Ev(K::BlocksResent).job(3).set(1, 2), "#03 10.0.0.23: pass 2: 1 block sent again");
        row("resent", Ev(K::BlocksResent).job(3).set(17, 3), "#03 10.0.0.23: pass 3: 17 blocks sent again");
        row("end", Ev(K::EndSent).job(3), "#03 10.0.0.23: End sent: checksum 0x0000beef, options 3");
        row("failed, why", Ev(K::JobResult).job(3).set(0, 11).why("why"), "#03 10.0.0.23: Network Error! (why)");
        row("job without row", Ev(K::JobResult).job(0).none(&Event::address).set(0, 15), "job 12: Stopped");
        row("served elsewhere", Ev(K::JobResult).job(3).set(0, 16), "#03 10.0.0.23: Served by Another Tool");
        row("another tool", Ev(K::AnotherTool),
            "Another tool at 10.0.0.23 answers devices on this network (it offered 10.0.0.60 to a device on port 3281); "
            "the addresses it offers are not lent here");
        row("stop none", Ev(K::StopRequested).set(0), "Stop: no device was being updated");
        row("stop one", Ev(K::StopRequested).set(1), "Stop: 1 unfinished job asked to end");
        row("stop many", Ev(K::StopRequested), "Stop: 251 unfinished jobs asked to end");
        row("timed out", Ev(K::JobTimedOut).job(3).set(0, 5).why("why"),
            "#03 10.0.0.23: timed out at \"Sending Data\" (why)");
        for (const char* thread : {"listener", "transfer", "report", "console", "resolver"})
            row(thread, Ev(K::ThreadFailed).in(thread).why("why"), "");
        row("listener died", Ev(K::ThreadFailed).in("listener").why("out of memory"),
            "The listener thread failed: no more requests are heard on UDP port 3281 (out of memory)");
        row("asked again", Ev(K::AskedAgain).job(3).unit().set(17, 9),
            "#03 10.0.0.23 (a0:b1:c2:d3:e4:f5): a0:b1:c2:d3:e4:f5 asked again: previous result Update Complete! (job 17)");
        row("mac unknown", Ev(K::MacUnknown).job(3).why("why"), "#03 10.0.0.23: hardware address unknown (why)");
        row("unknown kind", Ev(K(200)), "Unknown event 200");
        // Text from a device or the disk is shown, never obeyed, and breaks no line.
        row("hostile", Ev(K::RequestNoFirmware).from("EV\xE2\x80\xAEIL\x1b[31m\xff", "/srv/fw\nfake line"),
            "10.0.0.23 asked for EV\\u202eIL\\x1b[31m\\xff: no firmware for it in /srv/fw\\nfake line");
    }

    void lines()
    {
        QFETCH(Event, e);
        QFETCH(QString, english);
        QString shown[2];
        for (int i = 0; i < 2; ++i) {
            ui_test::Catalogue catalogue(i == 0 ? QStringLiteral("English.qm") : QString::fromUtf8(u8"简体中文.qm"));
            shown[i] = EventText::line(e);
            QVERIFY2(!shown[i].contains(QRegularExpression(QStringLiteral("^Log\\.|%\\d"))), qPrintable(shown[i]));
            for (QChar c : shown[i])
                QVERIFY2(c >= QLatin1Char(' ') && c != QChar(0x202e) && c != QChar(0xfffd), qPrintable(shown[i]));
        }
        if (!english.isEmpty())
            QCOMPARE(shown[0], english);
        QVERIFY2(shown[1].contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]"))), qPrintable(shown[1]));
        for (const char* v : kValues)
            QVERIFY2(!shown[0].contains(QLatin1String(v)) || shown[1].contains(QLatin1String(v)),
                     qPrintable(QStringLiteral("%1 missing in: %2").arg(QLatin1String(v), shown[1])));
    }
};

QTEST_GUILESS_MAIN(EventTextTest)
#include "EventTextTest.moc"
