#include "ftp/FtpTestSupport.h"
#include "support/ScriptedFtpServer.h"

#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using testsupport::ProcessEventsUntil;
using testsupport::ScriptedFtpServer;
using Lines = std::vector<std::string>;

namespace {

const std::string kGreeting = "220 Scripted server ready\r\n";
const std::string k150 = "150 Opening BINARY mode data connection\r\n";
const std::string k226 = "226 Transfer complete\r\n";

// An engine already logged in to a scripted server, with a scratch folder for
// local files. Each test adds what the server does after the login.
class FtpTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        PointAtServer();
        ftp.OnProgress = [this](TCustomFtpCli*, std::int64_t count, bool& abort) {
            progress.push_back(count);
            abort = abortAt >= 0 && count >= abortAt;
        };
        server.send(kGreeting).reply("331 Password\r\n").reply("230 Logged in\r\n");
    }

    // A passive engine for anna at the scripted server, recorded.
    void PointAtServer() {
        rec.Attach(ftp);
        ftp.HostName = "127.0.0.1";
        ftp.Port = server.portText();
        ftp.UserName = "anna";
        ftp.PassWord = "pw";
        ftp.SetPassive(true);
    }

    // Starts `request` on the remote file and the scratch file `local`; false
    // when it did not end in time.
    bool Transfer(void (TCustomFtpCli::*request)(), const char* remote, const char* local) {
        ftp.HostFileName = remote;
        ftp.LocalFileName = Local(local);
        (ftp.*request)();
        return rec.WaitDone();
    }

    void LogIn() {
        server.start();
        ftp.ConnectAsync();
        ASSERT_TRUE(rec.WaitDone());
        ASSERT_EQ(rec.done.back().second, 0) << ftp.ErrorMessage();
        rec.done.clear();
    }

    // The commands after USER and PASS.
    Lines Commands() const {
        Lines all = server.received();
        return Lines(all.begin() + std::min<std::size_t>(2, all.size()), all.end());
    }

    bool ShowedStatisticsFor(std::int64_t bytes) const {
        const std::string prefix = "! " + std::to_string(bytes) + " bytes received/sent in ";
        for (const std::string& line : rec.display)
            if (line.rfind(prefix, 0) == 0)
                return true;
        return false;
    }

    std::string Local(const char* name) const { return dir.filePath(name).toStdString(); }

    QTemporaryDir dir;
    ScriptedFtpServer server;
    TFtpClient ftp;
    FtpRecorder rec;
    std::vector<std::int64_t> progress;
    std::int64_t abortAt = -1;
};

// --- downloads ------------------------------------------------------------------

TEST_F(FtpTransfer, PassiveDownloadWith226BeforeTheDataClose) {
    server.replyPasv()
        .reply(k150)
        .acceptData()
        .sendData("hello world")
        .send(k226)
        .pause(100)
        .closeData();
    LogIn();
    using Clock = std::chrono::steady_clock;
    Clock::time_point replied{};
    ftp.OnResponse = [&](TCustomFtpCli* sender) {
        if (sender->LastResponse().rfind("226", 0) == 0)
            replied = Clock::now();
    };
    ASSERT_TRUE(Transfer(&TCustomFtpCli::GetAsync, "hello.txt", "hello.txt"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::GetAsync, 0)) << ftp.ErrorMessage();
    // The server closes the data connection 100 ms after its 226.
    EXPECT_GE(Clock::now() - replied, std::chrono::milliseconds(90))
        << "completed before the data connection closed";
    EXPECT_EQ(ReadFile(Local("hello.txt")), "hello world");
    EXPECT_EQ(Commands(), (Lines{"PASV", "RETR hello.txt"}));
    EXPECT_TRUE(ShowedStatisticsFor(11));
    EXPECT_EQ(ftp.ByteCount, 11);
}

