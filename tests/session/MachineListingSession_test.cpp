// The remote pane filled from real servers name for name: through MLSD where
// the server offers it, through LIST where it does not or the site says so.
#include "prefs/Options.h"
#include "prefs/PrefsTestSupport.h"
#include "session/SessionController.h"
#include "session/SessionLog.h"
#include "support/EventLoop.h"
#include "support/RealFtpServer.h"
#include "support/ScriptedPrompts.h"

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using testsupport::RealFtpServer;
using Lines = std::vector<std::string>;

struct Session {
    Session() { options = DefaultOptions(folder, ::getpid()); }

    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/";
    Options options;
    session::SessionLog log{folder};
    ScriptedPrompts prompts;
    FtpClient ftp;
    session::SessionController controller{ftp, log, prompts, options,
                                          std::chrono::year_month_day{2026y / 12 / 7}};
};

TEST(MachineListingSession, PaneShowsEveryServedNameExactly) {
    struct Row {
        const char* name;
        RealFtpServer::Kind kind;
        const char* listingCommand; // the site's setting
        bool machine;               // MLSD expected
        Lines names;
        const char* listenOn = "127.0.0.1";
        const char* server = "127.0.0.1"; // as the user types it
        bool passive = true;
    };
    const Lines exact{" lead", "trail ",  "a -> b", "\xc3\xa6\xc3\xb8\xc3\xa5.txt",
                      "plain", "folder x"};
    const Row rows[]{
        {"pyftpdlib-offers-mlsd", RealFtpServer::Kind::Pyftpdlib, "", true, exact},
        {"ipv6-literal-in-brackets", RealFtpServer::Kind::Pyftpdlib, "", true, exact, "::1",
         "[::1]"},
        {"bare-ipv6-literal-and-list",
         RealFtpServer::Kind::Pyftpdlib,
         "LIST",
         false,
         {"plain"},
         "::1",
         "::1"},
        {"ipv6-active-mode-sends-eprt",
         RealFtpServer::Kind::Pyftpdlib,
         "",
         true,
         {"plain"},
         "::1",
         "::1",
         false},
        {"site-keeps-to-list",
         RealFtpServer::Kind::Pyftpdlib,
         "LIST",
         false,
         {"trail ", "\xc3\xa6\xc3\xb8\xc3\xa5.txt", "plain", "folder x"}},
        {"vsftpd-has-no-mlsd",
         RealFtpServer::Kind::Vsftpd,
         "",
         false,
         {"trail ", "\xc3\xa6\xc3\xb8\xc3\xa5.txt", "plain", "folder x"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RealFtpServer server(row.kind);
        server.listenOn(row.listenOn);
        CORVANE_START_REAL_FTP(server);
        for (const std::string& name : row.names) {
            if (name.starts_with("folder"))
                std::filesystem::create_directory(server.root() + "/" + name);
            else
                std::ofstream(server.root() + "/" + name) << name;
        }
        Session s;
        Site site;
        site.Server = row.server;
        site.Port = server.portText();
        site.User = server.user();
        site.Password = server.password();
        site.InitialDir = server.home();
        site.Pasv = row.passive ? 1 : 0;
        site.ListingCommand = row.listingCommand;
        s.controller.ConnectToSite(site);
        ASSERT_TRUE(testsupport::ProcessEventsUntil(
            [&] { return s.controller.SessionState() == session::SessionState::Browsing; }, 10000));
        EXPECT_EQ(s.ftp.MachineListings, row.machine);
        EXPECT_EQ(s.ftp.Passive(), row.passive);
        Lines shown;
        for (const remote::RemoteItem& item : s.controller.RemoteView().Items()) {
            shown.push_back(item.caption);
            if (item.caption != "folder x") {
                EXPECT_EQ(std::string(item.size), std::to_string(item.caption.size()));
            }
        }
        Lines expected = row.names;
        std::sort(shown.begin(), shown.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(shown, expected);
    }
}

} // namespace
