// SPDX-License-Identifier: MIT
// Every event kind as a log line and as a JSON line, and hostile text in
// every field of every kind.
#include "EnvironmentScope.h"
#include "ExpectedText.h"
#include "JsonCheck.h"
#include "platform/AddressText.h"
#include "platform/ErrorText.h"
#include "record/EventFormat.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace brelvo;

namespace {

Event make(EventKind kind, uint64_t job = 0, int row = 0)
{
    Event e;
    e.kind = kind;
    e.wallTimeMs = 1796607665123; // 2026-12-07T01:41:05.123Z
    e.jobId = job;
    e.row = row;
    e.severity = severityOf(e);
    return e;
}

Event device(Event e, const char* address = "10.0.0.23", uint16_t port = 5000, const std::string& code = "ABCDEFG")
{
    e.address = addressFromText(address);
    e.port = hostToNet16(port);
    e.productCode = code;
    return e;
}

template <typename F>
Event with(Event e, F change)
{
    change(e);
    e.severity = severityOf(e);
    return e;
}

} // namespace

// What a socket reports for a port in use: errno, or Windows Sockets' code.
#ifdef _WIN32
constexpr int kPortTaken = 10048;
#else
constexpr int kPortTaken = EADDRINUSE;
#endif

// Every kind as a log line and a JSON line: expected/event-lines.txt holds
// the two lines of each row in turn.
TEST(EventFormat, EveryKindAsTextAndJson)
{
    brelvo_test::EnvironmentScope utc("TZ", "UTC0");
    const Event cases[] = {
        with(make(EventKind::ListenerStarted), [](Event& e) { e.port = hostToNet16(3281); }),
        with(make(EventKind::ListenerFailed), [](Event& e) { e.port = hostToNet16(3281), e.code = EACCES; }),
        with(make(EventKind::SweepFinished), [](Event& e) { e.value = 187, e.icmp = IcmpMethod::Raw; }),
        with(make(EventKind::SweepFinished), [](Event& e) { e.value = 1, e.icmp = IcmpMethod::Datagram; }),
        with(make(EventKind::SweepFinished), [](Event& e) { e.value = 0, e.icmp = IcmpMethod::Service; }),
        with(make(EventKind::SweepFinished), [](Event& e) { e.value = -1; }),
        device(make(EventKind::RequestReceived)),
        with(device(make(EventKind::RequestMatched, 7, 3)), [](Event& e) { e.path = "/srv/fw/kvx_ABCDEFG.bin"; }),
        with(device(make(EventKind::RequestNoFirmware)), [](Event& e) { e.path = "/srv/fw"; }),
        device(make(EventKind::RequestTableFull)),
        with(device(make(EventKind::RequestMalformed), "10.0.0.23", 5000, ""), [](Event& e) { e.value = 13, e.detail = "too short"; }),
        with(device(make(EventKind::OfferSent, 7, 3)), [](Event& e) {
            e.lentAddress = addressFromText("10.0.0.200"), e.jobPort = hostToNet16(40123);
        }),
        with(make(EventKind::OfferSent, 8, 4), [](Event& e) { e.jobPort = hostToNet16(40124); }),
        with(make(EventKind::SizeSent, 7, 3), [](Event& e) { e.value = 1048576; }),
        with(make(EventKind::BlockPhaseStarted, 7), [](Event& e) { e.value = 1024; }),
        with(make(EventKind::BlocksResent, 7, 3), [](Event& e) { e.value = 1, e.code = 2; }),
        with(make(EventKind::EndSent, 7, 3), [](Event& e) { e.checksum = 0x00ab12cd, e.options = 3; }),
        with(make(EventKind::DeviceWriting, 7, 3), [](Event& e) { e.value = 45; }),
        with(device(make(EventKind::JobResult, 7, 3), "10.213.7.50", 6000), [](Event& e) { e.code = 9; }),
        with(device(make(EventKind::JobResult, 9, 12), "10.213.7.51", 6000), [](Event& e) {
            e.code = 13, e.detail = "cannot read /srv/fw/kvx_X-ver.bin";
        }),
        with(make(EventKind::JobResult, 9, 100), [](Event& e) { e.code = 15; }),
        with(make(EventKind::StopRequested), [](Event& e) { e.value = 3; }),
        with(device(make(EventKind::JobTimedOut, 7, 3)), [](Event& e) { e.code = 5, e.detail = "40 s without an answer"; }),
        with(make(EventKind::ReportFailed), [](Event& e) { e.path = "/tmp/x/file.txt", e.code = ENOTDIR, e.detail = "making its folder"; }),
        with(make(EventKind::ThreadFailed), [](Event& e) { e.thread = "listener", e.detail = "out of memory"; }),
        with(make(EventKind::AnotherTool), [](Event& e) {
            e.address = addressFromText("10.0.0.5"), e.lentAddress = addressFromText("10.0.0.200");
            e.port = hostToNet16(5000);
        }),
        with(device(make(EventKind::MacLearnt, 7, 3), "10.213.7.50", 6000), [](Event& e) { e.mac = 0x02000ad50732; }),
        with(make(EventKind::MacUnknown, 7), [](Event& e) { e.detail = "no entry"; }),
        with(make(EventKind::AskedAgain, 9, 4), [](Event& e) { e.mac = 0xa0b1c2d3e4f5, e.code = 7, e.value = 2; }),
    };
    std::string lines;
    int kindsSeen = 0;
    for (const Event& e : cases) {
        lines += formatEventText(e) + "\n" + formatEventJson(e) + "\n";
        kindsSeen |= 1 << static_cast<int>(e.kind);
    }
    EXPECT_EQ(brelvo_test::expectedFileDiff(BRELVO_EXPECTED_DIR "/event-lines.txt", lines), "");
    EXPECT_EQ(kindsSeen, (1 << (static_cast<int>(EventKind::AskedAgain) + 1)) - 1) << "a kind has no row";

    // The system's own text for a port in use differs between systems.
    const Event taken = with(make(EventKind::ListenerFailed), [](Event& e) {
        e.port = hostToNet16(3281), e.code = kPortTaken, e.detail = "bind";
    });
    EXPECT_EQ(formatEventText(taken), "Cannot listen on UDP port 3281: " + errorTextEnglish(kPortTaken) +
                                          " (bind); another copy of the tool or another program holds UDP port 3281");
    EXPECT_EQ(formatEventJson(taken), "{\"time\":\"2026-12-07T01:41:05.123+00:00\",\"event\":\"listener_failed\","
                                      "\"severity\":\"failure\",\"port\":3281,\"code\":" + std::to_string(kPortTaken) +
                                          ",\"error\":\"" + errorTextEnglish(kPortTaken) + "\",\"detail\":\"bind\"}");
}

