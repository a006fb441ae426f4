// SPDX-License-Identifier: MIT
// What a run leaves on record, over real sockets: the event stream of each
// kind of request and the report's row for each device, field by field,
// hostile product codes included. (A time-out's record: FieldSafetyTest.)

#include "IntegrationHelpers.h"
#include "platform/HostName.h"
#include "record/EventFormat.h"

#include <algorithm>
#include <regex>

using namespace brelvo_it;

TEST(Record, EventsAndReportRowsOfASuccessACheckFailureAnUnmatchedAndAHostileCode)
{
    BRELVO_REQUIRE_NETNS(env);
    ASSERT_GE(env.devAddrs.size(), 4u);
    ASSERT_EQ(env.devMacs.size(), env.devAddrs.size()) << "needs with-netns.sh --device-macs";
    FirmwareFolder fw(20 * 1024);
    // A product code that would break a naive report: a formula, a comma,
    // quotes, bytes that are not UTF-8 and a right-to-left override.
    const std::string hostile = "=1+1,\"q\"\xff\xe2\x80\xae";
    fw.dir.writeBytes("kvx_HOSTILE.bin", fw.image);
    fw.dir.writeText("kvx_HOSTILE-ver.bin", "product=" + hostile + "\nchecksum=" + std::to_string(brelvo_test::wordSum(fw.image)) + "\n");
    const std::string report = fw.dir.file("run.csv");
    Server server(env, ServerSettings{fw.dir.path(), "", "", 3, true, report});

    const auto device = [&](std::vector<std::string> args, const std::string& product = kProduct) {
        return brelvo_test::runProcess(devsimCommand(env, args, product), 60s);
    };
    auto ok = device({"--bind", env.devAddrs[0], "--expect-image", fw.imagePath});
    ASSERT_EQ(ok.exitCode, 0) << ok.output;
    device({"--bind", env.devAddrs[1], "--result", "check-failed"});
    auto odd = device({"--bind", env.devAddrs[2]}, hostile);
    ASSERT_EQ(odd.exitCode, 0) << odd.output;
    device({"--bind", env.devAddrs[3], "--expect-no-offer", "--offer-timeout", "1500"}, "NOFIRMW");
    // A device on this machine: no neighbour knows its hardware address.
    auto local = brelvo_test::runProcess({env.devsim, "--product", kProduct, "--tool", env.toolAddr, "--bind", env.toolAddr}, 60s);
    ASSERT_EQ(local.exitCode, 0) << local.output;
    ASSERT_EQ(server.jobCount(), 4);
    ASSERT_TRUE(waitFor([&] { return server.jobAt(0)->workerEnded() && server.jobAt(1)->workerEnded() && server.jobAt(2)->workerEnded() && server.jobAt(3)->workerEnded(); }, 10s));
    ASSERT_TRUE(server.flushReports());

    // The stream: the listener, the sweep, then each request with its fate.
    ASSERT_TRUE(server.waitEvent(EventKind::ListenerStarted));
    const Event* sweep = server.waitEvent(EventKind::SweepFinished);
    ASSERT_TRUE(sweep);
    EXPECT_TRUE(sweep->icmp == IcmpMethod::Raw && sweep->value > 100) << sweep->value;
    const std::vector<EventKind> road = {EventKind::RequestMatched, EventKind::OfferSent, EventKind::SizeSent,
                                         EventKind::BlockPhaseStarted, EventKind::EndSent, EventKind::JobResult};
    std::vector<EventKind> kinds = server.kindsOf(server.jobAt(0)->id());
    // Told from another thread: anywhere after the first block.
    kinds.erase(std::remove(kinds.begin(), kinds.end(), EventKind::MacLearnt), kinds.end());
    EXPECT_EQ(kinds, road);
    const Event* unmatched = server.waitEvent(EventKind::RequestNoFirmware);
    ASSERT_TRUE(unmatched);
    EXPECT_EQ(std::make_tuple(unmatched->productCode, unmatched->path, addressToText(unmatched->address)),
              std::make_tuple(std::string("NOFIRMW"), fw.dir.path(), env.devAddrs[3]));
    for (const Event& e : server.events)
        EXPECT_NE(e.wallTimeMs, 0) << int(e.kind);

    // The report: a header and one row per job, in the order they ended.
    const auto rows = brelvo_test::parseCsv(brelvo_test::readText(report));
    ASSERT_EQ(rows.size(), 5u) << brelvo_test::readText(report);
    EXPECT_TRUE(rows[0].size() == 16u && rows[0][0] == "started") << rows[0].size();
    const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");
    char sum[16];
    std::snprintf(sum, sizeof sum, "0x%08x", brelvo_test::wordSum(fw.image));
    struct Want {
        std::string code, text, mac; // mac empty: none to learn
    };
    const std::map<std::string, Want> wants = {{env.devAddrs[0], {"9", "Update Complete!", env.devMacs[0]}},
                                               {env.devAddrs[1], {"7", "Verification Failed!", env.devMacs[1]}},
                                               {env.devAddrs[2], {"9", "Update Complete!", env.devMacs[2]}},
                                               {env.toolAddr, {"9", "Update Complete!", ""}}};
    for (size_t i = 1; i < rows.size(); ++i) {
        const auto& r = rows[i];
        ASSERT_EQ(r.size(), 16u) << "row " << i;
        const std::string address = r[2].substr(0, r[2].find(':'));
        const Want& want = wants.at(address);
        EXPECT_TRUE(std::regex_match(r[0], iso) && std::regex_match(r[1], iso) && r[0] <= r[1]) << r[0] << " " << r[1];
        EXPECT_EQ(r[4].rfind("10.213.7.", 0), 0u) << r[4];
        // Size, checksum, options, config, code, status, passes.
        EXPECT_EQ(std::vector<std::string>(r.begin() + 6, r.begin() + 13),
                  (std::vector<std::string>{std::to_string(fw.image.size()), sum, "3", "", want.code, want.text, "0"}));
        EXPECT_GT(std::atof(r[13].c_str()), 0.0);
        EXPECT_EQ(r[14], want.mac) << address;
        EXPECT_EQ(r[15], brelvo::hostName());
        // Its log lines: the hardware address once learnt, or once why there is none.
        std::string log;
        for (const Event& e : server.events)
            if (e.jobId != 0 && addressToText(e.address) == address)
                log += brelvo::formatEventText(e) + "\n";
        if (!want.mac.empty())
            EXPECT_NE(log.find(address + " (" + want.mac + "): hardware address learnt"), std::string::npos) << log;
        else
            EXPECT_EQ(log.find(address + " ("), std::string::npos) << log;
        if (r[2].rfind(env.devAddrs[2], 0) != 0) {
            EXPECT_EQ(r[3] + " " + r[5], std::string(kProduct) + " " + fw.imagePath);
            continue;
        }
        // The hostile code: one cell that no spreadsheet runs, valid UTF-8,
        // nothing lost but the bytes that were never text.
        EXPECT_EQ(r[3].rfind("'=1+1,\"q\"", 0), 0u) << r[3];
        EXPECT_NE(r[3].find("\xef\xbf\xbd"), std::string::npos) << "the stray byte became U+FFFD";
        EXPECT_EQ(r[3].find('\xff'), std::string::npos);
        EXPECT_EQ(r[3].find("\xe2\x80\xae"), std::string::npos) << "the override is shown, not obeyed";
    }
    int unknown = 0;
    for (const Event& e : server.events)
        unknown += e.kind == EventKind::MacUnknown;
    EXPECT_EQ(unknown, 1);
    const Event* why = server.waitEvent(EventKind::MacUnknown);
    ASSERT_TRUE(why);
    EXPECT_EQ(brelvo::formatEventText(*why).substr(3),
              " " + env.toolAddr + ": hardware address unknown (" + env.toolAddr + " is an address of this machine)");
}
