#include "remote/ListingParser.h"

#include <gtest/gtest.h>
#include <map>
#include <ostream>

namespace remote {
void PrintTo(const RemoteEntry& e, std::ostream* os) {
    *os << '{' << (e.kind == EntryKind::Directory ? "dir" : "file") << " name=\"" << e.name
        << "\" size=\"" << e.size << "\" date=\"" << e.date << "\" time=\"" << e.time
        << "\" attributes=\"" << e.attributes << "\" link=\"" << e.linkTarget << "\"}";
}
} // namespace remote

namespace {

using namespace remote;
using namespace std::chrono_literals;
using std::chrono::year_month_day;

constexpr EntryKind D = EntryKind::Directory;
constexpr EntryKind F = EntryKind::File;
constexpr year_month_day kStart{2003y, std::chrono::June, 15d};

struct Row {
    const char* name; // the layout answer, then the server family and what it shows
    std::vector<std::string> lines;
    std::vector<RemoteEntry> expected;
    std::string path = {};
    year_month_day start = kStart;
    bool alone = false; // its last line is short, so a following line would join it

    std::string_view answer() const {
        return std::string_view(name).substr(0, std::string_view(name).find('-'));
    }
};

ParsedListing Parse(const std::vector<std::string>& lines, std::string_view answer,
                    year_month_day start = kStart) {
    const std::vector<std::string_view> views(lines.begin(), lines.end());
    return ParseListing(views, ListingStyleFromAnswer(answer), start);
}

// Row by row, then every run of rows with the same layout and start date as
// one listing, which must give the same entries in order.
void RunTable(const std::vector<Row>& rows) {
    std::map<std::pair<std::string_view, int>, Row> listings;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ParsedListing parsed = Parse(row.lines, row.answer(), row.start);
        EXPECT_EQ(parsed.entries, row.expected);
        EXPECT_EQ(parsed.path, row.path);
        if (row.alone)
            continue;
        const int day = std::chrono::sys_days(row.start).time_since_epoch().count();
        Row& all = listings.try_emplace({row.answer(), day}, Row{row.name, {}, {}, {}, row.start})
                       .first->second;
        all.lines.insert(all.lines.end(), row.lines.begin(), row.lines.end());
        all.expected.insert(all.expected.end(), row.expected.begin(), row.expected.end());
        all.path = row.path.empty() ? all.path : row.path;
    }
    for (const auto& [key, all] : listings) {
        SCOPED_TRACE(std::string("all rows of answer ") + std::string(key.first));
        const ParsedListing parsed = Parse(all.lines, key.first, all.start);
        EXPECT_EQ(parsed.entries, all.expected);
        EXPECT_EQ(parsed.path, all.path);
    }
}

// What holds for any input, however mangled.
void ExpectSane(const ParsedListing& parsed, std::size_t lineCount) {
    EXPECT_LE(parsed.entries.size(), lineCount);
    for (const RemoteEntry& e : parsed.entries) {
        EXPECT_NE(e.name, ".");
        EXPECT_NE(e.name, "..");
        EXPECT_TRUE(e.linkTarget.empty() || e.attributes.starts_with('l'));
        EXPECT_TRUE(e.kind == F || !e.attributes.starts_with('l') || e.size.empty());
    }
}

// Every row again with a stray byte at every position of every line.
void RunWithInsertedBytes(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (std::size_t l = 0; l < row.lines.size(); ++l) {
            for (std::size_t at = 0; at <= row.lines[l].size(); ++at) {
                for (const char byte : {'\0', '\xff', '\xa6', ' ', '>', ':'}) {
                    std::vector<std::string> lines = row.lines;
                    lines[l].insert(at, 1, byte);
                    ExpectSane(Parse(lines, row.answer(), row.start), lines.size());
                }
            }
        }
    }
}

