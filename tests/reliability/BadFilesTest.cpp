// Firmware and configuration files that are missing, vanish, lie about
// their product, cannot be read or are just below, at and above the size
// limits. Each must end in the right code (or be skipped as the format
// says) with nothing half-sent: over the network the simulator reports
// what actually arrived; the local cases drive the loading step directly.

#include "Harness.h"

#include "job/ConfigMask.h"
#include "job/UpdateJob.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

using namespace brelvo;
using namespace reliability;
using brelvo_test::readFileBytes;

namespace {

const std::string kImageName = "kvx_" + std::string(kProduct) + "_V1.bin";
const std::string kVersionName = "kvx_" + std::string(kProduct) + "_V1-ver.bin";

// Writes `n` pattern bytes (sparse-free, so reads really deliver them).
std::string writeConfig(const TempDir& dir, const std::string& name, size_t n, uint32_t seed = 99)
{
    return dir.writeBytes(name, brelvo_test::patternBytes(n, seed));
}

// What the device must receive when `config` is appended to `image`.
std::vector<uint8_t> maskedJoin(const std::vector<uint8_t>& image, const std::vector<uint8_t>& config)
{
    std::vector<uint8_t> all(image);
    all.insert(all.end(), config.begin(), config.end());
    for (size_t w = image.size() / 4; w < all.size() / 4; ++w) {
        uint32_t v = uint32_t(all[4 * w]) | uint32_t(all[4 * w + 1]) << 8 | uint32_t(all[4 * w + 2]) << 16 |
                     uint32_t(all[4 * w + 3]) << 24;
        v ^= 0x5A3C96E1u;
        for (int b = 0; b < 4; ++b)
            all[4 * w + size_t(b)] = uint8_t(v >> (8 * b));
    }
    return all;
}

struct Served {
    DevsimRun run;
    std::vector<uint8_t> received;
    int jobs = 0;
    int status = -1;
    bool finished = false;
};

// Starts a server on `folder` with `config`, lets one device ask, and
// reports what arrived. `beforeRequest` runs after the start.
Served serveOne(const NetnsEnv& env, const std::string& folder, const std::string& config, bool expectOffer,
                const std::function<void()>& beforeRequest = {})
{
    Served s;
    UpdateServer server;
    if (server.start(folder, config, env.toolAddr, OptionUpdateBoot) != 0)
        return s;
    if (beforeRequest)
        beforeRequest();
    TempDir out;
    s.run = runDevsim(env, {"--bind", env.devAddrs[0], "--save-image", out.file("received.bin"), "--offer-timeout",
                            expectOffer ? "30000" : "8000"});
    s.received = readFileBytes(out.file("received.bin"));
    s.jobs = server.jobCount();
    if (auto job = server.jobAt(0)) {
        brelvo_test::waitFor([&] { return job->isFinished(); }, std::chrono::seconds(10));
        s.status = job->statusCode();
        s.finished = job->isFinished();
    }
    server.stop();
    return s;
}

void expectNothingSent(const Served& s)
{
    ASSERT_EQ(s.run.devices.size(), 1u) << s.run.process.output;
    EXPECT_NE(s.run.process.exitCode, 0);
    EXPECT_EQ(s.run.devices[0].get("result"), "failed") << s.run.process.output;
    EXPECT_EQ(s.run.devices[0].get("blocks").substr(0, 2), "0/") << s.run.process.output;
    EXPECT_NE(s.run.process.output.find("no Offer"), std::string::npos) << s.run.process.output;
    EXPECT_TRUE(s.received.empty());
}

void expectReceived(const Served& s, const std::vector<uint8_t>& bytes)
{
    ASSERT_EQ(s.run.process.exitCode, 0) << s.run.process.output;
    ASSERT_EQ(s.run.devices.size(), 1u);
    EXPECT_EQ(s.run.devices[0].get("result"), "complete");
    ASSERT_EQ(s.received.size(), bytes.size());
    EXPECT_TRUE(s.received == bytes);
    EXPECT_EQ(s.status, DeviceWriteComplete);
}

} // namespace

// ---------------------------------------------------------------- over the network

