#include <filesystem>

#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include "console/recent_files.h"
#include "data/profile.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(RecentFilesTest, FirstOpeningCreatesAnEmptyList) {
    TempDir dir;
    RecentFiles list(dir.dir());
    list.LoadList();
    EXPECT_THAT(list.entries(), IsEmpty());
    EXPECT_EQ(profile::ReadInt(list.filePath(), "File Number", "n", -1), 0);

    list.AddPath("/fw/a.hex");
    ASSERT_TRUE(list.SaveList());
    RecentFiles again(dir.dir());
    again.LoadList();
    EXPECT_THAT(again.entries(), ElementsAre("/fw/a.hex"));
    EXPECT_EQ(again.GetSelectedPath(), "/fw/a.hex");
    EXPECT_EQ(again.GetSelectedExt(), "hex");
}

TEST(RecentFilesTest, ChosenPathBecomesTheNewest) {
    TempDir dir;
    RecentFiles list(dir.dir());
    for (const char* path : {"A", "B", "C", "D"}) {
        list.AddPath(path);
    }
    list.AddPath("D");
    EXPECT_THAT(list.entries(), ElementsAre("A", "B", "C", "D"));
    list.AddPath("B");
    EXPECT_THAT(list.entries(), ElementsAre("A", "C", "D", "B"));
    list.AddPath("b");  // letter case counts
    EXPECT_THAT(list.entries(), ElementsAre("A", "C", "D", "B", "b"));
    EXPECT_EQ(list.GetSelectedPath(), "b");
    EXPECT_EQ(list.selectedPath(), "b");
}

TEST(RecentFilesTest, FullListDropsTheOldest) {
    TempDir dir;
    RecentFiles list(dir.dir());
    for (int i = 0; i < 10; ++i) {
        list.AddPath(std::string(1, 'p').append(std::to_string(i)));
    }
    list.AddPath("new");
    ASSERT_EQ(list.entries().size(), 10U);
    EXPECT_EQ(list.entries().front(), "p1");
    EXPECT_EQ(list.entries().back(), "new");
}

TEST(RecentFilesTest, HandEditedFileWithTooManyOrMissingEntries) {
    TempDir dir;
    RecentFiles list(dir.dir());
    profile::WriteString(list.filePath(), "File Number", "n", "14");
    for (int i = 0; i < 14; ++i) {
        const std::string number = std::to_string(i);
        profile::WriteString(list.filePath(), "LastFile", std::string("File ").append(number),
                             std::string(1, 'f').append(number));
    }
    list.LoadList();
    ASSERT_EQ(list.entries().size(), 10U);
    EXPECT_EQ(list.entries().front(), "f4");
    EXPECT_EQ(list.GetSelectedPath(), "f13");
    // A cancelled dialog saves nothing: the next opening still shows the same ten.
    RecentFiles reopened(dir.dir());
    reopened.LoadList();
    EXPECT_EQ(reopened.entries(), list.entries());
    list.AddPath("f9");
    EXPECT_EQ(list.GetSelectedPath(), "f9");
    list.AddPath("other");
    EXPECT_EQ(list.entries().size(), 10U);
    EXPECT_EQ(list.GetSelectedPath(), "other");

    // A count far beyond the stored keys gives empty entries, not a scan of every key.
    profile::WriteString(list.filePath(), "File Number", "n", "2000000000");
    list.LoadList();
    EXPECT_EQ(list.entries().size(), 10U);
    EXPECT_EQ(list.GetSelectedPath(), "");

    profile::WriteString(list.filePath(), "File Number", "n", "-5");
    list.LoadList();
    EXPECT_THAT(list.entries(), IsEmpty());
    EXPECT_EQ(list.GetSelectedPath(), "");
    EXPECT_EQ(list.GetSelectedExt(), "");
}

TEST(RecentFilesTest, LongPathsComeBackCutTo199Characters) {
    TempDir dir;
    RecentFiles list(dir.dir());
    std::string path(250, 'x');
    path.front() = '/';
    list.AddPath(path);
    EXPECT_EQ(list.GetSelectedPath(), path);
    list.SaveList();
    list.LoadList();
    EXPECT_EQ(list.GetSelectedPath(), path.substr(0, 199));
}

TEST(RecentFilesTest, AListKeptInMemoryMatchesWhatAReloadGivesAndReadingWritesNothing) {
    TempDir dir;
    RecentFiles memory(dir.dir());
    memory.ReadList();
    EXPECT_FALSE(std::filesystem::exists(memory.filePath()));
    std::string longPath(250, 'y');
    longPath.front() = '/';
    memory.AddPath("/fw/a.hex");
    memory.AddPath(longPath);
    ASSERT_TRUE(memory.SaveList());
    memory.CutToStoredLength();
    RecentFiles reloaded(dir.dir());
    reloaded.ReadList();
    EXPECT_EQ(memory.entries(), reloaded.entries());
    EXPECT_THAT(memory.entries(), ElementsAre("/fw/a.hex", longPath.substr(0, 199)));

    // A hand-edited file with more entries than the list keeps is read as LoadList reads it,
    // and left as it was.
    profile::WriteString(memory.filePath(), "File Number", "n", "12");
    const std::string before = dir.Read("LastFile.ini");
    reloaded.ReadList();
    EXPECT_EQ(reloaded.entries().size(), 10U);
    EXPECT_EQ(dir.Read("LastFile.ini"), before);
}

TEST(RecentFilesTest, ExtensionIsTakenAfterTheLastDotOfTheWholePath) {
    EXPECT_EQ(PathExtension("C:\\old.fw\\image"), "fw\\image");
    EXPECT_EQ(PathExtension("/a/b.Hex"), "Hex");
    EXPECT_EQ(PathExtension("/a/b."), "");
    EXPECT_EQ(PathExtension("/a/b"), "");
}

}  // namespace
}  // namespace korvan::testing
