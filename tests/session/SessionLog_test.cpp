#include "prefs/Options.h"
#include "prefs/PrefsTestSupport.h"
#include "session/SessionLog.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace session;

std::vector<std::string> Lines(const LogPane& pane) {
    std::vector<std::string> lines;
    for (std::size_t row = 0; row < pane.Count(); ++row)
        lines.push_back(pane.Line(row));
    return lines;
}

struct CapacityCase {
    const char* name;
    std::size_t capacity;
    std::vector<std::string> added;
    std::vector<std::string> kept;
};

TEST(LogPane, OldestLinesGoWhenTheCapacityIsReached) {
    const std::string l40(40, 'x');
    const std::string a40 = "A" + std::string(39, 'a');
    const std::string b40 = "B" + std::string(39, 'b');
    const std::string c40 = "C" + std::string(39, 'c');
    std::string ae30; // 30 characters, 60 bytes
    for (int i = 0; i < 30; ++i)
        ae30 += "\u00e6";
    const std::vector<CapacityCase> cases{
        // 2 x 42 + 40 + 2 = 126 reaches 100; without the first 84 does not.
        {"three 40-character lines in 100", 100, {a40, b40, c40}, {b40, c40}},
        {"the sum equal to the capacity counts as reached", 126, {a40, b40, c40}, {b40, c40}},
        {"one below", 127, {a40, b40, c40}, {a40, b40, c40}},
        {"a line longer than the capacity is still added",
         100,
         {a40, std::string(150, 'z')},
         {std::string(150, 'z')}},
        {"a first line filling the pane stays until the next",
         100,
         {std::string(98, 'y'), "n"},
         {"n"}},
        {"removal stops as soon as the line fits",
         100,
         {"1", "2", "3", std::string(90, 'w')},
         {"2", "3", std::string(90, 'w')}},
        // 32 + 42 + 3 stays below 100; counted in bytes the first line would go.
        {"characters, not bytes", 100, {ae30, l40, "z"}, {ae30, l40, "z"}},
    };
    for (const CapacityCase& c : cases) {
        SCOPED_TRACE(c.name);
        LogPane pane;
        pane.SetCapacity(c.capacity);
        for (const std::string& line : c.added)
            pane.Add(line);
        EXPECT_EQ(Lines(pane), c.kept);
        EXPECT_EQ(pane.TextLength(), CharacterCount(pane.Text()));
    }
}

TEST(LogPane, NumbersStayValidWhileOlderLinesGo) {
    LogPane pane;
    pane.SetCapacity(100);
    std::vector<int> removed;
    std::vector<int> added;
    std::vector<int> changed;
    QObject::connect(&pane, &LogPane::LinesRemoved, [&](int count) { removed.push_back(count); });
    QObject::connect(&pane, &LogPane::LineAdded, [&](int row) { added.push_back(row); });
    QObject::connect(&pane, &LogPane::LineChanged, [&](int row) { changed.push_back(row); });
    const std::size_t first = pane.Add(std::string(40, 'a'));
    const std::size_t second = pane.Add(std::string(40, 'b'));
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(second, 1u);
    const std::size_t third = pane.Add(std::string(40, 'c'));
    EXPECT_EQ(third, 2u);
    EXPECT_EQ(removed, std::vector<int>{1});
    EXPECT_EQ(added, (std::vector<int>{0, 1, 1})) << "the third line is the second row now";
    EXPECT_EQ(pane.FirstNumber(), 1u);

    EXPECT_TRUE(pane.Replace(second, "b done"));
    EXPECT_EQ(Lines(pane), (std::vector<std::string>{"b done", std::string(40, 'c')}));
    EXPECT_EQ(changed, std::vector<int>{0});
    EXPECT_EQ(pane.TextLength(), 8u + 42u);
    EXPECT_FALSE(pane.Replace(first, "gone")) << "a line that has left the pane";
    EXPECT_FALSE(pane.Replace(third + 1, "not yet"));
}

struct DisplayCase {
    const char* message;
    const char* shown;
};

