#include "prefs/options.h"
#include "session/SessionController.h"
#include "session/SessionLog.h"
#include "support/EventLoop.h"
#include "support/ScriptedFtpServer.h"
#include "support/ScriptedPrompts.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using session::TSessionController;
using session::TSessionState;
using testsupport::ProcessEventsFor;
using testsupport::ProcessEventsUntil;
using testsupport::ScriptedFtpServer;
using Lines = std::vector<std::string>;

namespace {

const std::string kGreeting = "220 Scripted server ready\r\n";
const std::string kListing =
    "drwxr-xr-x   2 ftp      ftp          4096 Jan 10 12:00 incoming\r\n"
    "-rw-r--r--   1 ftp      ftp          1234 Jan 10 12:00 readme.txt\r\n";

TEST(SiteAddress, IsNormalisedInTheCopy) {
    struct Row {
        const char* server;
        const char *host, *user, *password, *port, *dir;
    };
    const Row rows[] = {
        {"ftp://anna:pw@files.example:2121/pub", "files.example", "anna", "pw", "2121", "/pub"},
        {"  FTP://files.example  ", "files.example", "keep", "kept", "21", "/start"},
        {"http://files.example/a b/c", "files.example", "keep", "kept", "21", "/ab/c"},
        {"bob@files.example", "files.example", "bob", "kept", "21", "/start"},
        {"bob:p:w@files.example:21", "files.example", "bob", "p:w", "21", "/start"},
        {"ftp://http://x.example", "x.example", "keep", "kept", "21", "/start"},
        {"files.example:990", "files.example", "keep", "kept", "990", "/start"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.server);
        TFTPServerInfo site;
        site.Server = row.server;
        site.User = "keep";
        site.Password = "kept";
        site.InitialDir = "/start";
        const TFTPServerInfo normal = session::NormalizeSiteAddress(site);
        EXPECT_EQ(normal.Server, row.host);
        EXPECT_EQ(normal.User, row.user);
        EXPECT_EQ(normal.Password, row.password);
        EXPECT_EQ(normal.Port, row.port);
        EXPECT_EQ(normal.InitialDir, row.dir);
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
    const auto connected = CommandEnablement(true, false, true);
    EXPECT_FALSE(connected.Connect || connected.NewServer || connected.Properties ||
                 connected.Preferences || connected.ServerProperties);
    EXPECT_TRUE(connected.Disconnect && connected.Stop && connected.RemoteCommands);
}

// Records the chain steps the dispatcher calls.
struct RecordingSteps : session::TChainSteps {
    std::vector<std::string> calls;
    void AddDownloadFolder() override { calls.push_back("AddDownloadFolder"); }
    void DownloadStep() override { calls.push_back("DownloadStep"); }
    void UploadStep() override { calls.push_back("UploadStep"); }
    void CloseProgress() override { calls.push_back("CloseProgress"); }
};

class Session : public ::testing::Test {
protected:
    Session() {
        folder = dir.path().toStdString() + "/";
        options = DefaultOptions(folder, 4242);
        controller.SetChainSteps(&steps);
    }

    TFTPServerInfo Site() const {
        TFTPServerInfo site;
        site.Name = "scripted";
        site.Server = "127.0.0.1";
        site.Port = server.portText();
        site.User = "anna";
        site.Password = "secret-pw";
        site.InitialDir.clear();
        site.Pasv = 1;
        return site;
    }

    // Greeting, USER, PASS and SYST.
    ScriptedFtpServer& ScriptLogin() {
        return server.send(kGreeting)
            .reply("331 Password required\r\n")
            .reply("230 Logged in\r\n")
            .reply("215 UNIX Type: L8\r\n");
    }
    // TYPE A and a passive LIST of `listing`.
    ScriptedFtpServer& ScriptListing(const std::string& listing = kListing) {
        return server.reply("200 Type set to A\r\n")
            .replyPasv()
            .acceptData()
            .reply("150 Here comes the listing\r\n")
            .sendData(listing)
            .closeData()
            .send("226 Directory send OK\r\n");
    }

    bool WaitBrowsing(int timeoutMs = 5000) {
        return ProcessEventsUntil(
            [&] { return controller.SessionState() == TSessionState::Browsing; }, timeoutMs);
    }
    bool WaitIdle(int timeoutMs = 5000) {
        return ProcessEventsUntil([&] { return controller.SessionState() == TSessionState::Idle; },
                                  timeoutMs);
    }

    Lines LogLines() const {
        Lines lines;
        for (std::size_t i = 0; i < log.Pane().Count(); ++i)
            lines.push_back(log.Pane().Line(i));
        return lines;
    }
    bool Logged(const std::string& line) const {
        const Lines lines = LogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    Lines Captions() const {
        Lines captions;
        for (const remote::TRemoteItem& item : controller.RemoteView().Items())
            captions.push_back(item.caption);
        return captions;
    }
    // Commands of the script that are not part of the login.
    Lines CommandsAfterLogin() const {
        const Lines all = server.received();
        return all.size() > 2 ? Lines(all.begin() + 2, all.end()) : Lines{};
    }

    QTemporaryDir dir;
    std::string folder;
    TFTPOptions options;
    session::TSessionLog log{dir.path().toStdString() + "/"};
    ScriptedPrompts prompts;
    ScriptedFtpServer server;
    TFtpClient ftp;
    RecordingSteps steps;
    TSessionController controller{ftp, log, prompts, options,
                                  std::chrono::year_month_day{2026y, std::chrono::December, 7d}};
};

TEST_F(Session, AddressWithCredentialsPortAndPathConnectsThereAndListsIt) {
    ScriptLogin().reply("250 Directory changed\r\n");
    ScriptListing().start();
    QSignalSpy modes(&controller, &TSessionController::ServerListModeChanged);
    TFTPServerInfo site = Site();
    site.Server = " ftp://anna:pw@127.0.0.1:" + server.portText() + "/pub";
    site.Port = "1"; // the address names the port
    controller.ConnectToSite(site);
    EXPECT_EQ(controller.SessionState(), TSessionState::Connecting);
    ASSERT_TRUE(WaitBrowsing()) << server.failure();

    EXPECT_EQ(server.received(),
              (Lines{"USER anna", "PASS pw", "SYST", "CWD /pub/", "TYPE A", "PASV", "LIST"}));
    EXPECT_EQ(ftp.HostDirName, "/pub/");
    EXPECT_EQ(Captions(), (Lines{"incoming", "readme.txt"}));
    EXPECT_EQ(controller.RemoteView().PathBox().items,
              (Lines{"SERVER LIST ...", "127.0.0.1", "pub"}));
    EXPECT_EQ(controller.RemoteView().RemoteFileNames(), Lines{"readme.txt"});
    EXPECT_FALSE(std::filesystem::exists(options.ListingFile)) << "read once and deleted";
    EXPECT_FALSE(controller.ServerListMode());
    EXPECT_TRUE(controller.ConnectedCommands());
    EXPECT_EQ(controller.ReconnectAttempt(), -1);
    EXPECT_EQ(controller.RemoteStartDir(), "/pub/");
    ASSERT_EQ(modes.count(), 1);
    EXPECT_FALSE(modes[0][0].toBool());
    EXPECT_EQ(controller.CurrentSite().Server, "127.0.0.1") << "the copy is normalised";

    const Lines lines = LogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "");
    EXPECT_TRUE(lines[1].starts_with("Connecting to 127.0.0.1 , ")) << lines[1];
    EXPECT_TRUE(Logged("> PASS ****"));
    for (const std::string& line : lines)
        EXPECT_EQ(line.find("PASS pw"), std::string::npos) << line;
}

TEST_F(Session, PasswordIsAskedWhenNotSavedAndCancelSendsNothing) {
    TFTPServerInfo site = Site();
    site.SavePassword = 0;
    prompts.inputs.push_back(std::nullopt);
    controller.ConnectToSite(site);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].Caption, "Enter password");
    EXPECT_EQ(prompts.asked[0].Prompt, "\tPassword:");
    EXPECT_TRUE(prompts.asked[0].Mask);
    EXPECT_EQ(controller.SessionState(), TSessionState::Idle);
    EXPECT_EQ(log.Pane().Count(), 0u) << "nothing is sent or logged";