TEST(BadFiles, MissingFolderServesNobody)
{
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    RELIABILITY_NEEDS_NETNS(env);
    TempDir base;
    Served s = serveOne(env, base.file("no-such-folder"), "", false);
    EXPECT_EQ(s.jobs, 0);
    expectNothingSent(s);
}

TEST(BadFiles, ImageGoneBeforeLoadingGivesOpenFailed)
{
    // Matching does not look at the image itself, so an image deleted after
    // the match is what the job meets here: the version file alone.
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    RELIABILITY_NEEDS_NETNS(env);
    FirmwareFolder fw(5000);
    ASSERT_EQ(unlink(fw.imagePath.c_str()), 0);
    Served s = serveOne(env, fw.path(), "", false);
    EXPECT_EQ(s.jobs, 1);
    EXPECT_EQ(s.status, FileError);
    EXPECT_TRUE(s.finished);
    expectNothingSent(s);
}

TEST(BadFiles, VersionFileForAnotherProductGivesModelMismatch)
{
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    RELIABILITY_NEEDS_NETNS(env);
    FirmwareFolder fw(5000, 7, "OTHER01");
    Served s = serveOne(env, fw.path(), "", false);
    EXPECT_EQ(s.jobs, 1);
    EXPECT_EQ(s.status, ModelMismatch);
    EXPECT_TRUE(s.finished);
    expectNothingSent(s);
}

TEST(BadFiles, UnreadableImageGivesOpenFailed)
{
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    RELIABILITY_NEEDS_NETNS(env);
    FirmwareFolder fw(5000);
    // A folder where the image should be: it opens as nothing readable.
    ASSERT_EQ(unlink(fw.imagePath.c_str()), 0);
    ASSERT_EQ(mkdir(fw.imagePath.c_str(), 0755), 0);
    Served s = serveOne(env, fw.path(), "", false);
    EXPECT_EQ(s.status, FileError);
    expectNothingSent(s);
}

TEST(BadFiles, ConfigurationSizes)
{
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    RELIABILITY_NEEDS_NETNS(env);
    FirmwareFolder fw(10); // two whole words and two bytes
    TempDir cfg;
    {
        SCOPED_TRACE("65 535 bytes: too small, the image goes alone");
        expectReceived(serveOne(env, fw.path(), writeConfig(cfg, "small.cfg", 65535), true), fw.image);
    }
    {
        SCOPED_TRACE("65 536 bytes: appended and masked");
        const std::string path = writeConfig(cfg, "exact.cfg", 65536);
        Served s = serveOne(env, fw.path(), path, true);
        expectReceived(s, maskedJoin(fw.image, readFileBytes(path)));
        // The simulator checked End against the sum of what it received.
        EXPECT_EQ(s.run.devices.size() == 1 ? s.run.devices[0].get("violations") : "", "0");
    }
    {
        SCOPED_TRACE("16 MiB + 1 bytes: over the total, the image goes alone");
        expectReceived(serveOne(env, fw.path(), writeConfig(cfg, "huge.cfg", 16777217), true), fw.image);
    }
}

TEST(BadFiles, ConfigurationThatDisappears)
{
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    RELIABILITY_NEEDS_NETNS(env);
    FirmwareFolder fw(3000);
    TempDir cfg;
    const std::string path = writeConfig(cfg, "gone.cfg", 70000);
    expectReceived(serveOne(env, fw.path(), path, true, [&] { unlink(path.c_str()); }), fw.image);
}

TEST(BadFiles, ImageFailingItsChecksumWithConfiguration)
{
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    RELIABILITY_NEEDS_NETNS(env);
    FirmwareFolder fw(3000);
    fw.dir.writeText(kVersionName, "product=" + std::string(kProduct) + "\nchecksum=12345\n");
    TempDir cfg;
    Served s = serveOne(env, fw.path(), writeConfig(cfg, "ok.cfg", 65536), false);
    EXPECT_EQ(s.status, FileError);
    expectNothingSent(s);
}

// ---------------------------------------------------------------- loading step only

