// SPDX-License-Identifier: MIT
// Files that are missing, vanish, lie about their product, cannot be read whole
// or sit at the size limits: the job's code, and a whole image or no Offer.

#include "Harness.h"

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

using namespace reliability;

namespace {

struct Arrange {
    FirmwareFolder fw{10}; // two whole words and two bytes
    std::string folder = fw.dir.path(), config;
    bool dropConfig = false;
    bool writeConfig(size_t n) { return (config = fw.dir.writeBytes("c.cfg", brelvo_test::patternBytes(n))) != ""; }
    bool removeImage() { return unlink(fw.imagePath.c_str()) == 0; }
};

struct BadFile {
    std::string name;
    std::function<bool(Arrange&)> arrange; // false: cannot be arranged here
    int status; // -1: no job at all; other than 9: no Offer
    bool joined; // the configuration follows the image
};
void PrintTo(const BadFile& c, std::ostream* o) { *o << c.name; }

// Kernel attribute files claim a page but deliver a few bytes.
bool linkShortFile(Arrange& a)
{
    for (const char* f : {"/sys/kernel/mm/transparent_hugepage/enabled", "/sys/class/net/lo/mtu", "/sys/power/state"}) {
        struct stat st {};
        if (stat(f, &st) == 0 && S_ISREG(st.st_mode) && brelvo_test::readFileBytes(f).size() < size_t(st.st_size))
            return a.removeImage() && symlink(f, a.fw.imagePath.c_str()) == 0;
    }
    return false;
}

const BadFile kCases[] = {
    {"FolderMissing", [](Arrange& a) { a.folder += "/none"; return true; }, -1, false},
    {"ImageMissing", [](Arrange& a) { return a.removeImage(); }, FileError, false},
    {"OtherProduct", [](Arrange& a) { return a.fw.dir.writeText("kvx_ABCDEFG_V1-ver.bin", "product=OTHER01") != ""; },
     ModelMismatch, false},
    {"ImageUnreadable", [](Arrange& a) { return a.removeImage() && !mkdir(a.fw.imagePath.c_str(), 0755); }, FileError,
     false},
    {"ImageShorterThanItsSize", linkShortFile, FileError, false},
    // A configuration that was asked for but cannot go with the image stops
    // the job before its Offer: never the image alone with the erase bit.
    {"Config65535", [](Arrange& a) { return a.writeConfig(65535); }, FileError, false},
    {"Config65536", [](Arrange& a) { return a.writeConfig(65536); }, DeviceWriteComplete, true},
    {"Config16MiBPlus1", [](Arrange& a) { return a.writeConfig(16777217); }, FileError, false},
    {"ConfigDisappears", [](Arrange& a) { return a.dropConfig = a.writeConfig(70000); }, FileError, false},
    {"ConfigMissing", [](Arrange& a) { return !(a.config = a.fw.dir.file("none.cfg")).empty(); }, FileError, false},
};

} // namespace

class BadFiles : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadFiles, RightCodeAndNeverAPartialImage)
{
    RELIABILITY_NETNS_ENV(env);
    const BadFile& c = GetParam();
    Arrange a;
    if (!c.arrange(a))
        GTEST_SKIP() << "cannot arrange this case here";
    std::vector<uint8_t> expected = a.fw.image;
    if (c.joined) { // every word from the one holding the configuration's first byte XOR-masked
        const auto config = brelvo_test::readFileBytes(a.config);
        expected.insert(expected.end(), config.begin(), config.end());
        for (size_t i = a.fw.image.size() / 4 * 4; i < expected.size() / 4 * 4; ++i)
            expected[i] ^= uint8_t(0x5A3C96E1u >> (8 * (i % 4)));
    }
    UpdateServer server;
    ASSERT_TRUE(startListening(server, a.folder, a.config, OptionUpdateBoot, env) || c.status < 0);
    if (a.dropConfig)
        unlink(a.config.c_str());
    const auto run = runDevsim(env, {"--bind", env.devAddrs[0], "--expect-image", a.fw.dir.writeBytes("want", expected),
                                     "--offer-timeout", c.status != DeviceWriteComplete ? "8000" : "30000"});
    if (c.status != DeviceWriteComplete)
        EXPECT_NE(run.output.find("failure: no Offer"), std::string::npos) << run.output;
    else
        EXPECT_EQ(run.exitCode, 0) << run.output; // exactly `expected`, End and all
    ASSERT_EQ(server.jobCount(), c.status < 0 ? 0 : 1);
    auto job = server.jobAt(0);
    EXPECT_TRUE(!job || (brelvo_test::waitFor([&] { return job->isFinished(); }, 10s) && job->statusCode() == c.status))
        << job->statusCode();
}

INSTANTIATE_TEST_SUITE_P(Net, BadFiles, ::testing::ValuesIn(kCases), [](const auto& i) { return i.param.name; });
