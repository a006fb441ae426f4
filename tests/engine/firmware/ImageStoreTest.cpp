// SPDX-License-Identifier: MIT
// What a job sends: the image checked against its version file, one buffer
// for all the jobs sending it (the masked configuration behind it is judged
// byte for byte by tests/integration's Transfer.ImageAlone... case).
#include "FirmwareTestSupport.h"
#include "firmware/ImageStore.h"

#include <thread>

using brelvo::PreparedImage;
using brelvo::PrepareResult;
using brelvo::PrepareStatus;
using namespace brelvo_test;

namespace {

std::string text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

// Named after the class under test so that its cases read engine.firmware.ImageStore.*.
class ImageStore : public ::testing::Test {
protected:
    TempDir dir;
    brelvo::ImageStore store{0};
    int written_ = 0;

    // kvx_ABCDEFG.bin with `image` and its version file with `version`
    // (none when null); the image's path.
    std::string write(const std::vector<uint8_t>& image, const char* version, const std::string& stem = "kvx_ABCDEFG")
    {
        if (version)
            writeDated(dir, stem + "-ver.bin", version);
        const std::string path = dir.writeBytes(stem + ".bin", image);
        setModified(path, 500000 + ++written_);
        return path;
    }
    std::string versionFor(const std::vector<uint8_t>& image, uint32_t delta = 0)
    {
        return "product=ABCDEFG\nchecksum=" + std::to_string(wordSum(image) + delta) + "\n";
    }
    std::string config(size_t bytes, const std::string& name = "c.cfg")
    {
        return dir.writeBytes(name, patternBytes(bytes, 0xC0F1u + unsigned(bytes)));
    }
};

} // namespace

TEST_F(ImageStore, VersionFileDecidesModelAndChecksum)
{
    const struct {
        const char* version;
        PrepareStatus status;
        uint32_t checksum;
    } cases[] = {
        {"product=ABCDEFG \r\nchecksum=0x0BADF00D\n", PrepareStatus::Ok, 0x0BADF00D},  // sent as it is
        {"CHECKSUM=0X10\nChEcKsUm=0755", PrepareStatus::Ok, 0755},                      // any case; the last wins
        {"checksum=-1\n", PrepareStatus::Ok, 0xFFFFFFFFu},
        {"PRODUCT=other\nchecksums=5\n", PrepareStatus::Ok, 0},                       // neither key
        {"product=ABCDEFG\nproduct=ABCDEFG\r\n", PrepareStatus::Ok, 0},
        {"product= ABCDEFG\n", PrepareStatus::ModelMismatch, 0},
        {"product=abcdefg\n", PrepareStatus::ModelMismatch, 0},
        {"product=X\nproduct=ABCDEFG\n", PrepareStatus::ModelMismatch, 0},
        {"checksum=1\nproduct=ABCDEFG\nproduct=X\n", PrepareStatus::ModelMismatch, 0},
    };
    for (const auto& c : cases) {
        const std::string image = write({'a', 'b', 'c', 'd'}, c.version);
        const PrepareResult r = store.prepare(image, "ABCDEFG", "");
        EXPECT_EQ(r.status, c.status) << c.version << ": " << r.reason;
        if (c.status == PrepareStatus::Ok) {
            ASSERT_TRUE(r.image) << c.version;
            EXPECT_EQ(r.image->checksum, c.checksum) << c.version;
            EXPECT_EQ(text(r.image->bytes), "abcd");
            EXPECT_FALSE(r.image->withConfig);
            EXPECT_TRUE(r.reason.empty());
        } else {
            EXPECT_FALSE(r.image);
            EXPECT_NE(r.reason.find(dir.file("kvx_ABCDEFG-ver.bin")), std::string::npos) << r.reason;
        }
    }
    // The product is checked per request, also on a buffer already made.
    const std::string image = write({'a', 'b', 'c', 'd'}, "product=ABCDEFG\nchecksum=9\n");
    const PrepareResult first = store.prepare(image, "ABCDEFG", "");
    const uint64_t reads = store.imageReads();
    EXPECT_EQ(store.prepare(image, "HIJKLMN", "").status, PrepareStatus::ModelMismatch);
    EXPECT_EQ(store.prepare(image, "ABCDEFG", "").image, first.image);
    EXPECT_EQ(store.imageReads(), reads);
}

