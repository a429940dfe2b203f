#include "session/SessionRig.h"

#include <QSignalSpy>
#include <filesystem>
#include <functional>

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
        {"files.example:990", "files.example", "keep", "kept", "990", "/start"},
        {"ftp://anna:pw@[::1]:2121/pub", "::1", "anna", "pw", "2121", "/pub"},
        {"[fe80::1]", "fe80::1", "keep", "kept", "21", "/start"},
        {"ftps://files.example/pub", "files.example", "keep", "kept", "990", "/pub",
         SiteEncryption::Implicit},
        {"FTPES://bob@files.example:2121", "files.example", "bob", "kept", "2121", "/start",
         SiteEncryption::Explicit},
        {"::1", "::1", "keep", "kept", "21", "/start"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.server);
        Site site;
        site.Server = row.server;
        site.User = "keep";
        site.Password = "kept";
        site.InitialDir = "/start";
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
    t.tm_mday = 7;
    t.tm_mon = 11;
    t.tm_year = 126;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 3;
    EXPECT_EQ(session::ConnectTimeText(t), " , 07 Dec 2026 09:05:03");
}

TEST(Enablement, FollowsTheConnection) {
    using session::CommandEnablement;
    const auto start = CommandEnablement(false, false, false);
    EXPECT_TRUE(start.Connect && start.NewServer && start.Properties && start.Preferences);
    EXPECT_FALSE(start.ServerProperties || start.Disconnect || start.Stop || start.RemoteCommands);
    EXPECT_TRUE(CommandEnablement(false, false, true).ServerProperties);
    EXPECT_TRUE(CommandEnablement(false, true, false).Stop) << "a connect can be stopped";
    EXPECT_TRUE(CommandEnablement(false, true, false).Disconnect) << "...and given up";
    const auto connected = CommandEnablement(true, false, true);
    EXPECT_FALSE(connected.Connect || connected.NewServer || connected.Properties ||
                 connected.Preferences || connected.ServerProperties);
    EXPECT_TRUE(connected.Disconnect && connected.Stop && connected.RemoteCommands);
}

class Session : public testing::Test, public Rig {};

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
        const char* path;   // the path box after "SERVER LIST ..." and the host
        const char* logged; // besides "> PASS ****"
    };
    const Row rows[] = {
        {"address with credentials, port and path", " ftp://anna:pw@127.0.0.1:%port%/pub", false,
         "", false, "215 UNIX Type: L8|250 Directory changed",
         "USER anna|PASS pw|FEAT|SYST|CWD /pub/", "/pub/", "pub", ""},
        {"anonymous logs in with the e-mail address", "", true, "", false,
         "215 UNIX Type: L8|257 \"/\" is current",
         "USER anonymous|PASS me@example.org|FEAT|SYST|PWD", "/", "", ""},
        {"PWD without a quoted path keeps the directory", "", false, "", false,
         "215 UNIX Type: L8|257 current directory is /home/anna",
         "USER anna|PASS secret-pw|FEAT|SYST|PWD", "/", "", ""},
        {"PWD with a quoted path takes it", "", false, "", false,
         "215 UNIX Type: L8|257 \"/home/anna\" is the current directory",
         "USER anna|PASS secret-pw|FEAT|SYST|PWD", "/home/anna", "home|anna", ""},
        {"a server without SYST is still browsed", "", false, "", false,
         "502 SYST not implemented|257 \"/\"", "USER anna|PASS secret-pw|FEAT|SYST|PWD", "/", "",
         "Error 502 SYST not implemented"},
        {"paths on a virtual host are relative", "", false, "/www", true,
         "215 UNIX Type: L8|250 OK", "USER anna|PASS secret-pw|FEAT|SYST|CWD www/", "www/", "www",
         ""},
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
        QSignalSpy modes(&rig.controller, &SessionController::ServerListModeChanged);
        rig.controller.ConnectToSite(site);
        EXPECT_EQ(rig.controller.SessionState(), SessionState::Connecting);
        ASSERT_TRUE(rig.Wait(SessionState::Browsing)) << rig.server.failure();

        const Lines commands = Split(row.commands + std::string("|TYPE A|PASV|LIST"));
        EXPECT_EQ(rig.server.received(), commands);
        EXPECT_EQ(rig.ftp.HostDirName, row.dir);
        EXPECT_EQ(
            rig.controller.RemoteView().PathBox().items,
            Split("SERVER LIST ...|127.0.0.1" + std::string(*row.path ? "|" : "") + row.path));
        EXPECT_EQ(rig.Captions(), (Lines{"incoming", "readme.txt"}));
        EXPECT_EQ(rig.controller.RemoteView().RemoteFileNames(), Lines{"readme.txt"});
        EXPECT_FALSE(std::filesystem::exists(rig.options.ListingFile)) << "read once and deleted";
        EXPECT_TRUE(rig.controller.ConnectedCommands());
        EXPECT_EQ(rig.controller.ReconnectAttempt(), -1);
        EXPECT_EQ(rig.controller.CurrentSite().Server, "127.0.0.1") << "the copy is normalised";
        ASSERT_EQ(modes.count(), 1);
        EXPECT_FALSE(modes[0][0].toBool());

        const Lines log = rig.LogLines();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[0], "");
        EXPECT_TRUE(log[1].starts_with("Connecting to 127.0.0.1 , ")) << log[1];
        EXPECT_TRUE(rig.Logged("> PASS ****"));
        EXPECT_TRUE(!*row.logged || rig.Logged(row.logged));
        for (const std::string& line : log)
            EXPECT_EQ(line.find(commands[1]), std::string::npos) << "the password: " << line;
    }
}