namespace {

// A job for the product, set up to load `image` with `config`, without a
// worker or a socket.
std::shared_ptr<UpdateJob> localJob(const std::string& image, const std::string& config)
{
    const uint8_t request[] = {'u', 'p', 'd', ':', 0, 0, 0, 0, 0, 0, 0, 7, 'A', 'B', 'C', 'D', 'E', 'F', 'G'};
    auto job = UpdateJob::create(request, sizeof request);
    job->init(image, config, 0, 0, 0, 0, OptionUpdateBoot);
    return job;
}

} // namespace

TEST(LocalFiles, TotalAtTheLimitIsAppendedOneByteMoreIsNot)
{
    FirmwareFolder fw(1024);
    TempDir cfg;
    {
        const std::string path = writeConfig(cfg, "limit.cfg", 16777216 - 1024);
        auto job = localJob(fw.imagePath, path);
        ASSERT_EQ(job->loadFirmware(), 0);
        EXPECT_EQ(job->imageSize(), 16777216u);
        EXPECT_EQ(job->blockTotal(), 16384);
        EXPECT_TRUE(job->imageBytes() == maskedJoin(fw.image, readFileBytes(path)));
        EXPECT_EQ(job->checksumValue(), brelvo_test::wordSum(job->imageBytes()));
        unlink(path.c_str());
    }
    {
        const std::string path = writeConfig(cfg, "over.cfg", 16777216 - 1023);
        auto job = localJob(fw.imagePath, path);
        ASSERT_EQ(job->loadFirmware(), 0);
        EXPECT_TRUE(job->imageBytes() == fw.image);
        EXPECT_EQ(job->checksumValue(), brelvo_test::wordSum(fw.image));
        EXPECT_EQ(job->blockTotal(), 1);
    }
}

TEST(LocalFiles, ConfigurationThatIsNoFileIsSkipped)
{
    FirmwareFolder fw(4096);
    TempDir cfg;
    for (const std::string& path : {cfg.path(), cfg.file("missing.cfg"), std::string("/dev/null")}) {
        auto job = localJob(fw.imagePath, path);
        ASSERT_EQ(job->loadFirmware(), 0) << path;
        EXPECT_TRUE(job->imageBytes() == fw.image) << path;
        EXPECT_EQ(job->statusCode(), Accepted) << path;
    }
}

TEST(LocalFiles, ImageShorterThanItsSize)
{
    // Kernel attribute files claim a whole page but deliver a few bytes:
    // the read comes up short of the size, which must fail the job.
    const char* candidates[] = {"/sys/kernel/mm/transparent_hugepage/enabled", "/sys/class/net/lo/mtu",
                                "/sys/kernel/profiling", "/sys/power/state"};
    std::string source;
    for (const char* c : candidates) {
        struct stat st {};
        if (stat(c, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
            readFileBytes(c).size() < static_cast<size_t>(st.st_size)) {
            source = c;
            break;
        }
    }
    if (source.empty())
        GTEST_SKIP() << "no file here reports more bytes than it delivers";
    FirmwareFolder fw(100);
    ASSERT_EQ(unlink(fw.imagePath.c_str()), 0);
    ASSERT_EQ(symlink(source.c_str(), fw.imagePath.c_str()), 0);
    auto job = localJob(fw.imagePath, "");
    EXPECT_EQ(job->loadFirmware(), -1);
    EXPECT_EQ(job->statusCode(), FileError);
    EXPECT_EQ(job->blockTotal(), 0) << "a short image must not be offered";
}

TEST(LocalFiles, WrongProductOrMissingVersionFileLoadsNothing)
{
    {
        FirmwareFolder fw(2048, 7, "ABCDEFH");
        auto job = localJob(fw.imagePath, "");
        EXPECT_EQ(job->loadFirmware(), -1);
        EXPECT_EQ(job->statusCode(), ModelMismatch);
        EXPECT_EQ(job->blockTotal(), 0);
    }
    {
        FirmwareFolder fw(2048, 7, kProduct, false);
        auto job = localJob(fw.imagePath, "");
        EXPECT_EQ(job->loadFirmware(), -1);
        EXPECT_EQ(job->statusCode(), FileError);
        EXPECT_EQ(job->blockTotal(), 0);
    }
}
