#include "JobTestSupport.h"
#include "TempDir.h"
#include "job/ConfigMask.h"
#include "job/VersionFile.h"

#include <gtest/gtest.h>

using namespace brelvo;
using namespace brelvo_test;

namespace {

uint32_t word(const std::vector<uint8_t>& b, size_t i)
{
    return loadWordLe(b.data() + 4 * i);
}

std::string bytesOf(size_t n, uint8_t seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(seed + i * 13 + (i >> 8));
    return s;
}

uint32_t sumOf(const std::string& s)
{
    return sumWords(reinterpret_cast<const uint8_t*>(s.data()), s.size() / 4);
}

class Loading : public ::testing::Test {
protected:
    TempDir dir;
    std::shared_ptr<UpdateJob> job = makeJob("ABCDEFG");

    // Image and version file; returns the image path.
    std::string firmware(const std::string& image, const std::string& version)
    {
        dir.write("kvx_ABCDEFG-ver.bin", version);
        return dir.write("kvx_ABCDEFG.bin", image);
    }
    int load(const std::string& imagePath, const std::string& config = "")
    {
        job->init(imagePath, config, 0, 0, 0, 0, 1);
        return job->loadFirmware();
    }
};

} // namespace

TEST(VersionFileLines, ChecksumReadLikeStrtoulBaseZero)
{
    auto checksumOf = [](const std::string& line) {
        uint32_t c = 12345;
        EXPECT_EQ(VersionFile::checkLines({line}, "P", c), VersionFile::Ok);
        return c;
    };
    EXPECT_EQ(checksumOf("checksum=4660"), 4660u);
    EXPECT_EQ(checksumOf("checksum=0x1234"), 0x1234u);
    EXPECT_EQ(checksumOf("CHECKSUM=0X1234"), 0x1234u);
    EXPECT_EQ(checksumOf("ChEcKsUm=0755"), 0755u);
    EXPECT_EQ(checksumOf("checksum=   99"), 99u);
    EXPECT_EQ(checksumOf("checksum=0x123456789"), 0xFFFFFFFFu);
    EXPECT_EQ(checksumOf("checksum=junk"), 0u);
    EXPECT_EQ(checksumOf("checksums=1"), 12345u); // not the key
    EXPECT_EQ(checksumOf(" checksum=1"), 12345u);
}

TEST(VersionFileLines, ProductCheckAndOrder)
{
    uint32_t c = 0;
    EXPECT_EQ(VersionFile::checkLines({"product=P1   \r", "checksum=5"}, "P1", c), VersionFile::Ok);
    EXPECT_EQ(c, 5u);
    EXPECT_EQ(VersionFile::checkLines({"product= P1"}, "P1", c), VersionFile::ProductMismatch);
    EXPECT_EQ(VersionFile::checkLines({"product=p1"}, "P1", c), VersionFile::ProductMismatch);
    EXPECT_EQ(VersionFile::checkLines({"PRODUCT=other"}, "P1", c), VersionFile::Ok);
    EXPECT_EQ(VersionFile::checkLines({}, "P1", c), VersionFile::Ok); // no product line: unchecked
    // Every product line is checked, not only the last.
    EXPECT_EQ(VersionFile::checkLines({"product=X", "product=P1"}, "P1", c), VersionFile::ProductMismatch);
    c = 0;
    EXPECT_EQ(VersionFile::checkLines({"checksum=1", "checksum=2"}, "P1", c), VersionFile::Ok);
    EXPECT_EQ(c, 2u);
}

TEST(VersionFileLines, PathReplacesEveryBin)
{
    EXPECT_EQ(VersionFile::pathForImage("/fw/kvx_A.bin"), "/fw/kvx_A-ver.bin");
    EXPECT_EQ(VersionFile::pathForImage("/a.bin.d/kvx_A.bin"), "/a-ver.bin.d/kvx_A-ver.bin");
}

TEST_F(Loading, ImageAndVersionChecksumWithoutConfiguration)
{
    const std::string image = bytesOf(2500, 1);
    // The version file's checksum is sent as it is, even when it is wrong.
    ASSERT_EQ(load(firmware(image, "product=ABCDEFG \r\nchecksum=0x0BADF00D\n")), 0);
    EXPECT_EQ(job->statusCode(), Accepted);
    EXPECT_EQ(job->imageSize(), 2500u);
    EXPECT_EQ(job->blockTotal(), 3);
    EXPECT_EQ(job->checksumValue(), 0x0BADF00Du);
    EXPECT_EQ(std::string(job->imageBytes().begin(), job->imageBytes().end()), image);
    EXPECT_FALSE(job->blockAcknowledged(0));
}

TEST_F(Loading, NoChecksumLineLeavesZero)
{
    ASSERT_EQ(load(firmware("abcd", "product=ABCDEFG\n")), 0);
    EXPECT_EQ(job->checksumValue(), 0u);
}