TEST_F(ImageStore, EveryReasonNotToSendIsAFileErrorNamingTheFile)
{
    const std::vector<uint8_t> small = patternBytes(400, 3);
    ::mkdir(dir.file("folder.cfg").c_str(), 0755);
    ::mkfifo(dir.file("pipe.cfg").c_str(), 0644);
    ::symlink("loop.cfg", dir.file("loop.cfg").c_str());
    ::symlink("nowhere", dir.file("dangling.cfg").c_str());
    struct Case {
        const char* what;
        std::function<std::string()> image;  // writes the files; the image path
        std::string config;
        std::string named;                   // must appear in the reason
        std::string says;                    // and so must this
    };
    const std::string image = dir.file("kvx_ABCDEFG.bin");
    const Case cases[] = {
        {"no version file", [&] { return write(small, nullptr, "kvx_NOVER"); }, "", dir.file("kvx_NOVER-ver.bin"),
         "does not exist"},
        {"no image", [&] { writeDated(dir, "kvx_NOIMG-ver.bin", "checksum=1\n"); return dir.file("kvx_NOIMG.bin"); },
         "", dir.file("kvx_NOIMG.bin"), "does not exist"},
        {"image is a pipe",
         [&] {
             writeDated(dir, "kvx_PIPE-ver.bin", "checksum=1\n");
             ::mkfifo(dir.file("kvx_PIPE.bin").c_str(), 0644);
             return dir.file("kvx_PIPE.bin");
         },
         "", dir.file("kvx_PIPE.bin"), "not a regular file"},
        {"configuration missing", [&] { return write(small, versionFor(small).c_str()); }, dir.file("none.cfg"),
         dir.file("none.cfg"), "does not exist"},
        {"configuration is a folder", [&] { return image; }, dir.file("folder.cfg"), dir.file("folder.cfg"),
         "not a regular file"},
        {"configuration is a pipe", [&] { return image; }, dir.file("pipe.cfg"), dir.file("pipe.cfg"),
         "not a regular file"},
        {"configuration link loops", [&] { return image; }, dir.file("loop.cfg"), dir.file("loop.cfg"),
         "cannot be read"},
        {"configuration link to nowhere", [&] { return image; }, dir.file("dangling.cfg"), dir.file("dangling.cfg"),
         "does not exist"},
        {"configuration one byte short", [&] { return image; }, config(65535, "s.cfg"), dir.file("s.cfg"),
         "has 65535 bytes; at least 65536 are needed"},
        {"empty configuration", [&] { return image; }, config(0, "e.cfg"), dir.file("e.cfg"), "has 0 bytes"},
        {"image and configuration one byte over 16 MiB",
         [&] { return write(patternBytes(16777216 - 65535, 5), "checksum=0\n", "kvx_BIG"); }, config(65536),
         dir.file("kvx_BIG.bin"), "is over 16777216 bytes"},
        {"image not matching its checksum",
         [&] { return write(small, versionFor(small, 1).c_str()); }, config(65536), image,
         "does not match its version file"},
    };
    for (const Case& c : cases) {
        const std::string path = c.image();
        const PrepareResult r = store.prepare(path, "ABCDEFG", c.config);
        EXPECT_EQ(r.status, PrepareStatus::FileError) << c.what;
        EXPECT_FALSE(r.image) << c.what;
        EXPECT_NE(r.reason.find(c.named), std::string::npos) << c.what << ": " << r.reason;
        EXPECT_NE(r.reason.find(c.says), std::string::npos) << c.what << ": " << r.reason;
        EXPECT_EQ(r.reason.find('\n'), std::string::npos) << c.what;
    }
    // The largest sum that fits, and a file that ends before its stated size.
    const auto big = patternBytes(16777216 - 65536, 5);
    const PrepareResult full = store.prepare(write(big, versionFor(big).c_str(), "kvx_FULL"), "ABCDEFG", config(65536));
    ASSERT_EQ(full.status, PrepareStatus::Ok) << full.reason;
    EXPECT_EQ(full.image->bytes.size(), 16777216u);
    if (::access("/sys/kernel/uevent_seqnum", R_OK) == 0) {  // says 4096 bytes, gives a few
        writeDated(dir, "kvx_SHORT-ver.bin", "checksum=1\n");
        ::symlink("/sys/kernel/uevent_seqnum", dir.file("kvx_SHORT.bin").c_str());
        const PrepareResult r = store.prepare(dir.file("kvx_SHORT.bin"), "ABCDEFG", "");
        EXPECT_EQ(r.status, PrepareStatus::FileError);
        EXPECT_NE(r.reason.find("ended after"), std::string::npos) << r.reason;
    }
}

