#include "prefs/IniFile.h"
#include "prefs/PrefsTestSupport.h"

#include <string>
#include <unistd.h>
#include <vector>

namespace {

class IniFileTest : public testing::Test {
protected:
    std::string path() const { return folder.file("test.ini"); }
    IniFile Open(const std::string& contents) {
        WriteFile(path(), contents);
        return IniFile(path());
    }

    TempFolder folder;
};

// What a Windows program reads from the same file.
TEST_F(IniFileTest, ReadsLikeTheWindowsReader) {
    // An item holding "\n" gives lines that end in LF alone.
    const IniFile ini = Open(
        CrLf({"PreKey=outside any section", "[Common]", "TimeOut=30",
              "  Spaced Key  =  value with blanks  ", "Quoted=\"  kept blanks \"", "Single='x'",
              "Half=\"open", "Equals=a=b=c", "TimeOut=99", "Empty=", "",
              "[ Proxy ] trailing words\nServer=proxy.example\n[Socks\nPort=after a broken header",
              "[common]", "Later=shadowed by the first block"}));
    struct Row {
        const char* section;
        const char* key;
        const char* expected;
    } rows[] = {
        {"Common", "TimeOut", "30"}, // the first line of a key counts
        {"COMMON", "timeout", "30"}, // names ignore case
        {"Common", "Spaced Key", "value with blanks"},
        {"Common", "Quoted", "  kept blanks "}, // one pair of quotes goes
        {"Common", "Single", "x"},
        {"Common", "Half", "\"open"},
        {"Common", "Equals", "a=b=c"},
        {"Common", "Empty", ""},
        {"Proxy", "Server", "proxy.example"}, // LF alone ends a line too
        {"Common", "Later", "<absent>"},      // only the first block of a section
        {"Socks", "Port", "<absent>"},        // "[Socks" is no header...
        {"Proxy", "Port", "<absent>"},        // ...and lends its keys to no other section
        {"", "PreKey", "<absent>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.section) + "/" + row.key);
        EXPECT_EQ(ini.ReadString(row.section, row.key, "<absent>"), row.expected);
    }
}

TEST_F(IniFileTest, ReadsIntegersAndFlagsOrFallsBack) {
    const IniFile ini = Open("[N]\r\nB= -7 \r\nC=12abc\r\nD=yes\r\nE=2147483648\r\nF=2\r\nG=0\r\n");
    struct Row {
        const char* key;
        int integer;
        bool flag;
    } rows[] = {{"B", -7, true}, {"C", 5, true},  {"D", 5, true},      {"E", 5, true},
                {"F", 2, true},  {"G", 0, false}, {"Missing", 5, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(ini.ReadInteger("N", row.key, 5), row.integer);
        EXPECT_EQ(ini.ReadBool("N", row.key, true), row.flag);
    }
    EXPECT_FALSE(ini.ReadBool("N", "D", false)); // "yes" is no integer: the fallback
}

// Each row: a file, the writes, and the file after UpdateFile. A second
// update with the same writes changes nothing.
TEST_F(IniFileTest, UpdateRewritesItsKeysAndCopiesEveryOtherLineByteForByte) {
    struct Write {
        const char* section;
        const char* key;
        const char* value;
        bool raw = false;
    };
    struct Row {
        const char* name;
        std::string before;
        std::vector<Write> writes;
        std::string after;
    } rows[] = {
        {"a hand-written file",
         CrLf({"; written by hand", "[Common]", "Foreign=keep me ", "TimeOut=30",
               "odd line without equals", "", "[Other]", "X=1", "[COMMON]", "TimeOut=shadowed"}),
         {{"common", "timeout", "15"}, {"Common", "Added", "new"}, {"Fresh", "Key", "v"}},
         CrLf({"; written by hand", "[Common]", "Foreign=keep me ", "TimeOut=15",
               "odd line without equals", "Added=new", "", "[Other]", "X=1", "[COMMON]",
               "TimeOut=shadowed", "", "[Fresh]", "Key=v"})},
        {"written lines end in CR LF, copied ones keep their ends",
         "[A]\n[B]\nY=1\nZ=last",
         {{"A", "X", "0"}, {"B", "Y", "2"}},
         "[A]\nX=0\r\n[B]\nY=2\r\nZ=last"},
        {"a line break cannot smuggle in a key",
         "",
         {{"Proxy", "Psw", "secret\r\n[Common]\r\nLogFile=/etc/passwd"}, {"T", "K", "a\nb", true}},
         "[Proxy]\r\nPsw=secret\r\n\r\n[T]\r\nK=a\r\n"},
        {"a raw string keeps its quotes and blanks",
         "",
         {{"T", "K", " \"as is\" ", true}},
         "[T]\r\nK= \"as is\" \r\n"},
        {"a byte order mark before the first header",
         "\xEF\xBB\xBF[Common]\r\nTimeOut=30\r\n",
         {{"Common", "TimeOut", "31"}},
         "\xEF\xBB\xBF[Common]\r\nTimeOut=31\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        IniFile ini = Open(row.before);
        for (const Write& w : row.writes) {
            if (w.raw)
                ini.WriteRawString(w.section, w.key, w.value);
            else
                ini.WriteString(w.section, w.key, w.value);
        }
        ASSERT_TRUE(ini.UpdateFile());
        EXPECT_EQ(ReadFile(path()), row.after);
        ASSERT_TRUE(ini.UpdateFile());
        EXPECT_EQ(ReadFile(path()), row.after);
    }
}

TEST_F(IniFileTest, StringsComeBackExactlyAsWritten) {
    const std::string values[] = {"",         "plain",  " leading", "trailing ",   "\"quoted\"",
                                  "'single'", "\"half", "a=b",      "caf\xC3\xA9", "\t"};
    IniFile ini(path());
    for (std::size_t i = 0; i < std::size(values); ++i)
        ini.WriteString("S", "K" + std::to_string(i), values[i]);
    ASSERT_TRUE(ini.UpdateFile());
    const IniFile again(path());
    for (std::size_t i = 0; i < std::size(values); ++i) {
        SCOPED_TRACE(values[i]);
        EXPECT_EQ(ini.ReadString("S", "K" + std::to_string(i), "<absent>"), values[i]);
        EXPECT_EQ(again.ReadString("S", "K" + std::to_string(i), "<absent>"), values[i]);
    }
}

TEST_F(IniFileTest, NewFileIsPrivateAndAnExistingOneKeepsItsMode) {
    IniFile fresh(path());
    fresh.WriteString("S", "K", "v");
    ASSERT_TRUE(fresh.UpdateFile());
    EXPECT_EQ(FileMode(path()), 0600u);

    ASSERT_EQ(::chmod(path().c_str(), 0640), 0);
    ASSERT_TRUE(fresh.UpdateFile());
    EXPECT_EQ(FileMode(path()), 0640u);
}

TEST_F(IniFileTest, ASymbolicLinkStaysALink) {
    const std::string target = folder.file("real.ini");
    WriteFile(target, "[S]\r\nK=old\r\n");
    ASSERT_EQ(::symlink(target.c_str(), path().c_str()), 0);
    IniFile ini(path());
    EXPECT_EQ(ini.ReadString("S", "K", ""), "old");
    ini.WriteString("S", "K", "new");
    ASSERT_TRUE(ini.UpdateFile());
    struct stat info {};
    ASSERT_EQ(::lstat(path().c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadFile(target), "[S]\r\nK=new\r\n");
}

TEST_F(IniFileTest, WhatCannotBeReadOrIsNoFileIsNeverReplaced) {
    WriteFile(path(), "[S]\r\nK=secret\r\n");
    ASSERT_EQ(::chmod(path().c_str(), 0200), 0);
    const std::string folderInstead = folder.file("folder.ini");
    ASSERT_EQ(::mkdir(folderInstead.c_str(), 0700), 0);
    std::vector<std::string> targets = {folderInstead, folder.file("missing/sub/test.ini")};
    if (::geteuid() != 0) // root reads every file
        targets.push_back(path());
    for (const std::string& target : targets) {
        SCOPED_TRACE(target);
        IniFile ini(target);
        EXPECT_EQ(ini.ReadString("S", "K", "fallback"), "fallback");
        ini.WriteString("S", "K", "new");
        EXPECT_FALSE(ini.UpdateFile());
    }
    ASSERT_EQ(::chmod(path().c_str(), 0600), 0);
    EXPECT_EQ(ReadFile(path()), "[S]\r\nK=secret\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(folderInstead.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
}

// Junk of every kind loads what it can and is still there after a save.
TEST_F(IniFileTest, JunkIsReadAroundAndKeptOnSave) {
    std::string junk("\x00\x01\xFF\xFE binary \x00 bytes\r\r\n", 22);
    junk += "[Common\r\n";           // a header without "]"
    junk += "TimeOut=5\r\n";         // belongs to no section
    junk += "\xEF\xBB\xBF[Mid]\r\n"; // a mark that only starts a file counts
    junk += "=no key\r\n";
    junk += std::string(70000, 'x') + "=long line\r\n";
    junk += "[Proxy]\r\nServer=good\r\nno end of line";
    IniFile ini = Open(junk);
    EXPECT_EQ(ini.ReadInteger("Common", "TimeOut", 15), 15);
    EXPECT_EQ(ini.ReadString("Proxy", "Server", ""), "good");
    ini.WriteInteger("Common", "TimeOut", 20);
    ini.WriteString("Proxy", "Port", "8080");
    ASSERT_TRUE(ini.UpdateFile());

    EXPECT_EQ(ReadFile(path()), junk + "\r\nPort=8080\r\n\r\n[Common]\r\nTimeOut=20\r\n");
    EXPECT_EQ(IniFile(path()).ReadInteger("Common", "TimeOut", 15), 20);
}

} // namespace
