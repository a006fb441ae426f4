// SPDX-License-Identifier: MIT
// What a run leaves on record, over real sockets: the event stream of each
// kind of request and the report's row for each device, field by field,
// hostile product codes included.

#include "IntegrationHelpers.h"
#include "platform/AddressText.h"
#include "platform/HostName.h"
#include "platform/NeighbourTable.h"
#include "record/Event.h"
#include "record/EventFormat.h"

#include <regex>

using namespace brelvo_it;
using brelvo::Event;
using brelvo::EventKind;

namespace {

struct Collected {
    std::vector<Event> events;
    std::vector<Event> of(uint64_t job) const
    {
        std::vector<Event> out;
        for (const Event& e : events)
            if (e.jobId == job)
                out.push_back(e);
        return out;
    }
    const Event* first(EventKind kind) const
    {
        for (const Event& e : events)
            if (e.kind == kind)
                return &e;
        return nullptr;
    }
};

} // namespace

TEST(Record, EventsAndReportRowsOfASuccessACheckFailureATimeOutAndAHostileCode)
{
    BRELVO_REQUIRE_NETNS(env);
    ASSERT_GE(env.devAddrs.size(), 5u);
    ASSERT_EQ(env.devMacs.size(), env.devAddrs.size()) << "needs with-netns.sh --device-macs";
    FirmwareFolder fw(20 * 1024);
    // A product code that would break a naive report: a formula, a comma,
    // quotes, bytes that are not UTF-8 and a right-to-left override.
    const std::string hostile = "=1+1,\"q\"\xff\xe2\x80\xae";
    fw.dir.writeBytes("kvx_HOSTILE.bin", fw.image);
    fw.dir.writeText("kvx_HOSTILE-ver.bin", "product=" + hostile + "\nchecksum=" + std::to_string(brelvo_test::wordSum(fw.image)) + "\n");
    const std::string report = fw.dir.file("run.csv");

    brelvo::UpdateServer server;
    brelvo::ServerSettings settings;
    settings.firmwareDir = fw.dir.path();
    settings.localAddress = env.toolAddr;
    settings.options = 3;
    settings.reportPath = report;
    ASSERT_EQ(server.start(settings), 0);
    ASSERT_TRUE(waitFor([] { return brelvo_test::udpPortBound(3281); }, 5s));
    Collected got;
    auto collect = [&] { server.takeEvents(got.events); };

    // The silent one first: its forty seconds run while the others finish.
    auto silent = brelvo_test::runProcess(devsimCommand(env, {"--bind", env.devAddrs[0], "--stop-after", "offer"}), 60s);
    ASSERT_EQ(silent.exitCode, 0) << silent.output;
    auto ok = brelvo_test::runProcess(devsimCommand(env, {"--bind", env.devAddrs[1], "--expect-image", fw.imagePath}), 60s);
    ASSERT_EQ(ok.exitCode, 0) << ok.output;
    auto bad = brelvo_test::runProcess(devsimCommand(env, {"--bind", env.devAddrs[2], "--result", "check-failed"}), 60s);
    std::vector<std::string> hostileArgs{env.devsim, "--product", hostile, "--tool", env.toolAddr, "--bind", env.devAddrs[3]};
    auto odd = brelvo_test::runProcess(brelvo_test::inDeviceNamespace(env, hostileArgs), 60s);
    ASSERT_EQ(odd.exitCode, 0) << odd.output;
    std::vector<std::string> unmatchedArgs{env.devsim, "--product", "NOFIRMW", "--tool", env.toolAddr, "--bind",
                                           env.devAddrs[4], "--expect-no-offer", "--offer-timeout", "1500"};
    brelvo_test::runProcess(brelvo_test::inDeviceNamespace(env, unmatchedArgs), 30s);
    // A device on this machine: no neighbour knows its hardware address.
    auto local = brelvo_test::runProcess({env.devsim, "--product", kProduct, "--tool", env.toolAddr, "--bind", env.toolAddr}, 60s);
    ASSERT_EQ(local.exitCode, 0) << local.output;
    ASSERT_EQ(server.jobCount(), 5);
    auto timedOut = server.jobAt(0);
    ASSERT_TRUE(waitFor([&] { return timedOut->workerEnded(); }, 50s));
    ASSERT_TRUE(server.flushReports());
    collect();

    // The stream: the listener, the sweep, then each request with its fate.
    ASSERT_TRUE(got.first(EventKind::ListenerStarted));
    const Event* sweep = got.first(EventKind::SweepFinished);
    ASSERT_TRUE(sweep);
    EXPECT_EQ(sweep->icmp, brelvo::IcmpMethod::Raw);
    EXPECT_GT(sweep->value, 100);
    const std::vector<EventKind> road = {EventKind::RequestMatched, EventKind::OfferSent, EventKind::SizeSent,
                                         EventKind::BlockPhaseStarted, EventKind::EndSent, EventKind::JobResult};
    std::vector<EventKind> seen;
    for (const Event& e : got.of(server.jobAt(1)->id()))
        if (e.kind != EventKind::MacLearnt) // told from another thread: anywhere after the first block
            seen.push_back(e.kind);
    EXPECT_EQ(seen, road);
    const Event* unmatched = got.first(EventKind::RequestNoFirmware);
    ASSERT_TRUE(unmatched);
    EXPECT_EQ(unmatched->productCode, "NOFIRMW");
    EXPECT_EQ(unmatched->path, fw.dir.path());
    EXPECT_EQ(brelvo::addressToText(unmatched->address), env.devAddrs[4]);
    for (const Event& e : got.events)
        EXPECT_NE(e.wallTimeMs, 0) << int(e.kind);
    const auto timeouts = got.of(timedOut->id());
    ASSERT_FALSE(timeouts.empty());
    EXPECT_EQ(timeouts.back().kind, EventKind::JobResult);
    EXPECT_EQ(timeouts.back().code, brelvo::TransferTimeout);
    EXPECT_EQ(timeouts[timeouts.size() - 2].kind, EventKind::JobTimedOut);

    // The report: a header and one row per job, in the order they ended.
    const auto rows = parseCsv(brelvo_test::readText(report));
    ASSERT_EQ(rows.size(), 6u) << brelvo_test::readText(report);
    EXPECT_EQ(rows[0][0], "started");
    EXPECT_EQ(rows[0].size(), 16u);
    std::map<std::string, std::vector<std::string>> byDevice;
    for (size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 16u) << "row " << i;
        byDevice[rows[i][2].substr(0, rows[i][2].find(':'))] = rows[i];
    }
    const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");
    const std::string sum = [&] {
        char s[16];
        std::snprintf(s, sizeof s, "0x%08x", brelvo_test::wordSum(fw.image));
        return std::string(s);
    }();
    struct Want {
        const char* code;
        const char* text;
        std::string device;
        std::string bytes;
        std::string mac; // empty: the device never answered, or has none to learn
    };
    const Want wants[] = {{"9", "Update Complete!", env.devAddrs[1], std::to_string(fw.image.size()), env.devMacs[1]},
                          {"7", "Verification Failed!", env.devAddrs[2], std::to_string(fw.image.size()), env.devMacs[2]},
                          {"14", "Timeout!", env.devAddrs[0], "0", ""},
                          {"9", "Update Complete!", env.toolAddr, std::to_string(fw.image.size()), ""}};
    for (const Want& w : wants) {
        ASSERT_TRUE(byDevice.count(w.device)) << "no row for " << w.device;
        const auto& r = byDevice[w.device];
        EXPECT_TRUE(std::regex_match(r[0], iso) && std::regex_match(r[1], iso) && r[0] <= r[1]) << r[0] << " " << r[1];
        EXPECT_EQ(r[10], w.code);
        EXPECT_EQ(r[3], kProduct);
        EXPECT_EQ(r[4].rfind("10.213.7.", 0), 0u) << r[4];
        EXPECT_EQ(r[5], fw.imagePath);
        EXPECT_EQ(r[6], w.bytes);
        EXPECT_EQ(r[7], sum);
        EXPECT_EQ(r[8], "3");
        EXPECT_EQ(r[9], "");
        EXPECT_EQ(r[11], w.text);
        EXPECT_EQ(r[12], "0");
        EXPECT_GT(std::atof(r[13].c_str()), 0.0);
        EXPECT_EQ(r[14], w.mac) << w.device;
        EXPECT_EQ(r[15], brelvo::hostName());
        // Its log lines: the hardware address once learnt, or once why there is none.
        std::string log;
        for (const Event& e : got.events)
            if (e.jobId != 0 && brelvo::addressToText(e.address) == w.device)
                log += brelvo::formatEventText(e) + "\n";
        if (!w.mac.empty())
            EXPECT_NE(log.find(w.device + " (" + w.mac + "): hardware address learnt"), std::string::npos) << log;
        else
            EXPECT_EQ(log.find(w.device + " ("), std::string::npos) << log;
    }
    // Where the address cannot be known the log says why, once.
    int unknown = 0;
    for (const Event& e : got.events)
        unknown += e.kind == EventKind::MacUnknown;
    EXPECT_EQ(unknown, 1);
    const Event* why = got.first(EventKind::MacUnknown);
    ASSERT_TRUE(why);
    EXPECT_EQ(brelvo::formatEventText(*why).substr(3), " " + env.toolAddr + ": hardware address unknown (" + env.toolAddr + " is an address of this machine)");
    EXPECT_GE(std::atof(byDevice[env.devAddrs[0]][13].c_str()), 39.0) << "the silent device was given its forty seconds";
    // The hostile code: one cell that no spreadsheet runs, valid UTF-8,
    // nothing lost but the bytes that were never text.
    bool found = false;
    for (size_t i = 1; i < rows.size(); ++i) {
        if (rows[i][3].find("1+1") == std::string::npos)
            continue;
        found = true;
        EXPECT_EQ(rows[i][3][0], '\'') << rows[i][3];
        EXPECT_NE(rows[i][3].find("\"q\""), std::string::npos);
        EXPECT_NE(rows[i][3].find("\xef\xbf\xbd"), std::string::npos) << "the stray byte became U+FFFD";
        EXPECT_EQ(rows[i][3].find('\xff'), std::string::npos);
        EXPECT_EQ(rows[i][3].find("\xe2\x80\xae"), std::string::npos) << "the override is shown, not obeyed";
    }
    EXPECT_TRUE(found);
}