    ScriptLogin();
    ScriptListing().start();
    prompts.inputs.push_back("typed-pw");
    controller.ConnectToSite(site);
    ASSERT_TRUE(ProcessEventsUntil([&] { return server.received().size() >= 2; }));
    EXPECT_EQ(server.received()[1], "PASS typed-pw");
}

TEST_F(Session, AnonymousSitesLogInWithTheEmailAddress) {
    ScriptLogin().reply("257 \"/\" is current\r\n");
    ScriptListing().start();
    TFTPServerInfo site = Site();
    site.Anonymous = 1;
    site.EMail = "me@example.org";
    controller.ConnectToSite(site);
    ASSERT_TRUE(WaitBrowsing()) << server.failure();
    const Lines received = server.received();
    EXPECT_EQ(Lines(received.begin(), received.begin() + 2),
              (Lines{"USER anonymous", "PASS me@example.org"}));
}

TEST_F(Session, PwdWithoutAQuotedPathKeepsTheDirectoryAndStillLists) {
    ScriptLogin().reply("257 current directory is /home/anna\r\n");
    ScriptListing().start();
    controller.ConnectToSite(Site());
    ASSERT_TRUE(WaitBrowsing()) << server.failure();
    EXPECT_EQ(CommandsAfterLogin(), (Lines{"SYST", "PWD", "TYPE A", "PASV", "LIST"}));
    EXPECT_EQ(ftp.HostDirName, "/");
    EXPECT_EQ(Captions().size(), 2u);
}