// Lines as vsftpd, ProFTPD, pure-ftpd, pyftpdlib, busybox and GNU ls print them.
std::vector<Row> UnixServerRows() {
    return {
        {"0-vsftpd-dir-time",
         {"drwxr-xr-x    2 1000     1000         4096 Mar 15 12:34 pub"},
         {{D, "pub", "4096", "15.03.03", "12:34", "drwxr-xr-x", ""}}},
        {"0-vsftpd-file-year",
         {"-rw-r--r--    1 1000     1000      1048576 Jan 02  2002 archive.tar.gz"},
         {{F, "archive.tar.gz", "1048576", "02.01.02", "", "-rw-r--r--", ""}}},
        {"0-proftpd-name-with-spaces",
         {"-rw-r--r--   1 ftp      ftp          1234 Mar 15  2003 a b.txt"},
         {{F, "a b.txt", "1234", "15.03.03", "", "-rw-r--r--", ""}}},
        {"0-pureftpd-dir-spaces",
         {"drwxr-xr-x    3 1000       1000             4096 May  1 09:05 My Music"},
         {{D, "My Music", "4096", "01.05.03", "09:05", "drwxr-xr-x", ""}}},
        {"0-pyftpdlib-over-2gib-last-year",
         {"-rw-r--r--   1 root     root     3000000000 Dec 07 14:05 big.iso"},
         {{F, "big.iso", "3000000000", "07.12.02", "14:05", "-rw-r--r--", ""}}},
        {"0-pyftpdlib-link-to-path",
         {"lrwxrwxrwx   1 root     root            8 Dec 07 14:05 bin -> /usr/bin"},
         {{D, "bin", "", "07.12.02", "14:05", "lrwxrwxrwx", "/usr/bin"}}},
        {"0-pyftpdlib-link-to-file",
         {"-rw-r--r--   1 root     root            3 Dec 07 14:05 file.txt",
          "lrwxrwxrwx   1 root     root            8 Dec 07 14:05 link-to-file -> file.txt"},
         {{F, "file.txt", "3", "07.12.02", "14:05", "-rw-r--r--", ""},
          {F, "link-to-file", "8", "07.12.02", "14:05", "lrwxrwxrwx", "file.txt"}}},
        {"0-pyftpdlib-link-to-dir",
         {"drwxr-xr-x   2 root     root         4096 Dec 07 14:05 sub",
          "lrwxrwxrwx   1 root     root            3 Dec 07 14:05 link-to-dir -> sub"},
         {{D, "sub", "4096", "07.12.02", "14:05", "drwxr-xr-x", ""},
          {D, "link-to-dir", "", "07.12.02", "14:05", "lrwxrwxrwx", "sub"}}},
        {"0-busybox-start-day-stays-this-year",
         {"-rw-r--r--    1 0        0              512 Jun 15 08:00 today.log"},
         {{F, "today.log", "512", "15.06.03", "08:00", "-rw-r--r--", ""}}},
        {"0-ls-without-group",
         {"-rw-r--r-- 1 owner 1234 Mar 15 2003 c d.txt"},
         {{F, "c d.txt", "1234", "15.03.03", "", "-rw-r--r--", ""}}},
        {"0-ls-with-group",
         {"-rw-r--r-- 1 owner group 1234 Mar 15 2003 e f.txt"},
         {{F, "e f.txt", "1234", "15.03.03", "", "-rw-r--r--", ""}}},
        {"0-ls-device-file",
         {"crw-rw-rw- 1 root root 1, 3 Dec  6 13:41 null"},
         {{F, "6 13:41 null", "root", "03.01.00", "", "crw-rw-rw-", ""}}},
        {"0-name-keeps-trailing-space",
         {"-rw-r--r-- 1 u g 5 Mar 15 12:34   trailing  "},
         {{F, "trailing  ", "5", "15.03.03", "12:34", "-rw-r--r--", ""}}},
        {"0-total-is-an-entry", {"total 12"}, {{F, "", "", "01.01.00", "", "total", ""}}},
        {"0-dot-entries-dropped",
         {"drwxr-xr-x    2 0        0            4096 Mar 15 12:34 .",
          "drwxr-xr-x    2 0        0            4096 Mar 15 12:34 .."},
         {}},
        {"7-vsftpd-dir-time",
         {"drwxr-xr-x    2 1000     1000         4096 Mar 15 12:34 pub"},
         {{D, "pub", "4096", "Mar 15", "12:34", "drwxr-xr-x", ""}}},
        {"7-proftpd-year-name-with-spaces",
         {"-rw-r--r--   1 ftp      ftp          1234 Mar 15  2003 a b.txt "},
         {{F, "a b.txt", "1234", "Mar 15 2003", "", "-rw-r--r--", ""}}},
        {"7-pyftpdlib-link-to-path",
         {"lrwxrwxrwx   1 root     root            8 Dec 07 14:05 bin -> /usr/bin"},
         {{D, "bin", "", "Dec 07", "14:05", "lrwxrwxrwx", "/usr/bin"}}},
        {"7-link-matches-earlier-file-any-case",
         {"-rw-r--r--   1 u g 3 Mar 15 12:34 FILE.TXT",
          "lrwxrwxrwx   1 u g 8 Mar 15 12:34 ln -> file.txt"},
         {{F, "FILE.TXT", "3", "Mar 15", "12:34", "-rw-r--r--", ""},
          {F, "ln", "8", "Mar 15", "12:34", "lrwxrwxrwx", "file.txt"}}},
        {"7-link-to-later-entry-is-dir",
         {"lrwxrwxrwx 1 u g 9 Mar 15 12:34 early -> later.txt",
          "-rw-r--r-- 1 u g 3 Mar 15 12:34 later.txt"},
         {{D, "early", "", "Mar 15", "12:34", "lrwxrwxrwx", "later.txt"},
          {F, "later.txt", "3", "Mar 15", "12:34", "-rw-r--r--", ""}}},
        {"7-link-first-match-wins",
         {"drwxr-xr-x 2 u g 4096 Mar 15 12:34 Same", "-rw-r--r-- 1 u g 3 Mar 15 12:34 same",
          "lrwxrwxrwx 1 u g 4 Mar 15 12:34 to-same -> SAME"},
         {{D, "Same", "4096", "Mar 15", "12:34", "drwxr-xr-x", ""},
          {F, "same", "3", "Mar 15", "12:34", "-rw-r--r--", ""},
          {D, "to-same", "", "Mar 15", "12:34", "lrwxrwxrwx", "SAME"}}},
        {"7-link-does-not-resolve-to-a-link",
         {"-rw-r--r-- 1 u g 3 Mar 15 12:34 plain.txt",
          "lrwxrwxrwx 1 u g 4 Mar 15 12:34 hop -> plain.txt",
          "lrwxrwxrwx 1 u g 3 Mar 15 12:34 hop2 -> hop"},
         {{F, "plain.txt", "3", "Mar 15", "12:34", "-rw-r--r--", ""},
          {F, "hop", "4", "Mar 15", "12:34", "lrwxrwxrwx", "plain.txt"},
          {D, "hop2", "", "Mar 15", "12:34", "lrwxrwxrwx", "hop"}}},
        {"7-link-without-arrow",
         {"lrwxrwxrwx 1 u g 8 Mar 15 12:34 odd "},
         {{D, "odd", "", "Mar 15", "12:34", "lrwxrwxrwx", ""}}},
        {"7-busybox-device-file",
         {"crw-rw-rw-    1 0        0          1,   3 Mar 15 12:34 null"},
         {{F, "12:34 null", "1,", "3 Mar 15", "", "crw-rw-rw-", ""}}},
        {"7-total-dropped", {"total 12", "TOTAL 40"}, {}},
        {"7-dot-entries-dropped",
         {"drwxr-xr-x 2 0 0 4096 Mar 15 12:34 .", "drwxr-xr-x 2 0 0 4096 Mar 15 12:34 .."},
         {}},
        {"9-wuftp2-five-columns-skipped",
         {"-rw-r--r--   1 owner    group    8 acl  1234 Mar 15 12:34 report.pdf"},
         {{F, "report.pdf", "1234", "Mar 15", "12:34", "-rw-r--r--", ""}}},
        {"9-total-dropped", {"total 12"}, {}},
    };
}

