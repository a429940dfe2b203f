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

const std::string k150 = "150 Opening BINARY mode data connection\r\n";
const std::string k226 = "226 Transfer complete\r\n";

std::string Joined(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : ", ") + line;
    return text;
}

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
        EXPECT_EQ(e.ftp.LastResponse(), "226 Transfer complete");
        if (replyFirst) {
            EXPECT_GE(Clock::now() - replied, std::chrono::milliseconds(90));
        }
        EXPECT_EQ(ReadFile(e.Local("f")), "hello world");
        EXPECT_EQ(e.Commands(), (Lines{"PASV", "RETR f"}));
        EXPECT_TRUE(e.ShowedStatisticsFor(11));
        EXPECT_EQ(e.ftp.ByteCount, 11);
    }
}

TEST_F(FtpTransfer, ActiveModeSendsPortWithTheLoopbackAddressEachWay) {
    server.replyPort().reply(k150).connectData().sendDataPattern(100000, 7).closeData().send(k226);
    server.replyPort().reply(k150).connectData().receiveDataUntilClose().send(k226);
    server.replyPort().reply(k150).connectData().receiveDataUntilClose().send(k226);
    ftp.SetPassive(false);
    LogIn();
    EXPECT_EQ(Transfer(&Cli::GetAsync, "f", "f"), Done(GetAsync, 0)) << ftp.ErrorMessage();
    EXPECT_EQ(server.portCommandAddress(), "127.0.0.1");
    EXPECT_EQ(ReadFile(Local("f")), ScriptedFtpServer::Pattern(0, 100000, 7));
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0) << "progress comes before each block";
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100000);

    WriteFile(Local("up"), "first");
    EXPECT_EQ(Transfer(&Cli::PutAsync, "up", "up"), Done(PutAsync, 0)) << ftp.ErrorMessage();
    EXPECT_EQ(Play(&Cli::AppendAsync), Done(AppendAsync, 0)) << ftp.ErrorMessage();
    EXPECT_EQ(server.dataReceived(), "firstfirst");
    const Lines sent = Commands(); // each after its PORT
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ((Lines{sent[1], sent[3], sent[5]}), (Lines{"RETR f", "STOR up", "APPE up"}));
}

// Whoever reaches the listening port first is not the server: a connection
// from another address is closed and the listener keeps waiting for the server.
TEST_F(FtpTransfer, ActiveModeTakesTheDataConnectionOnlyFromTheServer) {
    server.replyPort().reply(k150).connectDataFrom("127.0.0.2").sendData("injected").closeData();
    server.connectData().sendData("genuine").closeData().send(k226);
    server.replyPort().reply(k150).connectDataFrom("127.0.0.2").receiveDataUntilClose();
    server.connectData().receiveDataUntilClose().send(k226);
    ftp.SetPassive(false);
    LogIn();
    EXPECT_EQ(Transfer(&Cli::GetAsync, "f", "f"), Done(GetAsync, 0)) << ftp.ErrorMessage();
    EXPECT_EQ(ReadFile(Local("f")), "genuine");
    WriteFile(Local("up"), "private");
    EXPECT_EQ(Transfer(&Cli::PutAsync, "up", "up"), Done(PutAsync, 0)) << ftp.ErrorMessage();
    EXPECT_EQ(server.dataReceived(), "private") << "nothing went to the stranger";
}

