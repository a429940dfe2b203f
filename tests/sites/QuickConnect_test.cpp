#include "prefs/IniFile.h"
#include "prefs/Options.h"
#include "sites/QuickConnect.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

TEST(QuickConnect, EntriesBecomeAOneOffSite) {
    Options options;
    options.Anonymous = "me@example.org";
    const struct {
        const char* name;
        QuickConnectEntries entries;
        std::string problem;
        std::string server, port, user, password, email;
        bool anonymous, savePassword;
    } rows[] = {
        {"user and password",
         {" ftp.example ", "anna", "pw", "2121", false},
         "",
         "ftp.example",
         "2121",
         "anna",
         "pw",
         "",
         false,
         true},
        {"no port is 21",
         {"h", "anna", "pw", "", false},
         "",
         "h",
         "21",
         "anna",
         "pw",
         "",
         false,
         true},
        {"no password: asked when connecting",
         {"h", "anna", "", "", false},
         "",
         "h",
         "21",
         "anna",
         "",
         "",
         false,
         false},
        {"no user: anonymous with the settings' address",
         {"h", "", "", "", false},
         "",
         "h",
         "21",
         "anonymous",
         "",
         "me@example.org",
         true,
         true},
        {"no user, a password: that is the address",
         {"h", "", "x@y", "", false},
         "",
         "h",
         "21",
         "anonymous",
         "x@y",
         "x@y",
         true,
         true},
        {"no host",
         {"  ", "anna", "pw", "21", false},
         "Enter the host to connect to.",
         "",
         "",
         "",
         "",
         "",
         false,
         false},
        {"port not a number",
         {"h", "", "", "21a", false},
         "The port must be a number from 1 to 65535.",
         "",
         "",
         "",
         "",
         "",
         false,
         false},
        {"port out of range",
         {"h", "", "", "70000", false},
         "The port must be a number from 1 to 65535.",
         "",
         "",
         "",
         "",
         "",
         false,
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(QuickConnectProblem(row.entries), row.problem);
        if (!row.problem.empty())
            continue;
        const Site site = QuickConnectSite(row.entries, options);
        EXPECT_EQ(site.Name, row.server);
        EXPECT_EQ(site.Server, row.server);
        EXPECT_EQ(site.Port, row.port);
        EXPECT_EQ(site.User, row.user);
        EXPECT_EQ(site.Password, row.password);
        EXPECT_EQ(site.EMail, row.email);
        EXPECT_EQ(site.Anonymous != 0, row.anonymous);
        EXPECT_EQ(site.SavePassword != 0, row.savePassword);
        EXPECT_EQ(site.Pasv, 1) << "as a new site";
    }
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