// The generic scan's date rules, relative to the start date.
std::vector<Row> DefaultDateRows() {
    constexpr year_month_day kNewYear{2004y, std::chrono::January, 1d};
    constexpr year_month_day kLeapSpring{2004y, std::chrono::March, 1d};
    return {
        {"0-dec-31-on-new-year-is-last-year",
         {"-rw-r--r-- 1 u g 10 Dec 31 23:59 late"},
         {{F, "late", "10", "31.12.03", "23:59", "-rw-r--r--", ""}},
         {},
         kNewYear},
        {"0-start-day-is-this-year",
         {"-rw-r--r-- 1 u g 10 Jan  1 00:01 early"},
         {{F, "early", "10", "01.01.04", "00:01", "-rw-r--r--", ""}},
         {},
         kNewYear},
        {"0-month-foo-and-day-x",
         {"-rw-r--r-- 1 u g 10 Foo x 2003 odd"},
         {{F, "odd", "10", "01.01.03", "", "-rw-r--r--", ""}}},
        {"0-month-fragment-and-long-word",
         {"-rw-r--r-- 1 u g 10 ov 3 2001 frag", "-rw-r--r-- 1 u g 10 March 3 2001 long"},
         {{F, "frag", "10", "03.11.01", "", "-rw-r--r--", ""},
          {F, "long", "10", "03.01.01", "", "-rw-r--r--", ""}}},
        {"0-feb-29-in-common-year-is-error",
         {"-rw-r--r-- 1 u g 10 Feb 29 10:00 leap"},
         {{F, "-rw-r--r-- 1 u g 10 Feb 29 10:00 leap", "10", "error", "10:00", "-rw-r--r--", ""}}},
        {"0-error-line-stays-a-file",
         {"drwxr-xr-x 2 u g 10 Apr 31 10:00 dir"},
         {{F, "drwxr-xr-x 2 u g 10 Apr 31 10:00 dir", "10", "error", "10:00", "drwxr-xr-x", ""}}},
        {"0-error-link-cut-at-arrow",
         {"lrwxrwxrwx 1 u g 4 Mar 0 10:00 x -> y"},
         {{D, "lrwxrwxrwx 1 u g 4 Mar 0 10:00 x", "", "error", "10:00", "lrwxrwxrwx", "y"}}},
        {"0-feb-29-in-leap-year",
         {"-rw-r--r-- 1 u g 10 Feb 29 10:00 leap"},
         {{F, "leap", "10", "29.02.04", "10:00", "-rw-r--r--", ""}},
         {},
         kLeapSpring},
        {"0-link-to-path-with-year",
         {"lrwxrwxrwx 1 o g 7 Mar 1 2003 bin -> usr/bin"},
         {{D, "bin", "", "01.03.03", "", "lrwxrwxrwx", "usr/bin"}}},
        {"0-year-with-trailing-text",
         {"-rw-r--r-- 1 u g 10 Mar 15 1999x y"},
         {{F, "y", "10", "15.03.99", "", "-rw-r--r--", ""}}},
    };
}

