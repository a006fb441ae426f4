// SPDX-License-Identifier: MIT
// Which entry of a firmware folder serves a product code: the full scan
// (findFirmwareImage) and the index that stands in for it must both give
// these answers, the index also from what it kept.
#include "FirmwareTestSupport.h"
#include "firmware/FirmwareIndex.h"
#include "firmware/FirmwareMatch.h"

using namespace brelvo;
using namespace brelvo_test;

TEST(FirmwareMatch, TheLastMatchByNameOrProductLineWins)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files; // name, content (see makeEntry)
        std::string code;
        std::string want; // file name, "" for none
    };
    const std::string binary = std::string("\x7f\0\r\n", 4) + std::string(300000, 'p') + "\nproduct=BINARYX\r\n\0";
    const Case cases[] = {
        {"two entries for one code: the last wins",
         {{"kvx_ABCDEFG_V1.bin", "x"}, {"kvx_XXXXXXX-ver.bin", "product=ABCDEFG\n"}, {"kvx_ZZZZZZZ", "y"}},
         "ABCDEFG", "kvx_XXXXXXX.bin"},
        {"a name match whose product= names another model, then a match by name only",
         {{"kvx_ABCDEFG_1.bin", "product=OTHERXX\n"}, {"kvx_ABCDEFG_2.bin", "noise\n"}}, "ABCDEFG",
         "kvx_ABCDEFG_2.bin"},
        {"a later name match is kept whatever its product= says",
         {{"kvx_ABCDEFG_1.bin", "noise"}, {"kvx_ABCDEFG_2.bin", "product=OTHERXX\n"}}, "ABCDEFG",
         "kvx_ABCDEFG_2.bin"},
        {"product= names the other model", {{"kvx_ABCDEFG_1.bin", "product=OTHERXX\n"}}, "OTHERXX", "kvx_ABCDEFG_1.bin"},
        {"the last product= line wins", {{"kvx_QQQQQQQ", "product=ABCDEFG\r\nproduct=OTHERXX  \n"}}, "OTHERXX",
         "kvx_QQQQQQQ"},
        {"trailing spaces go, a leading one stays",
         {{"kvx_XXXXXXX-ver.bin", "product=ABCDEFG   \r\nchecksum=1\n"}, {"kvx_YYYYYYY", "product= ABCDEFG\n"}},
         "ABCDEFG", "kvx_XXXXXXX.bin"},
        {"PRODUCT= is no product line", {{"kvx_XXXXXXX-ver.bin", "PRODUCT=ABCDEFG\n"}}, "ABCDEFG", ""},
        {"letter case of kvx ignored, of the code not", {{"KvX_ABCDEFG", "x"}, {"kvx_abcdefg", "x"}}, "ABCDEFG",
         "KvX_ABCDEFG"},
        {"a folder is skipped", {{"kvx_ABCDEFG", "/"}}, "ABCDEFG", ""},
        {"a pipe is matched by its name and does not block",
         {{"kvx_ABCDEFG.bin", "x"}, {"kvx_ABCDEFG_P", "|"}, {"kvx_QQQQQQQ_P", "|"}}, "ABCDEFG", "kvx_ABCDEFG_P"},
        {"a link to nowhere is matched by its name", {{"kvx_ABCDEFG.bin", "->nowhere"}}, "ABCDEFG", "kvx_ABCDEFG.bin"},
        {"a link to a device is not read", {{"kvx_ABCDEFG.bin", "->/dev/zero"}}, "ABCDEFG", "kvx_ABCDEFG.bin"},
        {"a link to a file is read", {{"kvx_0", "product=LINKED\n"}, {"kvx_1", "->kvx_0"}}, "LINKED", "kvx_1"},
        {"-ver.bin anywhere becomes .bin", {{"kvx_A-ver.bin.x-ver.bin", "product=VV\n"}}, "VV", "kvx_A.bin.x.bin"},
        {"an empty code by name", {{"kvx_", "x"}, {"KVX.bin", "x"}}, "", "kvx_"},
        {"an empty product=", {{"kvx_ZZZZZZZ-ver.bin", "product=\n"}}, "", "kvx_ZZZZZZZ.bin"},
        {"a long code never by name", {{"kvx_ABCDEFGHIJ.bin", "x"}}, "ABCDEFGHIJ", ""},
        {"a long code by product=", {{"kvx_ABCDEFG-ver.bin", "product=ABCDEFGHIJ\n"}}, "ABCDEFGHIJ", "kvx_ABCDEFG.bin"},
        {"product= among binary lines", {{"kvx_AAAAAAA-ver.bin", binary}}, "BINARYX", "kvx_AAAAAAA.bin"},
        {"nothing", {{"other", "product=ABCDEFG\n"}}, "ABCDEFG", ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        for (const auto& f : c.files)
            makeEntry(dir, f.first, f.second);
        const std::string want = c.want.empty() ? "" : dir.file(c.want);
        EXPECT_EQ(findFirmwareImage(dir.path(), c.code), want) << c.what;
        FirmwareIndex index(0);
        for (int round = 0; round < 2; ++round) // read, then kept
            EXPECT_EQ(index.find(dir.path(), c.code), want) << c.what << ", round " << round;
    }
    EXPECT_EQ(findFirmwareImage("/nonexistent/brelvo", "ABCDEFG"), "");
    EXPECT_EQ(FirmwareIndex().find("/nonexistent/brelvo", "ABCDEFG"), "");
}