TEST_F(Session, PwdWithAQuotedPathTakesIt) {
    ScriptLogin().reply("257 \"/home/anna\" is the current directory\r\n");
    ScriptListing().start();
    controller.ConnectToSite(Site());
    ASSERT_TRUE(WaitBrowsing()) << server.failure();
    EXPECT_EQ(ftp.HostDirName, "/home/anna");
    EXPECT_EQ(controller.RemoteView().PathBox().items,
              (Lines{"SERVER LIST ...", "127.0.0.1", "home", "anna"}));
}

TEST_F(Session, ServerWithoutSystIsStillBrowsed) {
    server.send(kGreeting)
        .reply("331 Password required\r\n")
        .reply("230 Logged in\r\n")
        .reply("502 SYST not implemented\r\n")
        .reply("257 \"/\"\r\n");
    ScriptListing().start();
    controller.ConnectToSite(Site());
    ASSERT_TRUE(WaitBrowsing()) << server.failure();
    EXPECT_TRUE(Logged("Error 502 SYST not implemented"));
    EXPECT_EQ(Captions().size(), 2u);
}

class Reconnect : public Session, public ::testing::WithParamInterface<int> {};

TEST_P(Reconnect, ServerClosingBeforeTheGreetingIsRetriedAsTheOptionSays) {
    const int retry = GetParam();
    options.retry = retry;
    // Every connection is closed before a greeting.
    server.closeConnection();
    for (int i = 0; i < retry + 1; ++i)
        server.accept().closeConnection();
    server.start();
    QSignalSpy modes(&controller, &TSessionController::ServerListModeChanged);
    controller.ConnectToSite(Site());
    ASSERT_TRUE(WaitIdle(10000));
    ProcessEventsFor(100);
    EXPECT_EQ(controller.SessionState(), TSessionState::Idle);

    Lines attempts;
    for (const std::string& line : LogLines()) {
        if (line.starts_with("Connecting to 127.0.0.1 [Attempt"))
            attempts.push_back(line);
    }
    Lines expected;
    for (int n = 2; retry > 0 && n <= retry + 2; ++n)
        expected.push_back("Connecting to 127.0.0.1 [Attempt " + std::to_string(n) + "]");
    EXPECT_EQ(attempts, expected);
    EXPECT_TRUE(controller.ServerListMode());
    EXPECT_FALSE(controller.ConnectedCommands());
    EXPECT_EQ(modes.count(), 0) << "the pane never left the site list";
    EXPECT_TRUE(Logged("421 Connection closed by server"));
}

