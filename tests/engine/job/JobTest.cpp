#include "EngineTestSupport.h"
#include "firmware/ConfigMask.h"
#include "job/ReceiveWithTimeout.h"
#include "job/UpdateJob.h"
#include "platform/AddressText.h"

#include <thread>

using namespace brelvo;
using namespace brelvo_test;
using Reaction = UpdateJob::Reaction;

namespace {

const SocketAddress kDevice{0x3201A8C0u, 0x3412};
const SocketAddress kStranger{0x0901A8C0u, 0x9999};

std::shared_ptr<UpdateJob> makeJob()
{
    const auto d = request("ABCDEFG");
    return UpdateJob::create(d.data(), static_cast<int>(d.size()));
}

std::string bytesOf(size_t n, uint8_t seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(seed + i * 13 + (i >> 8));
    return s;
}

uint32_t sumOf(const std::string& s) { return sumWords(reinterpret_cast<const uint8_t*>(s.data()), s.size() / 4); }

class Job : public ::testing::Test {
protected:
    TempDir dir;
    std::shared_ptr<UpdateJob> job = makeJob();

    // Writes the image (unless null) and its version file (unless null), then loads.
    int load(const char* image, const char* version, const std::string& config = "")
    {
        if (version)
            dir.writeText("kvx_ABCDEFG-ver.bin", version);
        if (image)
            dir.writeText("kvx_ABCDEFG.bin", image);
        job->init(dir.file("kvx_ABCDEFG.bin"), config, 0, 0, 0, 0, 1);
        return job->loadFirmware();
    }
    Reaction feed(const std::vector<uint8_t>& d, size_t length = 0, const SocketAddress& from = kDevice)
    {
        return job->handleDatagram(d.data(), length ? length : d.size(), from);
    }
    bool ack(uint32_t index, size_t length = 16)
    {
        const auto d = message(4, {index});
        return job->accountBlockAck(d.data(), length, kDevice);
    }
    void loadBlocks(size_t bytes) { job->loadImage(std::vector<uint8_t>(bytes, 0x11).data(), bytes, 0); }
};

} // namespace

TEST_F(Job, VersionFileDecidesChecksumAndModel)
{
    const std::pair<const char*, uint32_t> good[] = {
        {"product=ABCDEFG \r\nchecksum=0x0BADF00D\n", 0x0BADF00D}, // sent as it is, right or wrong
        {"CHECKSUM=0X10\nChEcKsUm=0755", 0755},                     // any case; the last wins
        {"checksum=-1\n", 0xFFFFFFFFu},
        {"PRODUCT=other\nchecksums=5\n", 0},                       // neither key
    };
    for (const auto& g : good) {
        job = makeJob();
        ASSERT_EQ(load("abcd", g.first), 0) << g.first;
        EXPECT_EQ(job->checksumValue(), g.second) << g.first;
        EXPECT_EQ(job->statusCode(), Accepted);
    }
    for (const char* bad : {"product= ABCDEFG\n", "product=abcdefg\n", "product=X\nproduct=ABCDEFG\n"}) {
        job = makeJob();
        EXPECT_EQ(load("abcd", bad), -1) << bad;
        EXPECT_EQ(job->statusCode(), ModelMismatch) << bad;
    }
}

TEST_F(Job, MissingVersionFileOrImageIsFileError)
{
    EXPECT_EQ(load("image", nullptr), -1);
    EXPECT_EQ(job->statusCode(), FileError);
    std::remove(dir.file("kvx_ABCDEFG.bin").c_str());
    job = makeJob();
    EXPECT_EQ(load(nullptr, "product=ABCDEFG\n"), -1);
    EXPECT_EQ(job->statusCode(), FileError);
    EXPECT_EQ(job->imageSize(), 0u);
}

