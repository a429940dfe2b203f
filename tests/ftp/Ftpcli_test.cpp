#include "ftp/FtpTestSupport.h"
#include "support/ScriptedFtpServer.h"

#include <gtest/gtest.h>

using testsupport::ProcessEventsFor;
using testsupport::ScriptedFtpServer;
using Lines = std::vector<std::string>;

namespace {

const std::string kGreeting = "220 Scripted server ready\r\n";

class FtpControl : public ::testing::Test {
protected:
    void SetUp() override {
        rec.Attach(ftp);
        ftp.HostName = "127.0.0.1";
        ftp.Port = server.portText();
    }

    // Opens the control connection and waits for the greeting to complete it.
    void Open() {
        server.start();
        ftp.OpenAsync();
        ASSERT_TRUE(rec.WaitDone());
        ASSERT_EQ(rec.done.back(), std::make_pair(TFtpRequest::OpenAsync, 0));
        rec.done.clear();
    }

    void Quote(const std::string& command) {
        ftp.LocalFileName = command;
        ftp.QuoteAsync();
    }

    ScriptedFtpServer server;
    TFtpClient ftp;
    FtpRecorder rec;
};

TEST_F(FtpControl, MultiLineGreetingCompletesOnceOnItsLastLine) {
    server.send("220-Welcome\r\n220-to the scripted\r\n220 server\r\n");
    Open();
    EXPECT_EQ(rec.sessionConnected, 1);
    EXPECT_TRUE(rec.Displayed("< 220-Welcome"));
    EXPECT_TRUE(rec.Displayed("< 220-to the scripted"));
    EXPECT_TRUE(rec.Displayed("< 220 server"));
    EXPECT_EQ(ftp.LastResponse(), "220 server");
    EXPECT_EQ(ftp.State(), TFtpState::ftpReady);
    EXPECT_TRUE(ftp.Connected());
    ProcessEventsFor(100);
    EXPECT_TRUE(rec.done.empty()) << "the greeting completed the open step twice";
}

TEST_F(FtpControl, OnlyTheFinalLineOfAReplyIsShownWhileWaiting) {
    server.send(kGreeting).readLine().sendInChunks("200-first\r\n200-second\r\n200 done\r\n", 1, 1);
    Open();
    Quote("NOOP");
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::QuoteAsync, 0));
    EXPECT_FALSE(rec.Displayed("< 200-first"));
    EXPECT_FALSE(rec.Displayed("< 200-second"));
    EXPECT_TRUE(rec.Displayed("< 200 done"));
    EXPECT_EQ(server.received(), Lines{"NOOP"});
}

TEST_F(FtpControl, ContinuationLineWithDigitsAndBlankEndsTheReplyEarly) {
    server.send(kGreeting).reply("211-Features:\r\n211 extra\r\n 211 End\r\n");
    Open();
    Quote("FEAT");
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0].second, 0);
    EXPECT_TRUE(rec.Displayed("< 211 extra"));
    // The engine is ready again, so the rest is only shown.
    EXPECT_TRUE(testsupport::ProcessEventsUntil([&] { return rec.Displayed("<  211 End"); }));
}

TEST_F(FtpControl, TwoRepliesInOneReadAreHandledInOrder) {
    server.send(kGreeting).reply("331 Password required\r\n230 Already in\r\n");
    Open();
    ftp.UserName = "anna";
    ftp.UserAsync();
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::UserAsync, 0));
    EXPECT_EQ(ftp.StatusCode(), 331);
    EXPECT_EQ(ftp.LastResponse(), "230 Already in");
    const Lines tail(rec.display.end() - 3, rec.display.end());
    EXPECT_EQ(tail, (Lines{"> USER anna", "< 331 Password required", "< 230 Already in"}));
}

TEST_F(FtpControl, EmptyReplyLineIsSkipped) {
    server.send(kGreeting).reply("\r\n\n200 OK\r\n");
    Open();
    Quote("NOOP");
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0].second, 0);
    EXPECT_EQ(ftp.LastResponse(), "200 OK");
    EXPECT_FALSE(rec.Displayed("< "));
}

