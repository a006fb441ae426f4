// XDG folders, folder creation, wall-clock texts and the append-only file
// the run report is written through.
#include "EngineTestSupport.h"
#include "platform/AppendFile.h"
#include "platform/ErrorText.h"
#include "platform/WallClock.h"
#include "platform/XdgPaths.h"

#include <csignal>
#include <sys/stat.h>

using namespace brelvo;
using brelvo_test::TempDir;

namespace {

// Sets (or with a null value unsets) environment variables for one scope.
class EnvironmentScope {
public:
    void set(const char* name, const char* value)
    {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? old : "", old != nullptr});
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~EnvironmentScope()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            it->had ? ::setenv(it->name.c_str(), it->value.c_str(), 1) : ::unsetenv(it->name.c_str());
    }

private:
    struct Saved {
        std::string name, value;
        bool had;
    };
    std::vector<Saved> saved_;
};

std::string readAll(const std::string& path)
{
    const auto bytes = brelvo_test::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(XdgPaths, VariablesOnlyWhenAbsoluteElseUnderHome)
{
    const std::string passwdHome = [] {
        EnvironmentScope env;
        env.set("HOME", nullptr);
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
        {"", "/d", nullptr, "/d", nullptr},          // no HOME: the password entry
        {"relative", nullptr, "/c", nullptr, "/c"},  // a relative HOME counts as none
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

TEST(MakeDirectories, MakesEveryLevelAndNamesWhatIsInTheWay)
{
    TempDir dir;
    const mode_t oldMask = ::umask(022);
    std::string failed;
    EXPECT_EQ(makeDirectories(dir.file("a/b//c/"), 0755, &failed), 0);
    EXPECT_EQ(makeDirectories(dir.file("a/b/c"), 0755), 0); // already there
    struct stat st{};
    ASSERT_EQ(::stat(dir.file("a/b/c").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    ::umask(oldMask);

    dir.writeText("file.txt", "x");
    ASSERT_EQ(::symlink(dir.file("nowhere/at/all").c_str(), dir.file("dangling").c_str()), 0);
    const std::pair<std::string, std::pair<int, std::string>> cases[] = {
        {dir.file("file.txt/reports"), {ENOTDIR, dir.file("file.txt")}},
        {dir.file("file.txt"), {ENOTDIR, dir.file("file.txt")}},
        {dir.file("dangling/x"), {ENOENT, dir.file("dangling")}},
        {"", {ENOENT, ""}},
    };
    for (const auto& c : cases) {
        failed = "unset";
        EXPECT_EQ(makeDirectories(c.first, 0755, &failed), c.second.first) << c.first;
        EXPECT_EQ(failed, c.second.second) << c.first;
    }
}

TEST(WallClock, LocalTimeWithTheOffsetInForce)
{
    // 2026-12-07T01:41:05.123Z and a summer instant, 2026-07-01T12:00:00Z.
    const int64_t winter = 1796607665123, summer = 1782907200000;
    struct Case {
        const char* tz;
        int64_t ms;
        const char *iso, *fileName;
    } const cases[] = {
        {"UTC0", winter, "2026-12-07T01:41:05.123+00:00", "2026-12-07_01-41-05"},
        {"CST-8", winter, "2026-12-07T09:41:05.123+08:00", "2026-12-07_09-41-05"},
        {"NST+3:30", winter, "2026-12-06T22:11:05.123-03:30", "2026-12-06_22-11-05"},
        {"EST5EDT,M3.2.0,M11.1.0", winter, "2026-12-06T20:41:05.123-05:00", "2026-12-06_20-41-05"},
        {"EST5EDT,M3.2.0,M11.1.0", summer, "2026-07-01T08:00:00.000-04:00", "2026-07-01_08-00-00"},
        // Not whole minutes: the same instant in UTC.
        {"LMT-8:05:43", summer, "2026-07-01T12:00:00.000+00:00", "2026-07-01_20-05-43"},
        {"UTC0", -1, "1969-12-31T23:59:59.999+00:00", "1969-12-31_23-59-59"},
        {"UTC0", 0, "1970-01-01T00:00:00.000+00:00", "1970-01-01_00-00-00"},
    };
    for (const Case& c : cases) {
        EnvironmentScope env;
        env.set("TZ", c.tz);
        EXPECT_EQ(isoLocalTime(c.ms), c.iso) << c.tz;
        EXPECT_EQ(fileNameLocalTime(c.ms), c.fileName) << c.tz;
    }
    const int64_t before = static_cast<int64_t>(std::time(nullptr)) * 1000;
    const int64_t now = unixTimeMs();
    EXPECT_GE(now, before);
    EXPECT_LT(now, before + 2000);
}

TEST(ErrorText, EnglishWhateverTheLocale)
{
    ::setlocale(LC_ALL, "C.UTF-8");
    EXPECT_EQ(errorTextEnglish(EADDRINUSE), "Address already in use");
    EXPECT_EQ(errorTextEnglish(ENOTDIR), "Not a directory");
    EXPECT_TRUE(isAddressInUse(EADDRINUSE));
    EXPECT_FALSE(isAddressInUse(EACCES));
    ::setlocale(LC_ALL, "C");
}

TEST(AppendFile, NewNamesAreNeverTakenOverAndVanishedFilesAreNoticed)
{
    TempDir dir;
    const std::string path = dir.file("r.csv");
    AppendFile f;
    ASSERT_EQ(f.open(path, AppendFile::Mode::CreateNew), 0);
    EXPECT_EQ(f.lastByte(), -1);
    bool written = false;
    EXPECT_EQ(f.append("one\r\n", &written), 0);
    EXPECT_TRUE(written);
    EXPECT_EQ(f.size(), 5u);
    EXPECT_EQ(f.lastByte(), '\n');
    AppendFile other;
    EXPECT_EQ(other.open(path, AppendFile::Mode::CreateNew), EEXIST);
    ASSERT_EQ(other.open(path, AppendFile::Mode::OpenOrCreate), 0);
    EXPECT_EQ(other.append("two"), 0);
    EXPECT_EQ(readAll(path), "one\r\ntwo");
    EXPECT_EQ(f.lastByte(), 'o');

    EXPECT_TRUE(f.stillAtPath());
    ASSERT_EQ(std::rename(path.c_str(), dir.file("moved").c_str()), 0);
    EXPECT_FALSE(f.stillAtPath());
    dir.writeText("r.csv", "someone else's");
    EXPECT_FALSE(f.stillAtPath());
    EXPECT_EQ(other.open(dir.file("no/such/folder"), AppendFile::Mode::OpenOrCreate), ENOENT);
    EXPECT_EQ(other.append("x"), EBADF);
}

TEST(AppendFile, AShortWriteLeavesNoFragmentAndAPipeNeedsNoSync)
{
    TempDir dir;
    const std::string path = dir.file("limited.csv");
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // A file size limit makes the kernel take only part of a write.
        std::signal(SIGXFSZ, SIG_IGN);
        AppendFile f;
        CHILD_CHECK(f.open(path, AppendFile::Mode::CreateNew) == 0);
        CHILD_CHECK(f.append("first\r\n") == 0);
        rlimit lim{10, RLIM_INFINITY};
        CHILD_CHECK(::setrlimit(RLIMIT_FSIZE, &lim) == 0);
        bool written = true;
        CHILD_CHECK(f.append("second row\r\n", &written) == ENOSPC && !written);
        CHILD_CHECK(f.size() == 7);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(readAll(path), "first\r\n");

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    AppendFile p;
    ASSERT_EQ(p.open("/proc/self/fd/" + std::to_string(fds[1]), AppendFile::Mode::OpenOrCreate), 0);
    EXPECT_EQ(p.size(), 0u);
    EXPECT_EQ(p.append("piped\n"), 0);
    char buffer[16] = {};
    EXPECT_EQ(::read(fds[0], buffer, sizeof buffer), 6);
    EXPECT_STREQ(buffer, "piped\n");
    p.close();
    ::close(fds[0]);
    ::close(fds[1]);
}
