#include "prefs/OptionsEdit.h"
#include "prefs/PrefsTestSupport.h"
#include "prefs/options.h"
#include "support/ScriptedPrompts.h"

#include <functional>
#include <string>

namespace {

constexpr pid_t ProcessId = 4242;

// The file a first save writes with every default, `folder` standing for the
// program folder.
std::string DefaultFile(const std::string& folder) {
    return "[Common]\r\n"
           "ConnectionType=0\r\n"
           "TransferMode=0\r\n"
           "PassiveTransfer=0\r\n"
           "Sync=0\r\n"
           "Log=0\r\n"
           "LogFile=" +
           folder +
           "corvane.log\r\n"
           "LogSize=10000\r\n"
           "TimeOut=15\r\n"
           "retry=0\r\n"
           "Keep=0\r\n"
           "StartKeep=100\r\n"
           "DurationKeep=10\r\n"
           "CmdKeep=\r\n"
           "Ext=\r\n"
           "Anonymous=\r\n"
           "MailAno=0\r\n"
           "fwHost=\r\n"
           "fwPort=21\r\n"
           "fwID=\r\n"
           "fwPsw=\r\n"
           "fwType=0\r\n"
           "fwSimbol=@\r\n"
           "fwEnable=0\r\n"
           "IniPath=" +
           folder +
           "\r\n"
           "FontName=MS Sans Serif\r\n"
           "FontSize=8\r\n"
           "FontColor=0\r\n"
           "PromptDownLoad=1\r\n"
           "PromptUpLoad=1\r\n"
           "DefPrompt=0\r\n"
           "DateType=0\r\n"
           "\r\n"
           "[Proxy]\r\n"
           "Server=\r\n"
           "Port=\r\n"
           "Psw=\r\n"
           "PswMask=0\r\n"
           "\r\n"
           "[Socks]\r\n"
           "Server=\r\n"
           "Port=\r\n"
           "Psw=\r\n"
           "UC=\r\n"
           "PswMask=0\r\n"
           "\r\n"
           "[Language]\r\n"
           "LangOn=0\r\n"
           "LangInit=0\r\n"
           "LangFile=language\r\n"
           "\r\n"
           "[Font Right]\r\n"
           "Name=Courier\r\n"
           "CharSet=0\r\n"
           "Color=255\r\n"
           "Style_Bold=1\r\n"
           "Style_Italic=0\r\n"
           "Style_UnderLine=0\r\n"
           "Style_StrikeOut=0\r\n"
           "\r\n"
           "[Font Left]\r\n"
           "Name=MS Sans Serif\r\n"
           "CharSet=1\r\n"
           "Color=-16777208\r\n"
           "Style_Bold=0\r\n"
           "Style_Italic=0\r\n"
           "Style_UnderLine=0\r\n"
           "Style_StrikeOut=0\r\n";
}

class OptionsTest : public testing::Test {
protected:
    OptionsTest() {
        settings.FontRight.Name = "Courier";
        settings.FontRight.CharSet = 0;
        settings.FontRight.Color = 255;
        settings.FontRight.Bold = true;
    }
    std::string path() const { return folder.file(OptionsFileName); }
    void Load() { LoadOptions(folder.path(), settings, ProcessId); }
    // Loads a file whose [Common] section holds `lines`.
    void LoadCommon(const std::string& lines) {
        WriteFile(path(), "[Common]\r\n" + lines);
        Load();
    }

