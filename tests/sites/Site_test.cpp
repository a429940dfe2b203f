#include "prefs/Options.h"
#include "sites/Site.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

// The "Password=" field as another installation writes it: the password
// exclusive-or the key byte.
std::string Scrambled(const std::string& password) {
    std::string out = password;
    for (char& c : out)
        c = static_cast<char>(static_cast<unsigned char>(c) ^ PasswordKey);
    return out;
}

Site Parsed(const std::string& line) {
    Site site;
    EXPECT_TRUE(ParseSiteLine(line, site)) << line;
    return site;
}

TEST(SiteLineTest, ADefaultSiteIsWrittenWithItsFlagsAndNoEmptyText) {
    const std::string flags = "Port=21;User=anonymous;Anonymous=0;SavePassword=1;Pasv=0;"
                              "Answer=0957681;AnswerName=Default;CheckPSW=1;CheckVHost=0;";
    const std::pair<const char*, std::string> rows[] = {
        {"Mirror", "Name=Mirror;Server=ftp.example.org;" + flags},
        {"", "Server=ftp.example.org;" + flags}, // no "Name=" and no "Password="
    };
    for (const auto& [name, line] : rows) {
        const Site site{.Name = name, .Server = "ftp.example.org"};
        EXPECT_EQ(FormatSiteLine(site), line);
        EXPECT_EQ(Parsed(line), site);
    }
}

// The texts neither the default line nor the other rows write and read back.
TEST(SiteLineTest, TheOtherTextsSurviveARoundTrip) {
    const Site site{.Password = "s3cret!",
                    .LocalDir = "/home/joe/work",
                    .InitialDir = "/pub/",
                    .ModifiedDate = "12.03.2004",
                    .EMail = "joe@example.org"};
    const std::string line = FormatSiteLine(site);
    EXPECT_EQ(line.find("s3cret"), std::string::npos) << "the password is scrambled";
    EXPECT_EQ(Parsed(line), site);
}

// Each row: a line and the site's "Name|Password|AnswerName".
TEST(SiteLineTest, KeysAreFoundOnlyAtTheStartOfAField) {
    const std::pair<std::string, std::string> rows[] = {
        // No "Password=": the value of "SavePassword=" is not a password.
        {"Name=a;SavePassword=1;", "a||Default"},
        // No "Name=": "AnswerName=" does not give the name.
        {"Server=h;AnswerName=Unix;", "||Unix"},
        {"SavePassword=0;Password=" + Scrambled("pw") + ";", "|pw|Default"},
        // Written by another installation: scrambled, or in hexadecimal when that would
        // break the line; a broken hexadecimal field leaves the plain one in charge.
        {"Name=x;Password=" + Scrambled("hunter2") + ";User=joe;", "x|hunter2|Default"},
        {"Password=" + Scrambled("a") + ";PasswordHex=3b;", "|\xCD|Default"},
        {"Password=" + Scrambled("a") + ";PasswordHex=3;", "|a|Default"},
    };
    for (const auto& [line, expected] : rows) {
        const Site site = Parsed(line);
        EXPECT_EQ(site.Name + '|' + site.Password + '|' + site.AnswerName, expected) << line;
    }
}

TEST(SiteLineTest, ALineWithoutAKnownKeyIsNoSite) {
    const char* rows[] = {
        "",
        "# Name=x;Server=h;",
        "  ; the old server:",
        ";Name=x;Server=h;", // a site commented out
        "Host=h;Proto=sftp;",
        "name=x;server=h;", // keys are case-sensitive
    };
    for (const char* line : rows) {
        Site site{.Name = "kept"};
        EXPECT_FALSE(ParseSiteLine(line, site)) << line;
        EXPECT_EQ(site.Name, "kept") << line;
    }
}

