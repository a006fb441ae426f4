// SPDX-License-Identifier: MIT
// Every event kind as a log line and as a JSON line, and hostile text in
// every field of every kind.
#include "EnvironmentScope.h"
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

TEST(EventFormat, EveryKindAsTextAndJson)
{
    brelvo_test::EnvironmentScope utc("TZ", "UTC0");
    const std::string t = "{\"time\":\"2026-12-07T01:41:05.123+00:00\",\"event\":";
    struct Case {
        Event event;
        std::string text, json;
    };
    const Case cases[] = {
        {with(make(EventKind::ListenerStarted), [](Event& e) { e.port = hostToNet16(3281); }),
         "Listening on UDP port 3281", t + "\"listener_started\",\"severity\":\"info\",\"port\":3281}"},
        {with(make(EventKind::ListenerFailed), [](Event& e) { e.port = hostToNet16(3281), e.code = kPortTaken, e.detail = "bind"; }),
         "Cannot listen on UDP port 3281: " + errorTextEnglish(kPortTaken) + " (bind); another copy of the tool or another "
         "program holds UDP port 3281",
         t + "\"listener_failed\",\"severity\":\"failure\",\"port\":3281,\"code\":" + std::to_string(kPortTaken) +
             ",\"error\":\"" + errorTextEnglish(kPortTaken) + "\",\"detail\":\"bind\"}"},
        {with(make(EventKind::ListenerFailed), [](Event& e) { e.port = hostToNet16(3281), e.code = EACCES; }),
         "Cannot listen on UDP port 3281: Permission denied",
         t + "\"listener_failed\",\"severity\":\"failure\",\"port\":3281,\"code\":13,\"error\":\"Permission denied\"}"},
        {with(make(EventKind::SweepFinished), [](Event& e) { e.value = 187, e.icmp = IcmpMethod::Raw; }),
         "Address sweep found 187 free addresses (ICMP: raw)",
         t + "\"sweep_finished\",\"severity\":\"info\",\"value\":187,\"icmp\":\"raw\"}"},
        {with(make(EventKind::SweepFinished), [](Event& e) { e.value = 1, e.icmp = IcmpMethod::Datagram; }),
         "Address sweep found 1 free address (ICMP: datagram)",
         t + "\"sweep_finished\",\"severity\":\"info\",\"value\":1,\"icmp\":\"datagram\"}"},
        {with(make(EventKind::SweepFinished), [](Event& e) { e.value = 0, e.icmp = IcmpMethod::Service; }),
         "Address sweep found 0 free addresses (ICMP: service): no address can be lent",
         t + "\"sweep_finished\",\"severity\":\"warning\",\"value\":0,\"icmp\":\"service\"}"},
        {with(make(EventKind::SweepFinished), [](Event& e) { e.value = -1; }),
         "Address sweep could not ping (ICMP: none): no address can be lent; run as root, give the program "
         "cap_net_raw or allow unprivileged ping (net.ipv4.ping_group_range)",
         t + "\"sweep_finished\",\"severity\":\"warning\",\"value\":-1,\"icmp\":\"none\"}"},
        {device(make(EventKind::RequestReceived)), "10.0.0.23 asked for ABCDEFG",
         t + "\"request_received\",\"severity\":\"info\",\"device\":\"10.0.0.23:5000\",\"product\":\"ABCDEFG\"}"},
        {with(device(make(EventKind::RequestMatched, 7, 3)), [](Event& e) { e.path = "/srv/fw/kvx_ABCDEFG.bin"; }),
         "#03 10.0.0.23 asked for ABCDEFG: sending /srv/fw/kvx_ABCDEFG.bin",
         t + "\"request_matched\",\"severity\":\"info\",\"job\":7,\"row\":3,\"device\":\"10.0.0.23:5000\","
             "\"product\":\"ABCDEFG\",\"path\":\"/srv/fw/kvx_ABCDEFG.bin\"}"},
        {with(device(make(EventKind::RequestNoFirmware)), [](Event& e) { e.path = "/srv/fw"; }),
         "10.0.0.23 asked for ABCDEFG: no firmware for it in /srv/fw",
         t + "\"request_no_firmware\",\"severity\":\"warning\",\"device\":\"10.0.0.23:5000\",\"product\":\"ABCDEFG\","
             "\"path\":\"/srv/fw\"}"},
        {device(make(EventKind::RequestTableFull)),
         "10.0.0.23 asked for ABCDEFG: the device table is full (100 devices); finished devices must be cleared to make room",
         t + "\"request_table_full\",\"severity\":\"warning\",\"device\":\"10.0.0.23:5000\",\"product\":\"ABCDEFG\"}"},
        {with(device(make(EventKind::RequestMalformed), "10.0.0.23", 5000, ""), [](Event& e) { e.value = 13, e.detail = "too short"; }),
         "10.0.0.23: malformed request of 13 bytes ignored (too short)",
         t + "\"request_malformed\",\"severity\":\"warning\",\"device\":\"10.0.0.23:5000\",\"value\":13,"
             "\"detail\":\"too short\"}"},
        {with(device(make(EventKind::OfferSent, 7, 3)), [](Event& e) {
             e.lentAddress = addressFromText("10.0.0.200"), e.jobPort = hostToNet16(40123);
         }),
         "#03 10.0.0.23: offer sent, lent address 10.0.0.200, job port 40123",
         t + "\"offer_sent\",\"severity\":\"info\",\"job\":7,\"row\":3,\"device\":\"10.0.0.23:5000\","
             "\"lent\":\"10.0.0.200\",\"job_port\":40123}"},
        {with(make(EventKind::OfferSent, 8, 4), [](Event& e) { e.jobPort = hostToNet16(40124); }),
         "#04: offer sent without an address (none free), job port 40124",
         t + "\"offer_sent\",\"severity\":\"warning\",\"job\":8,\"row\":4,\"lent\":\"0.0.0.0\",\"job_port\":40124}"},
        {with(make(EventKind::SizeSent, 7, 3), [](Event& e) { e.value = 1048576; }),
         "#03: image size sent: 1048576 bytes",
         t + "\"size_sent\",\"severity\":\"info\",\"job\":7,\"row\":3,\"value\":1048576}"},
        {with(make(EventKind::BlockPhaseStarted, 7), [](Event& e) { e.value = 1024; }),
         "job 7: sending 1024 blocks", t + "\"block_phase_started\",\"severity\":\"info\",\"job\":7,\"value\":1024}"},
        {with(make(EventKind::BlocksResent, 7, 3), [](Event& e) { e.value = 1, e.code = 2; }),
         "#03: pass 2: 1 block sent again",
         t + "\"blocks_resent\",\"severity\":\"info\",\"job\":7,\"row\":3,\"code\":2,\"value\":1}"},
        {with(make(EventKind::EndSent, 7, 3), [](Event& e) { e.checksum = 0x00ab12cd, e.options = 3; }),
         "#03: End sent: checksum 0x00ab12cd, options 3",
         t + "\"end_sent\",\"severity\":\"info\",\"job\":7,\"row\":3,\"checksum\":\"0x00ab12cd\",\"options\":3}"},
        {with(make(EventKind::DeviceWriting, 7, 3), [](Event& e) { e.value = 45; }),
         "#03: device writing, 45%", t + "\"device_writing\",\"severity\":\"info\",\"job\":7,\"row\":3,\"value\":45}"},
        {with(device(make(EventKind::JobResult, 7, 3), "10.213.7.50", 6000), [](Event& e) { e.code = 9; }),
         "#03 10.213.7.50: Update Complete!",
         t + "\"job_result\",\"severity\":\"info\",\"job\":7,\"row\":3,\"device\":\"10.213.7.50:6000\",\"code\":9,"
             "\"status\":\"Update Complete!\"}"},
        {with(device(make(EventKind::JobResult, 9, 12), "10.213.7.51", 6000), [](Event& e) {
             e.code = 13, e.detail = "cannot read /srv/fw/kvx_X-ver.bin";
         }),
         "#12 10.213.7.51: Open Failed! (cannot read /srv/fw/kvx_X-ver.bin)",
         t + "\"job_result\",\"severity\":\"failure\",\"job\":9,\"row\":12,\"device\":\"10.213.7.51:6000\",\"code\":13,"
             "\"status\":\"Open Failed!\",\"detail\":\"cannot read /srv/fw/kvx_X-ver.bin\"}"},
        {with(make(EventKind::JobResult, 9, 100), [](Event& e) { e.code = 15; }), "#100: Stopped",
         t + "\"job_result\",\"severity\":\"warning\",\"job\":9,\"row\":100,\"code\":15,\"status\":\"Stopped\"}"},
        {with(make(EventKind::StopRequested), [](Event& e) { e.value = 3; }), "Stop: 3 jobs asked to end",
         t + "\"stop_requested\",\"severity\":\"info\",\"value\":3}"},
        {with(device(make(EventKind::JobTimedOut, 7, 3)), [](Event& e) { e.code = 5, e.detail = "40 s without an answer"; }),
         "#03 10.0.0.23: timed out at \"Sending Data\" (40 s without an answer)",
         t + "\"job_timed_out\",\"severity\":\"failure\",\"job\":7,\"row\":3,\"device\":\"10.0.0.23:5000\",\"code\":5,"
             "\"status\":\"Sending Data\",\"detail\":\"40 s without an answer\"}"},
        {with(make(EventKind::ReportFailed), [](Event& e) { e.path = "/tmp/x/file.txt", e.code = ENOTDIR, e.detail = "making its folder"; }),
         "Run report: cannot write /tmp/x/file.txt: Not a directory (making its folder); the run goes on",
         t + "\"report_failed\",\"severity\":\"failure\",\"code\":20,\"error\":\"Not a directory\","
             "\"path\":\"/tmp/x/file.txt\",\"detail\":\"making its folder\"}"},
        {with(make(EventKind::ThreadFailed), [](Event& e) { e.thread = "listener", e.detail = "out of memory"; }),
         "The listener thread failed (out of memory): no more requests are heard on UDP port 3281; start again to "
         "serve",
         t + "\"thread_failed\",\"severity\":\"failure\",\"detail\":\"out of memory\",\"thread\":\"listener\"}"},
        {with(make(EventKind::AnotherTool), [](Event& e) {
             e.address = addressFromText("10.0.0.5"), e.lentAddress = addressFromText("10.0.0.200");
             e.port = hostToNet16(5000);
         }),
         "Another tool at 10.0.0.5 answers devices on this network (it offered 10.0.0.200 to a device on port 5000); "
         "the addresses it offers are not lent here",
         t + "\"another_tool\",\"severity\":\"warning\",\"lent\":\"10.0.0.200\",\"port\":5000,\"tool\":\"10.0.0.5\"}"},
        {with(device(make(EventKind::MacLearnt, 7, 3), "10.213.7.50", 6000), [](Event& e) { e.mac = 0x02000ad50732; }),
         "#03 10.213.7.50 (02:00:0a:d5:07:32): hardware address learnt",
         t + "\"mac_learnt\",\"severity\":\"info\",\"job\":7,\"row\":3,\"device\":\"10.213.7.50:6000\","
             "\"mac\":\"02:00:0a:d5:07:32\"}"},
        {with(make(EventKind::MacUnknown, 7), [](Event& e) { e.detail = "no entry"; }),
         "job 7: hardware address unknown (no entry)",
         t + "\"mac_unknown\",\"severity\":\"info\",\"job\":7,\"detail\":\"no entry\"}"},
        {with(make(EventKind::AskedAgain, 9, 4), [](Event& e) { e.mac = 0xa0b1c2d3e4f5, e.code = 7, e.value = 2; }),
         "#04 (a0:b1:c2:d3:e4:f5): a0:b1:c2:d3:e4:f5 asked again: previous result Verification Failed! (job 2)",
         t + "\"asked_again\",\"severity\":\"warning\",\"job\":9,\"row\":4,\"mac\":\"a0:b1:c2:d3:e4:f5\","
             "\"code\":7,\"status\":\"Verification Failed!\",\"value\":2}"},
    };
    int kindsSeen = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(eventKindName(c.event.kind));
        EXPECT_EQ(formatEventText(c.event), c.text);
        EXPECT_EQ(formatEventJson(c.event), c.json);
        kindsSeen |= 1 << static_cast<int>(c.event.kind);
    }
    EXPECT_EQ(kindsSeen, (1 << (static_cast<int>(EventKind::AskedAgain) + 1)) - 1) << "a kind has no row";
}

