// Firmware and configuration files that are missing, vanish, lie about their
// product, cannot be read whole or sit around the size limits: each ends in
// its code, and the device receives exactly the image (alone or with the
// configuration) or nothing at all, never part of one.

#include "Harness.h"

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

using namespace reliability;

namespace {

struct Arrange {
    FirmwareFolder& fw;
    TempDir& cfg;
    std::string folder, config;
    bool dropConfig = false;
    bool writeConfig(size_t n) { return !(config = cfg.writeBytes("c.cfg", brelvo_test::patternBytes(n, 99))).empty(); }
    bool replaceImage() { return unlink(fw.imagePath.c_str()) == 0; }
};

enum Wire { Nothing, ImageAlone, Joined };
struct BadFile {
    std::string name;
    std::function<bool(Arrange&)> arrange; // false: cannot be arranged here
    int status;                            // -1: no job at all
    Wire wire;
};

void PrintTo(const BadFile& c, std::ostream* o) { *o << c.name; }

// Kernel attribute files claim a page but deliver a few bytes.
bool linkShortFile(Arrange& a)
{
    for (const char* f : {"/sys/kernel/mm/transparent_hugepage/enabled", "/sys/class/net/lo/mtu", "/sys/power/state"}) {
        struct stat st {};
        if (stat(f, &st) == 0 && S_ISREG(st.st_mode) && readFileBytes(f).size() < size_t(st.st_size))
            return a.replaceImage() && symlink(f, a.fw.imagePath.c_str()) == 0;
    }
    return false;
}

const BadFile kCases[] = {
    {"FolderMissing", [](Arrange& a) { a.folder += "/none"; return true; }, -1, Nothing},
    {"ImageMissing", [](Arrange& a) { return a.replaceImage(); }, FileError, Nothing},
    {"OtherProduct", [](Arrange& a) { a.fw.version("OTHER01", "0"); return true; }, ModelMismatch, Nothing},
    {"ImageUnreadable", [](Arrange& a) { return a.replaceImage() && !mkdir(a.fw.imagePath.c_str(), 0755); }, FileError,
     Nothing},
    {"ImageShorterThanItsSize", linkShortFile, FileError, Nothing},
    {"Config65535", [](Arrange& a) { return a.writeConfig(65535); }, DeviceWriteComplete, ImageAlone},
    {"Config65536", [](Arrange& a) { return a.writeConfig(65536); }, DeviceWriteComplete, Joined},
    {"Config16MiBPlus1", [](Arrange& a) { return a.writeConfig(16777217); }, DeviceWriteComplete, ImageAlone},
    {"ConfigDisappears", [](Arrange& a) { return a.dropConfig = a.writeConfig(70000); }, DeviceWriteComplete,
     ImageAlone},
};

} // namespace

class BadFiles : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadFiles, RightCodeAndNeverAPartialImage)
{
    RELIABILITY_NETNS_ENV(env);
    const BadFile& c = GetParam();
    FirmwareFolder fw(10); // two whole words and two bytes
    TempDir cfg, out;
    Arrange a{fw, cfg, fw.dir.path(), ""};
    if (!c.arrange(a))
        GTEST_SKIP() << "cannot arrange this case here";
    std::vector<uint8_t> expected = c.wire == Nothing ? std::vector<uint8_t>() : fw.image;
    if (c.wire == Joined) { // every word from the one holding the configuration's first byte XOR-masked
        const auto config = readFileBytes(a.config);
        expected.insert(expected.end(), config.begin(), config.end());
        for (size_t i = fw.image.size() / 4 * 4; i < expected.size() / 4 * 4; ++i)
            expected[i] ^= uint8_t(0x5A3C96E1u >> (8 * (i % 4)));
    }
    UpdateServer server;
    ASSERT_TRUE(startListening(server, a.folder, a.config, env.toolAddr, OptionUpdateBoot) || c.status < 0);
    if (a.dropConfig)
        unlink(a.config.c_str());
    const DevsimRun run = runDevsim(env, {"--bind", env.devAddrs[0], "--save-image", out.file("got.bin"),
                                          "--offer-timeout", c.wire == Nothing ? "8000" : "30000"});
    EXPECT_TRUE(readFileBytes(out.file("got.bin")) == expected) << run.process.output;
    ASSERT_EQ(run.devices.size(), 1u) << run.process.output;
    EXPECT_EQ(run.devices[0].at("result"), c.wire == Nothing ? "failed" : "complete") << run.process.output;
    EXPECT_EQ(run.devices[0].at("violations"), "0") << run.process.output;
    EXPECT_TRUE(c.wire != Nothing || run.process.output.find("no Offer") != std::string::npos) << "an Offer went out";
    if (c.status < 0) {
        EXPECT_EQ(server.jobCount(), 0);
        return;
    }
    auto job = server.jobAt(0);
    ASSERT_TRUE(job && brelvo_test::waitFor([&] { return job->isFinished(); }, 10s));
    EXPECT_EQ(job->statusCode(), c.status);
}

INSTANTIATE_TEST_SUITE_P(Net, BadFiles, ::testing::ValuesIn(kCases), [](const auto& i) { return i.param.name; });