TEST_F(FtpControl, BareLineFeedEndsALineOnlyWithAcceptLF) {
    struct Row {
        bool acceptLF;
        std::string lastResponse;
    };
    for (const Row& row : {Row{true, "220 bare"}, Row{false, "220 bare\n220 crlf"}}) {
        SCOPED_TRACE(row.acceptLF);
        ScriptedFtpServer peer;
        TFtpClient client;
        FtpRecorder events;
        events.Attach(client);
        client.HostName = "127.0.0.1";
        client.Port = peer.portText();
        client.Options.ftpAcceptLF = row.acceptLF;
        peer.send("220 bare\n").pause(50).send("220 crlf\r\n");
        peer.start();
        client.OpenAsync();
        ASSERT_TRUE(events.WaitDone());
        EXPECT_EQ(events.done[0], std::make_pair(TFtpRequest::OpenAsync, 0));
        EXPECT_EQ(client.LastResponse(), row.lastResponse);
    }
}

TEST_F(FtpControl, GreetingOtherThan220ClosesAndCompletesWithItsCode) {
    server.send("421 Too many users, try later\r\n");
    server.start();
    ftp.OpenAsync();
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::OpenAsync, 421));
    EXPECT_EQ(ftp.ErrorMessage(), "421 Too many users, try later");
    EXPECT_EQ(rec.sessionConnected, 0);
    EXPECT_EQ(rec.sessionClosed, 1);
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(ftp.State(), TFtpState::ftpReady);
    EXPECT_TRUE(testsupport::ProcessEventsUntil([&] { return server.clientClosed(); }));
}

TEST_F(FtpControl, ServerDroppingTheConnectionBeforeTheGreetingIsAFailure) {
    server.closeConnection();
    server.start();
    ftp.OpenAsync();
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::OpenAsync, 421));
    EXPECT_EQ(ftp.ErrorMessage(), "421 Connection closed by server");
    EXPECT_FALSE(ftp.Connected());
}

TEST_F(FtpControl, ConnectionRefusedCompletesWith10061) {
    ftp.Port = std::to_string(ScriptedFtpServer::FreeClosedPort());
    ftp.OpenAsync();
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::OpenAsync, 10061));
    EXPECT_EQ(ftp.LastResponse(), "500 Connection refused (Winsock error #10061)");
    EXPECT_EQ(ftp.ErrorMessage(), ftp.LastResponse());
    EXPECT_EQ(ftp.StatusCode(), 500);
    EXPECT_EQ(ftp.State(), TFtpState::ftpReady);
    EXPECT_FALSE(ftp.Connected());
    EXPECT_FALSE(ftp.IsControlOpen());
}

TEST_F(FtpControl, AbortDuringTheLookupCompletesWith10004) {
    ftp.HostName = "localhost";
    ftp.OpenAsync();
    EXPECT_EQ(ftp.State(), TFtpState::ftpDnsLookup);
    ftp.Abort();
    EXPECT_EQ(ftp.State(), TFtpState::ftpReady);
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::OpenAsync, 10004));
    EXPECT_EQ(ftp.LastResponse(), "500 Interrupted system call (Winsock error #10004)");
    ProcessEventsFor(100);
    EXPECT_EQ(rec.done.size(), 1u) << "the cancelled look-up must not complete again";
}

TEST_F(FtpControl, HostNameLookupConnects) {
    server.send(kGreeting);
    ftp.HostName = "localhost";
    Open();
    EXPECT_EQ(ftp.ControlSocket().PeerAddr(), "127.0.0.1");
}

TEST_F(FtpControl, ReplyAndCloseRacingCompleteExactlyOnce) {
    server.send(kGreeting).reply("200 OK\r\n").closeConnection();
    Open();
    Quote("NOOP");
    ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return rec.sessionClosed == 1; }));
    ProcessEventsFor(100);
    ASSERT_EQ(rec.done.size(), 1u);
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::QuoteAsync, 0));
}

TEST_F(FtpControl, ServerHangingUpBeforeTheReplyIsAFailure) {
    server.send(kGreeting).readLine().closeConnection();
    Open();
    Quote("NOOP");
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::QuoteAsync, 421));
    EXPECT_EQ(rec.sessionClosed, 1);
    EXPECT_EQ(ftp.State(), TFtpState::ftpReady);
}

TEST_F(FtpControl, QuitThroughTheQuoteRequestIsAcceptedWhileBusy) {
    server.send(kGreeting).readLine().readLine().send("221 Goodbye\r\n").closeConnection();
    Open();
    Quote("NOOP");
    EXPECT_THROW(Quote("STATUS"), FtpException);
    EXPECT_NO_THROW(Quote("QUIT"));
    ASSERT_TRUE(server.waitReceived(2));
    EXPECT_EQ(server.received(), (Lines{"NOOP", "QUIT"}));
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::QuoteAsync, 0));
}

