// SPDX-License-Identifier: MIT
// Files that are missing, vanish, lie about their product, cannot be read whole
// or sit at the size limits: the job ends with its code before any Offer.
// (A configuration that fits: Transfer.ImageAloneAndWithMaskedConfiguration...)

#include "IntegrationHelpers.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace brelvo_it;

namespace {

struct Arrange {
    FirmwareFolder fw{10, "kvx_ABCDEFG_V1", 7}; // two whole words and two bytes
    std::string folder = fw.dir.path(), config;
    bool dropConfig = false;
    bool writeConfig(size_t n) { return (config = fw.dir.writeBytes("c.cfg", brelvo_test::patternBytes(n))) != ""; }
    bool removeImage() { return unlink(fw.imagePath.c_str()) == 0; }
};

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

} // namespace

TEST(BadFiles, RightCodeAndNeverAPartialImage)
{
    BRELVO_REQUIRE_NETNS(env);
    struct Case {
        const char* name;
        std::function<bool(Arrange&)> arrange; // false: cannot be arranged here
        int status; // -1: no job at all
    };
    const Case cases[] = {
        {"folder missing", [](Arrange& a) { return a.folder += "/none", true; }, -1},
        {"image missing", [](Arrange& a) { return a.removeImage(); }, FileError},
        {"other product", [](Arrange& a) { return a.fw.dir.writeText("kvx_ABCDEFG_V1-ver.bin", "product=OTHER01") != ""; },
         ModelMismatch},
        {"image unreadable", [](Arrange& a) { return a.removeImage() && !mkdir(a.fw.imagePath.c_str(), 0755); }, FileError},
        {"image shorter than its size", linkShortFile, FileError},
        // A configuration that was asked for but cannot go with the image stops
        // the job before its Offer: never the image alone with the erase bit.
        {"config 65535", [](Arrange& a) { return a.writeConfig(65535); }, FileError},
        {"config 16 MiB + 1", [](Arrange& a) { return a.writeConfig(16777217); }, FileError},
        {"config disappears", [](Arrange& a) { return a.dropConfig = a.writeConfig(70000); }, FileError},
        {"config missing", [](Arrange& a) { return !(a.config = a.fw.dir.file("none.cfg")).empty(); }, FileError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Arrange a;
        if (!c.arrange(a))
            continue; // cannot be arranged here
        Server server(env, ServerSettings{a.folder, a.config, "", OptionUpdateBoot, true, ""});
        if (a.dropConfig)
            unlink(a.config.c_str());
        RawDevice device(env);
        device.request();
        if (c.status < 0) {
            EXPECT_TRUE(server.waitEvent(EventKind::RequestNoFirmware));
        } else {
            auto job = server.waitJob(0, c.status);
            EXPECT_TRUE(job && waitFor([&] { return job->workerEnded(); }, 5s)) << server.jobCount();
        }
        EXPECT_FALSE(device.awaitOffer(0)) << "an Offer went out"; // the job is over: it would be here
        EXPECT_EQ(server.jobCount(), c.status < 0 ? 0 : 1);
    }
}
