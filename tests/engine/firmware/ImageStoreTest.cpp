// SPDX-License-Identifier: MIT
// What a job sends: the image checked against its version file, one buffer
// for all the jobs sending it (the masked configuration behind it is judged
// byte for byte by tests/integration's Transfer.ImageAlone... case).
#include "FirmwareTestSupport.h"
#include "firmware/ImageStore.h"

#include <thread>

using brelvo::PreparedImage;
using brelvo::kPrepareFileError;
using brelvo::kPrepareModelMismatch;
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
    const std::string longLine(1 << 20, ' ');  // past the line bound and the reader's blocks
    const struct {
        std::string version;
        int failure;  // 0: sent
        uint32_t checksum;
    } cases[] = {
        {"product=ABCDEFG \r\nchecksum=0x0BADF00D\n", 0, 0x0BADF00D},  // sent as it is
        {"CHECKSUM=0X10\nChEcKsUm=0755", 0, 0755},                      // any case; the last wins
        {"checksum=-1\n", 0, 0xFFFFFFFFu},
        {"PRODUCT=other\nchecksums=5\n", 0, 0},                       // neither key
        {"product=ABCDEFG\nproduct=ABCDEFG\r\n", 0, 0},
        {"product=ABCDEFG" + longLine, kPrepareModelMismatch, 0},      // too long to keep: another product
        {"checksum=3\n" + longLine + "\nproduct=ABCDEFG\nchecksum=5", 0, 5},
        {"product= ABCDEFG\n", kPrepareModelMismatch, 0},
        {"product=abcdefg\n", kPrepareModelMismatch, 0},
        {"product=X\nproduct=ABCDEFG\nproduct=ABCDEFG\n", kPrepareModelMismatch, 0},  // any other one refuses
        {"checksum=1\nproduct=ABCDEFG\nproduct=X\n", kPrepareModelMismatch, 0},
    };
    for (const auto& c : cases) {
        const std::string what = c.version.substr(0, 40);
        brelvo::Error why;
        const auto r = store.prepare(write({'a', 'b', 'c', 'd'}, c.version.c_str()), "ABCDEFG", "", &why);
        EXPECT_EQ(why.code, c.failure) << what << ": " << why.text;
        if (c.failure == 0) {
            ASSERT_TRUE(r) << what;
            EXPECT_EQ(r->checksum, c.checksum) << what;
            EXPECT_EQ(text(r->bytes), "abcd");
            EXPECT_FALSE(r->withConfig);
        } else {
            EXPECT_FALSE(r);
            EXPECT_NE(why.text.find(dir.file("kvx_ABCDEFG-ver.bin")), std::string::npos) << why.text;
        }
    }
    // The product is checked per request, also on a buffer already made.
    const std::string image = write({'a', 'b', 'c', 'd'}, "product=ABCDEFG\nchecksum=9\n");
    const auto first = store.prepare(image, "ABCDEFG", "");
    const uint64_t reads = store.imageReads();
    brelvo::Error why;
    EXPECT_FALSE(store.prepare(image, "HIJKLMN", "", &why));
    EXPECT_EQ(why.code, kPrepareModelMismatch);
    EXPECT_EQ(store.prepare(image, "ABCDEFG", ""), first);
    EXPECT_EQ(store.imageReads(), reads);
}

TEST_F(ImageStore, EveryReasonNotToSendIsAFileErrorNamingTheFile)
{
    const std::vector<uint8_t> small = patternBytes(400, 3);
    std::filesystem::create_directory(dir.file("folder.cfg"));
    makePipe(dir.file("pipe.cfg"));
    makePipe(dir.file("kvx_PIPE.bin"));
    writeDated(dir, "kvx_PIPE-ver.bin", "checksum=1\n");
    makeLink("loop.cfg", dir.file("loop.cfg"));
    makeLink("nowhere", dir.file("dangling.cfg"));
    struct Case {
        const char* what;
        std::function<std::string()> image;  // writes the files; the image path
        std::string config;
        std::string named;                   // must appear in the reason
        std::string says;                    // and so must this
        bool odd = false;                    // needs a pipe or a link
    };
    const std::string image = dir.file("kvx_ABCDEFG.bin");
    const auto same = [&] { return image; }; // the last one written
    const Case cases[] = {
        {"no version file", [&] { return write(small, nullptr, "kvx_NOVER"); }, "", dir.file("kvx_NOVER-ver.bin"),
         "does not exist"},
        {"no image", [&] { writeDated(dir, "kvx_NOIMG-ver.bin", "checksum=1\n"); return dir.file("kvx_NOIMG.bin"); },
         "", dir.file("kvx_NOIMG.bin"), "does not exist"},
        {"image is a pipe", [&] { return dir.file("kvx_PIPE.bin"); }, "", dir.file("kvx_PIPE.bin"),
         "not a regular file", true},
        {"configuration missing", [&] { return write(small, versionFor(small).c_str()); }, dir.file("none.cfg"),
         dir.file("none.cfg"), "does not exist"},
        {"configuration is a folder", same, dir.file("folder.cfg"), dir.file("folder.cfg"), "not a regular file"},
        {"configuration is a pipe", same, dir.file("pipe.cfg"), dir.file("pipe.cfg"), "not a regular file", true},
        {"configuration link loops", same, dir.file("loop.cfg"), dir.file("loop.cfg"), "cannot be read", true},
        {"configuration link to nowhere", same, dir.file("dangling.cfg"), dir.file("dangling.cfg"), "does not exist",
         true},
        {"configuration one byte short", same, config(65535, "s.cfg"), dir.file("s.cfg"),
         "has 65535 bytes; at least 65536 are needed"},
        {"empty configuration", same, config(0, "e.cfg"), dir.file("e.cfg"), "has 0 bytes"},
        {"image and configuration one byte over 16 MiB",
         [&] { return write(patternBytes(16777216 - 65535, 5), "checksum=0\n", "kvx_BIG"); }, config(65536),
         dir.file("kvx_BIG.bin"), "is over 16777216 bytes"},
        {"image not matching its checksum",
         [&] { return write(small, versionFor(small, 1).c_str()); }, config(65536), image,
         "does not match its version file"},
    };
    for (const Case& c : cases) {
        if (c.odd && !kOddEntries)
            continue;
        const std::string path = c.image();
        brelvo::Error why;
        EXPECT_FALSE(store.prepare(path, "ABCDEFG", c.config, &why)) << c.what;
        EXPECT_TRUE(why.code == kPrepareFileError && why.text.find(c.named) != std::string::npos &&
                    why.text.find(c.says) != std::string::npos && why.text.find('\n') == std::string::npos)
            << c.what << ": " << why.code << " " << why.text;
    }
    // The largest sum that fits, and a file that ends before its stated size.
    const auto big = patternBytes(16777216 - 65536, 5);
    const auto full = store.prepare(write(big, versionFor(big).c_str(), "kvx_FULL"), "ABCDEFG", config(65536));
    ASSERT_TRUE(full);
    EXPECT_EQ(full->bytes.size(), 16777216u);
    if (kOddEntries && ::access("/sys/kernel/uevent_seqnum", R_OK) == 0) {  // says 4096 bytes, gives a few
        writeDated(dir, "kvx_SHORT-ver.bin", "checksum=1\n");
        makeLink("/sys/kernel/uevent_seqnum", dir.file("kvx_SHORT.bin"));
        brelvo::Error why;
        EXPECT_FALSE(store.prepare(dir.file("kvx_SHORT.bin"), "ABCDEFG", "", &why));
        EXPECT_TRUE(why.code == kPrepareFileError && why.text.find("ended after") != std::string::npos) << why.text;
    }
}