TEST_F(FtpControl, QuitClosesTheSessionOnceAfterShowingTheReply) {
    server.send(kGreeting).reply("221 Goodbye\r\n");
    Open();
    ftp.QuitAsync();
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::QuitAsync, 0));
    EXPECT_EQ(rec.sessionClosed, 1);
    EXPECT_FALSE(ftp.Connected());
    const auto reply = std::find(rec.events.begin(), rec.events.end(), "display:< 221 Goodbye");
    const auto closed = std::find(rec.events.begin(), rec.events.end(), "closed:0");
    EXPECT_LT(reply, closed);
    ProcessEventsFor(100);
    EXPECT_EQ(rec.sessionClosed, 1);
}

TEST_F(FtpControl, PeerClosingWithDataPendingDeliversTheDataFirst) {
    server.send(kGreeting).readLine().send("221 Goodbye\r\n").closeConnection();
    Open();
    Quote("QUIT");
    ASSERT_TRUE(rec.WaitDone());
    ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return rec.sessionClosed == 1; }));
    const auto reply = std::find(rec.events.begin(), rec.events.end(), "display:< 221 Goodbye");
    const auto closed = std::find(rec.events.begin(), rec.events.end(), "closed:0");
    ASSERT_NE(reply, rec.events.end());
    ASSERT_NE(closed, rec.events.end());
    EXPECT_LT(reply, closed);
    EXPECT_EQ(rec.sessionClosed, 1);
}

TEST_F(FtpControl, OnRequestDoneNeverFiresInsideTheStartingCall) {
    server.send(kGreeting).reply("200 OK\r\n").reply("200 OK\r\n");
    Open();
    // A handler that starts the next request at once sees a ready engine.
    int completions = 0;
    ftp.OnRequestDone = [&](TCustomFtpCli*, TFtpRequest, std::uint16_t) {
        if (++completions == 1)
            Quote("NOOP");
    };
    Quote("NOOP");
    EXPECT_EQ(completions, 0);
    ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return completions == 2; }));
    EXPECT_EQ(server.received(), (Lines{"NOOP", "NOOP"}));
}

TEST_F(FtpControl, LongLineWithoutLineEndClosesTheConnection) {
    server.send(kGreeting).readLine().send(std::string(4095, 'x'));
    Open();
    Quote("NOOP");
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_NE(rec.done[0].second, 0);
    EXPECT_EQ(rec.sessionClosed, 1);
    EXPECT_FALSE(ftp.Connected());
}

TEST_F(FtpControl, PwdAndCwdKeepTheQuotedDirectory) {
    server.send(kGreeting)
        .reply("257 \"/pub/a \"\"b\"\"\" is current directory.\r\n")
        .reply("250 CWD command successful.\r\n")
        .reply("213 3000000000\r\n");
    Open();
    ftp.PwdAsync();
    ASSERT_TRUE(rec.WaitDone(1));
    EXPECT_EQ(ftp.DirResult, "/pub/a \"b\"");
    ftp.HostDirName = "/pub";
    ftp.CwdAsync();
    ASSERT_TRUE(rec.WaitDone(2));
    EXPECT_EQ(ftp.DirResult, "") << "a reply without quotes gives an empty name";
    ftp.HostFileName = "big.iso";
    ftp.SizeAsync();
    ASSERT_TRUE(rec.WaitDone(3));
    EXPECT_EQ(server.received(), (Lines{"PWD", "CWD /pub", "SIZE big.iso"}));
    EXPECT_EQ(rec.done[2], std::make_pair(TFtpRequest::SizeAsync, 0));
}

TEST_F(FtpControl, RepliesOutsideTheAcceptedListFail) {
    struct Row {
        const char* reply;
        int error;
    };
    server.send(kGreeting)
        .reply("550 No such directory\r\n")
        .reply("257 \"/x\" created\r\n")
        .reply("421 Going down\r\n")
        .reply("502 Not implemented\r\n");
    Open();
    ftp.HostDirName = "/missing";
    ftp.CwdAsync();
    ASSERT_TRUE(rec.WaitDone(1));
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::CwdAsync, 550));
    EXPECT_EQ(ftp.ErrorMessage(), "550 No such directory");
    ftp.CwdAsync();
    ASSERT_TRUE(rec.WaitDone(2));
    EXPECT_EQ(rec.done[1].second, 0) << "257 is accepted for CWD";
    Quote("SITE X");
    ASSERT_TRUE(rec.WaitDone(3));
    EXPECT_EQ(rec.done[2].second, 0) << "a quoted command accepts anything below 500";
    Quote("SITE Y");
    ASSERT_TRUE(rec.WaitDone(4));
    EXPECT_EQ(rec.done[3].second, 502);
    EXPECT_EQ(ftp.ErrorMessage(), "550 No such directory") << "keeps the first failure";
}