std::vector<Row> MicrosoftRows() {
    return {
        {"2-iis4-dir",
         {"01-15-03  12:34PM       <DIR>          pub"},
         {{D, "pub", "", "01-15-03", "12:34PM", "", ""}}},
        {"2-iis4-file",
         {"01-15-03  12:34PM                 1234 readme.txt"},
         {{F, "readme.txt", "1234", "01-15-03", "12:34PM", "", ""}}},
        {"2-iis4-dir-any-case-first-word-only",
         {"01-15-03  12:34PM       <dir>          My Docs"},
         {{D, "My", "", "01-15-03", "12:34PM", "", ""}}},
        {"2-single-word", {"single"}, {{F, "", "", "single", "", "", ""}}},
        {"6-iis5-dir-with-spaces",
         {"01-15-03  12:34PM       <DIR>          My Docs"},
         {{D, "My Docs", "", "15.01.03", "12:34PM", "", ""}}},
        {"6-iis5-file",
         {"04-14-00  03:47PM                  589 DOS file 1"},
         {{F, "DOS file 1", "589", "14.04.00", "03:47PM", "", ""}}},
        {"6-iis5-size-over-9-digits",
         {"01-15-03  12:34PM           3000000000 big.iso",
          "01-15-03  12:34PM      123456789012345 huge.img"},
         {{F, "big.iso", "3000000000", "15.01.03", "12:34PM", "", ""},
          {F, "huge.img", "123456789012345", "15.01.03", "12:34PM", "", ""}}},
        {"6-dir-without-name-dropped", {"01-15-03  12:34PM       <DIR>"}, {}},
        {"6-lowercase-dir-is-a-file",
         {"01-15-03  12:34PM       <dir>          lower"},
         {{F, "lower", "<dir>", "15.01.03", "12:34PM", "", ""}}},
        {"6-short-line", {"abc"}, {{F, "", "", ".ab.", "", "", ""}}},
        {"8-win2000-24-hour",
         {"11-30-02  14:34         <DIR>          inetpub",
          "11-30-02  09:05                   2048 default.htm"},
         {{D, "inetpub", "", "30.11.02", "14:34", "", ""},
          {F, "default.htm", "2048", "30.11.02", "09:05", "", ""}}},
    };
}

