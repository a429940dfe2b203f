// The remote pane filled from real servers name for name, size for size and
// date for date: through MLSD where the server offers it, through LIST where it
// does not or the site says so.
#include "session/RealSession.h"

namespace {

using namespace realsession;

TEST(MachineListingSession, PaneShowsEveryServedNameExactly) {
    struct Row {
        const char* name;
        Kind kind;
        const char* listingCommand; // the site's setting
        bool machine;               // MLSD expected
        Lines names;
        const char* listenOn = "127.0.0.1";
        const char* server = "127.0.0.1"; // as the user types it
        bool passive = true;
    };
    const Lines exact{" lead", "trail ",  "a -> b", "\xc3\xa6\xc3\xb8\xc3\xa5.txt",
                      "plain", "folder x"};
    // The names LIST carries exactly: none with a leading blank or " -> ".
    const Lines listed{"trail ", "\xc3\xa6\xc3\xb8\xc3\xa5.txt", "plain", "folder x"};
    const Row rows[]{
        {"pyftpdlib-offers-mlsd", Kind::Pyftpdlib, "", true, exact},
        {"ipv6-literal-in-brackets", Kind::Pyftpdlib, "", true, exact, "::1", "[::1]"},
        {"ipv6-active-mode-sends-eprt", Kind::Pyftpdlib, "", true, {"plain"}, "::1", "::1", false},
        {"site-keeps-to-list", Kind::Pyftpdlib, "LIST", false, listed},
        {"vsftpd-has-no-mlsd", Kind::Vsftpd, "", false, listed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RealSession s(row.kind);
        s.server.listenOn(row.listenOn);
        CORVANE_START_REAL_FTP(s.server);
        // An old noon (UTC): LIST names the year, MLSD the time.
        const std::chrono::sys_seconds noon =
            std::chrono::sys_days(std::chrono::year{2019} / 3 / 15) + std::chrono::hours{12};
        for (const std::string& name : row.names) {
            if (name.starts_with("folder"))
                fs::create_directory(s.OnServer(name));
            else
                WriteFile(s.OnServer(name), name);
            fs::last_write_time(s.OnServer(name), std::chrono::file_clock::from_sys(noon));
        }
        Site site = s.AccountSite(row.passive);
        site.Server = row.server;
        site.ListingCommand = row.listingCommand;
        ASSERT_TRUE(s.Connect(site));
        EXPECT_EQ(s.ftp.MachineListings, row.machine);
        EXPECT_EQ(s.ftp.Passive(), row.passive);
        Lines shown;
        for (const remote::RemoteItem& item : s.controller.RemoteView().Items()) {
            shown.push_back(item.caption);
            EXPECT_EQ(s.controller.RemoteView().DateText(item), "15.03.2019") << item.caption;
            EXPECT_EQ(item.Time(), row.machine ? "12:00" : "") << item.caption;
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
