#include "prefs/Options.h"
#include "prefs/OptionsEdit.h"
#include "prefs/PrefsTestSupport.h"
#include "support/ScriptedPrompts.h"

#include <functional>
#include <string>
#include <unistd.h>

namespace {

constexpr pid_t ProcessId = 4242;

class OptionsTest : public testing::Test {
protected:
    OptionsTest() { settings.FontRight = {"Courier", 0, 255, true}; }
    std::string path() const { return folder.file(OptionsFileName); }
    void Load() { LoadOptions(folder.path(), settings, ProcessId); }
    // Loads a file whose [Common] section holds `lines`.
    void LoadCommon(const std::string& lines) {
        WriteFile(path(), "[Common]\r\n" + lines);
        Load();
    }
    bool Saved(const std::string& line) const {
        return ReadFile(path()).find("\r\n" + line + "\r\n") != std::string::npos;
    }

    TempFolder folder;
    Settings settings;
};

// The values a first save writes that are not plain initialisers: paths in
// the program folder, a reset value, the fixture's font, no key older
// versions lack.
TEST_F(OptionsTest, WithoutAFileTheDefaultsAreSaved) {
    settings.Options.TimeOut = 99; // loading resets what the file does not give
    settings.Lang.LangOn = true;
    Load();
    EXPECT_FALSE(FileExists(path()));
    EXPECT_EQ(settings.Options.ListingFile, folder.file("FTPDIR4242.TXT"));
    ASSERT_TRUE(SaveOptions(folder.path(), settings));
    const std::string file = ReadFile(path());
    const std::string lines[] = {"[Common]\r\nConnectionType=0\r\n",
                                 "\r\nLogFile=" + folder.file("corvane.log\r\n"),
                                 "\r\nTimeOut=15\r\n",
                                 "\r\nIniPath=" + folder.path() + "\r\n",
                                 "\r\n[Language]\r\nLangOn=0\r\n",
                                 "\r\n[Font Right]\r\nName=Courier\r\n"};
    for (const std::string& line : lines)
        EXPECT_NE(file.find(line), std::string::npos) << line;
    EXPECT_EQ(file.find("KeepFileTimes"), std::string::npos);

    Settings running; // one listing file per running copy
    LoadOptions(folder.path(), running);
    EXPECT_EQ(running.Options.ListingFile,
              folder.file("FTPDIR" + std::to_string(::getpid()) + ".TXT"));
}

TEST_F(OptionsTest, ARoundTripKeepsForeignSectionsByteForByte) {
    Load();
    ASSERT_TRUE(SaveOptions(folder.path(), settings));
    const std::string file = ReadFile(path()) + "\r\n[Plugin]\r\nkey=value\r\nno equals sign\n";
    WriteFile(path(), file);
    Load();
    ASSERT_TRUE(SaveOptions(folder.path(), settings));
    EXPECT_EQ(ReadFile(path()), file);

    // A key older files lack appears once it is not the default, and stays
    // when the default comes back, or a reload would bring the old value.
    for (const bool keep : {false, true}) {
        settings.Options.KeepFileTimes = keep;
        ASSERT_TRUE(SaveOptions(folder.path(), settings));
        EXPECT_NE(ReadFile(path()).find(keep ? "KeepFileTimes=1" : "KeepFileTimes=0"),
                  std::string::npos);
        Load();
        EXPECT_EQ(settings.Options.KeepFileTimes, keep);
    }
}

// Each row: a line of a hand-edited file and the line a save writes back.
TEST_F(OptionsTest, LoadingBringsHandEditedValuesIntoTheirRules) {
    const std::pair<const char*, std::string> rows[] = {
        {"TransferMode=7", "TransferMode=7"}, // kept; the window shows 0
        {"DefPrompt=5", "DefPrompt=0"},
        {"DefPrompt=2", "DefPrompt=2"},
        {"fwType=9", "fwType=9"}, // kept until "&OK"
        {"TimeOut=0", "TimeOut=10"},
        {"TimeOut=99999", "TimeOut=32767"},
        {"LogFileSize=0", "LogFileSize=65536"},
        {"LogFileSize=99999999999", "LogFileSize=10485760"},
        {"LogFileSize=10 MB", "LogFileSize=10485760"},
        {"LogSize=500", "LogFileSize=10485760"}, // a file of an older version
        {"ConnectionType=4", "ConnectionType=4"},
        {"ConnectionType=9", "ConnectionType=0"},
        {"ConnectionType=260", "ConnectionType=0"}, // not 4, as a cut to a byte would give
        {"LogFile=", "LogFile=" + folder.path() + "corvane.log"},
        {"fwSimbol=", "fwSimbol=@"},
        {"fwSimbol=#!", "fwSimbol=#"},
        {"fwSimbol=\xC3\xA9x", "fwSimbol=\xC3\xA9"},
        {"IniPath=", "IniPath="},
        {"CmdKeep=NOOP,\"SITE IDLE\"", "CmdKeep=NOOP,\"SITE IDLE\""},
    };
    for (const auto& [line, saved] : rows) {
        SCOPED_TRACE(line);
        LoadCommon(std::string(line) + "\r\n");
        ASSERT_TRUE(SaveOptions(folder.path(), settings));
        EXPECT_TRUE(Saved(saved));
    }
}

TEST_F(OptionsTest, TheLogFileIsFoundInTheProgramFolderUnlessGivenWithAPath) {
    Options o;
    const std::string f = folder.path();
    const std::pair<const char*, std::string> rows[] = {
        {"", f + "corvane.log"},
        {"my.log", f + "my.log"},
        {"/tmp/x.log", "/tmp/x.log"},
    };
    for (const auto& [stored, expected] : rows) {
        o.LogFile = stored;
        EXPECT_EQ(LogFilePath(o, f), expected) << stored;
    }
}

// What the file does not give keeps its default.
TEST_F(OptionsTest, FontsKeepTheirDefaults) {
    WriteFile(path(), "[Font Left]\r\nName=Arial\r\nStyle_Italic=1\r\n"
                      "[Font Right]\r\nColor=oops\r\n");
    Load();
    EXPECT_EQ(settings.FontLeft.Name, "Arial");
    EXPECT_TRUE(settings.FontLeft.Italic);
    EXPECT_EQ(settings.FontLeft.CharSet, 1);
    EXPECT_EQ(settings.FontRight.Color, 255);
    EXPECT_TRUE(settings.FontRight.Bold);
}

// The preferences window through the prompts: "&OK" applies its rules and
// saves, "&Cancel" changes nothing.
class EditOptionsTest : public OptionsTest {
protected:
    EditResult Edit(std::function<void(PreferencesValues&)> edit, bool ok = true) {
        prompts.options.push_back({std::move(edit), ok});
        return EditOptions(prompts, folder.path(), settings);
    }