std::vector<Row> VmsRows() {
    const std::string protection = "[USER,STAFF] (RWED,RWED,RE,)";
    return {
        {"5-vms-header-sets-path", {"DISK$ARCHIVE:[USER.WORK]", " "}, {}, "USER/WORK"},
        {"5-vms-header-without-bracket", {"DISK$ARCHIVE:[PUB.A.B"}, {}, "PUB/A/B"},
        {"5-vms-directory",
         {"SUB.DIR;1                1   4-MAR-2003 10:20:30 [USER,STAFF] (RWE,RWE,RE,E)"},
         {{D, "SUB", "", "4-MAR-2003", "10:20:30", "(RWE,RWE,RE,E)", ""}}},
        {"5-vms-file-version-cut",
         {"README.TXT;3             5  15-JAN-2003 09:00:00 " + protection},
         {{F, "README.TXT", "", "15-JAN-2003", "09:00:00", "(RWED,RWED,RE,)", ""}}},
        {"5-vms-wrapped",
         {"LONG_FILE_NAME_THAT_WRAPS.TXT;1",
          "                        12  15-JAN-2003 09:00:00 " + protection},
         {{F, "LONG_FILE_NAME_THAT_WRAPS.TXT", "", "15-JAN-2003", "09:00:00", "(RWED,RWED,RE,)",
           ""}}},
        {"5-vms-total-swallows-next-line",
         {"Total of 1 file, 5 blocks.", "EXTRA.TXT;1    5  15-JAN-2003 09:00:00 " + protection},
         {}},
        {"5-vms-total-at-end", {"Total of 3 files, 18 blocks."}, {}, {}, kStart, true},
    };
}