TEST_F(FtpTransfer, PassiveDownloadWith226AfterTheDataClose) {
    server.replyPasv().reply(k150).acceptData().sendData("abc").closeData().pause(100).send(k226);
    LogIn();
    ASSERT_TRUE(Transfer(&TCustomFtpCli::GetAsync, "abc", "abc"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::GetAsync, 0));
    EXPECT_EQ(ReadFile(Local("abc")), "abc");
    EXPECT_EQ(ftp.LastResponse(), "226 Transfer complete");
}

TEST_F(FtpTransfer, ActiveDownloadSendsPortWithTheLoopbackAddress) {
    server.replyPort().reply(k150).connectData().sendDataPattern(100000, 7).closeData().send(k226);
    ftp.SetPassive(false);
    LogIn();
    ASSERT_TRUE(Transfer(&TCustomFtpCli::GetAsync, "pattern.bin", "pattern.bin"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::GetAsync, 0)) << ftp.ErrorMessage();
    EXPECT_EQ(server.portCommandAddress(), "127.0.0.1");
    EXPECT_EQ(ReadFile(Local("pattern.bin")), ScriptedFtpServer::Pattern(0, 100000, 7));
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0) << "progress comes before each block";
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100000);
}

TEST_F(FtpTransfer, EmptyRemoteFileCompletesWithZeroBytes) {
    server.replyPasv().reply(k150).acceptData().closeData().send(k226);
    LogIn();
    WriteFile(Local("empty"), "old contents");
    ASSERT_TRUE(Transfer(&TCustomFtpCli::GetAsync, "empty", "empty"));
    EXPECT_EQ(rec.done[0].second, 0);
    EXPECT_EQ(ReadFile(Local("empty")), "") << "the local file is created anew";
    EXPECT_TRUE(ShowedStatisticsFor(0));
}

TEST_F(FtpTransfer, ListWithoutAnArgumentSendsTheBareVerb) {
    server.replyPasv().reply(k150).acceptData().sendData("drwxr-xr-x 2 0 0 4096 Jan 1 pub\r\n");
    server.closeData().send(k226).replyPasv().reply(k150).acceptData().sendData("pub\r\n");
    server.closeData().send(k226);
    LogIn();
    ftp.LocalFileName = Local("listing.txt");
    ftp.DirAsync();
    ASSERT_TRUE(rec.WaitDone(1));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::DirAsync, 0));
    ftp.LsAsync();
    ASSERT_TRUE(rec.WaitDone(2));
    EXPECT_EQ(rec.done[1], std::make_pair(TFtpRequest::LsAsync, 0));
    EXPECT_EQ(Commands(), (Lines{"PASV", "LIST", "PASV", "NLST"}));
    EXPECT_EQ(ReadFile(Local("listing.txt")), "pub\r\n");
}

TEST_F(FtpTransfer, PassiveReplyNamingAnotherAddressStillUsesTheControlPeer) {
    server.replyPasv("227 Entering Passive Mode (10,9,8,7,%hi%,%lo%)\r\n")
        .reply(k150)
        .acceptData()
        .sendData("x")
        .closeData()
        .send(k226);
    LogIn();
    ASSERT_TRUE(Transfer(&TCustomFtpCli::GetAsync, "x", "x"));
    EXPECT_EQ(rec.done[0].second, 0);
    EXPECT_EQ(ftp.DataSocket().PeerAddr(), "127.0.0.1");
}

TEST_F(FtpTransfer, PassiveReplyWithoutClosingParenthesisFails) {
    server.replyPasv("227 Entering Passive Mode (127,0,0,1,%hi%,%lo%\r\n");
    LogIn();
    ASSERT_TRUE(Transfer(&TCustomFtpCli::GetAsync, "x", "x"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::GetAsync, 550));
    EXPECT_FALSE(ftp.Connected()) << "the session cannot go on";
    EXPECT_EQ(rec.sessionClosed, 1);
}