INSTANTIATE_TEST_SUITE_P(Retries, Reconnect, ::testing::Values(0, 2));

TEST_F(Session, RefusedConnectionReturnsToTheSiteList) {
    TFTPServerInfo site = Site();
    site.Port = std::to_string(ScriptedFtpServer::FreeClosedPort());
    controller.ConnectToSite(site);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Logged("500 Connection refused (Winsock error #10061)"));
    EXPECT_FALSE(controller.ConnectedCommands());
}

TEST_F(Session, FailedLoginIsLoggedAndEndsTheSession) {
    server.send(kGreeting).reply("331 Password required\r\n").reply("530 Login incorrect\r\n");
    server.start();
    QSignalSpy modes(&controller, &TSessionController::ServerListModeChanged);
    controller.ConnectToSite(Site());
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Logged("530 Login incorrect"));
    EXPECT_TRUE(controller.ServerListMode());
    ASSERT_EQ(modes.count(), 2) << "connected mode on the greeting, the site list after";
    EXPECT_TRUE(modes[1][0].toBool());
    EXPECT_EQ(controller.RemoteView().SortKey(), 1);
}

TEST_F(Session, StopDuringNameResolutionAbortsAtOnce) {
    TFTPServerInfo site = Site();
    site.Server = "localhost";
    options.retry = 3;
    controller.ConnectToSite(site);
    ASSERT_EQ(ftp.State(), TFtpState::ftpDnsLookup);
    controller.sbStopClick();
    EXPECT_EQ(ftp.State(), TFtpState::ftpReady);
    ASSERT_TRUE(WaitIdle());
    ProcessEventsFor(100);
    EXPECT_EQ(controller.SessionState(), TSessionState::Idle) << "a stopped connect is not retried";
    EXPECT_TRUE(Logged("500 Interrupted system call (Winsock error #10004)"));
}

TEST_F(Session, StopDuringATransferSetsTheRequestThatAbortsProgress) {
    controller.SetTransferModeFlags(session::DownloadWalk | session::UploadWalk);
    controller.sbStopClick();
    EXPECT_TRUE(controller.StopRequest());
    EXPECT_EQ(controller.TransferModeFlags(), 0u);
    bool abort = false;
    ftp.OnProgress(&ftp, 10, abort);
    EXPECT_TRUE(abort);
    controller.SetConnectedState();
    EXPECT_FALSE(controller.StopRequest());
}

// A browsing session on the scripted server at "/".
class Browsing : public Session {
protected:
    void Connect() {
        server.start();
        controller.ConnectToSite(Site());
        ASSERT_TRUE(WaitBrowsing()) << server.failure();
        loginCommands = server.received().size();
    }
    Lines Since() const {
        const Lines all = server.received();
        return Lines(all.begin() + static_cast<long>(loginCommands), all.end());
    }
    // Waits for a new listing after the current one.
    bool WaitListed(std::size_t commands) {
        return ProcessEventsUntil([&] {
            return server.received().size() >= loginCommands + commands &&
                   controller.SessionState() == TSessionState::Browsing;
        });
    }
    std::size_t loginCommands = 0;
};

TEST_F(Browsing, DoubleClickOnAFolderEntersAndListsIt) {
    ScriptLogin().reply("257 \"/\"\r\n");
    ScriptListing();
    server.reply("250 OK\r\n");
    ScriptListing("-rw-r--r--   1 ftp ftp 5 Jan 10 12:00 inner.txt\r\n");
    Connect();
    const Lines captions = Captions();
    const auto folder = std::find(captions.begin(), captions.end(), "incoming") - captions.begin();
    const auto file = std::find(captions.begin(), captions.end(), "readme.txt") - captions.begin();
    controller.FTPViewDblClick(static_cast<int>(file));
    EXPECT_EQ(server.received().size(), loginCommands) << "a file is not entered";
    controller.FTPViewDblClick(static_cast<int>(folder));
    ASSERT_TRUE(WaitListed(4)) << server.failure();
    EXPECT_EQ(Since(), (Lines{"CWD /incoming", "TYPE A", "PASV", "LIST"}));
    EXPECT_EQ(Captions(), Lines{"inner.txt"});
    EXPECT_EQ(controller.RemoteView().PathBox().items,
              (Lines{"SERVER LIST ...", "127.0.0.1", "incoming"}));
}