TEST_F(FtpTransfer, ListingsWithoutAnArgumentSendTheBareVerb) {
    server.replyPasv().reply(k150).acceptData().sendData("drwxr-xr-x 2 0 0 4096 Jan 1 pub\r\n");
    server.closeData().send(k226).replyPasv().reply(k150).acceptData().sendData("pub\r\n");
    server.closeData().send(k226);
    LogIn();
    EXPECT_EQ(Transfer(&Cli::DirAsync, "", "listing"), Done(DirAsync, 0));
    EXPECT_EQ(Play(&Cli::LsAsync), Done(LsAsync, 0));
    EXPECT_EQ(Commands(), (Lines{"PASV", "LIST", "PASV", "NLST"}));
    EXPECT_EQ(ReadFile(Local("listing")), "pub\r\n");
    // A listing tells what is on the server: it is for this user's eyes only.
    EXPECT_EQ(std::filesystem::status(Local("listing")).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(FtpTransfer, PassiveReplyNamingAnotherHostConnectsToTheControlPeer) {
    server.replyPasv("227 Entering Passive Mode (10,9,8,7,%hi%,%lo%)\r\n").reply(k150);
    server.acceptData().sendData("x").closeData().send(k226);
    LogIn();
    EXPECT_EQ(Transfer(&Cli::GetAsync, "f", "f").second, 0);
    EXPECT_EQ(ftp.DataSocket().PeerAddr(), "127.0.0.1");
}

// No RETR or STOR is sent for a local file that cannot be opened.
TEST_F(FtpTransfer, LocalFileThatCannotBeOpenedFailsBeforeTheTransferCommand) {
    server.replyPasv().replyPasv();
    LogIn();
    EXPECT_EQ(Transfer(&Cli::GetAsync, "f", "no-such-folder/f"), Done(GetAsync, 550));
    EXPECT_EQ(ftp.LastResponse(), "Unable to open local file " + ftp.LocalFileName);
    EXPECT_EQ(ftp.DataSocket().State(), SocketState::wsClosed);
    EXPECT_EQ(Transfer(&Cli::PutAsync, "f", "missing"), Done(PutAsync, 426));
    EXPECT_EQ(ftp.ErrorMessage(), "426 Unable to open local file " + ftp.LocalFileName);
    EXPECT_TRUE(Displayed("! " + ftp.ErrorMessage()));
    EXPECT_EQ(Commands(), (Lines{"PASV", "PASV"}));
}

// The local file is replaced only once the server has accepted the transfer:
// a refusal leaves it byte for byte, or leaves none where there was none. A
// refusal keeps the session; a 227 that cannot be read ends it.
TEST(FtpDownload, RefusalLeavesTheLocalFileAsItWas) {
    struct Row {
        const char* name;
        void (Cli::*request)();
        const char* pasv;    // the 227 reply
        const char* refusal; // the reply to RETR or LIST; nullptr: none is sent
        bool existed;
        int error;
    };
    const char* pasv = "227 Entering Passive Mode (127,0,0,1,%hi%,%lo%).\r\n";
    const Row rows[]{
        {"retr-refused-keeps-the-file", &Cli::GetAsync, pasv, "550 No such file\r\n", true, 550},
        {"retr-refused-makes-no-file", &Cli::GetAsync, pasv, "550 No such file\r\n", false, 550},
        {"list-refused-keeps-the-file", &Cli::DirAsync, pasv, "450 No listing\r\n", true, 450},
        {"unreadable-227-keeps-the-file", &Cli::GetAsync,
         "227 Entering Passive Mode (127,0,0,1,%hi%,%lo%\r\n", nullptr, true, 550},
        {"227-port-out-of-range-fails-like-an-unreadable-one", &Cli::GetAsync,
         "227 Entering Passive Mode (127,0,0,1,%hi+256%,%lo%)\r\n", "150 Here it comes\r\n", true,
         550},
        {"227-negative-port-fails-like-an-unreadable-one", &Cli::GetAsync,
         "227 Entering Passive Mode (127,0,0,1,-1,-21629)\r\n", nullptr, true, 550},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedEngine e;
        e.ScriptLogin().server.replyPasv(row.pasv);
        if (row.refusal)
            e.server.reply(row.refusal);
        if (row.existed)
            WriteFile(e.Local("f"), "precious");
        e.LogIn();
        EXPECT_EQ(e.Transfer(row.request, "f", "f").second, row.error);
        const bool readable = std::string(row.pasv) == pasv;
        EXPECT_EQ(e.ftp.Connected(), readable);
        EXPECT_EQ(e.sessionClosed, readable ? 0 : 1);
        if (readable) {
            EXPECT_EQ(e.ftp.ErrorMessage() + "\r\n", row.refusal);
        }
        EXPECT_EQ(std::filesystem::exists(e.Local("f")), row.existed);
        if (row.existed) {
            EXPECT_EQ(ReadFile(e.Local("f")), "precious");
        }
    }
}

// Bytes that came on a data connection before the server took up this transfer
// are what an earlier request left behind (pyftpdlib sends a quoted MLSD's data
// to whichever data connection comes next): they never reach the local file.
TEST(FtpDownload, BytesFromBeforeTheTransferNeverReachTheFile) {
    struct Row {
        const char* name;
        bool passive;
        std::function<void(ScriptedFtpServer&)> script; // after the login
        int error;
        const char* file;
    };
    const Row rows[]{
        {"passive-data-before-a-refused-retr-is-dropped", true,
         [](ScriptedFtpServer& s) {
             s.replyPasv().acceptData().sendData("STALE").closeData().pause(200).reply(
                 "550 No such file\r\n");
         },
         550, "precious"},
        {"active-connection-that-sent-before-retr-is-refused", false,
         [](ScriptedFtpServer& s) {
             s.replyPort("").connectData().sendData("STALE").closeData().pause(100);
             s.send("200 PORT command successful.\r\n").reply(k150);
             s.connectData().sendData("genuine").closeData().send(k226);
         },
         0, "genuine"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedEngine e;
        row.script(e.ScriptLogin().server);
        e.ftp.SetPassive(row.passive);
        WriteFile(e.Local("f"), "precious");
        e.LogIn();
        EXPECT_EQ(e.Transfer(&Cli::GetAsync, "f", "f").second, row.error) << e.ftp.ErrorMessage();
        EXPECT_EQ(ReadFile(e.Local("f")), row.file);
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

TEST_F(FtpTransfer, PassiveUploadSendsTheFileInBlocksAfterTheConnection) {
    const std::string body = ScriptedFtpServer::Pattern(0, 5000, 11);
    server.replyPasv().acceptData().reply(k150).receiveDataUntilClose().send(k226);
    LogIn();
    WriteFile(Local("up"), body);
    ftp.SetDataBlockSizes(ftptransfer::kUploadBlock, ftptransfer::kDownloadBlock);
    EXPECT_EQ(Transfer(&Cli::PutAsync, "up", "up"), Done(PutAsync, 0)) << ftp.ErrorMessage();
    EXPECT_EQ(server.dataReceived(), body);
    EXPECT_EQ(Commands(), (Lines{"PASV", "STOR up"}));
    ASSERT_GE(progress.size(), 4u);
    EXPECT_EQ(std::vector<std::int64_t>(progress.begin(), progress.begin() + 4),
              (std::vector<std::int64_t>{0, 1514, 3028, 4542}));
}

// Blocks that the socket takes at once go out in a loop, but the event loop
// still runs every few milliseconds: an event posted at the start is served
// long before the last block.
TEST_F(FtpTransfer, UploadLetsTheEventLoopRunBetweenBlocks) {
    const std::string body = ScriptedFtpServer::Pattern(0, 40 * 1514, 12);
    server.replyPasv().acceptData().reply(k150).receiveDataUntilClose().send(k226);
    LogIn();
    WriteFile(Local("up"), body);
    ftp.SetDataBlockSizes(ftptransfer::kUploadBlock, ftptransfer::kDownloadBlock);
    std::int64_t sentWhenServed = -1;
    bool posted = false;
    ftp.OnProgress = [&](Cli*, std::int64_t, bool&) {
        if (!std::exchange(posted, true))
            QMetaObject::invokeMethod(
                qApp, [&] { sentWhenServed = ftp.ByteCount; }, Qt::QueuedConnection);
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // a slow progress window
    };
    EXPECT_EQ(Transfer(&Cli::PutAsync, "up", "up"), Done(PutAsync, 0)) << ftp.ErrorMessage();
    EXPECT_TRUE(server.dataReceived() == body);
    EXPECT_GE(sentWhenServed, 0);
    EXPECT_LT(sentWhenServed, static_cast<std::int64_t>(body.size()) / 2);
}

TEST_F(FtpTransfer, UploadResumesFromTheGivenPosition) {
    server.replyPasv().reply("350 Restarting at 3\r\n").acceptData().reply(k150);
    server.receiveDataUntilClose().send(k226);
    LogIn();
    WriteFile(Local("up"), "abcdef");
    ftp.ResumeAt = 3;
    EXPECT_EQ(Transfer(&Cli::RestPutAsync, "up", "up"), Done(PutAsync, 0)) << ftp.ErrorMessage();
    EXPECT_EQ(Commands(), (Lines{"PASV", "REST 3", "STOR up"}));
    EXPECT_EQ(server.dataReceived(), "def");
}

// --- aborting -------------------------------------------------------------------------

// A progress abort sends no ABOR: the request ends with the server's reply,
// even pure-ftpd's "226-" lines that a "150 " line ends, and the next command
// gets its own reply.
TEST_F(FtpTransfer, ProgressAbortEndsWithTheServersReplyAndNoAbor) {
    server.replyPasv().reply(k150).acceptData().sendData("some");
    server.receiveDataUntilClose().send("426 Transfer aborted\r\n");
    server.replyPasv().reply(k150).acceptData().sendData("some").receiveDataUntilClose();
    server.send("226-File successfully transferred\r\n226-0.001 seconds\r\n150 Aborted\r\n");
    server.reply("257 \"/\" is your current location\r\n");
    LogIn();
    abortAt = 0; // at the first block
    EXPECT_EQ(Transfer(&Cli::GetAsync, "big", "big"), Done(GetAsync, 426));
    EXPECT_TRUE(Displayed("! Abort requested"));
    EXPECT_EQ(Transfer(&Cli::GetAsync, "big", "big"), Done(GetAsync, 426));
    EXPECT_TRUE(ftp.Connected()) << "the session stays";
    EXPECT_EQ(Play(&Cli::PwdAsync), Done(PwdAsync, 0));
    EXPECT_EQ(ftp.DirResult, "/");
    EXPECT_EQ(Commands(), (Lines{"PASV", "RETR big", "PASV", "RETR big", "PWD"}));
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
        {"download-aborted-before-the-226", false, nullptr, 65536, k150, false, whole.size()},
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

TEST_F(FtpTransfer, AbortInTheMiddleOfATransferClosesBothConnections) {
    server.replyPasv().reply(k150).acceptData().sendData("some");
    LogIn();
    ftp.HostFileName = "big";
    ftp.LocalFileName = Local("big");
    ftp.GetAsync();
    ASSERT_TRUE(ProcessEventsUntil([&] { return ftp.ByteCount == 4; }));
    ftp.Abort();
    ASSERT_TRUE(WaitDone(2));
    EXPECT_EQ(done.back(), Done(GetAsync, 426));
    EXPECT_EQ(ftp.ErrorMessage(), "426 Operation aborted.");
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(ftp.DataSocket().State(), SocketState::wsClosed);
    EXPECT_EQ(ftp.State(), FtpState::ftpReady);
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
        {"no-reply-to-type", [](ScriptedFtpServer& s) { s.readLine(); }, &Cli::TypeSetAsync},
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

// Requests that log in themselves, each answered with the row's replies, one a
// command.
TEST(FtpSequence, CommandsAndResultFollowTheReplies) {
    struct Row {
        const char* name;
        void (Cli::*request)();
        const char* replies;
        const char* commands;
        FtpRequest kind;
        int error;
    };
    const Row rows[]{
        {"login-accepted-at-user-sends-no-pass", &Cli::ConnectAsync,
         "230 No password needed\r\n500 FEAT?\r\n", "USER anna, FEAT", ConnectAsync, 0},
        {"login-with-user-and-pass", &Cli::ConnectAsync,
         "331 Password\r\n230 Logged in\r\n500 FEAT?\r\n", "USER anna, PASS pw, FEAT", ConnectAsync,
         0},
        {"login-refused-stays-connected", &Cli::ConnectAsync,
         "331 Password\r\n530 Login incorrect\r\n", "USER anna, PASS pw", ConnectAsync, 530},
        {"file-size-changes-directory-and-quits", &Cli::FileSizeAsync,
         "230 In\r\n250 OK\r\n213 4096\r\n221 Bye\r\n", "USER anna, CWD /pub, SIZE f, QUIT",
         SizeAsync, 0},
        {"append-file-failing-before-the-append-reports-transmit", &Cli::AppendFileAsync,
         "530 Not welcome\r\n", "USER anna", TransmitAsync, 530},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedEngine e;
        e.server.send(kGreeting);
        const std::string replies = row.replies;
        for (std::size_t at = 0, end; (end = replies.find("\r\n", at)) != replies.npos;
             at = end + 2)
            e.server.reply(replies.substr(at, end + 2 - at));
        e.ftp.HostDirName = "/pub";
        e.ftp.HostFileName = "f";
        e.ftp.LocalFileName = e.Local("f");
        EXPECT_EQ(e.Play(row.request), Done(row.kind, row.error));
        EXPECT_EQ(Joined(e.server.received()), row.commands);
        if (row.kind == SizeAsync) {
            EXPECT_EQ(e.ftp.SizeResult, 4096);
        }
        if (row.kind == ConnectAsync) {
            EXPECT_TRUE(e.ftp.Connected());
            EXPECT_EQ(e.ftp.ErrorMessage(), row.error ? "530 Login incorrect" : "");
        }
    }
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

TEST_F(FtpTransfer, RenameRunsFromAndTo) {
    server.reply("350 Ready\r\n").reply("250 Renamed\r\n");
    LogIn();
    ftp.HostFileName = "old name";
    ftp.LocalFileName = "new name";
    EXPECT_EQ(Play(&Cli::RenAsync), Done(RenAsync, 0));
    EXPECT_EQ(Commands(), (Lines{"RNFR old name", "RNTO new name"}));
}

class FtpSequenceWithData : public ::testing::Test, protected ScriptedEngine {};

TEST_F(FtpSequenceWithData, ReceiveWithoutADirectorySkipsCwd) {
    server.send(kGreeting).reply("331 Password\r\n").reply("230 In\r\n").reply("200 Type I\r\n");
    server.replyPasv().reply(k150).acceptData().sendData("data").closeData().send(k226);
    server.reply("221 Bye\r\n");
    EXPECT_EQ(Transfer(&Cli::ReceiveAsync, "f", "f"), Done(ReceiveAsync, 0)) << ftp.ErrorMessage();
    EXPECT_EQ(server.received(),
              (Lines{"USER anna", "PASS pw", "TYPE I", "PASV", "RETR f", "QUIT"}));
    EXPECT_EQ(ftp.LastResponse(), "226 Transfer complete") << "the QUIT reply is not reported";
    EXPECT_EQ(ReadFile(Local("f")), "data");
}

TEST_F(FtpSequenceWithData, AppendFileReportsAppendOnceTheAppendBegan) {
    server.send(kGreeting).reply("230 In\r\n").reply("200 Type I\r\n");
    server.replyPasv().acceptData().reply(k150).receiveDataUntilClose().send(k226);
    server.reply("221 Bye\r\n");
    WriteFile(Local("up"), "more");
    EXPECT_EQ(Transfer(&Cli::AppendFileAsync, "log", "up"), Done(AppendAsync, 0));
    EXPECT_EQ(server.dataReceived(), "more");
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