TEST_F(FtpTransfer, LocalFileThatCannotBeCreatedFailsWith550) {
    server.replyPasv();
    LogIn();
    ASSERT_TRUE(Transfer(&TCustomFtpCli::GetAsync, "x", "no-such-folder/x"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::GetAsync, 550));
    EXPECT_EQ(ftp.LastResponse(), "Unable to open local file " + ftp.LocalFileName);
    EXPECT_EQ(ftp.DataSocket().State(), TSocketState::wsClosed);
    EXPECT_EQ(Commands(), Lines{"PASV"}) << "no RETR without a local file";
}

TEST_F(FtpTransfer, RefusedRetrieveFailsWithTheReplyCode) {
    server.replyPasv().reply("550 No such file\r\n");
    LogIn();
    ASSERT_TRUE(Transfer(&TCustomFtpCli::GetAsync, "missing", "missing"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::GetAsync, 550));
    EXPECT_EQ(ftp.ErrorMessage(), "550 No such file");
}

TEST_F(FtpTransfer, FailedFinalReplyIsReported) {
    server.replyPasv().reply(k150).acceptData().sendData("part").closeData().send(
        "451 Local error\r\n");
    LogIn();
    ASSERT_TRUE(Transfer(&TCustomFtpCli::GetAsync, "f", "f"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::GetAsync, 451));
    EXPECT_TRUE(rec.Displayed("! RETR/LIST/NLST Failed"));
}

// --- resume -----------------------------------------------------------------------

TEST_F(FtpTransfer, ResumeAt1000AppendsToTheExistingFile) {
    const std::string whole = ScriptedFtpServer::Pattern(0, 3000, 3);
    server.replyPasv().reply("350 Restarting at 1000\r\n").reply(k150).acceptData();
    server.sendData(whole.substr(1000)).closeData().send(k226);
    LogIn();
    WriteFile(Local("part"), whole.substr(0, 1000));
    ASSERT_TRUE(Transfer(&TCustomFtpCli::RestGetAsync, "part", "part"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::RestGetAsync, 0)) << ftp.ErrorMessage();
    EXPECT_EQ(Commands(), (Lines{"PASV", "REST 1000", "RETR part"}));
    EXPECT_EQ(ReadFile(Local("part")), whole);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 1000) << "progress counts from the resume position";
    EXPECT_EQ(ftp.ResumeAt, 0) << "reset after the transfer";
}

TEST_F(FtpTransfer, RestAnswered450DownloadsTheWholeFileAgain) {
    server.replyPasv().reply("450 Cannot restart\r\n").reply(k150).acceptData();
    server.sendData("fresh").closeData().send(k226);
    LogIn();
    WriteFile(Local("f"), "stale contents");
    ASSERT_TRUE(Transfer(&TCustomFtpCli::RestGetAsync, "f", "f"));
    EXPECT_EQ(rec.done[0].second, 0);
    EXPECT_EQ(Commands(), (Lines{"PASV", "REST 14", "RETR f"}));
    EXPECT_EQ(ReadFile(Local("f")), "fresh");
}

TEST_F(FtpTransfer, RestAnswered502Fails) {
    server.replyPasv().reply("502 REST not implemented\r\n");
    LogIn();
    WriteFile(Local("f"), "partial");
    ASSERT_TRUE(Transfer(&TCustomFtpCli::RestGetAsync, "f", "f"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::RestGetAsync, 502));
    EXPECT_EQ(ReadFile(Local("f")), "partial");
}

TEST_F(FtpTransfer, NoLocalFileMeansNoRest) {
    server.replyPasv().reply(k150).acceptData().sendData("all").closeData().send(k226);
    LogIn();
    ASSERT_TRUE(Transfer(&TCustomFtpCli::RestGetAsync, "f", "new"));
    EXPECT_EQ(rec.done[0].second, 0);
    EXPECT_EQ(Commands(), (Lines{"PASV", "RETR f"}));
    EXPECT_EQ(ReadFile(Local("new")), "all");
}

