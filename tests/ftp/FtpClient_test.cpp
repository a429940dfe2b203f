#include "ftp/FtpTestSupport.h"

#include <gtest/gtest.h>

using testsupport::ProcessEventsFor;
using testsupport::ProcessEventsUntil;
using testsupport::ScriptedFtpServer;

namespace {

class FtpControl : public ::testing::Test, protected ScriptedEngine {};

TEST(FtpOpen, EndsAsTheGreetingOrItsAbsenceSays) {
    const std::string closedPort = std::to_string(ScriptedFtpServer::FreeClosedPort());
    struct Row {
        const char* name;
        const char* greeting; // nullptr: the server hangs up before it
        const char* host;
        const char* port; // nullptr: the scripted server's
        int error;
        const char* response; // how the last response starts
    };
    const Row rows[]{
        {"multi-line-greeting-completes-once-on-its-last-line",
         "220-Welcome\r\n220-to the scripted\r\n220 server\r\n", "127.0.0.1", nullptr, 0,
         "220 server"},
        {"421-greeting-closes", "421 Too many users, try later\r\n", "127.0.0.1", nullptr, 421,
         "421 Too many users, try later"},
        {"hang-up-before-the-greeting", nullptr, "127.0.0.1", nullptr, 421,
         "421 Connection closed by server"},
        {"connection-refused", nullptr, "127.0.0.1", closedPort.c_str(), 10061,
         "500 Connection refused (Winsock error #10061)"},
        {"bad-port-ends-instead-of-hanging", nullptr, "127.0.0.1", "no-such-service", 500,
         "500 SocketException: connect: ResolvePort"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedEngine e;
        if (row.greeting)
            e.server.send(row.greeting);
        else
            e.server.closeConnection();
        e.ftp.HostName = row.host;
        if (row.port)
            e.ftp.Port = row.port;
        EXPECT_EQ(e.Play(&Cli::OpenAsync), Done(FtpRequest::OpenAsync, row.error));
        const std::string& response = row.error ? e.ftp.ErrorMessage() : e.ftp.LastResponse();
        EXPECT_TRUE(response.starts_with(row.response)) << response;
        EXPECT_EQ(e.ftp.Connected(), row.error == 0);
        EXPECT_EQ(e.sessionConnected, row.error == 0 ? 1 : 0);
        if (row.greeting && row.error) {
            EXPECT_TRUE(ProcessEventsUntil([&] { return e.server.clientClosed(); }));
        }
        EXPECT_EQ(e.Displayed("< 220-to the scripted"), row.error == 0) << "each greeting line";
        ProcessEventsFor(100);
        EXPECT_EQ(e.done.size(), 1u) << "completed twice";
    }
}

// Stop and Disconnect abort whatever runs: the request in progress completes,
// once, as a failure, even a connect whose greeting or look-up never came; both
// connections are closed.
TEST(FtpAbort, EndsTheRequestInProgressAsAFailure) {
    struct Row {
        const char* name;
        void (Cli::*request)();
        std::function<void(ScriptedFtpServer&)> afterGreeting; // nullptr: no greeting
        FtpRequest kind;
        const char* host = "127.0.0.1"; // a name is aborted while it is looked up
        int error = 426;
        const char* message = "426 Operation aborted.";
    };
    const Row rows[]{
        {"connect-waiting-for-the-greeting", &Cli::ConnectAsync, nullptr, FtpRequest::ConnectAsync},
        {"command-waiting-for-its-reply", &Cli::CwdAsync,
         [](ScriptedFtpServer& s) { s.readLine(); }, FtpRequest::CwdAsync},
        {"download-in-the-middle-of-the-data", &Cli::GetAsync,
         [](ScriptedFtpServer& s) {
             s.replyPasv().reply("150 Opening\r\n").acceptData().sendData("some");
         },
         FtpRequest::GetAsync},
        {"open-during-the-look-up", &Cli::OpenAsync, nullptr, FtpRequest::OpenAsync, "localhost",
         10004, "500 Interrupted system call (Winsock error #10004)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedEngine e;
        if (row.afterGreeting) {
            row.afterGreeting(e.server.send(kGreeting));
            e.Open();
        } else {
            e.server.start();
        }
        e.ftp.HostName = row.host;
        e.ftp.HostDirName = "/slow";
        e.ftp.HostFileName = "big";
        e.ftp.LocalFileName = e.Local("big");
        const std::size_t before = e.done.size();
        (e.ftp.*row.request)();
        if (row.error == 10004) {
            EXPECT_EQ(e.ftp.State(), FtpState::ftpDnsLookup);
        } else {
            ASSERT_TRUE(ProcessEventsUntil([&] {
                return e.server.connectionsAccepted() == 1 &&
                       (row.request != &Cli::GetAsync || e.ftp.ByteCount == 4);
            }));
            ProcessEventsFor(50);
        }
        e.ftp.Abort();
        EXPECT_EQ(e.ftp.State(), FtpState::ftpReady);
        EXPECT_FALSE(e.ftp.Connected());
        EXPECT_EQ(e.ftp.DataSocket().State(), SocketState::wsClosed);
        ASSERT_TRUE(e.WaitDone(before + 1, 2000));
        EXPECT_EQ(e.done.back(), Done(row.kind, row.error));
        EXPECT_EQ(e.ftp.ErrorMessage(), row.message);
        ProcessEventsFor(100);
        EXPECT_EQ(e.done.size(), before + 1) << "completed once";
    }
}

// A quoted NOOP answered as the row says: what is shown after the command, and
// which reply completes the request.
TEST(FtpReplies, ShownAndJudgedHoweverTheyArrive) {
    struct Row {
        const char* name;
        const char* reply;
        std::size_t chunk; // 0: in one piece
        bool acceptLF;
        int status;
        const char* shown;
    };
    const Row rows[]{
        {"multi-line-byte-by-byte-shows-its-last-line", "200-first\r\n200-second\r\n200 done\r\n",
         1, true, 200, "< 200 done"},
        {"two-replies-in-one-read-in-order", "331 Password required\r\n230 Already in\r\n", 0, true,
         331, "< 331 Password required\n< 230 Already in"},
        {"continuation-with-digits-and-blank-ends-early",
         "211-Features:\r\n211 extra\r\n 211 End\r\n", 0, true, 211, "< 211 extra\n<  211 End"},
        {"bare-lf-stays-in-the-line-without-acceptlf", "200 bare\n200 crlf\r\n", 0, false, 200,
         "< 200 bare\n200 crlf"},
        {"preliminary-150-waits-for-the-final-reply", "150 Opening\r\n226 Transfer complete\r\n", 1,
         true, 226, "< 150 Opening\n< 226 Transfer complete"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedEngine e;
        e.ftp.Options.ftpAcceptLF = row.acceptLF;
        e.server.send(kGreeting).readLine();
        if (row.chunk)
            e.server.sendInChunks(row.reply, row.chunk, 1);
        else
            e.server.send(row.reply);
        e.Open();
        EXPECT_EQ(e.Quote("NOOP"), Done(FtpRequest::QuoteAsync, 0));
        EXPECT_EQ(e.ftp.StatusCode(), row.status);
        const auto shown = [&] {
            auto line = std::find(e.display.begin(), e.display.end(), "> NOOP");
            std::string text;
            while (line != e.display.end() && ++line != e.display.end())
                text += (text.empty() ? "" : "\n") + *line;
            return text;
        };
        ProcessEventsUntil([&] { return shown() == row.shown; }, 1000);
        EXPECT_EQ(shown(), row.shown);
        EXPECT_TRUE(std::string(row.shown).ends_with("< " + e.ftp.LastResponse()));
    }
}

// A line that begins with digits but holds no three-digit code 100-559 is no
// reply: the request fails and the session closes instead of going on out of step.
TEST(FtpReplies, InvalidCodeFailsTheRequestAndCloses) {
    std::string flood;
    for (int i = 0; i < 600; ++i)
        flood += "220-Welcome, and welcome again\r\n";
    struct Row {
        const char* name;
        const char* greeting;
        void (Cli::*request)(); // after a good greeting; nullptr: the open itself
        const char* reply;
    };
    const Row rows[]{
        {"greeting-65536", "65536 hello\r\n", nullptr, ""},
        {"endless-greeting", flood.c_str(), nullptr, ""},
        {"pwd-65536", kGreeting.c_str(), &Cli::PwdAsync, "65536 Permission denied\r\n"},
        {"retr-65536", kGreeting.c_str(), &Cli::GetAsync, "65536 Permission denied\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedEngine e;
        e.server.send(row.greeting);
        if (row.request == &Cli::GetAsync)
            e.server.replyPasv();
        e.server.reply(row.reply);
        e.ftp.HostDirName = "/pub";
        e.ftp.HostFileName = "f";
        e.ftp.LocalFileName = e.Local("f");
        if (row.request)
            e.Open();
        const Done done = e.Play(row.request ? row.request : &Cli::OpenAsync, 5000);
        EXPECT_EQ(done.second, 500) << "completed, with a failure";
        EXPECT_TRUE(e.ftp.ErrorMessage().starts_with("500 Protocol error")) << e.ftp.ErrorMessage();
        EXPECT_FALSE(e.ftp.Connected());
        EXPECT_EQ(e.ftp.State(), FtpState::ftpReady);
        EXPECT_TRUE(ProcessEventsUntil([&] { return e.server.clientClosed(); }));
    }
}

// One session; each request judges its own reply against its accepted codes.
TEST_F(FtpControl, EachRequestJudgesItsReply) {
    struct Row {
        const char* name;
        void (Cli::*request)();
        const char* reply;
        const char* command;
        FtpRequest kind;
        int error;
        const char* dir = nullptr; // DirResult afterwards
    };
    using enum FtpRequest;
    const Row rows[]{
        {"pwd-unquotes-the-directory", &Cli::PwdAsync,
         "257 \"/pub/a \"\"b\"\"\" is current directory.", "PWD", PwdAsync, 0, "/pub/a \"b\""},
        {"multi-line-257-ends-only-at-257-and-blank", &Cli::PwdAsync,
         "257-\"/x\" is current\r\n2023 was a good year\r\n257 \"/y\" indeed", "PWD", PwdAsync, 0,
         "/y"},
        {"cwd-reply-without-quotes-empties-the-directory", &Cli::CwdAsync,
         "250 CWD command successful.", "CWD /pub", CwdAsync, 0, ""},
        {"cwd-accepts-257", &Cli::CwdAsync, "257 \"/x\" created", "CWD /pub", CwdAsync, 0},
        {"quote-accepts-anything-below-500", &Cli::QuoteAsync, "421 Going down", "SITE X",
         QuoteAsync, 0},
        {"quote-502-fails", &Cli::QuoteAsync, "502 Not implemented", "SITE X", QuoteAsync, 502},
    };
    server.send(kGreeting);
    for (const Row& row : rows)
        server.reply(row.reply + std::string("\r\n"));
    Open();
    ftp.HostDirName = "/pub";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ftp.LocalFileName = "SITE X";
        EXPECT_EQ(Play(row.request), Done(row.kind, row.error));
        EXPECT_EQ(server.received().back(), row.command);
        if (row.dir) {
            EXPECT_EQ(ftp.DirResult, row.dir);
        }
        // Each request's own reply, never one of an earlier request.
        EXPECT_EQ(ftp.ErrorMessage(), row.error ? row.reply : "");
    }
}

// How a session ends: exactly one completion and one close, the last reply
// shown before the close.
TEST(FtpSessionEnd, ClosesOnceWhoeverHangsUp) {
    struct Row {
        const char* name;
        void (Cli::*request)();
        const char* command; // for a quote
        std::string answer;  // sent after reading the command
        bool serverCloses;
        int error; // -1: any failure
    };
    const Row rows[]{
        {"quit-reply-then-the-client-closes", &Cli::QuitAsync, "", "221 Goodbye\r\n", false, 0},
        {"quoted-quit-server-closes-with-data-pending", &Cli::QuoteAsync, "QUIT", "221 Goodbye\r\n",
         true, 0},
        {"reply-and-close-racing", &Cli::QuoteAsync, "NOOP", "200 OK\r\n", true, 0},
        {"hang-up-before-the-reply", &Cli::QuoteAsync, "NOOP", "", true, 421},
        {"long-line-without-line-end", &Cli::QuoteAsync, "NOOP", std::string(4095, 'x'), false, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedEngine e;
        e.server.send(kGreeting).readLine().send(row.answer);
        if (row.serverCloses)
            e.server.closeConnection();
        e.Open();
        e.ftp.LocalFileName = row.command;
        const Done done = e.Play(row.request);
        if (row.error < 0) {
            EXPECT_GT(done.second, 0);
        } else {
            EXPECT_EQ(done.second, row.error);
        }
        ASSERT_TRUE(ProcessEventsUntil([&] { return e.sessionClosed == 1; }));
        ProcessEventsFor(100);
        EXPECT_EQ(e.done.size(), 2u) << "the open and this request, once each";
        EXPECT_EQ(e.sessionClosed, 1);
        if (done.second) {
            EXPECT_EQ(e.ftp.State(), FtpState::ftpReady);
        }
        if (row.answer.starts_with("2")) {
            EXPECT_TRUE(
                e.InOrder("display:< " + row.answer.substr(0, row.answer.size() - 2), "closed:0"));
        }
    }
}

// A handler that starts the next request at once sees a ready engine; every
// command is shown, as the command hook may have rewritten it.
TEST_F(FtpControl, OnRequestDoneNeverFiresInsideTheStartingCall) {
    server.send(kGreeting).reply("200 OK\r\n").reply("200 OK\r\n");
    Open();
    int completions = 0;
    ftp.OnRequestDone = [&](Cli*, FtpRequest, std::uint16_t) {
        if (++completions == 1)
            ftp.QuoteAsync();
    };
    ftp.OnCommand = [](Cli*, std::string& cmd) { cmd += " rewritten"; };
    ftp.LocalFileName = "NOOP";
    ftp.QuoteAsync();
    EXPECT_EQ(completions, 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return completions == 2; }));
    EXPECT_EQ(server.received(), (Lines{"NOOP rewritten", "NOOP rewritten"}));
    EXPECT_TRUE(Displayed("> NOOP rewritten"));
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

TEST_F(FtpControl, RefusalsWhileNotConnectedChangeNothing) {
    struct Row {
        const char* name;
        void (Cli::*request)();
        const char* command; // for a quote
        const char* refusal;
    };
    const char* notConnected = "FTP component not connected";
    const Row rows[]{
        {"quote", &Cli::QuoteAsync, "NOOP", notConnected},
        {"quit lower case", &Cli::QuoteAsync, "quit", notConnected},
        {"user empty", &Cli::UserAsync, "", "UserName emtpy"},
        {"pass empty", &Cli::PassAsync, "", "Password emtpy"},
        {"cwd empty", &Cli::CwdAsync, "", "HostDirName emtpy"},
        {"open empty host", &Cli::OpenAsync, "", "DNS lookup: invalid host name."},
        {"dir", &Cli::DirAsync, "listing", notConnected},
        {"get", &Cli::GetAsync, "f", notConnected},
    };
    ftp.UserName.clear();
    ftp.PassWord.clear();
    ftp.HostName.clear();
    ftp.HostFileName = "f";
    const auto before = ftp.State();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ftp.LocalFileName = row.command;
        EXPECT_EQ(RefusalOf([&] { (ftp.*row.request)(); }), row.refusal);
        EXPECT_EQ(ftp.State(), before);
        EXPECT_EQ(ftp.RequestType(), FtpRequest::None);
        EXPECT_EQ(ftp.ErrorMessage(), "");
    }
    ProcessEventsFor(50);
    EXPECT_TRUE(done.empty()) << "refusals never complete a request";
    server.send(kGreeting);
    // No step of a refused request is left to run after the next one.
    EXPECT_EQ(Play(&Cli::QuitAsync), Done(FtpRequest::QuitAsync, 0));
    EXPECT_EQ(ftp.State(), FtpState::ftpReady);
    ftp.HostName = "127.0.0.1";
    Open(); // the refused open left the engine usable
}

// A server that says goodbye on its own ("421 Timeout.") leaves an idle engine
// ready for the next connect, refusing what needs the connection.
TEST_F(FtpControl, ServerHangingUpWhileIdleLeavesTheEngineReady) {
    server.send(kGreeting).pause(50).send("421 Timeout.\r\n").closeConnection();
    Open();
    ASSERT_TRUE(ProcessEventsUntil([&] { return sessionClosed == 1; }));
    EXPECT_EQ(ftp.State(), FtpState::ftpReady);
    ftp.LocalFileName = Local("listing");
    EXPECT_EQ(RefusalOf([&] { ftp.DirAsync(); }), "FTP component not connected");
    EXPECT_EQ(ftp.State(), FtpState::ftpReady);
    EXPECT_EQ(Play(&Cli::QuitAsync), Done(FtpRequest::QuitAsync, 0));
}

// A CR, LF or NUL inside an argument would split it into two commands on the
// wire and put every later reply out of step: refused, nothing sent.
TEST_F(FtpControl, ArgumentsWithLineBreaksOrNulAreRefused) {
    struct Row {
        const char* name;
        void (Cli::*request)();
        std::string Cli::*field;
        std::string value;
        const char* refusal;
    };
    const std::string nul("pub\0 stuff", 10);
    const Row rows[]{
        {"cwd-crlf", &Cli::CwdAsync, &Cli::HostDirName, "a\r\nDELE victim.txt", "HostDirName"},
        {"cwd-nul", &Cli::CwdAsync, &Cli::HostDirName, nul, "HostDirName"},
        {"dele-lf", &Cli::DeleAsync, &Cli::HostFileName, "x\nDELE y", "HostFileName"},
        {"quote-crlf", &Cli::QuoteAsync, &Cli::LocalFileName, "NOOP\r\nDELE y", "LocalFileName"},
        {"rename-target-before-rnfr", &Cli::RenAsync, &Cli::LocalFileName, "b\rDELE y",
         "LocalFileName"},
        {"retrieve-before-pasv", &Cli::GetAsync, &Cli::HostFileName, nul, "HostFileName"},
    };
    server.send(kGreeting).reply("200 OK\r\n");
    Open();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ftp.HostDirName = "/pub";
        ftp.HostFileName = "f";
        ftp.LocalFileName = Local("f");
        ftp.*row.field = row.value;
        ftp.SizeResult = 7;
        EXPECT_EQ(RefusalOf([&] { (ftp.*row.request)(); }),
                  std::string(row.refusal) + " holds a CR, LF or NUL character");
        EXPECT_EQ(ftp.State(), FtpState::ftpReady);
        EXPECT_EQ(ftp.RequestType(), FtpRequest::OpenAsync);
        EXPECT_EQ(ftp.SizeResult, 7);
    }
    EXPECT_EQ(Quote("NOOP"), Done(FtpRequest::QuoteAsync, 0));
    EXPECT_EQ(server.received(), Lines{"NOOP"});
}

TEST_F(FtpControl, RefusalsWhileConnectedAndBusy) {
    server.send(kGreeting).readLine().readLine().readLine().send("221 Goodbye\r\n");
    server.closeConnection();
    Open();
    ftp.LocalFileName = "NOOP";
    ftp.QuoteAsync();
    ASSERT_EQ(ftp.State(), FtpState::ftpWaitingResponse);
    const char* busy = "Please wait! The program waits response from FTP host";
    EXPECT_EQ(RefusalOf([&] { ftp.PwdAsync(); }), busy);
    EXPECT_EQ(RefusalOf([&] { ftp.ConnectAsync(); }), "FTP component already connected");
    EXPECT_EQ(RefusalOf([&] { ftp.SetConnectionType(FtpConnectionType::ftpSocks5); }),
              "FTP component connected");
    EXPECT_EQ(ftp.State(), FtpState::ftpWaitingResponse);
    ftp.LocalFileName = "STATUS";
    EXPECT_EQ(RefusalOf([&] { ftp.QuoteAsync(); }), busy);
    // The raw commands that may interrupt anything are never refused.
    for (const char* command : {"STAT", "QUIT"}) {
        ftp.LocalFileName = command;
        EXPECT_EQ(RefusalOf([&] { ftp.QuoteAsync(); }), "") << command;
    }
    ASSERT_TRUE(server.waitReceived(3));
    EXPECT_EQ(server.received(), (Lines{"NOOP", "STAT", "QUIT"}));
    ASSERT_TRUE(WaitDone(2));
    EXPECT_EQ(done[1], Done(FtpRequest::QuoteAsync, 0));
}

// A connection type read from a damaged settings file means a direct connection.
TEST(FtpSettings, AnUnknownConnectionTypeMeansDirect) {
    FtpClient client;
    client.SetConnectionType(9);
    client.SetPassive(false);
    EXPECT_FALSE(client.Passive());
    EXPECT_EQ(client.ConnectionType(), FtpConnectionType::ftpDirect);
}

// --- synchronous wait ------------------------------------------------------------

// A synchronous wrapper returns before its completion is handled; the next
// request must not be reported done by it.
TEST_F(FtpControl, SynchronousWrappersReportTheirOwnReply) {
    server.send(kGreeting).reply("200 Type set to A\r\n").reply("500 No\r\n");
    server.reply("257 \"/\" is current\r\n").readLine();
    Open();
    EXPECT_TRUE(ftp.TypeAsciiSync());
    EXPECT_FALSE(ftp.Binary);
    EXPECT_FALSE(ftp.TypeBinarySync());
    EXPECT_EQ(Play(&Cli::PwdAsync), Done(FtpRequest::PwdAsync, 0));
    EXPECT_EQ(server.received(), (Lines{"TYPE A", "TYPE I", "PWD"}));
    EXPECT_EQ(done, (std::vector<Done>{{FtpRequest::OpenAsync, 0},
                                       {FtpRequest::TypeSetAsync, 0},
                                       {FtpRequest::TypeSetAsync, 500},
                                       {FtpRequest::PwdAsync, 0}}));

    ftp.Timeout = 1; // the server reads TYPE A and stays silent
    EXPECT_FALSE(ftp.TypeAsciiSync());
    EXPECT_EQ(ftp.ErrorMessage(), "426 Timeout");
    EXPECT_EQ(ftp.StatusCode(), 426);
    EXPECT_EQ(ftp.State(), FtpState::ftpReady);
    EXPECT_FALSE(ftp.Connected());
    EXPECT_FALSE(ftp.TypeBinarySync()) << "a refused start gives false";
}

} // namespace