std::vector<Row> OtherLayoutRows() {
    const char* const ls = "-rw-r--r--   1 owner    group        1234 Mar 15 12:34 notes.txt";
    return {
        {"1-text-whole-line",
         {"drwxr-xr-x 2 u g 4096 Mar 15 12:34 pub", "  spaced name  "},
         {{D, "drwxr-xr-x 2 u g 4096 Mar 15 12:34 pub", "", "", "", "", ""},
          {F, "  spaced name  ", "", "", "", "", ""}}},
        {"1-text-short-lines-ignored", {"", "a", "..", "abc"}, {{F, "abc", "", "", "", "", ""}}},
        {"3-mac-file",
         {"-------r--          326  1391972  1392298 Nov 22  1995 MegaPhone.sit"},
         {{F, "MegaPhone.sit", "326", "Nov 22", "1995", "", ""}}},
        {"3-mac-folder",
         {"drwxrwxr-x               folder        2 May 10  1996 network"},
         {{D, "network", "", "May 10", "1996", "", ""}}},
        {"3-mac-short-file", {"-rw 12"}, {{F, "", "12", "", "", "", ""}}},
        {"4956781-custom-ls-columns",
         {ls, "drwxr-xr-x   2 owner    group        4096 Mar 15 12:34 pub"},
         {{F, "notes.txt", "1234", "Mar 15", "12:34", "-rw-r--r--", ""},
          {D, "pub", "4096", "Mar 15", "12:34", "drwxr-xr-x", ""}}},
        {"4956780-custom-attributes-column-0",
         {"drwxr-xr-x   2 owner    group        4096 Mar 15 12:34 pub"},
         {{F, "pub", "4096", "Mar 15", "12:34", "", ""}}},
        {"4a56781-custom-column-a-disabled",
         {ls},
         {{F, "", "1234", "Mar 15", "12:34", "-rw-r--r--", ""}}},
        {"4900780-custom-day-without-month", {ls}, {{F, "notes.txt", "", " 15", "12:34", "", ""}}},
        {"4956781-custom-columns-past-line-end", {"a b c"}, {{F, "", "", "", "", "a", ""}}},
        {"4956781-custom-link-name-without-arrow",
         {"lrwxrwxrwx 1 o g 7 Mar 1 12:00 bin -> usr/bin"},
         {{D, "bin", "", "Mar 1", "12:00", "lrwxrwxrwx", ""}}},
    };
}

std::vector<std::vector<Row>> EveryFamily() {
    return {UnixServerRows(), DefaultDateRows(), MicrosoftRows(), VmsRows(), OtherLayoutRows()};
}

TEST(ListingParser, RealListingsOfEveryServerFamily) {
    for (const auto& rows : EveryFamily())
        RunTable(rows);
}

TEST(ListingParser, InsertedBytesKeepEveryRowSane) {
    for (const auto& rows : EveryFamily())
        RunWithInsertedBytes(rows);
}

// Thousands of links in one listing: each resolves as it would alone.
TEST(ListingParser, ManyLinksResolveLikeOne) {
    constexpr int kCount = 3000;
    std::vector<std::string> lines;
    const auto plain = [](int i) { return "entry_" + std::to_string(i); };
    for (int i = 0; i < kCount; ++i) {
        lines.push_back(
            (i % 2 == 0 ? "-rw-r--r-- 1 u g 5 Mar 15 12:34 " : "drwxr-xr-x 1 u g 5 Mar 15 12:34 ") +
            plain(i));
    }
    for (int i = 0; i < kCount; ++i) {
        const std::string target =
            i % 3 == 0 ? "missing_" + std::to_string(i) : "ENTRY_" + std::to_string(i);
        lines.push_back("lrwxrwxrwx 1 u g 9 Mar 15 12:34 link_" + std::to_string(i) + " -> " +
                        target);
    }
    const ParsedListing parsed = Parse(lines, "7");
    ASSERT_EQ(parsed.entries.size(), 2u * kCount);
    for (int i = 0; i < kCount; ++i) {
        const RemoteEntry& link = parsed.entries[static_cast<std::size_t>(kCount + i)];
        const bool toFile = i % 3 != 0 && i % 2 == 0;
        EXPECT_EQ(link.kind, toFile ? F : D) << link.name;
        EXPECT_EQ(link.size, toFile ? "9" : "") << link.name;
    }
}

const char* const kEveryLayout[] = {"0", "1", "2", "3", "4956781", "5", "6", "7", "8", "9"};