TEST_F(FtpTransfer, ResumePositionBeyond2GiBIsSentWhole) {
    server.replyPasv().reply("350 Restarting\r\n").reply(k150).acceptData().sendData("tail");
    server.closeData().send(k226);
    LogIn();
    const std::int64_t at = 3'000'000'000;
    { std::ofstream(Local("big")); }
    std::filesystem::resize_file(Local("big"), static_cast<std::uintmax_t>(at)); // sparse
    ASSERT_TRUE(Transfer(&TCustomFtpCli::RestGetAsync, "big", "big"));
    EXPECT_EQ(rec.done[0].second, 0) << ftp.ErrorMessage();
    EXPECT_EQ(Commands(), (Lines{"PASV", "REST 3000000000", "RETR big"}));
    EXPECT_EQ(std::filesystem::file_size(Local("big")), static_cast<std::uintmax_t>(at + 4));
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), at);
}

// --- uploads -----------------------------------------------------------------------

TEST_F(FtpTransfer, PassiveUploadSendsTheFileAfterTheConnection) {
    const std::string body = ScriptedFtpServer::Pattern(0, 5000, 11);
    server.replyPasv().acceptData().reply(k150).receiveDataUntilClose().send(k226);
    LogIn();
    WriteFile(Local("up"), body);
    ftp.SetDataBlockSizes(ftptransfer::kUploadBlock, ftptransfer::kDownloadBlock);
    ASSERT_TRUE(Transfer(&TCustomFtpCli::PutAsync, "up", "up"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::PutAsync, 0)) << ftp.ErrorMessage();
    EXPECT_EQ(server.dataReceived(), body);
    EXPECT_EQ(Commands(), (Lines{"PASV", "STOR up"}));
    // 1514-byte blocks: 0, 1514, 3028, 4542, then the end of the file.
    EXPECT_EQ(std::vector<std::int64_t>(progress.begin(), progress.begin() + 4),
              (std::vector<std::int64_t>{0, 1514, 3028, 4542}));
}

TEST_F(FtpTransfer, ActiveUploadAndAppend) {
    server.replyPort().reply(k150).connectData().receiveDataUntilClose().send(k226);
    server.replyPort().reply(k150).connectData().receiveDataUntilClose().send(k226);
    ftp.SetPassive(false);
    LogIn();
    WriteFile(Local("up"), "first");
    ASSERT_TRUE(Transfer(&TCustomFtpCli::PutAsync, "up", "up"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::PutAsync, 0)) << ftp.ErrorMessage();
    ftp.AppendAsync();
    ASSERT_TRUE(rec.WaitDone(2));
    EXPECT_EQ(rec.done[1], std::make_pair(TFtpRequest::AppendAsync, 0)) << ftp.ErrorMessage();
    EXPECT_EQ(server.dataReceived(), "firstfirst");
    EXPECT_EQ(Commands()[1], "STOR up");
    EXPECT_EQ(Commands()[3], "APPE up");
}

TEST_F(FtpTransfer, UploadOfAnEmptyFile) {
    server.replyPasv().acceptData().reply(k150).receiveDataUntilClose().send(k226);
    LogIn();
    WriteFile(Local("empty"), "");
    ASSERT_TRUE(Transfer(&TCustomFtpCli::PutAsync, "empty", "empty"));
    EXPECT_EQ(rec.done[0].second, 0);
    EXPECT_EQ(server.dataReceived(), "");
    EXPECT_TRUE(ShowedStatisticsFor(0));
}

TEST_F(FtpTransfer, MissingLocalFileFailsTheUploadWith426) {
    server.replyPasv();
    LogIn();
    ASSERT_TRUE(Transfer(&TCustomFtpCli::PutAsync, "x", "missing"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::PutAsync, 426));
    EXPECT_EQ(ftp.ErrorMessage(), "426 Unable to open local file " + ftp.LocalFileName);
    EXPECT_TRUE(rec.Displayed("! " + ftp.ErrorMessage()));
}