    TempFolder folder;
    TSettings settings;
};

TEST_F(OptionsTest, WithoutAFileEverySettingIsItsDefault) {
    settings.Options.TimeOut = 99;
    settings.Lang.LangOn = true;
    Load();
    const TFTPOptions& o = settings.Options;
    const std::string f = folder.path();
    EXPECT_EQ(o.ConnectionType, 0);
    EXPECT_EQ(o.TransferMode, 0);
    EXPECT_EQ(o.ProxyServer + o.ProxyPort + o.ProxyPsw, "");
    EXPECT_EQ(o.SocksServer + o.SocksPort + o.SocksPsw + o.SocksUC, "");
    EXPECT_FALSE(o.ProxyPswMask || o.SocksPswMask || o.PassiveTransfer || o.Sync || o.Log ||
                 o.Keep || o.MailAno || o.fwEnable);
    EXPECT_EQ(o.LogFile, f + "corvane.log");
    EXPECT_EQ(o.TimeOut, 15);
    EXPECT_EQ(o.retry, 0);
    EXPECT_EQ(o.Ext + o.CmdKeep + o.Anonymous, "");
    EXPECT_EQ(o.StartKeep, 100);
    EXPECT_EQ(o.DurationKeep, 10);
    EXPECT_EQ(o.fwHost + o.fwID + o.fwPsw, "");
    EXPECT_EQ(o.fwPort, "21");
    EXPECT_EQ(o.fwSimbol, "@");
    EXPECT_EQ(o.fwType, 0);
    EXPECT_EQ(o.ListingFile, f + "FTPDIR4242.TXT");
    EXPECT_EQ(o.IniPath, f);
    EXPECT_EQ(o.FontName, "MS Sans Serif");
    EXPECT_EQ(o.FontSize, 8);
    EXPECT_EQ(o.FontColor, 0);
    EXPECT_TRUE(o.PromptDownLoad);
    EXPECT_TRUE(o.PromptUpLoad);
    EXPECT_EQ(o.DefPrompt, 0);
    EXPECT_EQ(o.DateType, 0);
    EXPECT_EQ(o.LogSize, 10000);
    EXPECT_FALSE(settings.Lang.LangOn);
    EXPECT_FALSE(settings.Lang.LangInit);
    EXPECT_EQ(settings.Lang.LangFile, "language");
    EXPECT_EQ(settings.FontRight.Name, "Courier"); // the pane keeps its font
    EXPECT_FALSE(FileExists(path()));
}

TEST_F(OptionsTest, TheFirstSaveCreatesAPrivateFileWithEveryKeyInOrder) {
    Load();
    ASSERT_TRUE(SaveOptions(folder.path(), settings));
    EXPECT_EQ(ReadFile(path()), DefaultFile(folder.path()));
    EXPECT_EQ(FileMode(path()), 0600u);
}

TEST_F(OptionsTest, ARoundTripKeepsForeignKeysAndSectionsByteForByte) {
    std::string file = DefaultFile(folder.path());
    const auto insertAfter = [&file](const std::string& line, const std::string& added) {
        file.insert(file.find(line) + line.size(), added);
    };
    insertAfter("TimeOut=15\r\n", "Unknown Key = spaced  \r\n; a comment\r\n");
    insertAfter("PswMask=0\r\n", "Extra=\"quoted\"\r\n");
    file += "\r\n[Plugin]\r\nkey=value\r\nno equals sign\n";
    WriteFile(path(), file);
    ASSERT_EQ(::chmod(path().c_str(), 0640), 0);

    Load();
    ASSERT_TRUE(SaveOptions(folder.path(), settings));
    EXPECT_EQ(ReadFile(path()), file);
    EXPECT_EQ(FileMode(path()), 0640u);

    settings.Options.TimeOut = 60;
    ASSERT_TRUE(SaveOptions(folder.path(), settings));
    std::string changed = file;
    changed.replace(changed.find("TimeOut=15"), 10, "TimeOut=60");
    EXPECT_EQ(ReadFile(path()), changed);
}

TEST_F(OptionsTest, ValuesAreReadWithTheirRules) {
    struct Row {
        const char* line;
        std::function<std::string(const TSettings&)> field;
        const char* expected;
    };
    const auto integer = [](int TFTPOptions::*field) {
        return [field](const TSettings& s) { return std::to_string(s.Options.*field); };
    };
    const auto flag = [](bool TFTPOptions::*field) {
        return [field](const TSettings& s) { return std::string(s.Options.*field ? "1" : "0"); };
    };
    const auto text = [](std::string TFTPOptions::*field) {
        return [field](const TSettings& s) { return s.Options.*field; };
    };
    const auto type = [](const TSettings& s) { return std::to_string(s.Options.ConnectionType); };
    const Row rows[] = {
        {"TransferMode=7", integer(&TFTPOptions::TransferMode), "7"}, // kept; shown as 0
        {"DefPrompt=5", integer(&TFTPOptions::DefPrompt), "0"},
        {"DefPrompt=2", integer(&TFTPOptions::DefPrompt), "2"},
        {"DateType=5", integer(&TFTPOptions::DateType), "5"},
        {"fwType=9", integer(&TFTPOptions::fwType), "9"}, // kept until "&OK"
        {"TimeOut=abc", integer(&TFTPOptions::TimeOut), "15"},
        {"TimeOut=0", integer(&TFTPOptions::TimeOut), "10"},
        {"TimeOut=99999", integer(&TFTPOptions::TimeOut), "32767"},
        {"retry=-1", integer(&TFTPOptions::retry), "0"},
        {"LogSize=5", integer(&TFTPOptions::LogSize), "100"},
        {"StartKeep=0", integer(&TFTPOptions::StartKeep), "1"},
        {"DurationKeep=500", integer(&TFTPOptions::DurationKeep), "100"},
        {"ConnectionType=4", type, "4"},
        {"ConnectionType=9", type, "0"},
        {"ConnectionType=260", type, "0"}, // not 4, as a cut to a byte would give
        {"PassiveTransfer=2", flag(&TFTPOptions::PassiveTransfer), "1"},
        {"PromptDownLoad=no", flag(&TFTPOptions::PromptDownLoad), "1"},
        {"PromptUpLoad=0", flag(&TFTPOptions::PromptUpLoad), "0"},
        {"LogFile=", text(&TFTPOptions::LogFile), "<folder>corvane.log"},
        {"LogFile=/var/log/ftp.log", text(&TFTPOptions::LogFile), "/var/log/ftp.log"},
        {"fwSimbol=", text(&TFTPOptions::fwSimbol), "@"},
        {"fwSimbol=#!", text(&TFTPOptions::fwSimbol), "#"},
        {"fwSimbol=\xC3\xA9x", text(&TFTPOptions::fwSimbol), "\xC3\xA9"},
        {"IniPath=", text(&TFTPOptions::IniPath), ""},
        {"CmdKeep=NOOP,\"SITE IDLE\"", text(&TFTPOptions::CmdKeep), "NOOP,\"SITE IDLE\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        LoadCommon(std::string(row.line) + "\r\n");
        std::string expected = row.expected;
        if (expected.rfind("<folder>", 0) == 0)
            expected.replace(0, 8, folder.path());
        EXPECT_EQ(row.field(settings), expected);
    }
}

TEST_F(OptionsTest, AnOverwriteDefaultOutOfRangeIsSavedAsSkip) {
    LoadCommon("DefPrompt=5\r\n");
    ASSERT_TRUE(SaveOptions(folder.path(), settings));
    EXPECT_NE(ReadFile(path()).find("\r\nDefPrompt=0\r\n"), std::string::npos);
}

TEST_F(OptionsTest, TheLogFileIsFoundInTheProgramFolderUnlessGivenWithAPath) {
    TFTPOptions o;
    const std::string f = folder.path();
    const std::pair<const char*, std::string> rows[] = {
        {"", f + "corvane.log"},
        {"my.log", f + "my.log"},
        {"logs/my.log", f + "logs/my.log"},
        {"/tmp/x.log", "/tmp/x.log"},
    };
    for (const auto& [stored, expected] : rows) {
        o.LogFile = stored;
        EXPECT_EQ(LogFilePath(o, f), expected) << stored;
    }
}

TEST_F(OptionsTest, PasswordsAreStoredAsTypedWhateverTheMask) {
    Load();
    settings.Options.ProxyPsw = " pa ss ";
    settings.Options.ProxyPswMask = true;
    settings.Options.SocksPsw = "\"quoted\"";
    settings.Options.SocksUC = "user=1";
    ASSERT_TRUE(SaveOptions(folder.path(), settings));
    EXPECT_NE(ReadFile(path()).find("[Proxy]\r\nServer=\r\nPort=\r\nPsw=\" pa ss \"\r\nPswMask=1"),
              std::string::npos);
    TSettings again;
    LoadOptions(folder.path(), again, ProcessId);
    EXPECT_EQ(again.Options.ProxyPsw, " pa ss ");
    EXPECT_EQ(again.Options.SocksPsw, "\"quoted\"");
    EXPECT_EQ(again.Options.SocksUC, "user=1");
}

TEST_F(OptionsTest, PaneFontsKeepWhatTheFileDoesNotGive) {
    WriteFile(path(), "[Font Left]\r\nName=Arial\r\nStyle_Italic=1\r\n"
                      "[Font Right]\r\nColor=oops\r\n");
    Load();
    EXPECT_EQ(settings.FontLeft.Name, "Arial");
    EXPECT_TRUE(settings.FontLeft.Italic);
    EXPECT_EQ(settings.FontLeft.CharSet, 1);
    EXPECT_EQ(settings.FontRight.Name, "Courier");
    EXPECT_EQ(settings.FontRight.Color, 255);
    EXPECT_TRUE(settings.FontRight.Bold);
}

TEST_F(OptionsTest, ABrokenFileLoadsWhatItCanAndKeepsItsJunk) {
    const std::string junk = std::string("\x00\xFF\xFEjunk\r\n", 9) +
                             "[Common\r\nTimeOut=45\r\n[Proxy]\r\nServer=proxy.lan\r\n";
    WriteFile(path(), junk);
    Load();
    EXPECT_EQ(settings.Options.TimeOut, 15);
    EXPECT_EQ(settings.Options.ProxyServer, "proxy.lan");
    ASSERT_TRUE(SaveOptions(folder.path(), settings));
    const std::string saved = ReadFile(path());
    EXPECT_EQ(saved.substr(0, junk.size()), junk);
    TSettings again;
    LoadOptions(folder.path(), again, ProcessId);
    EXPECT_EQ(again.Options.ProxyServer, "proxy.lan");
    EXPECT_EQ(again.Options.TimeOut, 15);
}

TEST_F(OptionsTest, SavingIntoAMissingFolderReportsFailure) {
    EXPECT_FALSE(SaveOptions(folder.file("gone/"), settings));
}

// The preferences window through the prompts: "&OK" applies its rules and
// saves, "&Cancel" changes nothing.
class EditOptionsTest : public OptionsTest {
protected:
    TEditResult Edit(std::function<void(TOptionsValues&)> edit, bool ok = true) {
        prompts.options.push_back({std::move(edit), ok});
        return EditOptions(prompts, folder.path(), settings);
    }

    ScriptedPrompts prompts;
};

TEST_F(EditOptionsTest, CancelLeavesRecordsAndFileAlone) {
    LoadCommon("TimeOut=30\r\nfwEnable=1\r\n");
    const std::string before = ReadFile(path());
    EXPECT_EQ(Edit([](TOptionsValues& v) { v.Options.TimeOut = 99; }, false),
              TEditResult::Cancelled);
    EXPECT_EQ(settings.Options.TimeOut, 30);
    EXPECT_EQ(ReadFile(path()), before);
}

TEST_F(EditOptionsTest, TheWindowShowsValuesItCanShow) {
    LoadCommon("TransferMode=7\r\nDefPrompt=5\r\nDateType=3\r\nTimeOut=12\r\n");
    Edit({}, false);
    ASSERT_EQ(prompts.shown.size(), 1u);
    const TFTPOptions& shown = prompts.shown[0].Options;
    EXPECT_EQ(shown.TransferMode, 0);
    EXPECT_EQ(shown.DefPrompt, 0);
    EXPECT_EQ(shown.DateType, 0);
    EXPECT_EQ(shown.TimeOut, 12);
}

TEST_F(EditOptionsTest, OkAppliesTheRulesAndSaves) {
    LoadCommon("fwType=9\r\nfwEnable=1\r\nfwHost=fw.lan\r\nTransferMode=7\r\n");
    EXPECT_EQ(Edit([](TOptionsValues& v) {
                  v.Options.Keep = true;
                  v.Options.CmdKeep = "";
                  v.Options.StartKeep = 5000;
                  v.Options.fwHost = "ignored";
                  v.Options.ListingFile = "ignored";
                  v.Lang.LangOn = true;
                  v.Lang.LangFile = "";
              }),
              TEditResult::Saved);
    const TFTPOptions& o = settings.Options;
    EXPECT_FALSE(o.Keep);
    EXPECT_EQ(o.StartKeep, 1000);
    EXPECT_EQ(o.fwType, 0);
    EXPECT_FALSE(o.fwEnable);
    EXPECT_EQ(o.fwHost, "fw.lan");
    EXPECT_EQ(o.ListingFile, folder.file("FTPDIR4242.TXT"));
    EXPECT_EQ(o.TransferMode, 0);
    EXPECT_TRUE(settings.Lang.LangOn);
    EXPECT_EQ(settings.Lang.LangFile, "language");

    const std::string saved = ReadFile(path());
    for (const char* line : {"\r\nKeep=0\r\n", "\r\nfwType=0\r\n", "\r\nfwEnable=0\r\n",
                             "\r\nfwHost=fw.lan\r\n", "\r\nTransferMode=0\r\n", "\r\nLangOn=1\r\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << line;
}

TEST_F(EditOptionsTest, KeepAliveNeedsACommand) {
    Load();
    Edit([](TOptionsValues& v) {
        v.Options.Keep = true;
        v.Options.CmdKeep = "NOOP";
    });
    EXPECT_TRUE(settings.Options.Keep);
    Edit([](TOptionsValues& v) { v.Options.CmdKeep = ""; });
    EXPECT_FALSE(settings.Options.Keep);
}

TEST_F(EditOptionsTest, AFirewallTypeInRangeIsKept) {
    LoadCommon("fwType=6\r\n");
    Edit({});
    EXPECT_EQ(settings.Options.fwType, 6);
}

TEST_F(EditOptionsTest, AFailedSaveIsToldApart) {
    Load();
    ScriptedPrompts failing;
    failing.options.push_back({{}, true});
    EXPECT_EQ(EditOptions(failing, folder.file("gone/"), settings), TEditResult::SaveFailed);
}

TEST(OptionsLookTest, EnablingAndColourFollowTheControls) {
    TOptionsValues v;
    TOptionsLook look = OptionsLook(v);
    EXPECT_FALSE(look.AnonymousEnabled || look.ExtWhite || look.LogFileWhite || look.KeepWhite ||
                 look.ProxyEnabled || look.SocksEnabled || look.LanguageEnabled);
    v.Options.MailAno = v.Options.Log = v.Options.Keep = v.Lang.LangOn = true;
    v.Options.TransferMode = 1;
    look = OptionsLook(v);
    EXPECT_TRUE(look.AnonymousEnabled && look.ExtWhite && look.LogFileWhite && look.KeepWhite &&
                look.LanguageEnabled);
    v.Options.TransferMode = 0; // the list is white for "Ascii" only
    EXPECT_FALSE(OptionsLook(v).ExtWhite);

    const std::pair<int, std::pair<bool, bool>> types[] = {{0, {false, false}},
                                                           {1, {true, false}},
                                                           {2, {false, true}},
                                                           {3, {false, true}},
                                                           {4, {false, true}}};
    for (const auto& [type, panels] : types) {
        v.Options.ConnectionType = static_cast<std::uint8_t>(type);
        look = OptionsLook(v);
        EXPECT_EQ(look.ProxyEnabled, panels.first) << type;
        EXPECT_EQ(look.SocksEnabled, panels.second) << type;
    }
}

TEST(ListingFileTest, IsNamedAfterTheProcess) {
    EXPECT_EQ(ListingFilePath("/p/", 1234), "/p/FTPDIR1234.TXT");
    TSettings s;
    TempFolder folder;
    LoadOptions(folder.path(), s);
    EXPECT_EQ(s.Options.ListingFile, folder.file("FTPDIR" + std::to_string(::getpid()) + ".TXT"));
}

} // namespace
