#include "ftp/FtpTestSupport.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <utility>

using testsupport::ProcessEventsFor;
using testsupport::ProcessEventsUntil;
using testsupport::ScriptedFtpServer;
using enum FtpRequest;

namespace {

const char* const kPasv = "227 Entering Passive Mode (127,0,0,1,%hi%,%lo%).\r\n";

// An engine logged in to a scripted server by the test's LogIn(); the test
// scripts what the server does after the login.
class FtpTransfer : public ::testing::Test, protected ScriptedEngine {
protected:
    FtpTransfer() { ScriptLogin(); }
};

// --- downloads ------------------------------------------------------------------

TEST(FtpDownload, CompletesOnlyOnceBoth226AndTheDataCloseArrived) {
    using Clock = std::chrono::steady_clock;
    for (const bool replyFirst : {true, false}) {
        SCOPED_TRACE(replyFirst ? "226-100ms-before-the-close" : "226-100ms-after-the-close");
        ScriptedEngine e;
        e.ScriptLogin().server.replyPasv().reply(k150).acceptData().sendData("hello world");
        if (replyFirst)
            e.server.send(k226).pause(100).closeData();
        else
            e.server.closeData().pause(100).send(k226);
        e.LogIn();
        Clock::time_point replied{};
        e.ftp.OnResponse = [&](Cli* sender) {
            if (sender->LastResponse().starts_with("226"))
                replied = Clock::now();
        };
        EXPECT_EQ(e.Transfer(&Cli::GetAsync, "f", "f"), Done(GetAsync, 0)) << e.ftp.ErrorMessage();
        if (replyFirst) {
            EXPECT_GE(Clock::now() - replied, std::chrono::milliseconds(90));
        }
        EXPECT_EQ(ReadFile(e.Local("f")), "hello world");
        EXPECT_TRUE(e.ShowedStatisticsFor(11));
    }
}

// One transfer after the login, and what the local file (or, for an upload,
// the server) holds afterwards. The local file is replaced only once the server
// has accepted the transfer, and only with what came for it: bytes on a data
// connection from another address, or from before the server took the transfer
// up (pyftpdlib sends a quoted MLSD's data to whichever data connection comes
// next), never reach it. No RETR or STOR goes out for a local file that cannot
// be opened; a refusal keeps the session, a 227 that cannot be read ends it.
TEST(FtpTransferOutcome, TheFileHoldsOnlyWhatTheServerSentForIt) {
    using Script = std::function<void(ScriptedFtpServer&)>;
    // The reply to the transfer command; none when it is not sent.
    const auto refusing = [=](std::string reply, std::string pasvReply = kPasv) {
        return [=](ScriptedFtpServer& s) {
            s.replyPasv(pasvReply);
            if (!reply.empty())
                s.reply(reply);
        };
    };
    const auto serving = [=](std::string data, std::string pasvReply = kPasv) {
        return [=](ScriptedFtpServer& s) {
            s.replyPasv(pasvReply).reply(k150).acceptData().sendData(data).closeData().send(k226);
        };
    };
    struct Row {
        const char* name;
        Script script; // after the login
        void (Cli::*request)();
        int error;
        const char* commands; // after the login; nullptr: not compared (PORT names a port)
        const char* before;   // the local file; nullptr: none
        const char* after;    // the local file afterwards, or the server's for an upload
        bool passive = true;
        const char* remote = "f";
        const char* local = "f";
        bool keepsSession = true;
    };
    const Row rows[]{
        {"active-download-takes-the-data-only-from-the-server",
         [](ScriptedFtpServer& s) {
             s.replyPort().reply(k150).connectDataFrom("127.0.0.2").sendData("injected");
             s.closeData().connectData().sendData("genuine").closeData().send(k226);
         },
         &Cli::GetAsync, 0, nullptr, nullptr, "genuine", false},
        {"active-upload-sends-nothing-to-another-address",
         [](ScriptedFtpServer& s) {
             s.replyPort().reply(k150).connectDataFrom("127.0.0.2").receiveDataUntilClose();
             s.connectData().receiveDataUntilClose().send(k226);
         },
         &Cli::PutAsync, 0, nullptr, "private", "private", false},
        {"listing-without-an-argument-sends-the-bare-verb", serving("d 2 0 0 4096 Jan 1 pub\r\n"),
         &Cli::DirAsync, 0, "PASV, LIST", nullptr, "d 2 0 0 4096 Jan 1 pub\r\n", true, ""},
        {"name-listing-without-an-argument-sends-the-bare-verb", serving("pub\r\n"), &Cli::LsAsync,
         0, "PASV, NLST", nullptr, "pub\r\n", true, ""},
        {"passive-reply-naming-another-host-connects-to-the-control-peer",
         serving("x", "227 Entering Passive Mode (10,9,8,7,%hi%,%lo%)\r\n"), &Cli::GetAsync, 0,
         "PASV, RETR f", nullptr, "x"},
        {"download-into-a-missing-folder-sends-no-retr", refusing(""), &Cli::GetAsync, 550, "PASV",
         nullptr, nullptr, true, "f", "no-such-folder/f"},
        {"upload-of-a-missing-file-sends-no-stor", refusing(""), &Cli::PutAsync, 426, "PASV",
         nullptr, nullptr},
        {"retr-refused-keeps-the-file", refusing("550 No such file\r\n"), &Cli::GetAsync, 550,
         "PASV, RETR f", "precious", "precious"},
        {"cut-after-150-before-any-byte-keeps-the-file",
         [](ScriptedFtpServer& s) {
             s.replyPasv().reply(k150).acceptData().resetData().send("426 Reset\r\n");
         },
         &Cli::GetAsync, 426, "PASV, RETR f", "precious", "precious"},
        {"an-empty-file-replaces-the-old-one", serving(""), &Cli::GetAsync, 0, "PASV, RETR f",
         "precious", ""},
        {"retr-refused-makes-no-file", refusing("550 No such file\r\n"), &Cli::GetAsync, 550,
         "PASV, RETR f", nullptr, nullptr},
        {"list-refused-keeps-the-file", refusing("450 No listing\r\n"), &Cli::DirAsync, 450,
         "PASV, LIST f", "precious", "precious"},
        {"unreadable-227-keeps-the-file-and-ends-the-session",
         refusing("", "227 Entering Passive Mode (127,0,0,1,%hi%,%lo%\r\n"), &Cli::GetAsync, 550,
         "PASV", "precious", "precious", true, "f", "f", false},
        {"passive-data-before-a-refused-retr-is-dropped",
         [](ScriptedFtpServer& s) {
             s.replyPasv().acceptData().sendData("STALE").closeData().pause(200).reply(
                 "550 No such file\r\n");
         },
         &Cli::GetAsync, 550, "PASV, RETR f", "precious", "precious"},
        {"active-connection-that-sent-before-retr-is-refused",
         [](ScriptedFtpServer& s) {
             s.replyPort("").connectData().sendData("STALE").closeData().pause(100);
             s.send("200 PORT command successful.\r\n").reply(k150);
             s.connectData().sendData("genuine").closeData().send(k226);
         },
         &Cli::GetAsync, 0, nullptr, "precious", "genuine", false},
    };
    namespace fs = std::filesystem;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedEngine e;
        row.script(e.ScriptLogin().server);
        e.ftp.SetPassive(row.passive);
        if (row.before)
            WriteFile(e.Local(row.local), row.before);
        e.LogIn();
        const int error = e.Transfer(row.request, row.remote, row.local).second;
        EXPECT_EQ(error, row.error) << e.ftp.ErrorMessage();
        if (row.commands) {
            EXPECT_EQ(Joined(e.Commands()), row.commands);
        }
        if (row.request == &Cli::PutAsync) {
            EXPECT_EQ(e.server.dataReceived(), row.after ? row.after : "");
        } else if (row.after) {
            EXPECT_EQ(ReadFile(e.Local(row.local)), row.after);
        } else {
            EXPECT_FALSE(fs::exists(e.Local(row.local)));
        }
        // A listing tells what is on the server: it is for this user's eyes only.
        if (error == 0 && row.request != &Cli::GetAsync && row.request != &Cli::PutAsync) {
            EXPECT_EQ(fs::status(e.Local(row.local)).permissions(),
                      fs::perms::owner_read | fs::perms::owner_write);
        }
        EXPECT_EQ(e.ftp.Connected(), row.keepsSession);
        EXPECT_EQ(e.server.failure(), "");
    }
}