TEST_F(FtpTransfer, UploadResumesFromTheGivenPosition) {
    server.replyPasv().reply("350 Restarting at 3\r\n").acceptData().reply(k150);
    server.receiveDataUntilClose().send(k226);
    LogIn();
    WriteFile(Local("up"), "abcdef");
    ftp.ResumeAt = 3;
    ASSERT_TRUE(Transfer(&TCustomFtpCli::RestPutAsync, "up", "up"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::PutAsync, 0)) << ftp.ErrorMessage();
    EXPECT_EQ(Commands(), (Lines{"PASV", "REST 3", "STOR up"}));
    EXPECT_EQ(server.dataReceived(), "def");
}

// --- aborting -------------------------------------------------------------------------

TEST_F(FtpTransfer, ProgressAbortCompletesWithTheServersRefusal) {
    server.replyPasv().reply(k150).acceptData().sendData("some");
    server.receiveDataUntilClose().send("426 Transfer aborted\r\n");
    LogIn();
    abortAt = 0; // at the first block
    ASSERT_TRUE(Transfer(&TCustomFtpCli::GetAsync, "big", "big"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::GetAsync, 426));
    EXPECT_TRUE(rec.Displayed("! Abort requested"));
    EXPECT_TRUE(ftp.Connected()) << "no ABOR, and the session stays";
    for (const std::string& command : Commands())
        EXPECT_NE(command, "ABOR");
}

TEST_F(FtpTransfer, ProgressAbortWithA226StillSucceeds) {
    server.replyPasv().acceptData().reply(k150).receiveDataUntilClose().send(k226);
    LogIn();
    WriteFile(Local("up"), ScriptedFtpServer::Pattern(0, 300000, 1));
    abortAt = 100000;
    ASSERT_TRUE(Transfer(&TCustomFtpCli::PutAsync, "up", "up"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::PutAsync, 0));
    EXPECT_TRUE(rec.Displayed("! Abort requested"));
    EXPECT_LT(server.dataReceived().size(), 300000u);
}

TEST_F(FtpTransfer, AbortInTheMiddleOfATransferClosesBothConnections) {
    server.replyPasv().reply(k150).acceptData().sendData("some");
    LogIn();
    ftp.HostFileName = "big";
    ftp.LocalFileName = Local("big");
    ftp.GetAsync();
    ASSERT_TRUE(ProcessEventsUntil([&] { return ftp.ByteCount == 4; }));
    ftp.Abort();
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::GetAsync, 426));
    EXPECT_EQ(ftp.ErrorMessage(), "426 Operation aborted.");
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(ftp.DataSocket().State(), TSocketState::wsClosed);
    EXPECT_EQ(ftp.State(), TFtpState::ftpReady);
}

// --- multi-step requests -----------------------------------------------------------

// Engines that log in as part of the request under test.
class FtpSequence : public FtpTransfer {
protected:
    void SetUp() override { PointAtServer(); }
};

TEST_F(FtpSequence, ReceiveWithoutADirectorySkipsCwd) {
    server.send(kGreeting).reply("331 Password\r\n").reply("230 In\r\n").reply("200 Type I\r\n");
    server.replyPasv().reply(k150).acceptData().sendData("data").closeData().send(k226);
    server.reply("221 Bye\r\n");
    server.start();
    ASSERT_TRUE(Transfer(&TCustomFtpCli::ReceiveAsync, "f", "f"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::ReceiveAsync, 0)) << ftp.ErrorMessage();
    EXPECT_EQ(server.received(),
              (Lines{"USER anna", "PASS pw", "TYPE I", "PASV", "RETR f", "QUIT"}));
    EXPECT_EQ(ftp.LastResponse(), "226 Transfer complete") << "the QUIT reply is not reported";
    EXPECT_EQ(ReadFile(Local("f")), "data");
}