TEST(EventFormat, HostileTextIsShownNotObeyed)
{
    brelvo_test::EnvironmentScope utc("TZ", "UTC0");
    const std::string code = std::string("\xE2\x80\xAE" "1\x1b[2J\r\n\"\\\xFF", 13);
    Event e = device(make(EventKind::RequestNoFirmware), "10.0.0.23", 5000, code);
    e.path = "/srv/fw\n/evil";
    e.detail = "gone\n\x1b[2J";
    EXPECT_EQ(formatEventText(e), "10.0.0.23 asked for \\u202e1\\x1b[2J\\r\\n\"\\\\\\xff: no firmware for it in "
                                  "/srv/fw\\n/evil (gone\\n\\x1b[2J)");
    const std::string json = formatEventJson(e);
    EXPECT_EQ(json, "{\"time\":\"2026-12-07T01:41:05.123+00:00\",\"event\":\"request_no_firmware\","
                    "\"severity\":\"warning\",\"device\":\"10.0.0.23:5000\","
                    "\"product\":\"\\u202e1\\u001b[2J\\r\\n\\\"\\\\\xEF\xBF\xBD\",\"product_hex\":\"e280ae311b5b324a0d0a225cff\","
                    "\"path\":\"/srv/fw\\n/evil\",\"detail\":\"gone\\n\\u001b[2J\"}");
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
