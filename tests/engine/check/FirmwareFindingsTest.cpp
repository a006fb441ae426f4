// The firmware folder and configuration file findings, on real files: the
// same choices as the server's own look-up, and every way a run would fail.
#include "EngineTestSupport.h"
#include "record/EventFormat.h"
#include "check/FindingText.h"
#include "check/FirmwareSurvey.h"
#include "check/PreflightCheck.h"
#include "firmware/FirmwareMatch.h"

#include <sys/stat.h>

using namespace brelvo;
using brelvo_test::TempDir;

namespace {

// The findings with `id`.
std::vector<Finding> only(const std::vector<Finding>& all, FindingId id)
{
    std::vector<Finding> out;
    for (const Finding& f : all)
        if (f.id == id)
            out.push_back(f);
    return out;
}

std::string ids(const std::vector<Finding>& all)
{
    std::string out;
    for (const Finding& f : all)
        out += std::string(out.empty() ? "" : " ") + findingIdName(f.id) + "/" + severityName(f.severity);
    return out;
}

// A file of `size` bytes without writing them (reads as zeros).
std::string sparseFile(const TempDir& dir, const std::string& name, uint64_t size)
{
    const std::string path = dir.writeText(name, "");
    std::filesystem::resize_file(path, size);
    return path;
}

std::string versionText(const std::string& product, uint32_t checksum)
{
    char line[40];
    std::snprintf(line, sizeof line, "checksum=0x%08x\n", checksum);
    return "product=" + product + "\n" + line;
}

} // namespace

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

TEST(FirmwareFindings, ImageSizeBlocksAndChecksum)
{
    // Lengths around the block and word edges: trailing bytes of a partial
    // word are not summed, a partial block is a block.
    for (size_t length : {0u, 3u, 4u, 1023u, 1024u, 1025u, 5000u, 70001u}) {
        TempDir dir;
        const std::vector<uint8_t> image = brelvo_test::patternBytes(length, 7 + length);
        dir.writeBytes("kvx_DEMOCAM_V2.bin", image);
        dir.writeText("kvx_DEMOCAM_V2-ver.bin", versionText("DEMOCAM", brelvo_test::wordSum(image)));
        const auto findings = checkFirmwareFolder(dir.path(), "");
        EXPECT_EQ(worstSeverity(findings), Severity::Info) << length << ": " << ids(findings);
        const auto choice = only(findings, FindingId::FirmwareChoice);
        ASSERT_EQ(choice.size(), 1u) << length;
        EXPECT_EQ(choice[0].arg("code"), "DEMOCAM");
        EXPECT_EQ(choice[0].arg("size"), std::to_string(length));
        EXPECT_EQ(choice[0].arg("blocks"), std::to_string((length + 1023) / 1024));
        char sum[16];
        std::snprintf(sum, sizeof sum, "0x%08X", brelvo_test::wordSum(image));
        EXPECT_EQ(choice[0].arg("checksum"), sum);
    }
}

// What goes wrong with one product's files, with and without a usable
// configuration file beside them.
TEST(FirmwareFindings, EveryWayAnImageFails)
{
    const std::vector<uint8_t> image = brelvo_test::patternBytes(4096, 3);
    const uint32_t good = brelvo_test::wordSum(image);
    const struct Case {
        const char* name;
        std::string version;  // contents of the version file; "-": none
        bool withImage;
        bool withConfig;
        FindingId id;
        Severity severity;
    } cases[] = {
        {"matching", versionText("DEMOCAM", good), true, false, FindingId::FirmwareChoice, Severity::Info},
        {"matching, config", versionText("DEMOCAM", good), true, true, FindingId::FirmwareChoice, Severity::Info},
        {"checksum off", versionText("DEMOCAM", good + 1), true, false, FindingId::FirmwareChecksumMismatch,
         Severity::Warning},
        {"checksum off, config", versionText("DEMOCAM", good + 1), true, true, FindingId::FirmwareChecksumMismatch,
         Severity::Failure},
        {"no checksum line", "product=DEMOCAM\n", true, false, FindingId::FirmwareChecksumMismatch, Severity::Warning},
        {"last checksum line wins", versionText("DEMOCAM", good) + "Checksum=5\n", true, true,
         FindingId::FirmwareChecksumMismatch, Severity::Failure},
        {"other product", "product=DEMOCAM\nproduct=OTHERXX\n", true, false, FindingId::FirmwareModelMismatch,
         Severity::Failure},
        {"no version file", "-", true, false, FindingId::FirmwareVersionMissing, Severity::Failure},
        {"no image", versionText("DEMOCAM", good), false, false, FindingId::FirmwareImageMissing, Severity::Failure},
    };
    for (const Case& c : cases) {
        TempDir dir;
        if (c.withImage)
            dir.writeBytes("kvx_DEMOCAM_V2.bin", image);
        if (c.version != "-")
            dir.writeText("kvx_DEMOCAM_V2-ver.bin", c.version);
        const std::string config = c.withConfig ? sparseFile(dir, "config.dat", kMinConfigBytes) : "";
        const auto findings = checkFirmwareFolder(dir.path(), config);
        // A version file naming another product also serves that product (and fails it).
        std::vector<Finding> hits;
        for (const Finding& f : only(findings, c.id))
            if (f.arg("code") == "DEMOCAM")
                hits.push_back(f);
        ASSERT_EQ(hits.size(), 1u) << c.name << ": " << ids(findings);
        EXPECT_EQ(hits[0].severity, c.severity) << c.name;
        EXPECT_EQ(worstSeverity(findings), c.severity) << c.name << ": " << ids(findings);
        EXPECT_FALSE(findingMessage(hits[0]).empty());
        EXPECT_EQ(findingRemedy(hits[0]).empty(), c.severity == Severity::Info) << c.name;
    }

    // An image that sums to 0 needs no checksum line: 0 is what is sent.
    TempDir zero;
    sparseFile(zero, "kvx_ZEROIMG.bin", 8192);
    zero.writeText("kvx_ZEROIMG-ver.bin", "product=ZEROIMG\n");
    EXPECT_EQ(worstSeverity(checkFirmwareFolder(zero.path(), "")), Severity::Info);
}