TEST_F(Job, ConfigurationIsMaskedAndTheChecksumRecomputed)
{
    const std::string image = bytesOf(10, 3), config = bytesOf(65536, 77);
    const std::string version = "checksum=" + std::to_string(sumOf(image)) + "\n";
    ASSERT_EQ(load(image.c_str(), version.c_str(), dir.writeText("c.cfg", config)), 0);
    EXPECT_EQ(job->imageSize(), 65546u);
    EXPECT_EQ(job->blockTotal(), 65);
    const std::vector<uint8_t>& out = job->imageBytes();
    const std::string plain = image + config;
    auto word = [](const void* b, size_t i) { return loadWordLe(static_cast<const uint8_t*>(b) + 4 * i); };
    // W0 = 2 words stay; words 2 .. W-1 = 16385 are masked; the last two bytes are in no word.
    for (size_t i : {0u, 1u})
        EXPECT_EQ(word(out.data(), i), word(plain.data(), i));
    for (size_t i : {2u, 3u, 16385u})
        EXPECT_EQ(word(out.data(), i), word(plain.data(), i) ^ kConfigMask);
    EXPECT_EQ(out[65544], uint8_t(plain[65544]));
    EXPECT_EQ(out[65545], uint8_t(plain[65545]));
    EXPECT_EQ(job->checksumValue(), sumWords(out.data(), 16386));
}

TEST_F(Job, ConfigurationNotAppendedOrRefused)
{
    // 65 535 bytes are not a configuration: the image goes as it is.
    ASSERT_EQ(load("0123456789", "checksum=7\n", dir.writeText("s.cfg", bytesOf(65535, 1))), 0);
    EXPECT_EQ(job->imageSize(), 10u);
    EXPECT_EQ(job->checksumValue(), 7u);
    // With a configuration, an image that fails its checksum is not sent.
    job = makeJob();
    const std::string image = bytesOf(400, 3);
    const std::string version = "checksum=" + std::to_string(sumOf(image) + 1) + "\n";
    EXPECT_EQ(load(image.c_str(), version.c_str(), dir.writeText("c.cfg", bytesOf(65536, 1))), -1);
    EXPECT_EQ(job->statusCode(), FileError);
}

TEST_F(Job, ReadyIsAnsweredOnlyWhileTheOfferIsOut)
{
    EXPECT_EQ(feed(message(2)), Reaction::None); // offer not out yet
    job->adoptSocket(kInvalidSocket);
    EXPECT_EQ(feed(message(2)), Reaction::SendSize);
    EXPECT_EQ(job->statusCode(), SizeSent);
    EXPECT_EQ(feed(message(2)), Reaction::None);
    EXPECT_EQ(feed(message(4, {0}), 15), Reaction::None); // short BlockAck
    EXPECT_EQ(feed(message(8, {5, 10}), 19), Reaction::None); // short WriteProgress
    EXPECT_EQ(job->statusCode(), SizeSent);
    EXPECT_EQ(feed(message(4, {0})), Reaction::RunBlockPhase);
    EXPECT_EQ(feed(message(2)), Reaction::None);
    for (int type : {0, 1, 3, 5, 6, 11, 0x84, 0xFF})
        EXPECT_EQ(feed(message(type, {1, 2})), Reaction::None) << type;
    EXPECT_EQ(job->statusCode(), SendingBlocks);
    EXPECT_FALSE(job->isFinished());
}

TEST_F(Job, AcknowledgementsAreCountedOnceAndOnlyForRealBlocks)
{
    loadBlocks(3 * 1024 + 1); // 4 blocks
    job->beginBlockPhase();
    EXPECT_TRUE(ack(3));
    for (uint32_t bad : {3u, 4u, 0x80000001u, 0xFFFFFFFFu}) // repeated, past the end, top bit
        EXPECT_FALSE(ack(bad)) << bad;
    EXPECT_FALSE(ack(1, 15));
    EXPECT_EQ(job->acknowledgedBlocks(), 1);
    job->beginBlockPhase(); // a new phase counts anew but keeps the flags
    EXPECT_FALSE(ack(3));
    EXPECT_EQ(job->acknowledgedBlocks(), 0);
}

