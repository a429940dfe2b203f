#include "prefs/Options.h"
#include "prefs/PrefsTestSupport.h"
#include "session/SessionLog.h"

#include <cerrno>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
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
        // 2 x 42 + 40 + 2 = 126 reaches the capacity; without the first 42 it does not.
        {"the sum equal to the capacity counts as reached", 126, {a40, b40, c40}, {b40, c40}},
        {"one below", 127, {a40, b40, c40}, {a40, b40, c40}},
        {"a line longer than the capacity is still added",
         100,
         {a40, std::string(150, 'z')},
         {std::string(150, 'z')}},
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
    const std::size_t first = pane.Add(std::string(40, 'a'));
    const std::size_t second = pane.Add(std::string(40, 'b'));
    const std::size_t third = pane.Add(std::string(40, 'c'));
    EXPECT_EQ(third, 2u);
    EXPECT_TRUE(pane.Replace(second, "b done"));
    EXPECT_EQ(Lines(pane), (std::vector<std::string>{"b done", std::string(40, 'c')}));
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
        {"< 331 User name okay, send PASS command.", "> PASS ****"},
        {"> USER anonymous", "> USER anonymous"},
        {"> pass secret", "> pass secret"}, // exact case only
        {"> PASS", "> PASS"},               // no space after it
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
    Apply(false, "never.log");
    sessionLog.AddLog("shown only");
    EXPECT_TRUE(sessionLog.LogFile().empty()) << "no file is assigned while logging is off";
    Apply(true, "session.log"); // a bare name: in the program folder
    EXPECT_EQ(sessionLog.LogFile(), Folder() + "session.log");
    const std::size_t user = sessionLog.AddLog("> USER anonymous");
    sessionLog.AddLog(DisplayLine("> PASS secret"));
    EXPECT_EQ(FileMode(Folder() + "session.log"), 0600u) << "readable by its owner only";
    sessionLog.ReplaceLine(user, "> USER changed"); // the pane only
    Apply(true, "SESSION.LOG"); // the same name to the options, letter case aside
    sessionLog.AddLog("< 220-\x1b]0;owned\x07\r\n< 230 fake");
    EXPECT_FALSE(Exists("SESSION.LOG"));
    const std::string written = "> USER anonymous\r\n> PASS ****\r\n"
                                "< 220-\\x1b]0;owned\\x07\\x0d\\x0a< 230 fake\r\n";
    EXPECT_EQ(Read("session.log"), written) << "each line one line of the file";
    EXPECT_EQ(sessionLog.Pane().Line(1), "> USER changed");
    EXPECT_EQ(sessionLog.Pane().Line(3), "< 220-\x1b]0;owned\x07\r\n< 230 fake") << "as it came";
    Apply(false, "session.log");
    sessionLog.AddLog("off");
    EXPECT_EQ(Read("session.log"), written) << "logging off stops at once";

    std::ofstream(Folder() + "old.log", std::ios::binary) << "earlier\r\n";
    Apply(true, Folder() + "old.log");
    sessionLog.AddLog("later");
    EXPECT_EQ(Read("old.log"), "earlier\r\nlater\r\n") << "an existing file is appended to";
    EXPECT_EQ(Read("session.log"), written);
}

// Each row: what a server sent and what the log file holds of it.
TEST(LogFileText, ControlBytesAndBytesThatAreNotUtf8AreEscaped) {
    const std::pair<std::string, std::string> rows[] = {
        {std::string("pub\0 stuff", 10), "pub\\x00 stuff"},
        {"del\x7f", "del\\x7f"},
        {"tab\tkept", "tab\tkept"},
        {"caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80"},
        {"csi\xc2\x9b[2J", "csi\\xc2\\x9b[2J"}, // U+009B, a C1 control
        {"caf\xe9", "caf\\xe9"},                // Latin-1
        {"cut \xe6\x97!", "cut \\xe6\\x97!"},
        {"overlong \xc0\xaf", "overlong \\xc0\\xaf"},
        {"surrogate \xed\xa0\x80", "surrogate \\xed\\xa0\\x80"},
        {"stray \x80 continuation", "stray \\x80 continuation"},
    };
    for (const auto& [sent, written] : rows)
        EXPECT_EQ(LogFileText(sent), written) << written;
}

TEST_F(SessionLogTest, TheFileRollsOverToOneOlderFileAtItsLimit) {
    options.LogFileSize = 100;
    Apply(true, "session.log");
    const std::string a(40, 'a'), b(40, 'b'), c(14, 'c'), d(40, 'd'), e(40, 'e');
    sessionLog.AddLog(a);
    sessionLog.AddLog(b);
    sessionLog.AddLog(c); // 42 + 42 + 16: exactly the limit
    EXPECT_EQ(Read("session.log"), a + "\r\n" + b + "\r\n" + c + "\r\n");
    EXPECT_FALSE(Exists("session.log.1"));
    sessionLog.AddLog(d);
    EXPECT_EQ(Read("session.log.1"), a + "\r\n" + b + "\r\n" + c + "\r\n");
    EXPECT_EQ(Read("session.log"), d + "\r\n");
    sessionLog.AddLog(e);
    const std::string longer(150, 'L'); // alone past the limit: a file of its own
    sessionLog.AddLog(longer);
    EXPECT_EQ(Read("session.log.1"), d + "\r\n" + e + "\r\n") << "only one older file";
    EXPECT_EQ(Read("session.log"), longer + "\r\n");
    EXPECT_EQ(FileMode(Folder() + "session.log"), 0600u);
}

TEST_F(SessionLogTest, AFailedWriteIsShownOnceUntilAWriteSucceeds) {
    const std::string missing = Folder() + "missing/session.log";
    const std::string failed = "! Can not write the log file " + missing + ": ";
    Apply(true, missing);
    sessionLog.AddLog("still shown");
    sessionLog.AddLog("second");
    EXPECT_EQ(
        Lines(sessionLog.Pane()),
        (std::vector<std::string>{"still shown", LogFileFailureLine(missing, ENOENT), "second"}));
    EXPECT_TRUE(sessionLog.Pane().Line(1).starts_with(failed));

    ASSERT_EQ(::mkdir((Folder() + "missing").c_str(), 0700), 0);
    sessionLog.AddLog("written");
    ASSERT_EQ(::rename((Folder() + "missing").c_str(), (Folder() + "moved").c_str()), 0);
    sessionLog.AddLog("lost again");
    EXPECT_EQ(Read("moved/session.log"), "written\r\n");
    EXPECT_EQ(sessionLog.Pane().Line(sessionLog.Pane().Count() - 1),
              LogFileFailureLine(missing, ENOENT))
        << "a new failure after a line was written";
}

TEST_F(SessionLogTest, ALineThatDoesNotFitIsTakenOutAgain) {
    Apply(true, "session.log");
    sessionLog.AddLog("first");
    // Room for three more bytes: the write stops inside the line.
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    sessionLog.AddLog("a line longer than the room left");
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(Read("session.log"), "first\r\n") << "no torn line";
    EXPECT_EQ(sessionLog.Pane().Line(2), LogFileFailureLine(Folder() + "session.log", EFBIG));
    sessionLog.AddLog("next");
    EXPECT_EQ(Read("session.log"), "first\r\nnext\r\n");
}

} // namespace
