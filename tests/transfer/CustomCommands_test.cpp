#include "support/TestFiles.h"
#include "transfer/CustomCommands.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace transfer {
namespace {

using testsupport::ReadFile;

TEST(CustomCommands, FileRoundTrip) {
    const struct {
        const char* name;
        CommandLibrary library;
        const char* file;
    } rows[] = {
        {"a label with a blank is quoted",
         {{"List all", "Who"}, {"LIST -la", "STAT"}},
         "\"List all\",Who\r\n\"LIST -la\",STAT\r\n"},
        {"a quote inside is doubled",
         {{"say \"hi\""}, {"SITE ECHO,1"}},
         "\"say \"\"hi\"\"\"\r\n\"SITE ECHO,1\"\r\n"},
        {"one empty text is two quotes", {{""}, {""}}, "\"\"\r\n\"\"\r\n"},
        {"empty texts between others", {{"a", "", "b"}, {"", "x", ""}}, "a,,b\r\n,x,\r\n"},
        {"no commands: two empty lines", {}, "\r\n\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString() + "/";
        ASSERT_TRUE(SaveCommands(folder, row.library));
        EXPECT_EQ(ReadFile(folder + CommandsFileName), row.file);
        EXPECT_EQ(LoadCommands(folder), row.library);
    }
}

TEST(CustomCommands, OddFiles) {
    const struct {
        const char* name;
        const char* file;
        CommandLibrary library;
    } rows[] = {
        {"one line only: no commands", "a,b\r\n", {}},
        {"blanks around texts are skipped",
         "  a , \"b c\"\n x,y\nthird line\n",
         {{"a", "b c"}, {"x", "y"}}},
        {"fewer commands than labels: empty ones", "a,b\r\nx\r\n", {{"a", "b"}, {"x", ""}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString() + "/";
        std::ofstream(folder + CommandsFileName, std::ios::binary) << row.file;
        EXPECT_EQ(LoadCommands(folder), row.library);
    }
}

TEST(CustomCommands, TheBoxDoesNotRepeatItsSelectedItem) {
    CommandBox box;
    EXPECT_EQ(TakeCommand(box, ""), std::nullopt);
    EXPECT_EQ(TakeCommand(box, "STAT"), "STAT");
    EXPECT_EQ(TakeCommand(box, "STAT"), "STAT");
    EXPECT_EQ(box.Items, std::vector<std::string>{"STAT"}) << "the selected item is not repeated";
    TakeCommand(box, "NOOP");
    box.Selected = -1;
    TakeCommand(box, "NOOP");
    EXPECT_EQ(box.Items.size(), 3u) << "without a selection the text is added again";
}

} // namespace
} // namespace transfer