TEST_F(FtpTransfer, RetrieveFailingAfterTheDataReportsTheReply) {
    server.replyPasv().reply(k150).acceptData().sendData("part").closeData();
    server.send("451 Local error\r\n");
    LogIn();
    EXPECT_EQ(Transfer(&Cli::GetAsync, "f", "f"), Done(GetAsync, 451));
    EXPECT_TRUE(InOrder("display:< 451 Local error", "display:! RETR/LIST/NLST Failed"));
}

// REST with the local file's size, and what each answer to it leads to.
TEST(FtpResume, TheRestReplyDecidesWhatIsFetched) {
    const std::string whole = ScriptedFtpServer::Pattern(0, 3000, 3);
    struct Row {
        const char* name;
        std::string before; // the local file; empty: none
        const char* rest;   // the reply to REST
        std::string sent;   // nothing: no RETR follows
        const char* commands;
        int error;
        std::string after;
    };
    const Row rows[]{
        {"350-appends", whole.substr(0, 1000), "350 Restarting at 1000", whole.substr(1000),
         "PASV, REST 1000, RETR f", 0, whole},
        {"450-fetches-the-whole-file-again", "stale contents", "450 Cannot restart", "fresh",
         "PASV, REST 14, RETR f", 0, "fresh"},
        {"502-fails-and-keeps-the-file", "partial", "502 REST not implemented", "", "PASV, REST 7",
         502, "partial"},
        {"no-local-file-no-rest", "", nullptr, "all", "PASV, RETR f", 0, "all"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedEngine e;
        e.ScriptLogin().server.replyPasv();
        if (row.rest)
            e.server.reply(row.rest + std::string("\r\n"));
        if (!row.sent.empty())
            e.server.reply(k150).acceptData().sendData(row.sent).closeData().send(k226);
        if (!row.before.empty())
            WriteFile(e.Local("f"), row.before);
        e.LogIn();
        EXPECT_EQ(e.Transfer(&Cli::RestGetAsync, "f", "f"), Done(RestGetAsync, row.error));
        EXPECT_EQ(Joined(e.Commands()), row.commands);
        EXPECT_EQ(ReadFile(e.Local("f")), row.after);
        if (row.error == 0) {
            ASSERT_FALSE(e.progress.empty());
            EXPECT_EQ(e.progress.front(), std::ssize(row.after) - std::ssize(row.sent))
                << "progress counts from the resume position";
            EXPECT_EQ(e.ftp.ResumeAt, 0) << "reset after the transfer";
        }
    }
}

TEST_F(FtpTransfer, ResumePositionBeyond2GiBIsSentWhole) {
    server.replyPasv().reply("350 Restarting\r\n").reply(k150).acceptData().sendData("tail");
    server.closeData().send(k226);
    LogIn();
    const std::int64_t at = 3'000'000'000;
    { std::ofstream(Local("big")); }
    std::filesystem::resize_file(Local("big"), static_cast<std::uintmax_t>(at)); // sparse
    EXPECT_EQ(Transfer(&Cli::RestGetAsync, "big", "big").second, 0) << ftp.ErrorMessage();
    EXPECT_EQ(Commands(), (Lines{"PASV", "REST 3000000000", "RETR big"}));
    EXPECT_EQ(std::filesystem::file_size(Local("big")), static_cast<std::uintmax_t>(at + 4));
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), at);
}