TEST(ListingParser, HostileLinesInEveryLayout) {
    const std::string megabyte(1 << 20, 'x');
    const std::string prefix = "-rw-r--r-- 1 u g 5 Mar 15 12:34 ";
    std::string words;
    for (int i = 0; i < (1 << 19); ++i)
        words += "a ";
    std::string binary(300, '\0');
    for (int i = 0; i < 300; ++i)
        binary[static_cast<std::size_t>(i)] = static_cast<char>(i % 3 == 0 ? 0 : 0x80 + i % 128);
    const std::vector<std::vector<std::string>> listings{
        {},      {"", "x", "yz"},  {prefix + megabyte},           {std::string(1 << 20, ' ')},
        {words}, {binary, binary}, {"DISK$ARCHIVE:[" + megabyte},
    };
    for (const char* answer : kEveryLayout) {
        for (const auto& lines : listings) {
            SCOPED_TRACE(std::string("answer ") + answer + ", first line size " +
                         std::to_string(lines.empty() ? 0 : lines[0].size()));
            ExpectSane(Parse(lines, answer), lines.size());
        }
    }
    EXPECT_TRUE(Parse({}, "0").entries.empty());
    EXPECT_TRUE(Parse({"", "x", "yz"}, "1").entries.empty());
    EXPECT_EQ(Parse({prefix + megabyte}, "0").entries.at(0).name, megabyte);
    EXPECT_EQ(Parse({prefix + megabyte}, "7").entries.at(0).name, megabyte);
    EXPECT_EQ(Parse({binary}, "1").entries.at(0).name, binary);
    EXPECT_EQ(Parse({"DISK$ARCHIVE:[" + megabyte}, "5").path, megabyte);
}

TEST(ListingStyle, FromAnswerCode) {
    EXPECT_EQ(ListingStyleFromAnswer("").layout, ListingLayout::Default);
    EXPECT_EQ(ListingStyleFromAnswer("0").layout, ListingLayout::Default);
    EXPECT_EQ(ListingStyleFromAnswer("x7").layout, ListingLayout::Default);
    EXPECT_EQ(ListingStyleFromAnswer("7").layout, ListingLayout::Unix);
    EXPECT_EQ(ListingStyleFromAnswer("9").layout, ListingLayout::WuFtp2);
    const ListingStyle custom = ListingStyleFromAnswer("4956781");
    EXPECT_EQ(custom.layout, ListingLayout::Custom);
    EXPECT_EQ(custom.columns, (CustomColumns{9, 5, 6, 7, 8, 1}));
    // 'a' is column 10 and 'A' is not in the table: neither selects a field.
    EXPECT_EQ(ListingStyleFromAnswer("4a0A9").columns, (CustomColumns{0, 0, 0, 9, 0, 0}));
    EXPECT_EQ(ListingStyleFromAnswer("6956781").columns, CustomColumns{});
}

TEST(EntryText, RoundTripKeepsEveryField) {
    const std::vector<RemoteEntry> entries{
        {D, "sub", "", "15.03.03", "", "drwxr-xr-x", ""},
        {F, " spaced name ", "3000000000", "", "12:34", "", ""},
        {F, "l\xc3\xa6s mig.txt", "5", "Mar 15", "", "lrwxrwxrwx", "m\xc3\xa6rke"},
        {},
    };
    for (const RemoteEntry& entry : entries)
        EXPECT_EQ(EntryFromText(EntryText(entry)), entry);
    using namespace std::string_literals;
    EXPECT_EQ(EntryText(entries[0]), "0\0sub\0\0"s
                                     "15.03.03\0\0drwxr-xr-x\0"s);
    EXPECT_EQ(EntryFromText("0\0only"s), (RemoteEntry{D, "only", "", "", "", "", ""}));
}

TEST(ListingLines, CutAtEveryLineEnd) {
    using Lines = std::vector<std::string_view>;
    EXPECT_EQ(SplitListingLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitListingLines("a\n\nb\n"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitListingLines("\r\n"), (Lines{""}));
    EXPECT_EQ(SplitListingLines(""), Lines{});
}

} // namespace
