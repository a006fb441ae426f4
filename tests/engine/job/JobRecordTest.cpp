#include "JobTestSupport.h"
#include "job/UpdateJob.h"

#include <gtest/gtest.h>

using namespace brelvo;
using namespace brelvo_test;

TEST(UpdateJobCreate, OnlyTypeZeroUpdateRequestsMakeJobs)
{
    auto job = makeJob("ABCDEFG");
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->productCodeText(), "ABCDEFG");
    EXPECT_EQ(job->statusCode(), Accepted);
    EXPECT_FALSE(job->isFinished());

    auto d = updateRequest("ABCDEFG", 1);
    EXPECT_EQ(UpdateJob::create(d.data(), static_cast<int>(d.size())), nullptr);
    d = updateRequest("ABCDEFG", 0, "UPD:");
    EXPECT_EQ(UpdateJob::create(d.data(), static_cast<int>(d.size())), nullptr);
    EXPECT_EQ(UpdateJob::create(nullptr, 20), nullptr);
    EXPECT_EQ(UpdateJob::create(d.data(), 11), nullptr);
}

TEST(UpdateJobCreate, PayloadMustLieInsideTheDatagramAndFitTheField)
{
    auto d = updateRequest("ABCDEFG", 0, "upd:", 8);
    EXPECT_EQ(UpdateJob::create(d.data(), static_cast<int>(d.size())), nullptr);
    d = updateRequest("ABCDEFG", 0, "upd:", 0xFFFFFFF5ll); // 12 + L wraps in 32 bits
    EXPECT_EQ(UpdateJob::create(d.data(), static_cast<int>(d.size())), nullptr);
    d = updateRequest(std::string(64, 'Z'));
    EXPECT_EQ(UpdateJob::create(d.data(), static_cast<int>(d.size())), nullptr);
    d = updateRequest(std::string(63, 'Z'));
    auto job = UpdateJob::create(d.data(), static_cast<int>(d.size()));
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->productCodeText(), std::string(63, 'Z'));

    // The code ends after L bytes even when more bytes follow, and at a zero.
    d = updateRequest("ABCDEFGHIJ", 0, "upd:", 3);
    job = UpdateJob::create(d.data(), static_cast<int>(d.size()));
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->productCodeText(), "ABC");
    d = updateRequest(std::string("AB\0CD", 5));
    job = UpdateJob::create(d.data(), static_cast<int>(d.size()));
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->productCodeText(), "AB");
}

TEST(UpdateJobRecord, FieldsHaveValuesBeforeInit)
{
    auto job = makeJob();
    EXPECT_EQ(job->lentAddressText(), "0.0.0.0");
    EXPECT_EQ(job->progress(), 0);
    EXPECT_EQ(job->checksumValue(), 0u);
    EXPECT_EQ(job->imageSize(), 0u);
    EXPECT_EQ(job->blockTotal(), 0);
    EXPECT_EQ(job->writtenCount(), 0);
    EXPECT_FALSE(job->isRunning());

    job->init("/x/kvx_A.bin", "", 0x0100007F, 0x5000, 0xC801A8C0, 0x1234, 3);
    EXPECT_EQ(job->lentAddressText(), "192.168.1.200");
    EXPECT_EQ(job->statusCode(), Accepted);
}