// --- uploads -----------------------------------------------------------------------

// A passive upload sends the file in blocks once the data connection is up,
// reporting progress before each; blocks the socket takes at once go out in a
// loop, but the event loop still runs every few milliseconds: an event posted at
// the start is served long before the last block.
TEST_F(FtpTransfer, UploadSendsBlocksAndLetsTheEventLoopRun) {
    const std::string body = ScriptedFtpServer::Pattern(0, 40 * 1514, 12);
    server.replyPasv().acceptData().reply(k150).receiveDataUntilClose().send(k226);
    LogIn();
    WriteFile(Local("up"), body);
    ftp.SetDataBlockSizes(ftptransfer::kUploadBlock, ftptransfer::kDownloadBlock);
    std::int64_t sentWhenServed = -1;
    ftp.OnProgress = [&](Cli*, std::int64_t count, bool&) {
        if (progress.empty())
            QMetaObject::invokeMethod(
                qApp, [&] { sentWhenServed = ftp.ByteCount; }, Qt::QueuedConnection);
        progress.push_back(count);
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // a slow progress window
    };
    EXPECT_EQ(Transfer(&Cli::PutAsync, "up", "up"), Done(PutAsync, 0)) << ftp.ErrorMessage();
    EXPECT_TRUE(server.dataReceived() == body);
    EXPECT_EQ(Commands(), (Lines{"PASV", "STOR up"}));
    ASSERT_GE(progress.size(), 4u);
    EXPECT_EQ(std::vector<std::int64_t>(progress.begin(), progress.begin() + 4),
              (std::vector<std::int64_t>{0, 1514, 3028, 4542}));
    EXPECT_GE(sentWhenServed, 0);
    EXPECT_LT(sentWhenServed, static_cast<std::int64_t>(body.size()) / 2);
}