// Each way a connect fails is told in the log, the outcome and the end report
// ("! <outcome>" once a server was reached), and leaves for the site list.
TEST(SessionConnect, AFailedConnectReturnsToTheSiteListAfterItsRetries) {
    using Script = std::function<void(Rig&, Site&)>;
    using E = session::SessionEnd;
    struct Row {
        const char* name;
        int retry;
        Script script;
        std::function<void(Rig&)> meanwhile; // right after the connect was asked for
        const char* logged;
        int attempts;    // the "[Attempt n]" lines
        int modeChanges; // the pane leaving the site list and coming back
        const char* outcome;
        E end;
        int error;
    };
    const Script closedBeforeGreeting = [](Rig& rig, Site&) {
        rig.server.closeConnection();
        for (int i = 0; i < rig.options.retry + 1; ++i)
            rig.server.accept().closeConnection();
        rig.server.start();
    };
    const Row rows[] = {
        {"closed before the greeting, no retries", 0, closedBeforeGreeting, nullptr,
         "421 Connection closed by server", 0, 0, "", E::ConnectFailed, 421},
        {"closed before the greeting, two retries", 2, closedBeforeGreeting, nullptr,
         "421 Connection closed by server", 3, 0, "", E::ConnectFailed, 421},
        {"refused: the reason names the host", 0,
         [](Rig&, Site& site) { site.Port = std::to_string(ScriptedFtpServer::FreeClosedPort()); },
         nullptr, "500 Connection refused (Winsock error #10061)", 0, 0,
         "Cannot connect to 127.0.0.1: ", E::ConnectFailed, 10061},
        {"login refused", 0,
         [](Rig& rig, Site&) {
             rig.server.send("220 ready\r\n");
             rig.Replies("331 Password required|530 Login incorrect.").start();
         },
         nullptr, "530 Login incorrect.", 0, 2, "Login failed: 530 Login incorrect.",
         E::LoginFailed, 530},
        {"stopped during the name look-up is not retried", 3,
         [](Rig&, Site& site) { site.Server = "localhost"; },
         [](Rig& rig) {
             ASSERT_EQ(rig.ftp.State(), FtpState::ftpDnsLookup);
             rig.controller.StopTransfer();
             EXPECT_EQ(rig.ftp.State(), FtpState::ftpReady) << "aborted at once";
         },
         "500 Interrupted system call (Winsock error #10004)", 0, 0, "", E::ConnectFailed, 10004},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.options.retry = row.retry;
        Site site = rig.ScriptedSite();
        row.script(rig, site);
        QSignalSpy modes(&rig.controller, &SessionController::ServerListModeChanged);
        rig.controller.ConnectToSite(site);
        if (row.meanwhile)
            row.meanwhile(rig);
        ASSERT_TRUE(rig.Wait(SessionState::Idle, 10000));
        ProcessEventsFor(100);
        EXPECT_EQ(rig.controller.SessionState(), SessionState::Idle);

        Lines attempts;
        for (const std::string& line : rig.LogLines()) {
            if (line.starts_with("Connecting to 127.0.0.1 [Attempt"))
                attempts.push_back(line);
        }
        Lines expected;
        for (int n = 2; n <= row.attempts + 1; ++n)
            expected.push_back("Connecting to 127.0.0.1 [Attempt " + std::to_string(n) + "]");
        EXPECT_EQ(attempts, expected);
        EXPECT_TRUE(rig.Logged(row.logged));
        EXPECT_TRUE(rig.controller.Outcome().starts_with(row.outcome)) << rig.controller.Outcome();
        EXPECT_EQ(rig.controller.LastEnd().End, row.end);
        EXPECT_EQ(rig.controller.LastEnd().Error, row.error);
        EXPECT_EQ(rig.controller.LastEnd().Port, site.Port);
        EXPECT_TRUE(rig.controller.ServerListMode());
        EXPECT_FALSE(rig.controller.ConnectedCommands());
        ASSERT_EQ(modes.count(), row.modeChanges);
        if (row.modeChanges > 0) {
            EXPECT_TRUE(rig.Logged("! " + rig.controller.Outcome()));
            EXPECT_TRUE(modes.back()[0].toBool());
            EXPECT_EQ(rig.controller.RemoteView().SortKey(), 1);
        }
    }
}