TEST(Record, AFullTableAndAFailedListenerAreEvents)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(4096);
    Server server(fw, env);
    std::vector<std::unique_ptr<RawDevice>> devices;
    for (int i = 0; i < 101; ++i) {
        devices.push_back(std::make_unique<RawDevice>(env));
        devices.back()->request();
        if (i == 99) {
            ASSERT_TRUE(waitFor([&] { return server.jobCount() == 100; }, 20s)) << server.jobCount();
        }
    }
    Collected got;
    ASSERT_TRUE(waitFor([&] { return server.takeEvents(got.events), got.first(EventKind::RequestTableFull); }, 10s));
    const Event* full = got.first(EventKind::RequestTableFull);
    EXPECT_EQ(full->productCode, kProduct);
    EXPECT_EQ(brelvo::addressToText(full->address), env.toolAddr);
    EXPECT_EQ(full->severity, brelvo::Severity::Warning);

    brelvo::UpdateServer second;
    EXPECT_EQ(second.start(fw.dir.path(), "", env.toolAddr, 1), -1);
    std::vector<Event> secondEvents;
    second.takeEvents(secondEvents);
    ASSERT_EQ(secondEvents.size(), 1u);
    EXPECT_EQ(secondEvents[0].kind, EventKind::ListenerFailed);
    EXPECT_EQ(secondEvents[0].code, EADDRINUSE);
    EXPECT_EQ(secondEvents[0].severity, brelvo::Severity::Failure);
}
