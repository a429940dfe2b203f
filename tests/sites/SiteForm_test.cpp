#include "prefs/PrefsTestSupport.h"
#include "sites/SiteForm.h"
#include "support/ScriptedPrompts.h"

#include <gtest/gtest.h>

namespace {

using Columns = std::array<std::string, ColumnCount>;
const Columns DefaultColumns = {"9", "5", "7", "6", "8", "1"};

HostTypeList Types() {
    return {{"Default", "0957681"}, {"ProFTPD", "4123456"}, {"Odd", "4fedcba"}};
}

TEST(HostTypesTest, AnswerTxtIsReadAndWrittenAsCommaText) {
    TempFolder folder;
    EXPECT_EQ(ReadHostTypes(folder.path()), (HostTypeList{{"Default", "0957681"}}));
    WriteFile(folder.file("Answer.txt"), "");
    EXPECT_EQ(ReadHostTypes(folder.path()), (HostTypeList{{"Default", "0957681"}}));

    WriteFile(folder.file("Answer.txt"), "\"Base\",4123456\r\n"
                                         "\r\n"
                                         "\"My server\",4abcdef\r\n"
                                         "NameOnly\n"
                                         "two words\r\n"
                                         "\"Say \"\"hi\"\"\",\r\n");
    EXPECT_EQ(ReadHostTypes(folder.path()), (HostTypeList{{"Base", "0957681"},
                                                          {"My server", "4abcdef"},
                                                          {"NameOnly", "0957681"},
                                                          {"two", "words"},
                                                          {"Say \"hi\"", "0957681"}}));

    const HostTypeList types = {{"Default", "0957681"}, {"a, \"b\"", "4123456"}, {"c", "4000000"}};
    ASSERT_TRUE(WriteHostTypes(folder.path(), types));
    EXPECT_EQ(ReadFile(folder.file("Answer.txt")),
              "\"Default\",0957681\r\n\"a, \"\"b\"\"\",4123456\r\n\"c\",4000000\r\n");
    EXPECT_EQ(ReadHostTypes(folder.path()), types);
}

TEST(SiteFormTest, TheCodeOfTheSitePicksTheHostTypeAndColumns) {
    struct Row {
        const char* name;
        std::string answer;
        std::string answerName;
        int hostType;
        int customType;
        Columns columns;
    } rows[] = {
        {"01-unix", "7123456", "", 7, -1, {"1", "2", "3", "4", "5", "6"}},
        {"02-layout-0-any-columns", "0123456", "", 0, -1, DefaultColumns},
        {"03-short-keeps-its-layout", "712", "", 7, -1, DefaultColumns},
        {"05-not-a-digit", "x123456", "", 0, -1, DefaultColumns},
        {"06-odd-characters", "5Zf0A1b", "", 5, -1, {"0", "15", "0", "0", "1", "11"}},
        {"07-custom-named", "4000000", "proftpd", 4, 1, {"1", "2", "3", "4", "5", "6"}},
        {"08-custom-unknown", "4123456", "gone", 4, 0, DefaultColumns},
        {"09-custom-base", "4123456", "Default", 4, 0, DefaultColumns},
        {"10-custom-hex", "4000000", "Odd", 4, 2, {"15", "14", "13", "12", "11", "10"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Site site{.Answer = row.answer, .AnswerName = row.answerName};
        SiteForm form = FormForSite(site, Types());
        EXPECT_EQ(form.HostType, row.hostType);
        EXPECT_EQ(form.CustomType, row.customType);
        EXPECT_EQ(form.Columns, row.columns);
        EXPECT_EQ(SiteLook(form).ColumnsEnabled, row.customType > 0) << "the base keeps its own";
    }
}

TEST(SiteFormTest, SaveTrimsAndCutsTheTexts) {
    Site site{.Description = "kept", .ModifiedDate = "kept too"};
    SiteForm form = FormForSite(site, Types());
    form.Name = "  " + std::string(60, 'n') + " ";
    form.Server = " ftp.example.org ";
    form.Password = "  secret  ";
    form.LocalDir = " " + std::string(300, 'l');
    form.EMail = " " + std::string(70, 'e');
    form.DescLines = {"first", "has ` accent", ""};
    form.HostType = 9;
    form.Columns = {"16", "", "0", "15", "07", "99"}; // empty or past 15: "0"
    EXPECT_FALSE(SaveProblem(form));
    AcceptSiteForm(form, site);
    EXPECT_EQ(site.Name, std::string(50, 'n'));
    EXPECT_EQ(site.Server, "ftp.example.org");
    EXPECT_EQ(site.Password, "secret");
    EXPECT_EQ(site.LocalDir, std::string(255, 'l'));
    EXPECT_EQ(site.EMail, std::string(60, 'e'));
    EXPECT_EQ(site.Answer, "9000f70");
    EXPECT_EQ(site.AnswerName, "");
    EXPECT_EQ(site.Desc, "first`has ` accent`");
    EXPECT_EQ(site.Description, "kept");
    EXPECT_EQ(site.ModifiedDate, "kept too");
    // The accent inside a line makes two lines when shown again.
    EXPECT_EQ(FormForSite(site, Types()).DescLines,
              (std::vector<std::string>{"first", "has ", " accent"}));
}

TEST(SiteFormTest, ANameAndAServerMustBeGiven) {
    SiteForm form;
    for (const auto& [name, server] : {std::pair{"", "h"}, {"n", ""}, {"  ", "h"}, {"n", " \t"}}) {
        form.Name = name;
        form.Server = server;
        EXPECT_EQ(SaveProblem(form), "FTP Server Name must be defined") << name << '|' << server;
    }
}

TEST(SiteFormTest, DescriptionLinesAreCutAtTheSeparator) {
    using L = std::vector<std::string>;
    EXPECT_EQ(TextLines("", '`'), L{});
    EXPECT_EQ(TextLines("a``b", '`'), (L{"a", "", "b"}));
    EXPECT_EQ(TextLines("a`", '`'), L{"a"});
    EXPECT_EQ(TextLines("a``", '`'), (L{"a", ""}));
}

TEST(SiteFormTest, TheSlashBox) {
    EXPECT_EQ(SlashedDir(" pub/ ", true), "/pub/");
    EXPECT_EQ(SlashedDir("/pub", true), "/pub");
    EXPECT_EQ(SlashedDir("", true), "/");
    EXPECT_EQ(SlashedDir("/pub", false), "pub");
    EXPECT_EQ(SlashedDir("pub", false), "pub");
}

TEST(CustomTypesTest, SavingStoresTheNameAndTheCodeOfTheSelectedType) {
    TempFolder folder;
    WriteHostTypes(folder.path(), Types());
    ScriptedPrompts prompts;
    Site site;
    prompts.sites.push_back({[](SiteForm& form) {
        form.Name = "n";
        form.Server = "h";
        form.HostType = CustomHostType;
        SelectCustomType(form, 1);
        form.Columns[0] = "9";
    }});
    ASSERT_TRUE(EditSite(prompts, folder.path(), site));
    EXPECT_EQ(site.Answer, "4923456");
    EXPECT_EQ(site.AnswerName, "ProFTPD");
    EXPECT_EQ(ReadHostTypes(folder.path())[1].Code, "4923456");
}

} // namespace

namespace {

// Each row: a stored site, what the window shows, a change made there, and
// the fields saved as "encryption|listing|fingerprint|port" (or, cancelled, kept).
TEST(SiteFormTest, EncryptionPortMlsdAndTrustedCertificate) {
    using enum SiteEncryption;
    struct Row {
        const char* name;
        std::string line;
        SiteEncryption shown;
        bool shownMlsd;
        std::function<void(SiteForm&)> edit;
        bool save;
        std::string saved;
    };
    const auto choose = [](SiteEncryption e) {
        return [e](SiteForm& f) { ChooseEncryption(f, e); };
    };
    const auto none = [](SiteForm&) {};
    const Row rows[]{
        {"older line: plain", "Server=h;", Plain, true, none, true, "|||21"},
        {"implicit on 21 takes 990", "Server=h;", Plain, true, choose(Implicit), true,
         "implicit|||990"},
        {"implicit on no port takes 990", "Server=h;Port=;", Plain, true, choose(Implicit), true,
         "implicit|||990"},
        {"implicit on a typed port keeps it", "Server=h;Port=2121;", Plain, true, choose(Implicit),
         true, "implicit|||2121"},
        {"leaving implicit on 990 gives 21", "Server=h;Port=990;Encryption=implicit;", Implicit,
         true, choose(Explicit), true, "explicit|||21"},
        {"leaving implicit on a typed port keeps it", "Server=h;Port=2990;Encryption=implicit;",
         Implicit, true, choose(Plain), true, "|||2990"},
        {"990 typed for explicit stays", "Server=h;Port=990;Encryption=explicit;", Explicit, true,
         choose(ExplicitIfOffered), true, "auto|||990"},
        {"MLSD off stores LIST", "Server=h;", Plain, true, [](SiteForm& f) { f.UseMlsd = false; },
         true, "|LIST||21"},
        {"LIST shows MLSD off, on again clears it", "Server=h;ListingCommand=LIST;", Plain, false,
         [](SiteForm& f) { f.UseMlsd = true; }, true, "|||21"},
        {"a newer value stays while unchanged", "Server=h;Encryption=tls13;", Explicit, true, none,
         true, "tls13|||21"},
        {"cancel keeps everything", "Server=h;Encryption=explicit;TlsFingerprint=AB:CD;", Explicit,
         true,
         [](SiteForm& f) {
             ChooseEncryption(f, Implicit);
             f.UseMlsd = false;
             f.TlsFingerprint.clear();
         },
         false, "explicit||AB:CD|21"},
    };
    TempFolder folder;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Site site;
        ASSERT_TRUE(ParseSiteLine("Name=a;" + row.line, site));
        ScriptedPrompts prompts;
        prompts.sites.push_back({row.edit, row.save});
        EXPECT_EQ(EditSite(prompts, folder.path(), site), row.save);
        const SiteForm& shown = prompts.shownSites.at(0);
        EXPECT_EQ(shown.Encryption, row.shown);
        EXPECT_EQ(shown.UseMlsd, row.shownMlsd);
        EXPECT_EQ(site.Encryption + '|' + site.ListingCommand + '|' + site.TlsFingerprint + '|' +
                      site.Port,
                  row.saved);
    }
}

} // namespace