TEST_F(FtpSequence, FileSizeReportsSizeAsync) {
    server.send(kGreeting).reply("230 In\r\n").reply("250 OK\r\n").reply("213 4096\r\n");
    server.reply("221 Bye\r\n");
    server.start();
    ftp.HostDirName = "/pub";
    ftp.HostFileName = "f";
    ftp.FileSizeAsync();
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::SizeAsync, 0));
    EXPECT_EQ(ftp.SizeResult, 4096);
    EXPECT_EQ(server.received(), (Lines{"USER anna", "CWD /pub", "SIZE f", "QUIT"}));
}

TEST_F(FtpSequence, AppendFileReportsAppendOnceTheAppendBegan) {
    server.send(kGreeting).reply("230 In\r\n").reply("200 Type I\r\n");
    server.replyPasv().acceptData().reply(k150).receiveDataUntilClose().send(k226);
    server.reply("221 Bye\r\n");
    server.start();
    WriteFile(Local("up"), "more");
    ASSERT_TRUE(Transfer(&TCustomFtpCli::AppendFileAsync, "log", "up"));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::AppendAsync, 0)) << ftp.ErrorMessage();
    EXPECT_EQ(server.dataReceived(), "more");
}

TEST_F(FtpSequence, AppendFileThatFailsBeforeTheAppendReportsTransmit) {
    server.send(kGreeting).reply("530 Not welcome\r\n");
    server.start();
    ftp.LocalFileName = Local("up");
    ftp.AppendFileAsync();
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::TransmitAsync, 530));
}

TEST_F(FtpSequence, RenameRunsFromAndTo) {
    server.send(kGreeting).reply("230 In\r\n").reply("350 Ready\r\n").reply("250 Renamed\r\n");
    server.start();
    ftp.ConnectAsync();
    ASSERT_TRUE(rec.WaitDone(1));
    ftp.HostFileName = "old name";
    ftp.LocalFileName = "new name";
    ftp.RenAsync();
    ASSERT_TRUE(rec.WaitDone(2));
    EXPECT_EQ(rec.done[1], std::make_pair(TFtpRequest::RenAsync, 0));
    EXPECT_EQ(server.received(), (Lines{"USER anna", "RNFR old name", "RNTO new name"}));
}

TEST_F(FtpSequence, QuoteFailsOn550AndSucceedsBelow500) {
    server.send(kGreeting).reply("230 In\r\n").reply("550 Denied\r\n").reply("421 Bye soon\r\n");
    server.start();
    ftp.ConnectAsync();
    ASSERT_TRUE(rec.WaitDone(1));
    ftp.LocalFileName = "SITE ONE";
    ftp.QuoteAsync();
    ASSERT_TRUE(rec.WaitDone(2));
    EXPECT_EQ(rec.done[1], std::make_pair(TFtpRequest::QuoteAsync, 550));
    ftp.LocalFileName = "SITE TWO";
    ftp.QuoteAsync();
    ASSERT_TRUE(rec.WaitDone(3));
    EXPECT_EQ(rec.done[2], std::make_pair(TFtpRequest::QuoteAsync, 0));
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
        ScriptedFtpServer server;
        server.send(kGreeting).reply("331 Password\r\n").reply("230 In\r\n");
        server.start();
        TFtpClient ftp;
        FtpRecorder rec;
        rec.Attach(ftp);
        ftp.SetConnectionType(TFtpConnectionType::ftpProxy);
        ftp.SetProxyPort(server.portText());
        ftp.ProxyServer = "127.0.0.1";
        ftp.HostName = "files.example"; // never looked up: the proxy is
        ftp.Port = row.port;
        ftp.UserName = "anna";
        ftp.PassWord = "pw";
        ftp.ConnectAsync();
        ASSERT_TRUE(rec.WaitDone());
        EXPECT_EQ(rec.done[0].second, 0) << ftp.ErrorMessage();
        EXPECT_EQ(server.received(), (Lines{row.user, "PASS pw"}));
        EXPECT_TRUE(ftp.Passive());
    }
}

} // namespace
