// The engine against servers that answer FEAT: what it then sends, how it
// falls back, and how it takes bad answers.
#include "FtpTestSupport.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

using testsupport::ScriptedFtpServer;
using Script = std::function<void(ScriptedFtpServer&)>;

const std::string kEpsv = "229 Entering Extended Passive Mode (|||%port%|)\r\n";
constexpr std::int64_t kServerTime = 1577934245; // 2020-01-02 03:04:05 UTC

// A passive download of `bytes` after the data-port reply `port`.
Script Download(std::string bytes, std::string port = kEpsv) {
    return [=](ScriptedFtpServer& s) {
        s.replyPasv(port).reply(k150).acceptData().sendData(bytes).closeData().send(k226);
    };
}

Script Then(Script first, std::string reply) {
    return [=](ScriptedFtpServer& s) {
        first(s);
        s.reply(reply);
    };
}

std::int64_t ModificationTime(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mtim.tv_sec : -1;
}

Script Pasv(std::string reply) {
    return [=](ScriptedFtpServer& s) { s.replyPasv(reply); };
}

// A request of remote "f" after a login whose FEAT got `feat`. What the row
// does not name is checked for every row: FEAT's answer is remembered, a
// success ends on the transfer's own 226 (a check after it is not the reply),
// a download holds "abc", and its time is the server's only where kept.
TEST(ModernFtp, FeaturesDecideTheCommandsAndBadAnswersFailCleanly) {
    struct Row {
        const char* name;
        std::string feat; // the reply to FEAT
        Script script;    // after the login
        void (Cli::*request)();
        const char* commands; // after USER and PASS
        int error;
        const char* message = ""; // the error message, where it matters
        bool keepTimes = false;
        bool timeKept = false;
        std::int64_t listedSize = -1;
        bool machineListings = false;
        int times = 1; // requests in the session
    };
    const auto listing = [](ScriptedFtpServer& s) {
        s.replyPasv().reply(k150).acceptData().sendData("x\r\n").closeData().send(k226);
    };
    const std::string sizeAndTime = "211-Features:\r\n SIZE\r\n MDTM\r\n211 End\r\n";
    const Row rows[]{
        {"feat-500-keeps-the-classic-commands", "500 'FEAT': command not understood\r\n", listing,
         &Cli::DirAsync, "FEAT, PASV, LIST f", 0},
        {"garbage-feat-lines-passed-over-mlsd-epsv-and-utf8-taken",
         "211-Extensions supported:\r\ngarbage without a blank\r\n MLST type*;size*;modify*;\r\n"
         " \r\n\x01\xff\r\n UTF8\r\n211 End.\r\n",
         [](ScriptedFtpServer& s) {
             s.reply("200 UTF8 on\r\n").reply("200 MLST OPTS type;size;modify;\r\n");
             s.replyPasv(kEpsv).reply(k150).acceptData().sendData("x").closeData().send(k226);
         },
         &Cli::DirAsync, "FEAT, OPTS UTF8 ON, OPTS MLST type;size;modify;, EPSV, MLSD f", 0, "",
         false, false, -1, true},
        {"refused-options-do-not-fail-the-login", "211-F\r\n UTF8\r\n211 E\r\n",
         [=](ScriptedFtpServer& s) {
             s.reply("501 no\r\n");
             listing(s);
         },
         &Cli::DirAsync, "FEAT, OPTS UTF8 ON, EPSV, LIST f", 0},
        {"epsv-502-falls-back-to-pasv-for-the-session", "211 No features\r\n",
         [=](ScriptedFtpServer& s) {
             s.reply("502 EPSV not implemented\r\n");
             listing(s);
             listing(s);
         },
         &Cli::DirAsync, "FEAT, EPSV, PASV, LIST f, PASV, LIST f", 0, "", false, false, -1, false,
         2},
        {"epsv-naming-another-address-still-connects-to-the-server", "211 None\r\n",
         Download("abc", "229 Here (|2|::2|%port%|)\r\n"), &Cli::GetAsync, "FEAT, EPSV, RETR f", 0},
        {"epsv-bad-form-fails", "211 None\r\n", Pasv("229 Mode (|%port%|)\r\n"), &Cli::GetAsync,
         "FEAT, EPSV", 550},
        {"download-shorter-than-size-fails", sizeAndTime, Then(Download("abc"), "213 5\r\n"),
         &Cli::GetAsync, "FEAT, EPSV, RETR f, SIZE f", 426,
         "426 Size differs: 3 bytes here, 5 on the server"},
        {"download-shorter-than-listed-fails-without-size", "211 None\r\n", Download("abc"),
         &Cli::GetAsync, "FEAT, EPSV, RETR f", 426, "", false, false, 4},
        {"whole-download-gets-the-server-time", sizeAndTime,
         Then(Then(Download("abc"), "213 3\r\n"), "213 20200102030405\r\n"), &Cli::GetAsync,
         "FEAT, EPSV, RETR f, SIZE f, MDTM f", 0, "", true, true},
        {"bad-mdtm-time-leaves-the-download-alone", "211-F\r\n MDTM\r\n211 E\r\n",
         Then(Download("abc"), "213 20201340000000\r\n"), &Cli::GetAsync,
         "FEAT, EPSV, RETR f, MDTM f", 0, "", true},
        {"times-not-kept-when-turned-off", sizeAndTime, Then(Download("abc"), "213 3\r\n"),
         &Cli::GetAsync, "FEAT, EPSV, RETR f, SIZE f", 0},
        {"upload-gives-the-server-the-local-time", "211-F\r\n MFMT\r\n211 E\r\n",
         [](ScriptedFtpServer& s) {
             s.replyPasv(kEpsv).acceptData().reply(k150).receiveDataUntilClose().send(k226);
             s.reply("213 Modify=20200102030405; f\r\n");
         },
         &Cli::PutAsync, "FEAT, EPSV, STOR f, MFMT 20200102030405 f", 0, "", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedEngine e;
        e.server.send(kGreeting).reply("331 Password\r\n").reply("230 Logged in\r\n");
        e.server.reply(row.feat);
        row.script(e.server);
        e.LogIn();
        e.ftp.KeepFileTimes = row.keepTimes;
        e.ftp.ListedSize = row.listedSize;
        e.ftp.MachineListings = row.machineListings;
        if (row.request == &Cli::PutAsync) {
            WriteFile(e.Local("f"), "data");
            const timespec times[2] = {{0, UTIME_NOW}, {kServerTime, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, e.Local("f").c_str(), times, 0), 0);
        }
        for (int i = 0; i < row.times; ++i)
            EXPECT_EQ(e.Transfer(row.request, "f", "f").second, row.error) << e.ftp.ErrorMessage();
        EXPECT_EQ(e.ftp.AnsweredFeat(), row.feat.starts_with("211"));
        EXPECT_TRUE(e.ftp.ErrorMessage().starts_with(row.message)) << e.ftp.ErrorMessage();
        if (row.error == 0) {
            EXPECT_EQ(e.ftp.LastResponse(), "226 Transfer complete");
            EXPECT_EQ(e.ftp.StatusCode(), 226);
        }
        if (row.error == 0 && row.request == &Cli::GetAsync) {
            EXPECT_EQ(ReadFile(e.Local("f")), "abc");
            EXPECT_EQ(ModificationTime(e.Local("f")) == kServerTime, row.timeKept);
        }
        // Every line of the FEAT answer is shown, even one that is no feature.
        EXPECT_EQ(e.Displayed("< garbage without a blank"),
                  row.feat.find("garbage") != std::string::npos);
        e.server.waitReceived(3 + std::ranges::count(std::string_view(row.commands), ','), 1000);
        const Lines all = e.server.received();
        EXPECT_EQ(Joined(Lines(all.begin() + std::min<std::size_t>(2, all.size()), all.end())),
                  row.commands);
    }
}

} // namespace
