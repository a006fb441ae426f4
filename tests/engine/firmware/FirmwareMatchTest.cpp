// SPDX-License-Identifier: MIT
#include "EngineTestSupport.h"
#include "firmware/FirmwareMatch.h"

#include <sys/stat.h>

using namespace brelvo;
using brelvo_test::TempDir;

TEST(FirmwareMatch, EdgeCases)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files; // name, content ("/" = folder)
        std::string code;
        std::string want; // file name, "" for none
    };
    const Case cases[] = {
        {"name", {{"kvx_ABCDEFG.bin", "img\n"}}, "ABCDEFG", "kvx_ABCDEFG.bin"},
        {"code case counts", {{"kvx_ABCDEFG.bin", "x"}}, "abcdefg", ""},
        {"-ver.bin names its image", {{"kvx_HIJKLMN-ver.bin", "checksum=1\n"}}, "HIJKLMN", "kvx_HIJKLMN.bin"},
        {"trailing spaces", {{"kvx_XXXXXXX-ver.bin", "product=ABCDEFG   \r\nchecksum=1\n"}}, "ABCDEFG", "kvx_XXXXXXX.bin"},
        {"leading space kept", {{"kvx_XXXXXXX-ver.bin", "product= ABCDEFG\n"}}, "ABCDEFG", ""},
        {"PRODUCT= ignored", {{"kvx_XXXXXXX-ver.bin", "PRODUCT=ABCDEFG\n"}}, "ABCDEFG", ""},
        {"later product line wins", {{"kvx_QQQQQQQ-ver.bin", "product=ABCDEFG\nproduct=OTHERXX\n"}}, "ABCDEFG", ""},
        {"later entry wins", {{"kvx_ABCDEFG_V1.bin", "x"}, {"kvx_ABCDEFG_V2.bin", "x"}, {"kvx_ABCDEFG_V3", "/"}},
         "ABCDEFG", "kvx_ABCDEFG_V2.bin"},
        {"folder skipped", {{"kvx_ABCDEFG", "/"}}, "ABCDEFG", ""},
        {"empty code by name", {{"kvx_", "x"}, {"KVX.bin", "x"}}, "", "kvx_"},
        {"empty product=", {{"kvx_ZZZZZZZ-ver.bin", "product=\n"}}, "", "kvx_ZZZZZZZ.bin"},
        {"long code not by name", {{"kvx_ABCDEFGHIJ.bin", "x"}}, "ABCDEFGHIJ", ""},
        {"long code by product=", {{"kvx_ABCDEFG-ver.bin", "product=ABCDEFGHIJ\n"}}, "ABCDEFGHIJ", "kvx_ABCDEFG.bin"},
        {"product= among binary lines",
         {{"kvx_AAAAAAA-ver.bin", std::string("\x7f\0\r\n", 4) + std::string(300000, 'p') + "\nproduct=BINARYX\r\n\0"}},
         "BINARYX", "kvx_AAAAAAA.bin"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        for (const auto& f : c.files)
            f.second == "/" ? (void)::mkdir(dir.file(f.first).c_str(), 0755) : (void)dir.writeText(f.first, f.second);
        EXPECT_EQ(findFirmwareImage(dir.path(), c.code), c.want.empty() ? "" : dir.file(c.want)) << c.what;
    }
    EXPECT_EQ(findFirmwareImage("/nonexistent/brelvo", "ABCDEFG"), "");

    TempDir dir;
    const std::string p = dir.writeText("v", "CHECKSUM= 0x10 \nproduct=P1\nChecksum=22\r\n");
    std::string code = "old", checksum;
    EXPECT_EQ(readFirmwareDescriptor(p, code, checksum), 0);
    EXPECT_EQ(code, "P1");
    EXPECT_EQ(checksum, "22");
    EXPECT_EQ(readFirmwareDescriptor(dir.file("missing"), code, checksum), -1);
}