TEST(FirmwareFindings, ImageAndConfigurationAgainstTheSixteenMebibyteLimit)
{
    const struct {
        uint64_t image, config;
        bool tooLarge;
    } cases[] = {{kMaxImageWithConfigBytes - kMinConfigBytes, kMinConfigBytes, false},
                 {kMaxImageWithConfigBytes - kMinConfigBytes + 1, kMinConfigBytes, true},
                 {kMaxImageWithConfigBytes + 4, kMinConfigBytes, true},
                 {1024, kMaxImageWithConfigBytes, true}};
    for (const auto& c : cases) {
        TempDir dir;
        sparseFile(dir, "kvx_BIGIMAG.bin", c.image); // zeros: checksum 0 matches no line
        dir.writeText("kvx_BIGIMAG-ver.bin", "product=BIGIMAG\n");
        const std::string config = sparseFile(dir, "config.dat", c.config);
        const auto findings = checkFirmwareFolder(dir.path(), config);
        const auto big = only(findings, FindingId::FirmwareTooLarge);
        EXPECT_EQ(big.size(), c.tooLarge ? 1u : 0u) << c.image << "+" << c.config << ": " << ids(findings);
        if (!big.empty()) {
            EXPECT_EQ(big[0].severity, Severity::Failure);
            EXPECT_EQ(big[0].arg("total"), std::to_string(c.image + c.config));
        }
        // Without a configuration file any size goes.
        EXPECT_TRUE(only(checkFirmwareFolder(dir.path(), ""), FindingId::FirmwareTooLarge).empty());
    }
}

TEST(FirmwareFindings, FolderItself)
{
    TempDir dir;
    const std::string file = dir.writeText("plain", "x");
    const std::string empty = dir.file("empty");
    std::filesystem::create_directory(empty);
    const std::string others = dir.file("others");
    std::filesystem::create_directory(others);
    dir.writeText("others/readme.txt", "product=DEMOCAM\n");
    const struct {
        std::string folder;
        FindingId id;
        Severity severity;
    } cases[] = {{dir.file("missing"), FindingId::FolderMissing, Severity::Failure},
                 {file, FindingId::FolderMissing, Severity::Failure},
                 {"", FindingId::FolderMissing, Severity::Failure}, // never the root
                 {empty, FindingId::FolderEmpty, Severity::Warning},
                 {others, FindingId::FolderEmpty, Severity::Warning}};
    for (const auto& c : cases) {
        const auto findings = checkFirmwareFolder(c.folder, "");
        ASSERT_EQ(findings.size(), 1u) << c.folder << ": " << ids(findings);
        EXPECT_EQ(findings[0].id, c.id) << c.folder;
        EXPECT_EQ(findings[0].severity, c.severity) << c.folder;
    }
}

TEST(ConfigFindings, FileKindsAndSizes)
{
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const struct {
        std::string path;
        FindingId id;
        Severity severity;
    } cases[] = {{"", FindingId::ConfigNone, Severity::Info},
                 {dir.file("missing"), FindingId::ConfigMissing, Severity::Failure},
                 {dir.path(), FindingId::ConfigNotRegular, Severity::Failure},
                 {fifo, FindingId::ConfigNotRegular, Severity::Failure}, // never opened: it would block
                 {sparseFile(dir, "empty", 0), FindingId::ConfigTooShort, Severity::Failure},
                 {sparseFile(dir, "short", kMinConfigBytes - 1), FindingId::ConfigTooShort, Severity::Failure},
                 {sparseFile(dir, "exact", kMinConfigBytes), FindingId::ConfigOk, Severity::Info},
                 {sparseFile(dir, "large", kMaxImageWithConfigBytes), FindingId::ConfigOk, Severity::Info}};
    for (const auto& c : cases) {
        const auto findings = checkConfigurationFile(c.path);
        ASSERT_EQ(findings.size(), 1u) << c.path;
        EXPECT_EQ(findings[0].id, c.id) << c.path << ": " << ids(findings);
        EXPECT_EQ(findings[0].severity, c.severity) << c.path;
    }
}

TEST(ConfigFindings, UnreadableForThisUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a file only root can read";
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string path = sparseFile(dir, "secret", kMinConfigBytes);
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        CHILD_CHECK(::setgid(65534) == 0 && ::setuid(65534) == 0);
        const auto findings = checkConfigurationFile(path);
        CHILD_CHECK(findings.size() == 1 && findings[0].id == FindingId::ConfigUnreadable);
        CHILD_CHECK(findings[0].arg("error") == "Permission denied");
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
