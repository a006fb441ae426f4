// SPDX-License-Identifier: MIT
// check's findings as text and JSON, its summary and exit code; hostile
// bytes neither steer a terminal nor break JSON: escaped as the engine's log
// escapes them.
#include "CheckCommand.h"
#include "ExpectedText.h"
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
    Finding entry;  // direction and line controls from a version file's product= line
    entry.id = FindingId::FirmwareEntry;
    entry.args = {{"entry", "kvx_AB.bin"}, {"nameCode", "AB"}, {"productCode", "AB\xe2\x80\xae" "CD\xe2\x80\xa8X"},
                  {"codes", "AB"}};
    Finding ok, warn;
    warn.severity = Severity::Warning;
    warn.id = FindingId::FolderEmpty;
    EXPECT_EQ(checkExitCode({}), 0);
    EXPECT_EQ(checkExitCode({ok}), 0);
    EXPECT_EQ(checkExitCode({ok, warn}), 1);
    EXPECT_EQ(checkExitCode({warn, held, ok}), 2);
    const std::string document = checkAsJson({ok, ok, warn, held}, "2.0.0");
    EXPECT_TRUE(brelvo_test::JsonCheck().object(document)) << document;
    // The texts as printed, in expected/check-text.txt.
    std::string printed;
    for (const std::string& t : {findingAsText(held), findingAsText(entry), findingAsJson(held), findingAsJson(entry),
                                 summaryAsText({ok}), summaryAsText({warn, ok}), summaryAsText({warn, held, held}), document})
        printed += brelvo_test::visibleText(t) + "\n";
    const std::string diff = brelvo_test::expectedFileDiff(BRELVO_EXPECTED_DIR "/check-text.txt", printed);
    EXPECT_TRUE(diff.empty()) << diff;
}