TEST_F(Loading, EmptyImageHasNoBlocks)
{
    ASSERT_EQ(load(firmware("", "")), 0);
    EXPECT_EQ(job->imageSize(), 0u);
    EXPECT_EQ(job->blockTotal(), 0);
}

TEST_F(Loading, MissingFilesGiveFileError)
{
    dir.write("kvx_ABCDEFG.bin", "image");
    EXPECT_EQ(load(dir.file("kvx_ABCDEFG.bin")), -1);
    EXPECT_EQ(job->statusCode(), FileError);

    auto other = makeJob("ABCDEFG");
    dir.write("kvx_ONLYVER-ver.bin", "product=ABCDEFG\n");
    other->init(dir.file("kvx_ONLYVER.bin"), "", 0, 0, 0, 0, 0);
    EXPECT_EQ(other->loadFirmware(), -1);
    EXPECT_EQ(other->statusCode(), FileError);
    EXPECT_EQ(other->imageSize(), 0u);
}

TEST_F(Loading, ProductMismatchGivesModelError)
{
    EXPECT_EQ(load(firmware("image", "checksum=1\nproduct=ABCDEFX\n")), -1);
    EXPECT_EQ(job->statusCode(), ModelMismatch);
}

TEST_F(Loading, ConfigurationIsMaskedAndChecksumRecomputed)
{
    const std::string image = bytesOf(10, 3);
    const std::string config = bytesOf(65536, 77);
    const std::string cfgPath = dir.write("device.cfg", config);
    const std::string version = "product=ABCDEFG\nchecksum=" + std::to_string(sumOf(image)) + "\n";
    ASSERT_EQ(load(firmware(image, version), cfgPath), 0);

    EXPECT_EQ(job->imageSize(), 65546u);
    EXPECT_EQ(job->blockTotal(), 65);
    const std::vector<uint8_t>& out = job->imageBytes();
    ASSERT_EQ(out.size(), 65546u);
    const std::string joined = image + config;
    const std::vector<uint8_t> plain(joined.begin(), joined.end());
    // W0 = 2: the image's two whole words stay as read.
    EXPECT_EQ(word(out, 0), word(plain, 0));
    EXPECT_EQ(word(out, 1), word(plain, 1));
    // Word 2 (image bytes 8, 9 and configuration bytes 0, 1) is masked, and
    // so is every word up to W - 1 = 16385.
    EXPECT_EQ(word(out, 2), word(plain, 2) ^ 0x5A3C96E1u);
    EXPECT_EQ(word(out, 16385), word(plain, 16385) ^ 0x5A3C96E1u);
    // The last two configuration bytes are outside any whole word.
    EXPECT_EQ(out[65544], plain[65544]);
    EXPECT_EQ(out[65545], plain[65545]);
    uint32_t expected = 0;
    for (size_t i = 0; i < 16386; ++i)
        expected += loadWordLe(out.data() + 4 * i);
    EXPECT_EQ(job->checksumValue(), expected);
}

TEST_F(Loading, ConfigurationUnderSixtyFourKiBIsNotAppended)
{
    const std::string image = bytesOf(100, 3);
    const std::string cfgPath = dir.write("small.cfg", bytesOf(65535, 1));
    ASSERT_EQ(load(firmware(image, "checksum=7\n"), cfgPath), 0);
    EXPECT_EQ(job->imageSize(), 100u);
    EXPECT_EQ(job->checksumValue(), 7u);
    EXPECT_EQ(job->appendConfig(""), 0);
    EXPECT_EQ(job->appendConfig(dir.file("absent.cfg")), 0);
    EXPECT_EQ(job->appendConfig(dir.path()), 0); // a directory
    EXPECT_EQ(job->imageSize(), 100u);
}

TEST_F(Loading, ImageChecksumMismatchWithConfigurationIsFileError)
{
    const std::string image = bytesOf(400, 3);
    const std::string cfgPath = dir.write("device.cfg", bytesOf(65536, 1));
    const std::string version = "checksum=" + std::to_string(sumOf(image) + 1) + "\n";
    EXPECT_EQ(load(firmware(image, version), cfgPath), -1);
    EXPECT_EQ(job->statusCode(), FileError);
    EXPECT_EQ(job->imageSize(), 400u);
}

TEST_F(Loading, TotalBeyondSixteenMiBIsNotAppended)
{
    const std::string image(16777216 - 65536 + 1, '\0');
    const std::string cfgPath = dir.write("device.cfg", std::string(65536, '\1'));
    ASSERT_EQ(load(firmware(image, "checksum=0\n"), cfgPath), 0);
    EXPECT_EQ(job->imageSize(), image.size());

    // Exactly at the limit it is appended.
    auto fits = makeJob("ABCDEFG");
    fits->loadImage(reinterpret_cast<const uint8_t*>(image.data()), image.size() - 1, 0);
    EXPECT_EQ(fits->appendConfig(cfgPath), 16777216);
    EXPECT_EQ(fits->blockTotal(), 16384);
}
