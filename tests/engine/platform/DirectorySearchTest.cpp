// SPDX-License-Identifier: MIT
// A folder's listing with what a stat of each entry finds: the firmware
// index trusts these identities to skip reading unchanged files.
#include "EngineTestSupport.h"
#include "platform/DirectorySearch.h"
#include "platform/FileIdentity.h"
#include "platform/RawFile.h"

#include <sys/stat.h>

using namespace brelvo;
using namespace brelvo_test;

TEST(DirectorySearch, EachEntryCarriesWhatItsStatFinds)
{
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("nowhere", dir.file("dangling").c_str()), 0);
    ASSERT_EQ(::symlink("loop", dir.file("loop").c_str()), 0);
    ASSERT_EQ(::symlink("folder", dir.file("tofolder").c_str()), 0);
    dir.writeText("file", "four");
    const auto listed = findEntries(dir.path(), "");
    std::vector<std::string> names;
    for (const DirectoryEntry& e : listed) {
        names.push_back(e.name + (e.isDirectory ? "/" : "")); // a link to a folder is a folder
        const std::optional<FileIdentity> id = fileIdentity(e.path);
        EXPECT_EQ(e.identityKnown, id.has_value()) << e.name;
        EXPECT_TRUE(!e.identityKnown || (e.identity == *id && e.isDirectory == (id->kind == FileKind::Directory)))
            << e.name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"dangling", "fifo", "file", "folder/", "loop", "tofolder/"}));
    EXPECT_TRUE(listed[1].identity.kind == FileKind::Other && listed[2].identity.kind == FileKind::Regular &&
                listed[2].identity.size == 4u);

    Error dangling, below, loop;  // nothing there, twice; a look-up that fails
    EXPECT_FALSE(fileIdentity(dir.file("dangling"), &dangling) || fileIdentity(dir.file("file/below"), &below) ||
                 fileIdentity(dir.file("loop"), &loop));
    EXPECT_TRUE(isMissingFileError(dangling.code) && isMissingFileError(below.code) && !isMissingFileError(loop.code));
    RawFile open;
    ASSERT_TRUE(open.open(dir.file("file")) && open.identity());
    EXPECT_EQ(*open.identity(), listed[2].identity) << "by descriptor as by name";
}