TEST_F(Job, ProgressAndFinalStatuses)
{
    loadBlocks(10 * 1024);
    feed(message(4, {0}));
    job->beginBlockPhase();
    for (uint32_t i : {0u, 5u, 9u})
        ack(i);
    EXPECT_EQ(job->progress(), 30);
    const std::pair<std::pair<uint32_t, uint32_t>, int> writes[] = {
        {{7, 9}, 77}, {{50, 200}, 25}, {{7, 0}, 0}, {{500, 200}, 100}, {{0xFFFFFFFFu, 200}, 0}};
    for (const auto& w : writes) {
        EXPECT_EQ(feed(message(8, {w.first.first, w.first.second})), Reaction::ReportProgress);
        EXPECT_EQ(job->progress(), w.second) << w.first.first << "/" << w.first.second;
    }
    EXPECT_EQ(job->statusCode(), DeviceWriting);
    feed(message(8, {50, 200}));
    EXPECT_EQ(job->progressText(), "write:50, cnt=200\r\n");
    for (int type : {7, 10, 9}) {
        job = makeJob();
        feed(message(type));
        EXPECT_EQ(job->statusCode(), type);
        EXPECT_TRUE(job->isFinished());
        EXPECT_EQ(job->progress(), type == 9 ? 100 : 0);
    }
}

TEST_F(Job, ForeignDatagramsDoNotMoveThePeerAndALateAckGetsOnlyEnd)
{
    job->adoptSocket(kInvalidSocket);
    EXPECT_EQ(feed(message(2)), Reaction::SendSize);
    const std::vector<uint8_t> junk(16, 'j');
    EXPECT_EQ(feed(junk, 0, kStranger), Reaction::None);
    EXPECT_FALSE(job->accountBlockAck(junk.data(), junk.size(), kStranger));
    EXPECT_EQ(job->peerAddress(), kDevice);
    EXPECT_EQ(feed(message(0x7F), 0, kStranger), Reaction::None); // an update datagram does move it
    EXPECT_EQ(job->peerAddress(), kStranger);

    // Served on loopback: the one block goes out, is acknowledged, End
    // follows; a late BlockAck then gets End again and no block.
    job = makeJob();
    SocketHandle device = openUdpSocket(), own = openUdpSocket();
    SocketAddress jobAddr;
    ASSERT_EQ(bindSocket(device, addressFromText("127.0.0.1"), 0), 0);
    ASSERT_EQ(bindSocket(own, addressFromText("127.0.0.1"), 0), 0);
    socketName(own, &jobAddr);
    job->init("", "", 0, 0, 0, 0, 3);
    job->loadImage(reinterpret_cast<const uint8_t*>(bytesOf(1000, 1).data()), 1000, 0x01020304u);
    job->adoptSocket(own);
    std::thread worker([this] { job->serve(); });
    uint8_t buf[2048];
    const std::vector<uint8_t> end = {6, 0, 0, 0, 0, 0, 0, 5, 1, 2, 3, 4, 3};
    const auto ack0 = message(4, {0});
    auto next = [&] {
        const int n = receiveWithTimeout(device, buf, sizeof buf, nullptr, 10000);
        return std::vector<uint8_t>(buf + 4, buf + std::max(n, 4));
    };
    sendTo(device, ack0.data(), ack0.size(), jobAddr); // starts the block phase
    ASSERT_EQ(next().size(), 1036u);
    sendTo(device, ack0.data(), ack0.size(), jobAddr); // acknowledges block 0
    std::vector<uint8_t> d;
    while ((d = next()).size() == 1036u) { // copies sent before the ack came
    }
    EXPECT_EQ(d, end);
    sendTo(device, ack0.data(), ack0.size(), jobAddr);
    EXPECT_EQ(next(), end);
    EXPECT_EQ(receiveWithTimeout(device, buf, sizeof buf, nullptr, 0), 0);
    job->shutdown();
    worker.join();
    closeSocket(device);
}

TEST(JobThread, AWorkerThatCannotStartFinishesTheJobWithNetError)
{
    inPrivateNetns([] {
        if (!dropToNobodyWithoutThreads())
            ::_exit(kChildSkipped);
        auto job = makeJob();
        job->init("/nonexistent/kvx_ABCDEFG.bin", "", 0, 0, 0, 0, 1);
        CHILD_CHECK(job->start() == -1);
        CHILD_CHECK(job->isFinished() && job->workerEnded() && job->statusCode() == NetError);
        CHILD_CHECK(job->start() == -1);
    });
}