TEST_F(FtpControl, EveryCommandIsShownAndMayBeRewritten) {
    server.send(kGreeting).readLine().send("200 OK\r\n");
    Open();
    ftp.OnCommand = [](TCustomFtpCli*, std::string& cmd) { cmd = "NOOP rewritten"; };
    Quote("NOOP");
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_TRUE(rec.Displayed("> NOOP rewritten"));
    EXPECT_EQ(server.received(), Lines{"NOOP rewritten"});
}

// --- refusals ------------------------------------------------------------------

std::string RefusalOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

TEST_F(FtpControl, RefusalsWhileNotConnected) {
    const auto before = ftp.State();
    struct Row {
        const char* name;
        std::function<void()> call;
        const char* refusal;
    };
    const std::vector<Row> rows{
        {"quote", [&] { Quote("NOOP"); }, "FTP component not connected"},
        {"quit lower case", [&] { Quote("quit"); }, "FTP component not connected"},
        {"pwd", [&] { ftp.PwdAsync(); }, "FTP component not connected"},
        {"user empty", [&] { ftp.UserAsync(); }, "UserName emtpy"},
        {"pass empty", [&] { ftp.PassAsync(); }, "Password emtpy"},
        {"cwd empty", [&] { ftp.CwdAsync(); }, "HostDirName emtpy"},
        {"open empty host",
         [&] {
             ftp.HostName.clear();
             ftp.OpenAsync();
         },
         "DNS lookup: invalid host name."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(RefusalOf(row.call), row.refusal);
        EXPECT_EQ(ftp.State(), before) << "a refusal changes nothing";
    }
    ProcessEventsFor(50);
    EXPECT_TRUE(rec.done.empty()) << "refusals never complete a request";
}

TEST_F(FtpControl, RefusedOpenLeavesTheEngineUsable) {
    server.send(kGreeting);
    ftp.HostName.clear();
    EXPECT_THROW(ftp.OpenAsync(), ESocketException);
    ftp.HostName = "127.0.0.1";
    Open();
    EXPECT_TRUE(ftp.Connected());
}

TEST_F(FtpControl, RefusalsWhileBusyAndConnected) {
    server.send(kGreeting).readLine();
    Open();
    Quote("NOOP");
    ASSERT_EQ(ftp.State(), TFtpState::ftpWaitingResponse);
    const char* busy = "Please wait! The program waits response from FTP host";
    EXPECT_EQ(RefusalOf([&] { ftp.PwdAsync(); }), busy);
    EXPECT_EQ(RefusalOf([&] { ftp.OpenAsync(); }), busy);
    EXPECT_EQ(RefusalOf([&] { ftp.ConnectAsync(); }), "FTP component already connected");
    EXPECT_EQ(RefusalOf([&] { ftp.SetConnectionType(TFtpConnectionType::ftpSocks5); }),
              "FTP component connected");
    EXPECT_EQ(ftp.State(), TFtpState::ftpWaitingResponse);
    // The raw commands that may interrupt anything are never refused.
    EXPECT_EQ(RefusalOf([&] { Quote("STAT"); }), "");
}

TEST_F(FtpControl, OpenWhileConnectedIsRefused) {
    server.send(kGreeting);
    Open();
    EXPECT_EQ(RefusalOf([&] { ftp.OpenAsync(); }), "FTP component already connected");
}

TEST_F(FtpControl, BadPortEndsTheOpenRequestInsteadOfHanging) {
    ftp.Port = "no-such-service";
    ftp.OpenAsync();
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::OpenAsync, 500));
    EXPECT_EQ(ftp.LastResponse().rfind("500 ESocketException: connect: WSocketResolvePort", 0), 0u)
        << ftp.LastResponse();
    EXPECT_EQ(ftp.State(), TFtpState::ftpReady);
}