// Leaving for the site list, from a connect under way or from browsing: the
// site list comes back at once, the engine is ready for the next connect, and
// nothing is retried.
TEST(SessionConnect, LeavingForTheSiteListEndsTheSession) {
    using Leave = std::function<void(Rig&)>;
    const Leave disconnect = [](Rig& rig) { rig.controller.Disconnect(); };
    struct Row {
        const char* name;
        std::function<void(Rig&, Site&)> script;
        FtpState waitFor; // before leaving; ftpReady: until browsing
        Leave leave;      // null: the server leaves
        const char* outcome;
    };
    const Row rows[] = {
        {"disconnect during the name look-up", [](Rig&, Site& site) { site.Server = "localhost"; },
         FtpState::ftpDnsLookup, disconnect, "Disconnected"},
        {"disconnect before the greeting", [](Rig& rig, Site&) { rig.server.pause(4000).start(); },
         FtpState::ftpWaitingBanner, disconnect, "Disconnected"},
        {"disconnect during the login",
         [](Rig& rig, Site&) { rig.server.send("220 ready\r\n").pause(4000).start(); },
         FtpState::ftpWaitingResponse, disconnect, "Disconnected"},
        {"disconnect while browsing", [](Rig& rig, Site&) { rig.Listing().reply("221 Bye\r\n"); },
         FtpState::ftpReady, disconnect, "Disconnected"},
        {"the path box's server list item", [](Rig& rig, Site&) { rig.Listing(); },
         FtpState::ftpReady, [](Rig& rig) { rig.controller.RemoteView().ChangeToPathBoxEntry(0); },
         "Disconnected"},
        {"the server closes the connection",
         [](Rig& rig, Site&) { rig.Listing().pause(300).closeConnection(); }, FtpState::ftpReady,
         nullptr, "Connection lost"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.options.retry = 2;
        Site site = rig.ScriptedSite();
        const bool browsing = row.waitFor == FtpState::ftpReady;
        if (browsing)
            rig.Login();
        row.script(rig, site);
        QSignalSpy status(&rig.controller, &SessionController::StatusChanged);
        if (browsing) {
            EXPECT_FALSE(rig.controller.ConnectedCommands());
            ASSERT_TRUE(rig.Connect(site));
        } else {
            rig.controller.ConnectToSite(site);
            ASSERT_TRUE(ProcessEventsUntil([&] { return rig.ftp.State() == row.waitFor; }, 3000));
        }
        QSignalSpy modes(&rig.controller, &SessionController::ServerListModeChanged);
        QSignalSpy cursor(&rig.controller, &SessionController::WaitCursorChanged);
        if (row.leave)
            row.leave(rig);
        ASSERT_TRUE(rig.Wait(SessionState::Idle, browsing ? 5000 : 1000));
        ProcessEventsFor(100);
        EXPECT_EQ(rig.controller.SessionState(), SessionState::Idle);
        EXPECT_TRUE(rig.controller.ServerListMode());
        EXPECT_FALSE(rig.controller.ConnectedCommands());
        EXPECT_FALSE(rig.ftp.Connected());
        EXPECT_EQ(rig.ftp.State(), FtpState::ftpReady);
        EXPECT_TRUE(rig.controller.RemoteView().Items().empty());
        for (const std::string& line : rig.LogLines())
            EXPECT_EQ(line.find("[Attempt"), std::string::npos) << line;
        EXPECT_GE(status.count(), 2);
        EXPECT_EQ(rig.controller.Outcome(), row.outcome);
        if (!browsing)
            continue;
        ASSERT_EQ(modes.count(), 1);
        EXPECT_TRUE(rig.Logged("! " + std::string(row.outcome)));
        EXPECT_TRUE(modes[0][0].toBool());
        if (!row.leave)
            continue; // the server left: no wait for the user
        ASSERT_EQ(cursor.count(), 2) << "the wait cursor shows, then the default returns";
        EXPECT_TRUE(cursor[0][0].toBool());
        EXPECT_FALSE(cursor[1][0].toBool());
    }
}

TEST_F(Session, PasswordIsAskedWhenNotSavedAndCancelSendsNothing) {
    Site site = ScriptedSite();
    site.SavePassword = 0;
    prompts.inputs.push_back(std::nullopt);
    controller.ConnectToSite(site);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_TRUE(prompts.asked[0].Mask);
    EXPECT_EQ(controller.SessionState(), SessionState::Idle);
    EXPECT_EQ(log.Pane().Count(), 0u) << "nothing is sent or logged";

    Login();
    Listing().start();
    prompts.inputs.push_back("typed-pw");
    controller.ConnectToSite(site);
    ASSERT_TRUE(ProcessEventsUntil([&] { return server.received().size() >= 2; }));
    EXPECT_EQ(server.received()[1], "PASS typed-pw");
}

TEST(SessionBrowse, EachMoveSendsItsCommandsAndShowsWhereItEnded) {
    using Act = std::function<void(Rig&)>;
    struct Row {
        const char* name;
        const char* initialDir;
        bool virtualHost;
        const char* replies; // before the new listing
        Act act;
        const char* commands; // after the first listing, before TYPE A, PASV and LIST
        const char* dir;
        const char* steps; // the chain steps called
    };
    const auto cwd = [](const char* dir, unsigned mode = 0) {
        return [dir, mode](Rig& rig) {
            rig.controller.SetTransferModeFlags(mode);
            rig.controller.SetHostDirName(dir);
            rig.controller.CwdAsync();
        };
    };
    const Act up = [](Rig& rig) { rig.controller.RemoteView().GoUpOneLevel(); };
    const Row rows[] = {
        {"a double click enters a folder, not a file", "", false, "250 OK",
         [](Rig& rig) {
             const Lines captions = rig.Captions();
             for (const char* name : {"readme.txt", "incoming"}) {
                 const auto row = std::find(captions.begin(), captions.end(), name);
                 rig.controller.OpenEntry(static_cast<int>(row - captions.begin()));
             }
         },
         "CWD /incoming", "/incoming", ""},
        {"a failed CWD goes back to the start directory", "", false,
         "550 No such directory|200 Type set to A|257 \"/\"", cwd("/missing"),
         "CWD /missing|TYPE A|PWD", "/", "CloseProgress"},
        {"the path box's host item goes to the root", "/pub/linux", false, "250 OK",
         [](Rig& rig) { rig.controller.RemoteView().ChangeToPathBoxEntry(1); }, "CWD /", "/", ""},
        {"up one level sends CDUP", "/pub", false, "250 OK", up, "CDUP", "/", ""},
        {"up one level from a virtual host's home asks PWD", "/www", true, "257 \"/home/anna\"", up,
         "PWD", "/home/anna", ""},
        {"a download walk hands the listing to the transfer steps", "", false, "250 OK",
         cwd("/incoming", transfer::DownloadWalk), "CWD /incoming", "/incoming",
         "AddDownloadFolder|DownloadStep"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.Login(*row.initialDir ? "215 UNIX Type: L8|250 OK" : "215 UNIX Type: L8|257 \"/\"");
        rig.Listing();
        rig.Replies(row.replies);
        rig.Listing(kFresh);
        Site site = rig.ScriptedSite();
        site.InitialDir = row.initialDir;
        site.CheckVHost = row.virtualHost;
        ASSERT_TRUE(rig.Connect(site));
        row.act(rig);
        const Lines commands = Split(row.commands + std::string("|TYPE A|PASV|LIST"));
        ASSERT_TRUE(rig.WaitSent(commands.size())) << rig.server.failure();
        EXPECT_EQ(rig.Since(), commands);
        EXPECT_EQ(rig.ftp.HostDirName, row.dir);
        EXPECT_EQ(rig.steps.calls, Split(row.steps));
        if (rig.controller.TransferModeFlags() != 0) {
            EXPECT_EQ(rig.Captions(), (Lines{"incoming", "readme.txt"}))
                << "the pane keeps its own";
            continue;
        }
        EXPECT_EQ(rig.Captions(), Lines{"fresh.txt"});
        Lines path{"SERVER LIST ...", "127.0.0.1"};
        for (const auto& part : std::filesystem::path(row.dir).relative_path())
            path.push_back(part.string());
        EXPECT_EQ(rig.controller.RemoteView().PathBox().items, path);
    }
}

// A link may name a folder or a file: a double click tries CWD, and a 550
// makes it a file of the pane, which stays where it was.
TEST(SessionBrowse, ADoubleClickedLinkIsEnteredOrElseTakenForAFile) {
    const std::string listing =
        "lrwxrwxrwx   1 ftp      ftp             9 Jan 10 12:00 docs -> /srv/docs\r\n"
        "-rw-r--r--   1 ftp      ftp          1234 Jan 10 12:00 readme.txt\r\n";
    struct Row {
        const char* name;
        const char* reply; // to the CWD
        const char* dir;
        Lines captions; // afterwards
        Lines files;
    };
    const Row rows[] = {
        {"a link to a folder is entered", "250 OK", "/docs", {"fresh.txt"}, {"fresh.txt"}},
        {"a link the server will not enter becomes a file",
         "550 Not a directory",
         "/",
         {"docs", "readme.txt"},
         {"docs", "readme.txt"}}, // the names in listing order
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.Login();
        rig.Listing(listing);
        rig.Replies(row.reply);
        const bool entered = std::string(row.reply).starts_with("250");
        if (entered)
            rig.Listing(kFresh);
        ASSERT_TRUE(rig.Connect(rig.ScriptedSite()));
        const remote::RemoteItem link = rig.controller.RemoteView().Items()[0];
        EXPECT_TRUE(link.link);
        EXPECT_EQ(link.icon, remote::PaneIcon::Folder) << "until the server says otherwise";
        EXPECT_EQ(link.size, "9") << "the link's own size";
        rig.controller.OpenEntry(0);
        ASSERT_TRUE(rig.WaitSent(entered ? 4 : 1)) << rig.server.failure();
        ProcessEventsFor(100);
        EXPECT_EQ(rig.Since(), Split(entered ? "CWD /docs|TYPE A|PASV|LIST" : "CWD /docs"));
        EXPECT_EQ(rig.ftp.HostDirName, row.dir);
        EXPECT_EQ(rig.Captions(), row.captions);
        EXPECT_EQ(rig.controller.RemoteView().RemoteFileNames(), row.files);
        if (!entered) {
            EXPECT_EQ(rig.controller.RemoteView().Items()[0].icon, remote::PaneIcon::File);
            rig.controller.OpenEntry(0);
            ProcessEventsFor(100);
            EXPECT_EQ(rig.Since().size(), 1u) << "a link taken for a file is not tried again";
        }
    }
}

TEST(SessionKeepAlive, ACommandIsSentWhenDueAndNoneWithoutCommandsOrAfterItsDuration) {
    const struct {
        const char* name;
        const char* commands;
        int start; // idle ticks before the first command
        bool armed;
    } rows[] = {{"a due command is followed by CWD and a new listing", "NOOP", 2, true},
                {"no commands: never armed", "", 1000, false},
                {"not due before its duration ends", "NOOP", 1000, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.options.Keep = true;
        rig.options.CmdKeep = row.commands;
        rig.options.StartKeep = row.start;
        rig.options.DurationKeep = 1; // one minute: 60 ticks
        rig.controller.SetKeepAliveTick(row.start < 1000 ? 20ms : 1ms);
        rig.Login();
        rig.Listing();
        rig.Replies("200 NOOP ok|250 OK");
        rig.Listing(kFresh);
        ASSERT_TRUE(rig.Connect(rig.ScriptedSite()));
        EXPECT_EQ(rig.controller.KeepAliveRunning(), row.armed);
        if (row.start < 1000) {
            ASSERT_TRUE(rig.WaitSent(5)) << rig.server.failure();
            EXPECT_EQ(rig.Since(), Split("NOOP|CWD /|TYPE A|PASV|LIST"));
            EXPECT_EQ(rig.Captions(), Lines{"fresh.txt"});
            EXPECT_EQ(rig.controller.KeepAliveCount(), 1);
            EXPECT_TRUE(rig.controller.KeepAliveRunning()) << "re-armed after the listing";
            continue;
        }
        ASSERT_TRUE(ProcessEventsUntil([&] { return !rig.controller.KeepAliveRunning(); }, 3000));
        EXPECT_EQ(rig.controller.KeepAliveCount(), 0);
        EXPECT_EQ(rig.Since(), Lines{});
    }
}

TEST_F(Session, RefusedRequestIsLoggedNotThrown) {
    Login();
    Listing();
    ASSERT_TRUE(Connect(ScriptedSite()));
    controller.SetHostDirName("");
    controller.CwdAsync();
    EXPECT_TRUE(Logged("Error HostDirName emtpy"));
}

} // namespace
