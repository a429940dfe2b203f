// The remote pane filled from real servers name for name: through MLSD where
// the server offers it, through LIST where it does not or the site says so.
#include "prefs/Options.h"
#include "prefs/PrefsTestSupport.h"
#include "session/SessionController.h"
#include "session/SessionLog.h"
#include "session/SessionRig.h"
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

// A binary download shorter than the listing says is an error, never a
// success; a listing whose size column counts no bytes is not held against it.
TEST(DownloadSizeCheck, ShortDownloadFailsWhereTheListingCountsBytes) {
    struct Row {
        const char* name;
        const char* answer; // the site's listing layout
        const char* listing;
        bool failed;
    };
    const Row rows[]{
        {"unix-listing-names-5-bytes", "", "-rw-r--r-- 1 ftp ftp 5 Jan 10 12:00 a.bin\r\n", true},
        {"custom-layout-size-column-is-no-byte-count", "4956781",
         "-rw-r--r-- 1 ftp ftp 5 Jan 10 12:00 a.bin\r\n", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sessiontest::Rig rig;
        transfer::TransferQueue queue{rig.ftp,     rig.controller, rig.controller.Chain(),
                                      rig.prompts, rig.options,    std::chrono::year_month_day{}};
        rig.controller.SetTransferQueue(&queue);
        rig.Login();
        rig.Listing(row.listing);
        rig.server.reply("200 Type set to I\r\n").replyPasv().acceptData();
        rig.server.reply("150 Opening\r\n").sendData("abc").closeData().send("226 Done\r\n");
        Site site = rig.ScriptedSite();
        site.Answer = row.answer;
        ASSERT_TRUE(rig.Connect(site));
        rig.controller.RemoteView().SetSelection({0});
        const std::string local = rig.dir.path().toStdString() + "/in/";
        std::filesystem::create_directories(local);
        ASSERT_TRUE(rig.controller.DownloadSelected(local));
        ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return !queue.Running(); }));
        EXPECT_EQ(rig.Logged("Error 426 Size differs: 3 bytes here, 5 on the server"), row.failed);
    }
}