TEST_F(FtpControl, ConnectionTypeForcesPassive) {
    struct Row {
        int type;
        bool requested;
        bool passive;
        TFtpConnectionType stored;
    };
    const std::vector<Row> rows{
        {0, false, false, TFtpConnectionType::ftpDirect},
        {0, true, true, TFtpConnectionType::ftpDirect},
        {1, false, true, TFtpConnectionType::ftpProxy},
        {2, false, true, TFtpConnectionType::ftpSocks4},
        {3, false, true, TFtpConnectionType::ftpSocks4A},
        {4, false, true, TFtpConnectionType::ftpSocks5},
        {9, false, false, TFtpConnectionType::ftpDirect},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        TFtpClient client;
        client.SetConnectionType(row.type);
        client.SetPassive(row.requested);
        EXPECT_EQ(client.Passive(), row.passive);
        EXPECT_EQ(client.ConnectionType(), row.stored);
    }
}

// --- synchronous wait ------------------------------------------------------------

TEST_F(FtpControl, SynchronousWaitGivesUpWith426Timeout) {
    server.send(kGreeting).readLine();
    Open();
    ftp.Timeout = 1;
    ftp.HostDirName = "/slow";
    EXPECT_FALSE(ftp.CwdSync());
    EXPECT_EQ(ftp.ErrorMessage(), "426 Timeout");
    EXPECT_EQ(ftp.StatusCode(), 426);
    EXPECT_EQ(ftp.State(), TFtpState::ftpReady);
    EXPECT_FALSE(ftp.Connected());
}

TEST_F(FtpControl, SynchronousWrappersReportTheReply) {
    server.send(kGreeting).reply("250 OK\r\n").reply("200 Type set to A\r\n").reply("500 No\r\n");
    Open();
    ftp.HostDirName = "/pub";
    EXPECT_TRUE(ftp.CwdSync());
    EXPECT_TRUE(ftp.TypeAsciiSync());
    EXPECT_FALSE(ftp.Binary);
    EXPECT_FALSE(ftp.TypeBinarySync());
    EXPECT_EQ(server.received(), (Lines{"CWD /pub", "TYPE A", "TYPE I"}));
    ftp.HostDirName.clear();
    EXPECT_FALSE(ftp.CwdSync()) << "a refused start gives false";
}

TEST_F(FtpControl, CompletionReportsTheKindThatCompletedNotTheNextOne) {
    // A synchronous wrapper returns before its completion is handled; the
    // next request must not be reported done by it.
    server.send(kGreeting).reply("200 Type set to A\r\n").reply("257 \"/\" is current\r\n");
    Open();
    EXPECT_TRUE(ftp.TypeAsciiSync());
    ftp.PwdAsync();
    ASSERT_TRUE(rec.WaitDone(2));
    EXPECT_EQ(rec.done, (std::vector<std::pair<TFtpRequest, int>>{{TFtpRequest::TypeSetAsync, 0},
                                                                  {TFtpRequest::PwdAsync, 0}}));
}

// --- multi-step login ---------------------------------------------------------------

TEST_F(FtpControl, ConnectSendsNoPassWhenTheUserIsAcceptedAt230) {
    server.send(kGreeting).reply("230 No password needed\r\n");
    server.start();
    ftp.UserName = "anonymous";
    ftp.PassWord = "guest@";
    ftp.ConnectAsync();
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::ConnectAsync, 0));
    EXPECT_EQ(server.received(), Lines{"USER anonymous"});
}

TEST_F(FtpControl, ConnectLogsInWithUserAndPass) {
    server.send(kGreeting).reply("331 Password please\r\n").reply("230 Logged in\r\n");
    server.start();
    ftp.UserName = "anna";
    ftp.PassWord = "s3cret";
    ftp.ConnectAsync();
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::ConnectAsync, 0));
    EXPECT_EQ(server.received(), (Lines{"USER anna", "PASS s3cret"}));
    EXPECT_EQ(ftp.State(), TFtpState::ftpReady);
}

TEST_F(FtpControl, ConnectThatFailsAfterLoginStaysConnected) {
    server.send(kGreeting).reply("331 Password please\r\n").reply("530 Login incorrect\r\n");
    server.start();
    ftp.UserName = "anna";
    ftp.PassWord = "wrong";
    ftp.ConnectAsync();
    ASSERT_TRUE(rec.WaitDone());
    EXPECT_EQ(rec.done[0], std::make_pair(TFtpRequest::ConnectAsync, 530));
    EXPECT_EQ(ftp.ErrorMessage(), "530 Login incorrect");
    EXPECT_TRUE(ftp.Connected());
}

} // namespace