TEST(EventFormat, HostileTextIsShownNotObeyed)
{
    brelvo_test::EnvironmentScope utc("TZ", "UTC0");
    const std::string code = std::string("\xE2\x80\xAE" "1\x1b[2J\r\n\"\\\xFF", 13);
    Event e = device(make(EventKind::RequestNoFirmware), "10.0.0.23", 5000, code);
    e.path = "/srv/fw\n/evil";
    e.detail = "gone\n\x1b[2J";
    // expected/event-hostile.txt: the line and the JSON line, escaped.
    const std::string json = formatEventJson(e);
    EXPECT_EQ(brelvo_test::expectedFileDiff(BRELVO_EXPECTED_DIR "/event-hostile.txt", formatEventText(e) + "\n" + json + "\n"), "");
    EXPECT_TRUE(brelvo_test::JsonCheck().object(json));

    // Every string field of every kind stays one valid JSON line.
    for (int k = 0; k <= static_cast<int>(EventKind::AskedAgain); ++k) {
        Event h = device(make(static_cast<EventKind>(k), 5, 2), "10.0.0.9", 1, code);
        h.path = h.thread = code;
        h.detail = code;
        EXPECT_TRUE(brelvo_test::JsonCheck().object(formatEventJson(h))) << formatEventJson(h);
        const std::string text = formatEventText(h);
        EXPECT_EQ(text.find_first_of("\r\n\x1b"), std::string::npos) << text;
        EXPECT_EQ(text.find("\xE2\x80\xAE"), std::string::npos) << text;
    }
}
