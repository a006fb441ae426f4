// SPDX-License-Identifier: MIT
// The log's lines of the engine's events: every kind, and every variant the
// code chooses a text for, in both catalogues, word for word against
// expected/EventText.txt.
#include "mainwindow/EventText.h"
#include "platform/AddressText.h"
#include "UiTestSupport.h"

#include <arpa/inet.h>

#include <cerrno>

using brelvo::Event;
using brelvo::EventKind;
using brelvo::IcmpMethod;

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

} // namespace

class EventTextTest : public QObject
{
    Q_OBJECT

private slots:
    void lines()
    {
        using K = EventKind;
        QStringList names;
        std::vector<Event> events;
        const auto row = [&](const QString& name, const Event& e) { names << name, events.push_back(e); };
        for (int k = 0; k <= int(K::AskedAgain); ++k)
            row(QStringLiteral("kind %1").arg(k), Ev(K(k)).job(3).why("why"));
        row("listening", Ev(K::ListenerStarted).none(&Event::address));
        row("port taken", Ev(K::ListenerFailed).set(0, EADDRINUSE));
        row("listen failed", Ev(K::ListenerFailed).set(0, EACCES).why("bind"));
        row("sweep no icmp", Ev(K::SweepFinished).via(IcmpMethod::None));
        row("sweep failed", Ev(K::SweepFinished).set(-1));
        row("sweep none free", Ev(K::SweepFinished).set(0).via(IcmpMethod::Datagram));
        row("sweep one", Ev(K::SweepFinished).set(1));
        row("offer, none free", Ev(K::OfferSent).job(3).none(&Event::lentAddress));
        row("resent one", Ev(K::BlocksResent).job(3).set(1, 2));
        row("resent", Ev(K::BlocksResent).job(3).set(17, 3));
        row("failed, why", Ev(K::JobResult).job(3).set(0, 11).why("why"));
        row("job without row", Ev(K::JobResult).job(0).none(&Event::address).set(0, 15));
        row("served elsewhere", Ev(K::JobResult).job(3).set(0, 16));
        row("stop none", Ev(K::StopRequested).set(0));
        row("stop one", Ev(K::StopRequested).set(1));
        row("timed out", Ev(K::JobTimedOut).job(3).set(0, 5).why("why"));
        row("another tool", Ev(K::AnotherTool));
        for (const char* thread : {"listener", "transfer", "report", "console", "resolver"})
            row(thread, Ev(K::ThreadFailed).in(thread).why("out of memory"));
        row("asked again", Ev(K::AskedAgain).job(3).unit().set(17, 9));
        row("unknown kind", Ev(K(200)));
        // Text from a device or the disk is shown, never obeyed, and breaks no line.
        row("hostile", Ev(K::RequestNoFirmware).from("EV\xE2\x80\xAEIL\x1b[31m\xff", "/srv/fw\nfake line"));
        ui_test::compareInBothLanguages(QStringLiteral(BRELVO_EXPECTED_DIR "/EventText.txt"), names,
                                        [&](int r) { return QStringList{EventText::line(events[size_t(r)])}; });
    }
};

QTEST_GUILESS_MAIN(EventTextTest)
#include "EventTextTest.moc"