TEST_F(Browsing, FailedCwdGoesBackToTheStartDirectory) {
    ScriptLogin().reply("257 \"/\"\r\n");
    ScriptListing();
    server.reply("550 No such directory\r\n").reply("200 Type set to A\r\n");
    server.reply("257 \"/\"\r\n");
    ScriptListing();
    Connect();
    controller.SetHostDirName("/missing");
    controller.CwdAsync();
    ASSERT_TRUE(WaitListed(6)) << server.failure();
    EXPECT_EQ(Since(), (Lines{"CWD /missing", "TYPE A", "PWD", "TYPE A", "PASV", "LIST"}));
    EXPECT_EQ(ftp.HostDirName, "/");
    EXPECT_EQ(steps.calls, Lines{"CloseProgress"});
}

TEST_F(Browsing, PathBoxHostItemGoesToTheRootAndServerListDisconnects) {
    server.send(kGreeting)
        .reply("331 Password required\r\n")
        .reply("230 Logged in\r\n")
        .reply("215 UNIX Type: L8\r\n")
        .reply("250 OK\r\n");
    ScriptListing();
    server.reply("250 OK\r\n");
    ScriptListing();
    TFTPServerInfo site = Site();
    site.InitialDir = "/pub/linux";
    server.start();
    controller.ConnectToSite(site);
    ASSERT_TRUE(WaitBrowsing()) << server.failure();
    loginCommands = server.received().size();

    controller.RemoteView().FTPPathChange(1);
    ASSERT_TRUE(WaitListed(4)) << server.failure();
    EXPECT_EQ(Since()[0], "CWD /");

    QSignalSpy modes(&controller, &TSessionController::ServerListModeChanged);
    controller.RemoteView().FTPPathChange(0);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(controller.ServerListMode());
    EXPECT_FALSE(ftp.Connected());
    EXPECT_FALSE(controller.WaitCursor());
    ASSERT_EQ(modes.count(), 1);
    EXPECT_TRUE(modes[0][0].toBool());
    EXPECT_TRUE(controller.RemoteView().Items().empty());
}

TEST_F(Browsing, UpOneLevelFromPubSendsCdup) {
    ScriptLogin().reply("250 OK\r\n");
    ScriptListing();
    server.reply("250 OK\r\n");
    ScriptListing();
    TFTPServerInfo site = Site();
    site.InitialDir = "/pub";
    server.start();
    controller.ConnectToSite(site);
    ASSERT_TRUE(WaitBrowsing()) << server.failure();
    loginCommands = server.received().size();
    controller.RemoteView().FTPOneLevelUpClick();
    ASSERT_TRUE(WaitListed(4)) << server.failure();
    EXPECT_EQ(Since(), (Lines{"CDUP", "TYPE A", "PASV", "LIST"}));
    EXPECT_EQ(ftp.HostDirName, "/");
}

TEST_F(Session, UpOneLevelFromAVirtualHostsHomeAsksPwd) {
    ScriptLogin().reply("250 OK\r\n");
    ScriptListing();
    server.reply("257 \"/home/anna\"\r\n");
    ScriptListing();
    server.start();
    TFTPServerInfo site = Site();
    site.InitialDir = "/www";
    site.CheckVHost = 1;
    controller.ConnectToSite(site);
    ASSERT_TRUE(WaitBrowsing()) << server.failure();
    EXPECT_EQ(server.received()[3], "CWD www/") << "paths on a virtual host are relative";
    const std::size_t before = server.received().size();
    controller.RemoteView().FTPOneLevelUpClick();
    ASSERT_TRUE(ProcessEventsUntil([&] {
        return server.received().size() >= before + 4 &&
               controller.SessionState() == TSessionState::Browsing;
    })) << server.failure();
    EXPECT_EQ(server.received()[before], "PWD");
    EXPECT_EQ(ftp.HostDirName, "/home/anna");
}

