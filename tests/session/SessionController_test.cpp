#include "session/SessionRig.h"

#include <QSignalSpy>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <sstream>

using namespace sessiontest;

namespace {

TEST(SiteAddress, IsNormalisedInTheCopy) {
    struct Row {
        const char* server;
        const char *host, *user, *password, *port, *dir;
        std::optional<SiteEncryption> encryption = {}; // none: as it was
    };
    const Row rows[] = {
        {"ftp://anna:pw@files.example:2121/pub", "files.example", "anna", "pw", "2121", "/pub"},
        {"  FTP://files.example  ", "files.example", "keep", "kept", "21", "/start"},
        {"http://files.example/a b/c", "files.example", "keep", "kept", "21", "/ab/c"},
        {"bob@files.example", "files.example", "bob", "kept", "21", "/start"},
        {"bob:p:w@files.example:21", "files.example", "bob", "p:w", "21", "/start"},
        {"ftp://http://x.example", "x.example", "keep", "kept", "21", "/start"},
        {"ftp://anna:pw@[::1]:2121/pub", "::1", "anna", "pw", "2121", "/pub"},
        {"ftps://files.example/pub", "files.example", "keep", "kept", "990", "/pub",
         SiteEncryption::Implicit},
        {"FTPES://bob@files.example:2121", "files.example", "bob", "kept", "2121", "/start",
         SiteEncryption::Explicit},
        {"::1", "::1", "keep", "kept", "21", "/start"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.server);
        const Site site{
            .Server = row.server, .Password = "kept", .User = "keep", .InitialDir = "/start"};
        const Site normal = session::NormalizeSiteAddress(site);
        EXPECT_EQ(normal.Server, row.host);
        EXPECT_EQ(normal.User, row.user);
        EXPECT_EQ(normal.Password, row.password);
        EXPECT_EQ(normal.Port, row.port);
        EXPECT_EQ(normal.InitialDir, row.dir);
        EXPECT_EQ(EncryptionOf(normal), row.encryption.value_or(EncryptionOf(site)));
    }
}

TEST(ConnectLine, TimeStampHasTheSpaceBeforeTheComma) {
    std::tm t{};
    std::istringstream("2026-12-07 09:05:03") >> std::get_time(&t, "%Y-%m-%d %H:%M:%S");
    EXPECT_EQ(session::ConnectTimeText(t), " , 07 Dec 2026 09:05:03");
}

TEST(Enablement, AConnectUnderWayCanBeGivenUp) {
    const auto connecting = session::CommandEnablement(false, true, false);
    EXPECT_TRUE(connecting.Stop && connecting.Disconnect);
    EXPECT_FALSE(connecting.RemoteCommands || connecting.ServerProperties);
}

TEST(SessionConnect, LogsInAndListsTheStartDirectoryAsTheServerAnswers) {
    struct Row {
        const char* name;
        const char* address; // "%port%" is the server's; empty: the saved host and port
        bool anonymous;      // with the address "me@example.org"
        const char* initialDir;
        bool virtualHost;
        const char* replies;  // after the login
        const char* commands; // all the client sends before the listing
        const char* dir;
        const char* logged = ""; // besides "> PASS ****"
    };
    const Row rows[] = {
        {"address with credentials, port and path", " ftp://anna:pw@127.0.0.1:%port%/pub", false,
         "", false, "215 UNIX Type: L8|250 Directory changed",
         "USER anna|PASS pw|FEAT|SYST|CWD /pub/", "/pub/"},
        {"anonymous logs in with the e-mail address", "", true, "", false,
         "215 UNIX Type: L8|257 \"/home/anna\" is current",
         "USER anonymous|PASS me@example.org|FEAT|SYST|PWD", "/home/anna"},
        {"PWD without a quoted path keeps the directory", "", false, "", false,
         "215 UNIX Type: L8|257 current directory is /home/anna",
         "USER anna|PASS secret-pw|FEAT|SYST|PWD", "/"},
        {"a server without SYST is still browsed", "", false, "", false,
         "502 SYST not implemented|257 \"/\"", "USER anna|PASS secret-pw|FEAT|SYST|PWD", "/",
         "Error 502 SYST not implemented"},
        {"paths on a virtual host are relative", "", false, "/www", true,
         "215 UNIX Type: L8|250 OK", "USER anna|PASS secret-pw|FEAT|SYST|CWD www/", "www/"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.Login(row.replies);
        rig.Listing().start();
        Site site = rig.ScriptedSite();
        if (std::string address = row.address; !address.empty()) {
            site.Server = address.replace(address.find("%port%"), 6, rig.server.portText());
            site.Port = "1"; // the address names the port
        }
        site.Anonymous = row.anonymous;
        site.EMail = "me@example.org";
        site.InitialDir = row.initialDir;
        site.CheckVHost = row.virtualHost;
        rig.controller.ConnectToSite(site);
        ASSERT_TRUE(rig.Wait(SessionState::Browsing)) << rig.server.failure();

        const Lines commands = Split(row.commands + std::string("|TYPE A|PASV|LIST"));
        EXPECT_EQ(rig.server.received(), commands);
        EXPECT_EQ(rig.ftp.HostDirName, row.dir);
        const Lines log = rig.LogLines();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[0], "");
        EXPECT_TRUE(log[1].starts_with("Connecting to 127.0.0.1 , ")) << log[1];
        EXPECT_TRUE(!*row.logged || rig.Logged(row.logged));
        for (const std::string& line : log)
            EXPECT_EQ(line.find(commands[1]), std::string::npos) << "the password: " << line;
    }
}

// Each way a session or a connect ends: told in the log, the outcome and the
// end report ("! <outcome>" once a server was reached), back on the site list
// with the engine ready for the next connect, retried only when it failed.
TEST(SessionConnect, EveryEndReturnsToTheSiteList) {
    using E = session::SessionEnd;
    using Act = std::function<void(Rig&)>;
    const Act disconnect = [](Rig& rig) { rig.controller.Disconnect(); };
    struct Row {
        const char* name;
        int retry;
        std::function<void(Rig&, Site&)> script;
        std::optional<FtpState> waitFor; // before `leave`; ftpReady: until browsing
        Act leave;                       // null: the server or the connect ends it
        const char* logged;
        int attempts; // the "[Attempt n]" lines
        const char* outcome;
        E end;
        int error = 0;
    };
    const auto closedBeforeGreeting = [](Rig& rig, Site&) {
        for (int i = 0; i < rig.options.retry + 1; ++i)
            rig.server.closeConnection().accept();
        rig.server.closeConnection().start();
    };
    const Row rows[] = {
        {"closed before the greeting, two retries", 2, closedBeforeGreeting, std::nullopt, nullptr,
         "421 Connection closed by server", 3, "Cannot connect to 127.0.0.1: ", E::ConnectFailed,
         421},
        {"login refused", 0,
         [](Rig& rig, Site&) {
             rig.server.send("220 ready\r\n");
             rig.Replies("331 Password required|530 Login incorrect.").start();
         },
         std::nullopt, nullptr, "530 Login incorrect.", 0, "Login failed: 530 Login incorrect.",
         E::LoginFailed, 530},
        {"stopped during the name look-up is not retried", 3,
         [](Rig&, Site& site) { site.Server = "localhost"; }, FtpState::ftpDnsLookup,
         [](Rig& rig) {
             rig.controller.StopTransfer();
             EXPECT_EQ(rig.ftp.State(), FtpState::ftpReady) << "aborted at once";
         },
         "500 Interrupted system call (Winsock error #10004)", 0, "", E::ConnectFailed, 10004},
        {"disconnect before the greeting", 2,
         [](Rig& rig, Site&) { rig.server.pause(4000).start(); }, FtpState::ftpWaitingBanner,
         disconnect, "", 0, "Disconnected", E::Disconnected},
        {"disconnect while browsing", 2,
         [](Rig& rig, Site&) { rig.Listing().reply("221 Bye\r\n"); }, FtpState::ftpReady,
         disconnect, "", 0, "Disconnected", E::Disconnected},
        {"the server closes the connection", 2,
         [](Rig& rig, Site&) { rig.Listing().pause(300).closeConnection(); }, FtpState::ftpReady,
         nullptr, "", 0, "Connection lost", E::ConnectionLost},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.options.retry = row.retry;
        Site site = rig.ScriptedSite();
        const bool browsing = row.waitFor == FtpState::ftpReady;
        if (browsing)
            rig.Login();
        row.script(rig, site);
        QSignalSpy modes(&rig.controller, &SessionController::ServerListModeChanged);
        QSignalSpy cursor(&rig.controller, &SessionController::WaitCursorChanged);
        if (browsing) {
            ASSERT_TRUE(rig.Connect(site));
        } else {
            rig.controller.ConnectToSite(site);
            ASSERT_TRUE(!row.waitFor ||
                        ProcessEventsUntil([&] { return rig.ftp.State() == *row.waitFor; }));
        }
        if (row.leave)
            row.leave(rig);
        ASSERT_TRUE(rig.Wait(SessionState::Idle, 10000));
        ProcessEventsFor(100);
        EXPECT_EQ(rig.controller.SessionState(), SessionState::Idle);
        EXPECT_FALSE(rig.ftp.Connected());
        EXPECT_EQ(rig.ftp.State(), FtpState::ftpReady);
        EXPECT_TRUE(rig.controller.RemoteView().Items().empty());

        // The first try is not counted: the last retry is attempt n + 1.
        const std::string attempt = "Connecting to 127.0.0.1 [Attempt ";
        EXPECT_EQ(std::ranges::count_if(
                      rig.LogLines(), [&](const std::string& l) { return l.starts_with(attempt); }),
                  row.attempts);
        EXPECT_TRUE(!row.attempts || rig.Logged(attempt + std::to_string(row.attempts + 1) + "]"));
        EXPECT_TRUE(!*row.logged || rig.Logged(row.logged));
        EXPECT_TRUE(rig.controller.Outcome().starts_with(row.outcome)) << rig.controller.Outcome();
        EXPECT_EQ(rig.controller.LastEnd().End, row.end);
        EXPECT_EQ(rig.controller.LastEnd().Error, row.error);
        EXPECT_EQ(rig.controller.LastEnd().Port, site.Port);
        // Reached: the pane left the site list and came back.
        const bool reached = browsing || row.end == E::LoginFailed;
        EXPECT_EQ(modes.count(), reached ? 2 : 0);
        EXPECT_EQ(rig.Logged("! " + rig.controller.Outcome()), reached);
        // The wait cursor shows while the user's disconnect runs, then the default returns.
        EXPECT_EQ(cursor.count(), row.end == E::Disconnected ? 2 : 0);
    }
}

TEST(Session, PasswordIsAskedWhenNotSavedAndCancelSendsNothing) {
    Rig rig;
    Site site = rig.ScriptedSite();
    site.SavePassword = 0;
    rig.prompts.inputs.push_back(std::nullopt);
    rig.controller.ConnectToSite(site);
    ASSERT_EQ(rig.prompts.asked.size(), 1u);
    EXPECT_TRUE(rig.prompts.asked[0].Mask);
    EXPECT_EQ(rig.log.Pane().Count(), 0u) << "nothing is sent or logged";

    rig.Login();
    rig.Listing().start();
    rig.prompts.inputs.push_back("typed-pw");
    rig.controller.ConnectToSite(site);
    ASSERT_TRUE(ProcessEventsUntil([&] { return rig.server.received().size() >= 2; }));
    EXPECT_EQ(rig.server.received()[1], "PASS typed-pw");
}

// What the session itself decides when the pane moves; the pane's own moves
// (up, the path box) are the remote view's. A link may name a folder or a
// file: a double click tries CWD, and a 550 makes it a file of the pane.
TEST(SessionBrowse, EachMoveSendsItsCommandsAndShowsWhereItEnded) {
    struct Row {
        const char* name;
        std::string listing; // the first one
        const char* replies; // before the new listing
        std::function<void(Rig&)> act;
        const char* commands; // after the first listing
        const char* dir;
        const char* steps; // the chain steps called
        const char* files; // the pane's files afterwards
    };
    const auto open = [](Rig& rig) { rig.controller.OpenEntry(0); };
    const std::string link = "lrwxrwxrwx 1 ftp ftp 9 Jan 10 12:00 docs -> /srv/docs\r\n";
    const Row rows[] = {
        {"a double click enters a folder, not a file", kListing, "250 OK",
         [](Rig& rig) {
             rig.controller.OpenEntry(1); // readme.txt
             rig.controller.OpenEntry(0);
         },
         "CWD /incoming|TYPE A|PASV|LIST", "/incoming", "", "fresh.txt"},
        {"a failed CWD goes back to the start directory", kListing,
         "550 No such directory|200 Type set to A|257 \"/\"",
         [](Rig& rig) {
             rig.controller.SetHostDirName("/missing");
             rig.controller.CwdAsync();
         },
         "CWD /missing|TYPE A|PWD|TYPE A|PASV|LIST", "/", "CloseProgress", "fresh.txt"},
        {"a link to a folder is entered", link, "250 OK", open, "CWD /docs|TYPE A|PASV|LIST",
         "/docs", "", "fresh.txt"},
        {"a link the server will not enter becomes a file where the pane stays", link + kFresh,
         "550 Not a directory", open, "CWD /docs", "/", "", "docs|fresh.txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.Login();
        rig.Listing(row.listing);
        rig.Replies(row.replies);
        const Lines commands = Split(row.commands);
        if (commands.back() == "LIST")
            rig.Listing(kFresh);
        ASSERT_TRUE(rig.Connect(rig.ScriptedSite()));
        row.act(rig);
        ASSERT_TRUE(rig.WaitSent(commands.size())) << rig.server.failure();
        EXPECT_EQ(rig.Since(), commands);
        EXPECT_EQ(rig.ftp.HostDirName, row.dir);
        EXPECT_EQ(rig.steps.calls, Split(row.steps));
        EXPECT_EQ(rig.controller.RemoteView().RemoteFileNames(), Split(row.files));
    }
}

TEST(SessionKeepAlive, ACommandIsSentWhenDueAndNoneWithoutCommandsOrAfterItsDuration) {
    const struct {
        const char* name;
        const char* commands;
        bool due; // idle ticks reach the start before the duration ends
    } rows[] = {{"a due command is followed by CWD and a new listing", "NOOP", true},
                {"no commands: never armed", "", false},
                {"not due before its duration ends", "NOOP", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.options.Keep = true;
        rig.options.CmdKeep = row.commands;
        rig.options.StartKeep = row.due ? 2 : 1000;
        rig.options.DurationKeep = 1; // one minute: 60 ticks
        rig.controller.SetKeepAliveTick(row.due ? 20ms : 1ms);
        rig.Login();
        rig.Listing();
        rig.Replies("200 NOOP ok|250 OK");
        rig.Listing(kFresh);
        ASSERT_TRUE(rig.Connect(rig.ScriptedSite()));
        EXPECT_EQ(rig.controller.KeepAliveRunning(), *row.commands != '\0');
        if (row.due) {
            ASSERT_TRUE(rig.WaitSent(5)) << rig.server.failure();
            EXPECT_EQ(rig.Since(), Split("NOOP|CWD /|TYPE A|PASV|LIST"));
            EXPECT_TRUE(rig.controller.KeepAliveRunning()) << "re-armed after the listing";
            continue;
        }
        ASSERT_TRUE(ProcessEventsUntil([&] { return !rig.controller.KeepAliveRunning(); }, 3000));
        EXPECT_EQ(rig.Since(), Lines{});
    }
}

} // namespace
