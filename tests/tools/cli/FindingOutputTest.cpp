// SPDX-License-Identifier: MIT
// check's findings as text and JSON, its summary and exit code.
#include "FindingOutput.h"
#include "JsonCheck.h"

#include <gtest/gtest.h>

using namespace brelvo_cli;
using brelvo::Finding;
using brelvo::FindingId;
using brelvo::Severity;

TEST(FindingOutput, TextJsonAndExitCode)
{
    Finding held;  // a process name chosen to retitle a terminal
    held.severity = Severity::Failure;
    held.id = FindingId::PortInUse;
    held.args = {{"port", "3281"}, {"holders", "pid 7 (e\x1b]0;x\x07vil)"}, {"pid", "7"},
                 {"process", "e\x1b]0;x\x07vil"}, {"uid", "0"}, {"self", "no"}};
    held.details = {"pid 7: e\"vil --flag\n"};
    const std::string text = findingAsText(held);
    EXPECT_EQ(text.find_first_of("\x1b\x07"), std::string::npos);
    EXPECT_EQ(text.rfind("FAIL  UDP port 3281 is held by pid 7 (e\\x1B]0;x\\x07vil)  [port-in-use]\n", 0), 0u) << text;
    EXPECT_NE(text.find("\n      fix: end the other program (kill 7)"), std::string::npos) << text;

    const std::string json = findingAsJson(held);
    EXPECT_EQ(json.find('\n'), std::string::npos);
    EXPECT_EQ(json.rfind("{\"severity\":\"failure\",\"id\":\"port-in-use\",\"message\":", 0), 0u) << json;
    EXPECT_NE(json.find("\"args\":{\"port\":\"3281\",\"holders\":\"pid 7 (e\\u001b]0;x\\u0007vil)\""),
              std::string::npos) << json;
    EXPECT_NE(json.find("\"details\":[\"pid 7: e\\\"vil --flag\\n\"]}"), std::string::npos) << json;

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