TEST(DisplayLine, PasswordsNeverShow) {
    const std::vector<DisplayCase> cases{
        {"> PASS secret", "> PASS ****"},
        {"> PASS ", "> PASS ****"},
        {"< 331 User name okay, send PASS command.", "> PASS ****"},
        {"< 331 Password required; use PASS <password>.", "> PASS ****"},
        {"! note about PASS and more", "> PASS ****"},
        {"> USER anonymous", "> USER anonymous"},
        {"> pass secret", "> pass secret"}, // exact case only
        {"< 230 PASSWORD accepted", "< 230 PASSWORD accepted"},
        {"> PASS", "> PASS"}, // no space after it
        {"", ""},
    };
    for (const DisplayCase& c : cases)
        EXPECT_EQ(DisplayLine(c.message), c.shown) << c.message;
}

class SessionLogTest : public testing::Test {
protected:
    std::string Folder() const { return folder.path(); }
    std::string Read(const std::string& name) const { return ReadFile(folder.file(name)); }
    bool Exists(const std::string& name) const { return FileExists(folder.file(name)); }
    void Apply(bool log, const std::string& file) {
        options.Log = log;
        options.LogFile = file;
        sessionLog.ApplyOptions(options);
    }

    TempFolder folder;
    Options options;
    SessionLog sessionLog{Folder()};
};

TEST_F(SessionLogTest, LinesGoToTheFileTheOptionsNameFromTheNextLineOn) {
    Apply(true, "session.log"); // a bare name: in the program folder
    EXPECT_EQ(sessionLog.LogFile(), Folder() + "session.log");
    const std::size_t user = sessionLog.AddLog("> USER anonymous");
    sessionLog.AddLog(DisplayLine("> PASS secret"));
    EXPECT_EQ(FileMode(Folder() + "session.log"), 0600u) << "readable by its owner only";
    sessionLog.ReplaceLine(user, "> USER changed"); // the pane only
    Apply(true, "SESSION.LOG"); // the same name to the options, letter case aside
    sessionLog.AddLog("second");
    EXPECT_FALSE(Exists("SESSION.LOG"));
    EXPECT_EQ(Read("session.log"), "> USER anonymous\r\n> PASS ****\r\nsecond\r\n");
    EXPECT_EQ(sessionLog.Pane().Line(0), "> USER changed");

    std::ofstream(Folder() + "old.log", std::ios::binary) << "earlier\r\n";
    Apply(true, Folder() + "old.log");
    sessionLog.AddLog("later");
    EXPECT_EQ(Read("old.log"), "earlier\r\nlater\r\n") << "an existing file is appended to";
    EXPECT_EQ(Read("session.log"), "> USER anonymous\r\n> PASS ****\r\nsecond\r\n");
}

TEST_F(SessionLogTest, LoggingOffStopsAtOnceAndTouchesNothing) {
    Apply(false, "never.log");
    sessionLog.AddLog("shown only");
    EXPECT_FALSE(Exists("never.log")) << "no file is assigned while logging is off";
    EXPECT_TRUE(sessionLog.LogFile().empty());

    Apply(true, "session.log");
    sessionLog.AddLog("on");
    Apply(false, "session.log");
    sessionLog.AddLog("off 1");
    sessionLog.AddLog("off 2");
    Apply(true, "session.log");
    sessionLog.AddLog("on again");
    EXPECT_EQ(Read("session.log"), "on\r\non again\r\n") << "lines shown meanwhile are lost";
    EXPECT_EQ(Lines(sessionLog.Pane()),
              (std::vector<std::string>{"shown only", "on", "off 1", "off 2", "on again"}));
}

TEST_F(SessionLogTest, UnwritableFileLosesTheLineSilently) {
    Apply(true, Folder() + "missing/folder/session.log");
    EXPECT_NO_THROW(sessionLog.AddLog("still shown"));
    EXPECT_EQ(Lines(sessionLog.Pane()), (std::vector<std::string>{"still shown"}));
    EXPECT_FALSE(Exists("missing"));
}

TEST_F(SessionLogTest, CapacityFollowsTheOptions) {
    options.LogSize = 100;
    Apply(false, "");
    for (const char c : std::string("abc"))
        sessionLog.AddLog(std::string(40, c));
    EXPECT_EQ(sessionLog.Pane().Count(), 2u);
    options.LogSize = 10000;
    Apply(false, "");
    sessionLog.AddLog(std::string(40, 'd'));
    EXPECT_EQ(sessionLog.Pane().Count(), 3u);
}

} // namespace
