#include "prefs/IniFile.h"
#include "prefs/Options.h"
#include "sites/QuickConnect.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

// A site as "server:port/dir user/password e-mail anonymous,savePassword,pasv
// encryption".
std::string Summary(const Site& s) {
    return s.Server + ":" + s.Port + s.InitialDir + " " + s.User + "/" + s.Password + " " +
           s.EMail + " " + std::to_string(s.Anonymous) + std::to_string(s.SavePassword) +
           std::to_string(s.Pasv) + " " + s.Encryption;
}

TEST(QuickConnect, EntriesBecomeAOneOffSite) {
    Options options;
    options.Anonymous = "me@example.org";
    const std::string anonymous = " anonymous/ me@example.org 111 ";
    const std::string notAddress = "The host is not a name or address we can connect to.";
    const struct {
        const char* name;
        QuickConnectEntries entries;
        std::string expected; // the site's summary, or the problem told
    } rows[] = {
        {"user and password",
         {" ftp.example ", "anna", "pw", "2121"},
         "ftp.example:2121 anna/pw  011 auto"},
        {"no port is 21", {"h", "anna", "pw", ""}, "h:21 anna/pw  011 auto"},
        {"no password: asked when connecting", {"h", "anna", "", ""}, "h:21 anna/  001 auto"},
        {"no user: anonymous, the settings' address",
         {"h", "", "", ""},
         "h:21" + anonymous + "auto"},
        {"no user, a password: that is the address",
         {"h", "", "x@y", ""},
         "h:21 anonymous/x@y x@y 111 auto"},
        {"no host", {"  ", "anna", "pw", "21"}, "Enter the host to connect to."},
        {"port not a number", {"h", "", "", "21a"}, "The port must be a number from 1 to 65535."},
        {"port out of range", {"h", "", "", "70000"}, "The port must be a number from 1 to 65535."},
        {"ftps: implicit TLS on 990", {"FTPS://h", "", "", ""}, "h:990" + anonymous + "implicit"},
        {"ftpes: explicit TLS required",
         {"ftpes://h", "", "", ""},
         "h:21" + anonymous + "explicit"},
        {"the address's user, password, port and folder",
         {"ftps://anna:p@ss@h:2121/pub/x", "", "", ""},
         "h:2121/pub/x anna/p@ss  011 implicit"},
        {"boxes win over the address",
         {"bob:x@h:2121", "anna", "pw", "21"},
         "h:21 anna/pw  011 auto"},
        {"IPv6 in brackets with a port",
         {"[::1]:2121", "", "", ""},
         "::1:2121" + anonymous + "auto"},
        {"bare IPv6", {" ::1 ", "", "", ""}, "::1:21" + anonymous + "auto"},
        {"unclosed bracket", {"[::1", "", "", ""}, notAddress},
        {"port in the address out of range", {"h:70000", "", "", ""}, notAddress},
        {"blank inside", {"ftp.exa mple", "", "", ""}, notAddress},
        {"scheme but no host", {"ftps://", "", "", ""}, "Enter the host to connect to."},
        {"another scheme",
         {"sftp://h", "", "", ""},
         "Only ftp://, ftps:// and ftpes:// addresses can be opened."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string problem = QuickConnectProblem(row.entries);
        EXPECT_EQ(problem.empty() ? Summary(QuickConnectSite(row.entries, options)) : problem,
                  row.expected);
    }
    EXPECT_EQ(QuickConnectDefaultPort("ftps://h"), "990") << "the bar's hint";
}

TEST(QuickConnect, TheLastEntriesAreKeptThePasswordOnlyWhenAsked) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    const std::string options = folder + OptionsFileName;
    std::ofstream(options) << "[Common]\r\nTimeOut=40\r\n";
    const struct {
        const char* name;
        QuickConnectEntries saved;
        QuickConnectEntries loaded;
    } rows[] = {
        {"password not asked for",
         {"h", "anna", "secret", "2121", false},
         {"h", "anna", "", "2121", false}},
        {"password asked for",
         {"h", "anna", "se;cr=et", "", true},
         {"h", "anna", "se;cr=et", "", true}},
        {"asked no more: wiped", {"h", "anna", "secret", "", false}, {"h", "anna", "", "", false}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(SaveQuickConnect(folder, row.saved));
        EXPECT_EQ(LoadQuickConnect(folder), row.loaded);
        std::stringstream text;
        text << std::ifstream(options).rdbuf();
        EXPECT_EQ(text.str().find("PasswordHex=\r\n") != std::string::npos,
                  !row.loaded.RememberPassword)
            << text.str();
        EXPECT_EQ(text.str().find("secret"), std::string::npos) << "never in plain text";
    }
    EXPECT_EQ(IniFile(options).ReadInteger("Common", "TimeOut", 0), 40) << "the rest stays";
    EXPECT_EQ(LoadQuickConnect(folder + "missing/"), QuickConnectEntries{});
}

} // namespace