TEST_F(ImageStore, JobsSendingTheSameBytesShareOneBuffer)
{
    const auto image = patternBytes(100000, 9);
    const std::string path = write(image, versionFor(image).c_str());
    const std::string cfg = config(70000);
    PrepareResult a = store.prepare(path, "ABCDEFG", cfg);
    PrepareResult b = store.prepare(path, "ABCDEFG", cfg);
    ASSERT_EQ(a.status, PrepareStatus::Ok) << a.reason;
    EXPECT_EQ(a.image, b.image);
    EXPECT_EQ(store.imageReads(), 1u);
    PrepareResult plain = store.prepare(path, "ABCDEFG", "");
    EXPECT_NE(plain.image, a.image);
    EXPECT_EQ(plain.image->bytes, image);
    EXPECT_EQ(store.liveImages(), 2u);

    // A new image on disk: the next job gets new bytes, the holders keep theirs.
    const std::vector<uint8_t> held = a.image->bytes;
    auto replaced = image;
    replaced[5] ^= 0xFF;
    write(replaced, versionFor(replaced).c_str());
    PrepareResult c = store.prepare(path, "ABCDEFG", cfg);
    ASSERT_EQ(c.status, PrepareStatus::Ok) << c.reason;
    EXPECT_NE(c.image, a.image);
    EXPECT_EQ(a.image->bytes, held);
    EXPECT_NE(c.image->bytes, held);
    EXPECT_EQ(store.prepare(path, "ABCDEFG", cfg).image, c.image);

    // The store holds none of them: the last holder frees each buffer.
    std::weak_ptr<const PreparedImage> first = a.image, second = c.image;
    a = b = c = plain = PrepareResult();
    EXPECT_TRUE(first.expired());
    EXPECT_TRUE(second.expired());
    EXPECT_EQ(store.liveImages(), 0u);
    EXPECT_EQ(store.prepare(path, "ABCDEFG", cfg).image->bytes.size(), 170000u);  // made again

    // Files younger than the settling time are read again, but equal bytes
    // keep the buffer the earlier jobs share.
    brelvo::ImageStore careful(int64_t(3600) * 1000000000);
    PrepareResult d = careful.prepare(path, "ABCDEFG", "");
    PrepareResult e = careful.prepare(path, "ABCDEFG", "");
    EXPECT_EQ(careful.imageReads(), 2u);
    EXPECT_EQ(d.image, e.image);
    // Only the image changed, its version file did not: new bytes all the same.
    plain = store.prepare(path, "ABCDEFG", "");
    replaced[6] ^= 0xFF;
    write(replaced, nullptr);
    EXPECT_EQ(store.prepare(path, "ABCDEFG", "").image->bytes, replaced);
}

TEST_F(ImageStore, ThreadsAskingForOneNewImageReadItOnce)
{
    const auto image = patternBytes(8 << 20, 21);
    const std::string path = write(image, versionFor(image).c_str());
    const std::string cfg = config(65536);
    std::vector<PrepareResult> results(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] { results[i] = store.prepare(path, "ABCDEFG", i % 2 ? cfg : ""); });
    for (std::thread& t : threads)
        t.join();
    for (size_t i = 0; i < results.size(); ++i) {
        ASSERT_EQ(results[i].status, PrepareStatus::Ok) << results[i].reason;
        EXPECT_EQ(results[i].image, results[i % 2].image) << i;
    }
    EXPECT_EQ(store.imageReads(), 2u);  // once without, once with the configuration
}
