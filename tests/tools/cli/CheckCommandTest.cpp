// SPDX-License-Identifier: MIT
// check's findings as text and JSON, its summary and exit code; hostile
// bytes neither steer a terminal nor break JSON: escaped as the engine's log
// escapes them.
#include "CheckCommand.h"
#include "JsonCheck.h"

#include <gtest/gtest.h>

using namespace brelvo_cli;
using brelvo::Finding;
using brelvo::FindingId;
using brelvo::Severity;

TEST(CheckCommand, FindingsAsTextJsonAndExitCode)
{
    Finding held;  // a process name chosen to retitle a terminal
    held.severity = Severity::Failure;
    held.id = FindingId::PortInUse;
    held.args = {{"port", "3281"}, {"holders", "pid 7 (e\x1b]0;x\x07vil)"}, {"pid", "7"},
                 {"process", "e\x1b]0;x\x07vil"}, {"uid", "0"}, {"self", "no"}};
    held.details = {"pid 7: e\"vil --flag\n\xff\\"};
    const std::string text = findingAsText(held);
    EXPECT_EQ(text.rfind("FAIL  UDP port 3281 is held by pid 7 (e\\x1b]0;x\\x07vil)  [port-in-use]\n", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.find('\n')), "\n      fix: end the other program (kill 7) or stop its serving, "
                                            "then check again\n      pid 7: e\"vil --flag\\n\\xff\\\\\n");
    Finding entry;  // direction and line controls from a version file's product= line
    entry.id = FindingId::FirmwareEntry;
    entry.args = {{"entry", "kvx_AB.bin"}, {"nameCode", "AB"}, {"productCode", "AB\xe2\x80\xae" "CD\xe2\x80\xa8X"},
                  {"codes", "AB"}};
    EXPECT_EQ(findingAsText(entry),
              "ok    entry kvx_AB.bin serves AB (name: AB, product=AB\\u202eCD\\u2028X)  [firmware-entry]\n");
    EXPECT_NE(findingAsJson(entry).find("\"productCode\":\"AB\\u202eCD\\u2028X\""), std::string::npos);

    const std::string json = findingAsJson(held);
    EXPECT_EQ(json.rfind("{\"severity\":\"failure\",\"id\":\"port-in-use\",\"message\":", 0), 0u) << json;
    EXPECT_NE(json.find("\"args\":{\"port\":\"3281\",\"holders\":\"pid 7 (e\\u001b]0;x\\u0007vil)\""),
              std::string::npos) << json;
    EXPECT_NE(json.find("\"details\":[\"pid 7: e\\\"vil --flag\\n\xef\xbf\xbd\\\\\"]}"), std::string::npos) << json;

    Finding ok, warn;
    warn.severity = Severity::Warning;
    warn.id = FindingId::FolderEmpty;
    EXPECT_EQ(checkExitCode({}), 0);
    EXPECT_EQ(checkExitCode({ok}), 0);
    EXPECT_EQ(checkExitCode({ok, warn}), 1);
    EXPECT_EQ(checkExitCode({warn, held, ok}), 2);
    EXPECT_EQ(summaryAsText({ok}), "check: no problems found\n");
    EXPECT_EQ(summaryAsText({warn, ok}), "check: 1 warning: devices may not be served as expected\n");
    EXPECT_EQ(summaryAsText({warn, held, held}), "check: 2 failures, 1 warning: a run would fail\n");
    const std::string document = checkAsJson({ok, warn, held}, "2.0.0");
    EXPECT_TRUE(brelvo_test::JsonCheck().object(document)) << document;
    EXPECT_EQ(document.substr(document.rfind("\n],")),
              "\n],\"summary\":{\"failures\":1,\"warnings\":1,\"info\":1,\"exit\":2}}\n");
}
