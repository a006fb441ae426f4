// SPDX-License-Identifier: MIT
// Where reports and settings go, and the folders made for them.
#include "EngineTestSupport.h"
#include "platform/XdgPaths.h"

#include <sys/stat.h>

using namespace brelvo;
using namespace brelvo_test;

TEST(XdgPaths, VariablesOnlyWhenAbsoluteElseUnderHome)
{
    const std::string passwdHome = [] {
        EnvironmentScope env("HOME", nullptr);
        return homeDirectory();
    }();
    ASSERT_FALSE(passwdHome.empty()) << "no home folder in the password database";
    struct Case {
        const char *home, *data, *config, *wantData, *wantConfig;
    } const cases[] = {
        {"/home/ana", nullptr, nullptr, "/home/ana/.local/share", "/home/ana/.config"},
        {"/home/ana", "/srv/data", "/srv/conf", "/srv/data", "/srv/conf"},
        {"/home/ana", "rel/data", "", "/home/ana/.local/share", "/home/ana/.config"},
        {"/", nullptr, nullptr, "/.local/share", "/.config"},
        {"", "/d", nullptr, "/d", nullptr},         // no HOME: the password entry
        {"relative", nullptr, "/c", nullptr, "/c"}, // a relative HOME counts as none
    };
    for (const Case& c : cases) {
        EnvironmentScope env;
        env.set("HOME", c.home);
        env.set("XDG_DATA_HOME", c.data);
        env.set("XDG_CONFIG_HOME", c.config);
        EXPECT_EQ(xdgDataHome(), c.wantData ? c.wantData : passwdHome + "/.local/share") << c.home;
        EXPECT_EQ(xdgConfigHome(), c.wantConfig ? c.wantConfig : passwdHome + "/.config") << c.home;
    }
}

TEST(XdgPaths, MakeDirectoriesMakesEveryLevelAndNamesWhatIsInTheWay)
{
    TempDir dir;
    const mode_t oldMask = ::umask(022);
    EXPECT_EQ(makeDirectories(dir.file("a/b//c/"), 0755), 0);
    EXPECT_EQ(makeDirectories(dir.file("a/b/c"), 0755), 0); // already there
    ::umask(oldMask);
    struct stat st{};
    ASSERT_EQ(::stat(dir.file("a/b/c").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode) && (st.st_mode & 0777) == 0755);

    dir.writeText("file.txt", "x");
    ASSERT_EQ(::symlink(dir.file("nowhere/at/all").c_str(), dir.file("dangling").c_str()), 0);
    const std::pair<std::string, std::pair<int, std::string>> cases[] = {
        {dir.file("file.txt/reports"), {ENOTDIR, dir.file("file.txt")}},
        {dir.file("file.txt"), {ENOTDIR, dir.file("file.txt")}},
        {dir.file("dangling/x"), {ENOENT, dir.file("dangling")}},
        {"", {ENOENT, ""}},
    };
    for (const auto& c : cases) {
        std::string failed = "unset";
        EXPECT_EQ(makeDirectories(c.first, 0755, &failed), c.second.first) << c.first;
        EXPECT_EQ(failed, c.second.second) << c.first;
    }
}