// Each row: a line with fields of a newer version; a save gives them back
// after the known field they followed.
TEST(SiteLineTest, UnknownFieldsComeBackWhereTheyStood) {
    const std::string tail = "Anonymous=0;SavePassword=1;Pasv=0;Answer=0957681;"
                             "AnswerName=Default;CheckPSW=1;CheckVHost=0;";
    const struct {
        const char* name;
        std::string line;
        std::string written;
    } rows[] = {
        {"first", "Version=3;Name=a;Port=21;User=u;" + tail, ""},
        {"between-known", "Name=a;Port=21;Tls=explicit;Cert=AB:CD;User=u;" + tail, ""},
        {"after-hex-password", "Name=a;Port=21;PasswordHex=3B;Vault=1;User=u;" + tail, ""},
        {"text-after-a-semicolon-in-a-value",
         "Name=a;Port=21;User=u;Anonymous=0;Desc=x; y;" + tail.substr(tail.find("SavePassword")),
         "Name=a;Port=21;User=u;Anonymous=0;SavePassword=1;Pasv=0;Desc=x; y;" +
             tail.substr(tail.find("Answer="))},
        {"after-a-field-not-written", "Name=a;Port=;Tls=1;User=u;" + tail,
         "Name=a;Tls=1;User=u;" + tail},
        {"reordered-by-hand", "User=u;Tls=1;Name=a;Port=21;" + tail,
         "Name=a;Port=21;User=u;Tls=1;" + tail},
        {"no-final-semicolon", "Name=a;Port=21;User=u;" + tail + "Tls=1",
         "Name=a;Port=21;User=u;" + tail + "Tls=1;"},
        {"blank-fields-dropped", "Name=a;;  ;Port=21;User=u;" + tail,
         "Name=a;Port=21;User=u;" + tail},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FormatSiteLine(Parsed(row.line)), row.written.empty() ? row.line : row.written);
    }
}

