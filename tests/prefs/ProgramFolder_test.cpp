#include "prefs/PrefsTestSupport.h"
#include "prefs/ProgramFolder.h"

#include <filesystem>
#include <unistd.h>

namespace {

TEST(ProgramFolderTest, IsTheExecutablesFolderWhenWritable) {
    TempFolder exe;
    TempFolder home;
    const std::string folder = exe.path().substr(0, exe.path().size() - 1);
    EXPECT_EQ(ChooseProgramFolder(folder, "", home.path()), exe.path());
    EXPECT_FALSE(FileExists(home.file(".config/corvane")));
}

TEST(ProgramFolderTest, OtherwiseTheUsersConfigFolderMadePrivate) {
    TempFolder home;
    TempFolder config;
    const std::string gone = home.file("no-such-folder");
    struct Row {
        std::string configHome;
        std::string expected;
    } rows[] = {
        {"", home.file(".config/corvane/")},
        {"relative/path", home.file(".config/corvane/")}, // ignored, as the standard says
        {config.path() + "sub", config.file("sub/corvane/")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.configHome);
        EXPECT_EQ(ChooseProgramFolder(gone, row.configHome, home.path()), row.expected);
        EXPECT_EQ(FileMode(row.expected), 0700u);
    }
    // An existing folder is used as it is.
    ASSERT_EQ(::chmod(home.file(".config/corvane").c_str(), 0750), 0);
    EXPECT_EQ(ChooseProgramFolder(gone, "", home.path()), home.file(".config/corvane/"));
    EXPECT_EQ(FileMode(home.file(".config/corvane")), 0750u);
}

TEST(ProgramFolderTest, AReadOnlyExecutableFolderIsPassedOver) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write into every folder";
    TempFolder exe;
    TempFolder home;
    ASSERT_EQ(::chmod(exe.path().c_str(), 0555), 0);
    EXPECT_EQ(ChooseProgramFolder(exe.path(), "", home.path()), home.file(".config/corvane/"));
    ::chmod(exe.path().c_str(), 0755);
}

TEST(ProgramFolderTest, AnInstalledProgramsBinFolderIsPassedOverEvenWhenWritable) {
    TempFolder prefix;
    TempFolder home;
    ASSERT_TRUE(std::filesystem::create_directory(prefix.file("bin")));
    for (const std::string& bin : {prefix.file("bin"), prefix.file("bin/")}) {
        SCOPED_TRACE(bin);
        EXPECT_EQ(ChooseProgramFolder(bin, "", home.path()), home.file(".config/corvane/"));
    }
}

TEST(ProgramFolderTest, TheRunningProgramGetsAFolderThatExists) {
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(FileExists(folder));
}

} // namespace