TEST_F(Browsing, KeepAliveCommandIsFollowedByCwdAndANewListing) {
    options.Keep = true;
    options.CmdKeep = "NOOP";
    options.StartKeep = 2;
    controller.SetKeepAliveTick(20ms);
    ScriptLogin().reply("257 \"/\"\r\n");
    ScriptListing();
    server.reply("200 NOOP ok\r\n").reply("250 OK\r\n");
    ScriptListing("-rw-r--r--   1 ftp ftp 5 Jan 10 12:00 fresh.txt\r\n");
    Connect();
    EXPECT_TRUE(controller.KeepAliveRunning());
    ASSERT_TRUE(WaitListed(5)) << server.failure();
    EXPECT_EQ(Since(), (Lines{"NOOP", "CWD /", "TYPE A", "PASV", "LIST"}));
    EXPECT_EQ(Captions(), Lines{"fresh.txt"});
    EXPECT_EQ(controller.KeepAliveCount(), 1);
    EXPECT_TRUE(controller.KeepAliveRunning()) << "re-armed after the listing";
}

TEST_F(Browsing, KeepAliveStopsAfterItsDuration) {
    options.Keep = true;
    options.CmdKeep = "NOOP";
    options.StartKeep = 1000; // never due within the duration
    options.DurationKeep = 1; // one minute: 60 ticks
    controller.SetKeepAliveTick(1ms);
    ScriptLogin().reply("257 \"/\"\r\n");
    ScriptListing();
    Connect();
    ASSERT_TRUE(controller.KeepAliveRunning());
    ASSERT_TRUE(ProcessEventsUntil([&] { return !controller.KeepAliveRunning(); }, 3000));
    EXPECT_EQ(controller.KeepAliveCount(), 0);
}

TEST_F(Browsing, KeepAliveIsNotArmedWithoutCommands) {
    options.Keep = true;
    options.CmdKeep = "";
    ScriptLogin().reply("257 \"/\"\r\n");
    ScriptListing();
    Connect();
    EXPECT_FALSE(controller.KeepAliveRunning());
}

TEST_F(Browsing, EnablementAtStartConnectedAndAfterDisconnect) {
    EXPECT_FALSE(controller.ConnectedCommands());
    ScriptLogin().reply("257 \"/\"\r\n");
    ScriptListing();
    Connect();
    EXPECT_TRUE(controller.ConnectedCommands());
    QSignalSpy cursor(&controller, &TSessionController::WaitCursorChanged);
    controller.sbDisConnectClick();
    ASSERT_TRUE(WaitIdle());
    EXPECT_FALSE(controller.ConnectedCommands());
    EXPECT_TRUE(controller.ServerListMode());
    ASSERT_EQ(cursor.count(), 2) << "the wait cursor shows, then the default returns";
    EXPECT_TRUE(cursor[0][0].toBool());
    EXPECT_FALSE(cursor[1][0].toBool());
}

TEST_F(Browsing, DownloadWalkListingGoesToTheTransferSteps) {
    ScriptLogin().reply("257 \"/\"\r\n");
    ScriptListing();
    server.reply("250 OK\r\n");
    ScriptListing();
    Connect();
    controller.SetTransferModeFlags(session::DownloadWalk);
    controller.SetHostDirName("/incoming");
    controller.CwdAsync();
    ASSERT_TRUE(ProcessEventsUntil([&] { return steps.calls.size() >= 2; })) << server.failure();
    EXPECT_EQ(steps.calls, (Lines{"AddDownloadFolder", "DownloadStep"}));
    EXPECT_EQ(Captions().size(), 2u) << "the pane still shows the previous listing";
}

TEST_F(Browsing, RefusedRequestIsLoggedNotThrown) {
    ScriptLogin().reply("257 \"/\"\r\n");
    ScriptListing();
    Connect();
    controller.SetHostDirName("");
    controller.CwdAsync();
    EXPECT_TRUE(Logged("Error HostDirName emtpy"));
}

} // namespace
