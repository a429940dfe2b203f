#include "prefs/PrefsTestSupport.h"
#include "sites/SiteFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(SiteFolderTest, OnlyNamesThatStayInsideTheirFolderAreSafe) {
    struct Row {
        std::string name;
        bool safe;
    } rows[] = {
        {" work ", true}, {"a\\b", true},  {"..x", true},     {"  ", false},
        {".", false},     {" .. ", false}, {"../etc", false}, {std::string("a\0b", 3), false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(IsSafeFolderName(row.name), row.safe) << '"' << row.name << '"';
}

TEST(SiteFolderTest, FolderPathsSplitIntoTrimmedNames) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(SplitFolderPath(""), Names{});
    EXPECT_EQ(SplitFolderPath(" a / B c /"), (Names{"a", "B c"}));
    EXPECT_EQ(SplitFolderPath("a/b"), (Names{"a", "b"}));
    for (const char* refused : {"/a/", "a//b/", "../", "a/../../", "./"})
        EXPECT_FALSE(SplitFolderPath(refused)) << refused;
}

TEST(SiteFolderTest, FolderDirectoriesAreFoundWithoutRegardToCase) {
    TempFolder folder;
    ASSERT_TRUE(MakeDirectories(folder.file("Work/Clients/")));
    ASSERT_TRUE(MakeDirectories(folder.file(" Spaced/")));
    WriteFile(folder.file("notes"), "a file, not a folder");
    EXPECT_EQ(SiteFolderDirectory(folder.path(), {"work", "CLIENTS"}),
              folder.file("Work/Clients/"));
    EXPECT_EQ(SiteFolderDirectory(folder.path(), {"Work"}), folder.file("Work/"));
    EXPECT_EQ(SiteFolderDirectory(folder.path(), {"spaced"}), folder.file(" Spaced/"));
    // Nothing matches: the name as given, to be created.
    EXPECT_EQ(SiteFolderDirectory(folder.path(), {"work", "new"}), folder.file("Work/new/"));
    EXPECT_EQ(SiteFolderDirectory(folder.path(), {"NOTES"}), folder.file("NOTES/"));
    EXPECT_EQ(SiteFolderDirectory(folder.path(), {}), folder.path());
}

TEST(SiteFolderTest, MakeDirectoriesCreatesTheMissingOnes) {
    TempFolder folder;
    EXPECT_TRUE(MakeDirectories(folder.file("a/b/c/")));
    EXPECT_TRUE(IsExistingDirectory(folder.file("a/b/c")));
    EXPECT_EQ(FileMode(folder.file("a/b")), 0700u);
    EXPECT_TRUE(MakeDirectories(folder.file("a/b/")));
    WriteFile(folder.file("file"), "x");
    EXPECT_FALSE(MakeDirectories(folder.file("file/sub/")));
}

TEST(SiteFolderTest, ListFilesAreWrittenForTheirOwnerOnly) {
    TempFolder folder;
    const std::string file = folder.file(SiteListFileName);
    ASSERT_TRUE(WriteListLines(file, {"DIR=a", "Name=b;"}));
    EXPECT_EQ(ReadFile(file), "DIR=a\r\nName=b;\r\n");
    EXPECT_EQ(FileMode(file), 0600u);
    ::chmod(file.c_str(), 0644);
    ASSERT_TRUE(WriteListLines(file, {"DIR=c"}));
    EXPECT_EQ(FileMode(file), 0600u) << "a rewrite keeps passwords private";

    std::vector<std::string> lines;
    std::vector<std::string> endings;
    WriteFile(file, "one\ntwo\r\nlast");
    EXPECT_EQ(ReadListLines(file, lines, &endings), ListRead::Read);
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "last"}));
    lines.push_back("added");
    endings.push_back("\r\n");
    ASSERT_TRUE(WriteListLines(file, lines, &endings));
    EXPECT_EQ(ReadFile(file), "one\ntwo\r\nlast\r\nadded\r\n");

    EXPECT_EQ(ReadListLines(folder.file("missing"), lines), ListRead::Missing);
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(WriteListLines(folder.file("no/such/dir/x"), {"a"}));
}

} // namespace
