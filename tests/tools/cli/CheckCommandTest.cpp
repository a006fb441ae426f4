// SPDX-License-Identifier: MIT
// check's findings as text and JSON, its summary and exit code; hostile
// bytes neither steer a terminal nor break JSON.
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
    held.details = {"pid 7: e\"vil --flag\n"};
    const std::string text = findingAsText(held);
    EXPECT_EQ(text.rfind("FAIL  UDP port 3281 is held by pid 7 (e\\x1B]0;x\\x07vil)  [port-in-use]\n", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.find('\n')), "\n      fix: end the other program (kill 7) or stop its serving, "
                                            "then check again\n      pid 7: e\"vil --flag\\x0A\n");

    const std::string json = findingAsJson(held);
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

TEST(CheckCommand, HostileBytesNeitherSteerATerminalNorBreakJson)
{
    const struct {
        std::string in, terminal, json;
    } cases[] = {
        {"kvx_DEMOCAM.bin", "kvx_DEMOCAM.bin", "\"kvx_DEMOCAM.bin\""},
        {"固件/kvx", "固件/kvx", "\"固件/kvx\""},
        {"a\x1b[2Jb", "a\\x1B[2Jb", "\"a\\u001b[2Jb\""},
        {"line\nnext\r\t", "line\\x0Anext\\x0D\\x09", "\"line\\nnext\\r\\t\""},
        {std::string("nul\0x", 5), "nul\\x00x", "\"nul\\u0000x\""},
        {"q\"b\\", "q\"b\\\\", "\"q\\\"b\\\\\""},
        {"\x7f", "\\x7F", "\"\\u007f\""},
        {"\xc2\x9b" "31m", "\\xC2\\x9B31m", "\"\xc2\x9b" "31m\""},   // C1 control: escaped for terminals only
        {"\xff\xfe", "\\xFF\\xFE", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
        {"\xc0\xaf", "\\xC0\\xAF", "\"\xef\xbf\xbd\xef\xbf\xbd\""},   // overlong '/'
        {"\xed\xa0\x80", "\\xED\\xA0\\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""}, // surrogate
        {"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
        {"end\xe4\xbd", "end\\xE4\\xBD", "\"end\xef\xbf\xbd\xef\xbf\xbd\""}, // cut short
        {"\xf0\x9f\x93\xb7", "\xf0\x9f\x93\xb7", "\"\xf0\x9f\x93\xb7\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(terminalSafe(c.in), c.terminal) << c.in;
        EXPECT_EQ(jsonString(c.in), c.json) << c.in;
    }
}