// --- aborting -------------------------------------------------------------------------

// A progress abort sends no ABOR: the request ends with the server's reply,
// even pure-ftpd's "226-" lines that a "150 " line ends, and the next command
// gets its own reply.
TEST_F(FtpTransfer, ProgressAbortEndsWithTheServersReplyAndNoAbor) {
    server.replyPasv().reply(k150).acceptData().sendData("some").receiveDataUntilClose();
    server.send("226-File successfully transferred\r\n226-0.001 seconds\r\n150 Aborted\r\n");
    server.reply("257 \"/\" is your current location\r\n");
    LogIn();
    abortAt = 0; // at the first block
    EXPECT_EQ(Transfer(&Cli::GetAsync, "big", "big"), Done(GetAsync, 426));
    EXPECT_TRUE(Displayed("! Abort requested"));
    EXPECT_TRUE(ftp.Connected()) << "the session stays";
    EXPECT_EQ(Play(&Cli::PwdAsync), Done(PwdAsync, 0));
    EXPECT_EQ(ftp.DirResult, "/");
    EXPECT_EQ(Commands(), (Lines{"PASV", "RETR big", "PWD"}));
}

// A transfer that ends early fails with 426 even when the server, which cannot
// tell, answers 226; the reply and the data close may come in either order.
TEST(FtpCutShort, EndsAs426WhateverTheServerSays) {
    const std::string whole = ScriptedFtpServer::Pattern(0, 200000, 5);
    struct Row {
        const char* name;
        bool upload;
        const char* local; // nullptr: a scratch file
        std::int64_t abortAt;
        std::string first; // the reply to RETR or STOR
        bool replyBeforeClose;
        std::size_t sent; // bytes the server sends on a download
    };
    const std::string sized = "150 Opening BINARY mode data connection for f (200000 bytes).\r\n";
    const Row rows[]{
        {"download-aborted-after-the-226", false, nullptr, 65536, k150, true, whole.size()},
        {"download-short-of-the-announced-size", false, nullptr, -1, sized, false, 120000},
        {"download-short-of-the-announced-size-226-first", false, nullptr, -1, sized, true, 120000},
        {"download-onto-a-full-disk", false, "/dev/full", -1, k150, true, whole.size()},
        {"small-download-onto-a-full-disk-fails-at-the-close", false, "/dev/full", -1, k150, true,
         100},
        {"upload-aborted", true, nullptr, 65536, k150, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedEngine e;
        e.ScriptLogin().server.replyPasv();
        if (row.upload) {
            e.server.acceptData().reply(row.first).receiveDataUntilClose().send(k226);
        } else {
            e.server.reply(row.first).acceptData().sendData(whole.substr(0, row.sent));
            if (row.replyBeforeClose)
                e.server.send(k226).pause(50).closeData();
            else
                e.server.closeData().pause(50).send(k226);
        }
        const std::string local = row.local ? row.local : e.Local("f");
        if (row.upload)
            WriteFile(local, whole);
        e.abortAt = row.abortAt;
        e.LogIn();
        const FtpRequest kind = row.upload ? PutAsync : GetAsync;
        EXPECT_EQ(
            e.RecordedEngine::Transfer(row.upload ? &Cli::PutAsync : &Cli::GetAsync, "f", local),
            Done(kind, 426));
        EXPECT_TRUE(e.ftp.ErrorMessage().starts_with("426 Transfer cut short"))
            << e.ftp.ErrorMessage();
        EXPECT_TRUE(e.ftp.Connected()) << "the session stays";
    }
}

// --- time-outs -------------------------------------------------------------------------

// A request that hears nothing on either connection for RequestTimeout seconds
// fails and closes the session; one whose bytes keep moving is never cut.
TEST(FtpSilence, FailsARequestOnlyWhenNothingMoves) {
    struct Row {
        const char* name;
        std::function<void(ScriptedFtpServer&)> script; // after the greeting
        void (Cli::*request)();
        bool greets = true;
        int error = wsock::WSAETIMEDOUT;
    };
    const Row rows[]{
        {"server-that-never-greets", [](ScriptedFtpServer&) {}, &Cli::OpenAsync, false},
        {"data-connection-stalls",
         [](ScriptedFtpServer& s) {
             s.replyPasv().reply(k150).acceptData().sendData("some").pause(3000);
         },
         &Cli::GetAsync},
        {"no-226-after-the-data",
         [](ScriptedFtpServer& s) {
             s.replyPasv().reply(k150).acceptData().sendData("all").closeData();
         },
         &Cli::GetAsync},
        {"transfer-slower-than-the-limit-but-moving",
         [](ScriptedFtpServer& s) {
             s.replyPasv().reply(k150).acceptData();
             for (int i = 0; i < 8; ++i)
                 s.sendData("x").pause(300);
             s.closeData().send(k226);
         },
         &Cli::GetAsync, true, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedEngine e;
        e.ftp.RequestTimeout = 1;
        if (row.greets)
            e.server.send(kGreeting);
        row.script(e.server);
        if (row.greets)
            e.Open();
        e.ftp.HostFileName = "f";
        e.ftp.LocalFileName = e.Local("f");
        const Done done = e.Play(row.request, 10000);
        EXPECT_EQ(done.second, row.error) << e.ftp.ErrorMessage();
        if (row.error) {
            EXPECT_EQ(e.ftp.ErrorMessage(), "No answer from the server for 1 s");
            EXPECT_FALSE(e.ftp.Connected());
            EXPECT_EQ(e.ftp.State(), FtpState::ftpReady);
        } else {
            EXPECT_EQ(ReadFile(e.Local("f")), "xxxxxxxx");
        }
        ProcessEventsFor(100);
        EXPECT_EQ(e.done.size(), row.greets ? 2u : 1u) << "completed once";
    }
}

// --- multi-step requests -----------------------------------------------------------

// A server that accepts the login at USER is asked for no password.
TEST(FtpSequence, LoginAcceptedAtUserSendsNoPass) {
    ScriptedEngine e;
    e.server.send(kGreeting).reply("230 No password needed\r\n").reply("500 FEAT?\r\n");
    e.LogIn();
    EXPECT_EQ(e.server.received(), (Lines{"USER anna", "FEAT"}));
    EXPECT_TRUE(e.ftp.Connected());
}

// A listing without a local file is refused before its first command; a step
// that cannot run once the reply before it is in (its caller emptied
// LocalFileName meanwhile) fails the request once; the session stays usable.
TEST_F(FtpTransfer, AFailureInsideAStepCompletesTheRequestOnce) {
    server.replyPasv().reply("257 \"/\" is current\r\n");
    LogIn();
    EXPECT_THROW(ftp.DirAsync(), FtpException);
    EXPECT_EQ(ftp.State(), FtpState::ftpReady);
    EXPECT_TRUE(Commands().empty());
    ftp.LocalFileName = Local("listing");
    ftp.DirAsync();
    ftp.LocalFileName.clear();
    ASSERT_TRUE(WaitDone(2));
    ProcessEventsFor(100);
    ASSERT_EQ(done.size(), 2u) << "exactly once";
    EXPECT_EQ(done[1].first, DirAsync);
    EXPECT_NE(done[1].second, 0);
    EXPECT_EQ(ftp.ErrorMessage(), "500 LocalFileName empty");
    EXPECT_TRUE(ftp.Connected());
    EXPECT_EQ(Play(&Cli::PwdAsync), Done(PwdAsync, 0));
}

TEST(FtpProxy, UserNamesTheRealServerAndItsPort) {
    struct Row {
        const char* port;
        const char* user;
    };
    for (const Row& row :
         {Row{"2121", "USER anna@files.example:2121"}, Row{"FTP", "USER anna@files.example"},
          Row{"21", "USER anna@files.example"}}) {
        SCOPED_TRACE(row.port);
        ScriptedEngine e;
        e.ScriptLogin();
        e.ftp.SetConnectionType(FtpConnectionType::ftpProxy);
        e.ftp.SetProxyPort(e.server.portText());
        e.ftp.ProxyServer = "127.0.0.1";
        e.ftp.HostName = "files.example"; // never looked up: the proxy is
        e.ftp.Port = row.port;
        e.LogIn();
        EXPECT_EQ(e.server.received(), (Lines{row.user, "PASS pw", "FEAT"}));
        EXPECT_TRUE(e.ftp.Passive());
    }
}

} // namespace