    ScriptedPrompts prompts;
};

TEST_F(EditOptionsTest, OkAppliesTheRulesAndSaves) {
    struct Row {
        const char* name;
        const char* stored; // the [Common] lines before
        std::function<void(PreferencesValues&)> edit;
        const char* saved; // lines the save must hold
    } rows[] = {
        {"keep-alive needs a command", "", [](auto& v) { v.Options.Keep = true; }, "Keep=0"},
        {"keep-alive with a command", "CmdKeep=NOOP", [](auto& v) { v.Options.Keep = true; },
         "Keep=1"},
        {"a spin out of range", "", [](auto& v) { v.Options.StartKeep = 5000; }, "StartKeep=1000"},
        {"a transfer type out of range", "TransferMode=7", {}, "TransferMode=0"},
        {"the firewall is stored disabled", "fwEnable=1", {}, "fwEnable=0"},
        {"a firewall type out of range", "fwType=9", {}, "fwType=0"},
        {"a firewall type in range", "fwType=6", {}, "fwType=6"},
        {"the firewall is not the window's", "fwHost=fw.lan",
         [](auto& v) { v.Options.fwHost = "ignored"; }, "fwHost=fw.lan"},
        {"no language chosen", "",
         [](auto& v) {
             v.Lang = {true, false, ""};
         },
         "LangOn=1\r\nLangInit=0\r\nLangFile=language"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LoadCommon(std::string(row.stored) + "\r\n");
        EXPECT_EQ(Edit([&row](PreferencesValues& v) {
                      v.Options.ListingFile = "ignored";
                      if (row.edit)
                          row.edit(v);
                  }),
                  EditResult::Saved);
        EXPECT_EQ(settings.Options.ListingFile, folder.file("FTPDIR4242.TXT"));
        EXPECT_TRUE(Saved(row.saved));
    }
}

TEST_F(EditOptionsTest, AFailedSaveIsToldApart) {
    Load();
    prompts.options.push_back({{}, true});
    EXPECT_EQ(EditOptions(prompts, folder.file("gone/"), settings), EditResult::SaveFailed);
}

} // namespace
