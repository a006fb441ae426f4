// SPDX-License-Identifier: MIT
// The check's survey of a firmware folder must choose, for every code, what
// the server's own look-up chooses.
#include "EngineTestSupport.h"
#include "check/FirmwareSurvey.h"
#include "firmware/FirmwareMatch.h"

#include <algorithm>

using namespace brelvo;
using brelvo_test::TempDir;

// Every code any entry serves, plus codes nobody serves: the survey's
// winner is what findFirmwareImage answers.
TEST(FirmwareSurvey, ChoosesWhatTheServerChooses)
{
    using Files = std::vector<std::pair<std::string, std::string>>; // name, contents; "/" ending: a folder
    const std::vector<Files> folders = {
        {{"kvx_DEMOCAM_V2.bin", "img"}, {"kvx_DEMOCAM_V2-ver.bin", "product=DEMOCAM\n"}},
        // A later version file naming another product takes that code over.
        {{"kvx_AAAAAAA_V1.bin", "a"}, {"kvx_AAAAAAA_V1-ver.bin", "product=BBBBBBB\n"},
         {"kvx_BBBBBBB_V1.bin", "b"}, {"kvx_BBBBBBB_V1-ver.bin", "product=BBBBBBB\n"},
         {"kvx_CCCCCCC_V1-ver.bin", "product=BBBBBBB\r\n  \n"}},
        // Letter case of the prefix, short names, a folder, a product= in the image itself.
        {{"KVX_UPPERCA.bin", "product=ZZZZZZZ\n"}, {"kvx", "x"}, {"kvxA", "x"}, {"kvx_FOLDERX/", ""},
         {"kvx_ZZZZZZZ.bin", "x"}, {"kvx_SPACE  .bin", "product=SPACE   \n"}, {"other.bin", "product=DEMOCAM\n"}},
        // Two product= lines: the last counts. A checksum line in any case.
        {{"kvx_TWOLINE.bin", "product=FIRSTXX\nCHECKSUM=1\nproduct=SECONDX\n"}},
        // A link to nowhere: a name that vanished between listing and reading.
        {{"kvx_GONE___.bin", "@missing"}, {"kvx_GONE___-ver.bin", "product=GONE___\n"}},
    };
    for (size_t i = 0; i < folders.size(); ++i) {
        TempDir dir;
        for (const auto& f : folders[i]) {
            if (f.first.back() == '/')
                std::filesystem::create_directory(dir.file(f.first));
            else if (f.second.rfind("@", 0) == 0)
                std::filesystem::create_symlink(dir.file(f.second.substr(1)), dir.file(f.first));
            else
                dir.writeText(f.first, f.second);
        }
        const FirmwareSurvey survey = surveyFirmwareFolder(dir.path());
        std::vector<std::string> codes;
        for (const FirmwareChoice& c : survey.choices) {
            codes.push_back(c.code);
            EXPECT_EQ(c.imagePath, findFirmwareImage(dir.path(), c.code)) << "folder " << i << " code " << c.code;
        }
        for (const std::string unserved : {"NOTHERE", "", "kvx_DEM"}) {
            if (std::find(codes.begin(), codes.end(), unserved) == codes.end()) {
                EXPECT_EQ(findFirmwareImage(dir.path(), unserved), std::string()) << "folder " << i << " " << unserved;
            }
        }
        EXPECT_TRUE(std::is_sorted(codes.begin(), codes.end()));
    }

    TempDir dir;
    dir.writeText("kvx_AAAAAAA_V1-ver.bin", "product=BBBBBBB\n");
    dir.writeText("kvx_TWOLINE.bin", "product=FIRSTXX\nproduct=SECONDX\n");
    std::filesystem::create_directory(dir.file("kvx_FOLDERX"));
    const FirmwareSurvey s = surveyFirmwareFolder(dir.path());
    ASSERT_EQ(s.entries.size(), 3u);
    EXPECT_EQ(s.entries[0].nameCode, "AAAAAAA");
    EXPECT_EQ(s.entries[0].productCode, "BBBBBBB");
    EXPECT_TRUE(s.entries[1].isDirectory);
    EXPECT_EQ(s.entries[2].productCode, "SECONDX");
    ASSERT_EQ(s.choices.size(), 4u); // AAAAAAA BBBBBBB SECONDX TWOLINE
    EXPECT_EQ(s.choices[1].imagePath, dir.file("kvx_AAAAAAA_V1.bin"));
}