TEST(SiteLineTest, FlagsAreBytesWithAFallbackForText) {
    struct Row {
        const char* value;
        std::uint8_t anonymous, savePassword, pasv, checkPsw, checkVHost;
    } rows[] = {
        {"0", 0, 0, 0, 0, 0},   {"yes", 1, 1, 0, 1, 0}, {"255", 255, 255, 255, 255, 255},
        {"256", 1, 1, 1, 1, 1}, {"-1", 1, 1, 1, 1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        const std::string v = row.value;
        const Site site = Parsed("Anonymous=" + v + ";SavePassword=" + v + ";Pasv=" + v +
                                 ";CheckPSW=" + v + ";CheckVHost=" + v + ";");
        EXPECT_EQ(site.Anonymous, row.anonymous);
        EXPECT_EQ(site.SavePassword, row.savePassword);
        EXPECT_EQ(site.Pasv, row.pasv);
        EXPECT_EQ(site.CheckPSW, row.checkPsw);
        EXPECT_EQ(site.CheckVHost, row.checkVHost);
    }
    Site two;
    two.Pasv = 2;
    EXPECT_NE(FormatSiteLine(two).find(";Pasv=2;"), std::string::npos);
}

TEST(SiteLineTest, TextsAreCutToTheirCapacityInCharacters) {
    const std::string accented = "\xC3\xA9"; // one character, two bytes
    std::string longName;
    for (int i = 0; i < 60; ++i)
        longName += accented;
    const Site site =
        Parsed("Name=" + longName + ";Answer=12345678;EMail=" + std::string(70, 'm') +
               ";Description=" + std::string(250, 'd') + ";Server=" + std::string(300, 's'));
    EXPECT_EQ(site.Name, longName.substr(0, 100));
    EXPECT_EQ(site.Answer, "1234567");
    EXPECT_EQ(site.EMail, std::string(60, 'm'));
    EXPECT_EQ(site.Description, std::string(200, 'd'));
    EXPECT_EQ(site.Server, std::string(300, 's')) << "the server has no capacity";
    // An older file's 8-bit text is cut by bytes.
    EXPECT_EQ(Parsed("Name=" + std::string(55, '\xE9') + ";").Name, std::string(50, '\xE9'));
}

TEST(SiteLineTest, ASemicolonEndsAValueAndCannotStartAField) {
    const Site site{.Name = "a;Server=evil.example",
                    .Server = "good.example",
                    .Account = "x\r\nName=injected",
                    .Description = "before;after",
                    .Desc = "line one`line; two`three"};
    const Site back = Parsed(FormatSiteLine(site));
    EXPECT_EQ(back.Name, "a");
    EXPECT_EQ(back.Server, "good.example");
    EXPECT_EQ(back.Desc, "line one`line");
    EXPECT_EQ(back.Description, "before");
    EXPECT_EQ(back.Account, "x");
    EXPECT_EQ(FormatSiteLine(site).find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(StoredSite(site), back);
}

TEST(SiteLineTest, NoPasswordIsLostOrCut) {
    const struct {
        const char* password;
        const char* hex; // the hexadecimal field written when the plain one would break the line
    } rows[] = {
        {" semi;colon ", nullptr},
        {"\xCD\xBE", ";PasswordHex=3B48;"},       // U+037E: scrambles into ";"
        {"line\r\nbreak", nullptr},               // never typed, still kept
        {"\xFB\xFC\xCD", ";PasswordHex=0D0A3B;"}, // scrambles into LF, CR, ";"
        {"\xFB", ";PasswordHex=0D;"},             // scrambles into CR alone
        {"\xF6\xF6", nullptr},                    // scrambles into NUL bytes
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.password);
        const Site site{.Name = "n", .Password = row.password, .User = "u"};
        const std::string line = FormatSiteLine(site);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
        if (row.hex) {
            EXPECT_NE(line.find(row.hex), std::string::npos) << line;
            EXPECT_EQ(line.find(";Password="), std::string::npos) << line;
        } else {
            EXPECT_EQ(line.find("PasswordHex="), std::string::npos) << line;
        }
        const Site back = Parsed(line);
        EXPECT_EQ(back.Password, row.password);
        EXPECT_EQ(back.User, "u");
    }
}

TEST(SiteRecordTest, ANewSiteTakesTheAnonymousAddressOnlyWhenAsked) {
    Options options;
    options.Anonymous = "guest@example.org" + std::string(60, 'x');
    EXPECT_EQ(NewSiteRecord(options).EMail, "");
    options.MailAno = true;
    EXPECT_EQ(NewSiteRecord(options).EMail, options.Anonymous.substr(0, 60));
}

// A field an older list lacks keeps the meaning it had before the field came;
// only a new site takes the new default (passive, TLS when offered).
TEST(SiteRecordTest, MissingFieldsKeepTheOldMeaningNewSitesTheNewDefaults) {
    using enum SiteEncryption;
    struct Row {
        const char* name;
        std::optional<std::string> line; // nothing: a new site
        std::uint8_t pasv;
        SiteEncryption encryption;
    };
    const Row rows[]{
        {"a new site", std::nullopt, 1, ExplicitIfOffered},
        {"older list", "Name=a;Server=h;", 0, Plain},
        {"stored active, if offered", "Name=a;Server=h;Pasv=0;Encryption=auto;", 0,
         ExplicitIfOffered},
        {"stored passive, implicit with a trusted certificate",
         "Name=a;Server=h;Pasv=1;Encryption=implicit;TlsFingerprint=AB:CD;", 1, Implicit},
        {"a value of a newer version asks for TLS", "Name=a;Server=h;Encryption=tls13-only;", 0,
         Explicit},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Site site = row.line ? Parsed(*row.line) : NewSiteRecord(Options{});
        EXPECT_EQ(site.Pasv, row.pasv);
        EXPECT_EQ(EncryptionOf(site), row.encryption);
        EXPECT_EQ(Parsed(FormatSiteLine(site)), site);
        EXPECT_EQ(FormatSiteLine(site).find("Encryption=") == std::string::npos,
                  row.encryption == Plain);
    }
    EXPECT_EQ(EmptySiteRecord().Pasv, 0) << "Properties on nothing edits an empty record";
}

} // namespace