TEST_F(ImageStore, JobsSendingTheSameBytesShareOneBuffer)
{
    const auto image = patternBytes(100000, 9);
    const std::string path = write(image, versionFor(image).c_str());
    const std::string cfg = config(70000);
    auto a = store.prepare(path, "ABCDEFG", cfg);
    auto b = store.prepare(path, "ABCDEFG", cfg);
    ASSERT_TRUE(a);
    EXPECT_TRUE(a == b && store.imageReads() == 1u) << store.imageReads();
    auto plain = store.prepare(path, "ABCDEFG", "");
    EXPECT_TRUE(plain != a && plain->bytes == image && store.liveImages() == 2u) << store.liveImages();

    // A new image on disk: the next job gets new bytes, the holders keep theirs.
    const std::vector<uint8_t> held = a->bytes;
    auto replaced = image;
    replaced[5] ^= 0xFF;
    write(replaced, versionFor(replaced).c_str());
    auto c = store.prepare(path, "ABCDEFG", cfg);
    ASSERT_TRUE(c);
    EXPECT_TRUE(c != a && a->bytes == held && c->bytes != held);
    EXPECT_EQ(store.prepare(path, "ABCDEFG", cfg), c);

    // The store holds none of them: the last holder frees each buffer.
    std::weak_ptr<const PreparedImage> first = a, second = c;
    a = b = c = plain = nullptr;
    EXPECT_TRUE(first.expired() && second.expired() && store.liveImages() == 0u);
    EXPECT_EQ(store.prepare(path, "ABCDEFG", cfg)->bytes.size(), 170000u);  // made again

    // Files younger than the settling time are read again, but equal bytes
    // keep the buffer the earlier jobs share.
    brelvo::ImageStore careful(int64_t(3600) * 1000000000);
    auto d = careful.prepare(path, "ABCDEFG", "");
    auto e = careful.prepare(path, "ABCDEFG", "");
    EXPECT_TRUE(careful.imageReads() == 2u && d == e) << careful.imageReads();
    // Only the image changed, its version file did not: new bytes all the same.
    plain = store.prepare(path, "ABCDEFG", "");
    replaced[6] ^= 0xFF;
    write(replaced, nullptr);
    EXPECT_EQ(store.prepare(path, "ABCDEFG", "")->bytes, replaced);
}

TEST_F(ImageStore, ThreadsAskingForOneNewImageReadItOnce)
{
    const auto image = patternBytes(8 << 20, 21);
    const std::string path = write(image, versionFor(image).c_str());
    const std::string cfg = config(65536);
    std::vector<std::shared_ptr<const PreparedImage>> results(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] { results[i] = store.prepare(path, "ABCDEFG", i % 2 ? cfg : ""); });
    for (std::thread& t : threads)
        t.join();
    for (size_t i = 0; i < results.size(); ++i)
        EXPECT_TRUE(results[i] && results[i] == results[i % 2]) << i;
    EXPECT_EQ(store.imageReads(), 2u);  // once without, once with the configuration
}

// A Stop is asked between blocks: the read ends at the first ask that says
// so, reports it as such, and leaves nothing behind for the next job.
TEST_F(ImageStore, AStopAbandonsTheReadBetweenBlocks)
{
    const auto image = patternBytes(3 << 20, 4);
    const std::string path = write(image, versionFor(image).c_str());
    for (const int stopAt : {1, 4}) { // in the version file; in the image
        int asked = 0;
        brelvo::Error why;
        EXPECT_FALSE(store.prepare(path, "ABCDEFG", "", &why, [&] { return ++asked == stopAt; })) << stopAt;
        EXPECT_TRUE(why.code == brelvo::kPrepareStopped && asked == stopAt) << asked << " " << why.text;
    }
    const auto whole = store.prepare(path, "ABCDEFG", "");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->bytes, image);
}
