#include "prefs/PrefsTestSupport.h"
#include "prefs/ProgramFolder.h"

#include <filesystem>
#include <unistd.h>

namespace {

// Settings live beside the program only in a folder of its own it may write to.
TEST(ProgramFolderTest, IsTheExecutablesFolderWhenWritableAndNotAnInstalledBin) {
    TempFolder exe;
    TempFolder home;
    for (const char* sub : {"app", "bin", "readonly"})
        ASSERT_TRUE(std::filesystem::create_directory(exe.file(sub)));
    ASSERT_EQ(::chmod(exe.file("readonly").c_str(), 0555), 0);
    const std::string config = home.file(".config/corvane/");
    EXPECT_EQ(ChooseProgramFolder(exe.file("app"), "", home.path()), exe.file("app/"));
    EXPECT_FALSE(FileExists(config)) << "nothing is made in the user's folder";
    const bool root = ::geteuid() == 0; // root may write into every folder
    const struct {
        const char* name;
        std::string folder;
        std::string expected;
    } rows[] = {
        {"installed bin", exe.file("bin"), config},
        {"installed bin with slash", exe.file("bin/"), config},
        {"read-only", exe.file("readonly"), root ? exe.file("readonly/") : config},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ChooseProgramFolder(row.folder, "", home.path()), row.expected);
    }
    ::chmod(exe.file("readonly").c_str(), 0755);
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

} // namespace
