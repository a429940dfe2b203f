#include "remote/ListingParser.h"

#include <algorithm>
#include <array>
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
    std::size_t notUnderstood = 0;
    std::string path = {};
    year_month_day start = kStart;

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
        EXPECT_EQ(parsed.linesNotUnderstood, row.notUnderstood);
        const int day = std::chrono::sys_days(row.start).time_since_epoch().count();
        Row& all =
            listings.try_emplace({row.answer(), day}, Row{row.name, {}, {}, 0, {}, row.start})
                .first->second;
        all.lines.insert(all.lines.end(), row.lines.begin(), row.lines.end());
        all.expected.insert(all.expected.end(), row.expected.begin(), row.expected.end());
        all.notUnderstood += row.notUnderstood;
        all.path = row.path.empty() ? all.path : row.path;
    }
    for (const auto& [key, all] : listings) {
        SCOPED_TRACE(std::string("all rows of answer ") + std::string(key.first));
        const ParsedListing parsed = Parse(all.lines, key.first, all.start);
        EXPECT_EQ(parsed.entries, all.expected);
        EXPECT_EQ(parsed.path, all.path);
        EXPECT_EQ(parsed.linesNotUnderstood, all.notUnderstood);
    }
}

// What holds for any input, however mangled.
void ExpectSane(const ParsedListing& parsed, std::size_t lineCount) {
    EXPECT_LE(parsed.entries.size() + parsed.linesNotUnderstood, lineCount);
    for (const RemoteEntry& e : parsed.entries) {
        EXPECT_NE(e.name, ".");
        EXPECT_NE(e.name, "..");
        EXPECT_TRUE(e.linkTarget.empty() || e.IsLink());
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

// Lines as ls, busybox and wu-ftpd print them beside the captured listings below.
std::vector<Row> UnixServerRows() {
    return {
        {"0-ls-without-group",
         {"-rw-r--r-- 1 owner 1234 Mar 15 2003 c d.txt"},
         {{F, "c d.txt", "1234", "15.03.03", "", "-rw-r--r--", ""}}},
        {"0-ls-device-file-has-no-size",
         {"crw-rw-rw- 1 root root 1, 3 Dec  6 13:41 null"},
         {{F, "null", "", "06.12.02", "13:41", "crw-rw-rw-", ""}}},
        {"9-wuftp2-five-columns-skipped",
         {"-rw-r--r--   1 owner    group    8 acl  1234 Mar 15 12:34 report.pdf"},
         {{F, "report.pdf", "1234", "Mar 15", "12:34", "-rw-r--r--", ""}}},
        {"7-total-dropped", {"total 12", "TOTAL 40"}, {}},
    };
}

// The date found by its shape wherever it stands, the size as the word
// before it, the name from what follows it.
std::vector<Row> UnixVariantRows() {
    return {
        {"0-ls-long-iso",
         {"-rw-r--r-- 1 u g 1234 2005-06-07 21:22 iso name.txt"},
         {{F, "iso name.txt", "1234", "07.06.05", "21:22", "-rw-r--r--", ""}}},
        {"7-iso-date-alone",
         {"drwxr-xr-x 2 u g 4096 2005-06-07 only date"},
         {{D, "only date", "4096", "07.06.2005", "", "drwxr-xr-x", ""}}},
        {"7-dotted-date",
         {"-rw-r--r-- 1 u g 1234 07.06.2005 21:22 dotted.txt"},
         {{F, "dotted.txt", "1234", "07.06.2005", "21:22", "-rw-r--r--", ""}}},
        {"0-dotted-date-two-digit-year",
         {"-rw-r--r-- 1 u g 1234 7.6.99 dotted.txt"},
         {{F, "dotted.txt", "1234", "07.06.99", "", "-rw-r--r--", ""}}},
        {"7-day-and-month-swapped",
         {"-rw-r--r-- 1 u g 1234 15 Mar 12:34 swapped.txt"},
         {{F, "swapped.txt", "1234", "15 Mar", "12:34", "-rw-r--r--", ""}}},
        {"0-day-and-month-swapped-with-year",
         {"-rw-r--r-- 1 u g 1234 15 Mar 2001 swapped.txt"},
         {{F, "swapped.txt", "1234", "15.03.01", "", "-rw-r--r--", ""}}},
        {"7-small-size-before-swapped-date",
         {"-rw-r--r-- 1 u g 15 3 Mar 12:34 small.txt"},
         {{F, "small.txt", "15", "3 Mar", "12:34", "-rw-r--r--", ""}}},
        {"7-no-link-count-owner-group",
         {"-rw-r--r-- 1234 Mar 15 12:34 bare.txt"},
         {{F, "bare.txt", "1234", "Mar 15", "12:34", "-rw-r--r--", ""}}},
        {"7-size-with-unit",
         {"-rw-r--r-- 1 u g 33.5k Mar 15 12:34 k.txt"},
         {{F, "k.txt", "33.5k", "Mar 15", "12:34", "-rw-r--r--", ""}}},
        {"7-size-run-into-group",
         {"-rw-r--r-- 1 owner longgroupname12345678 Mar 15 12:34 run.txt"},
         {{F, "run.txt", "12345678", "Mar 15", "12:34", "-rw-r--r--", ""}}},
        {"7-owner-and-group-look-like-a-date",
         {"-rw-r--r-- 1 mar 5 Mar 15 12:34 x"},
         {{F, "x", "5", "Mar 15", "12:34", "-rw-r--r--", ""}}},
        {"7-time-with-seconds",
         {"-rw-r--r-- 1 u g 5 Mar 15 12:34:56 secs"},
         {{F, "secs", "5", "Mar 15", "12:34:56", "-rw-r--r--", ""}}},
    };
}

// A line the layout cannot read is counted, never shown under a wrong name.
std::vector<Row> NotUnderstoodRows() {
    return {
        {"0-error-text-counted", {"ls: cannot open directory .: Permission denied"}, {}, 1},
        {"7-nothing-after-date-counted",
         {"-rw-r--r-- 1 u g 5 Mar 15 12:34", "-rw-r--r-- 1 u g 5 Mar 15 12:34 "},
         {},
         2},
        {"0-feb-29-in-common-year-counted", {"-rw-r--r-- 1 u g 10 Feb 29 10:00 leap"}, {}, 1},
        {"7-day-0-counted", {"lrwxrwxrwx 1 u g 4 Mar 0 10:00 x -> y"}, {}, 1},
        {"6-no-dos-date-counted", {"abc", "not a dos line at all"}, {}, 2},
        {"6-size-not-a-number-counted", {"01-15-03  12:34PM              unknown odd"}, {}, 1},
        {"5-vms-without-version-counted", {"%RMS-E-FNF, file not found"}, {}, 1},
    };
}

// Links keep their size; the target's entry, before or after the link,
// decides file or folder.
std::vector<Row> LinkRows() {
    return {
        {"7-link-matches-earlier-file-any-case",
         {"-rw-r--r--   1 u g 3 Mar 15 12:34 FILE.TXT",
          "lrwxrwxrwx   1 u g 8 Mar 15 12:34 ln -> file.txt"},
         {{F, "FILE.TXT", "3", "Mar 15", "12:34", "-rw-r--r--", ""},
          {F, "ln", "8", "Mar 15", "12:34", "lrwxrwxrwx", "file.txt"}}},
        {"7-link-first-match-wins",
         {"drwxr-xr-x 2 u g 4096 Mar 15 12:34 Same", "-rw-r--r-- 1 u g 3 Mar 15 12:34 same",
          "lrwxrwxrwx 1 u g 4 Mar 15 12:34 to-same -> SAME"},
         {{D, "Same", "4096", "Mar 15", "12:34", "drwxr-xr-x", ""},
          {F, "same", "3", "Mar 15", "12:34", "-rw-r--r--", ""},
          {D, "to-same", "4", "Mar 15", "12:34", "lrwxrwxrwx", "SAME"}}},
        {"7-link-does-not-resolve-to-a-link",
         {"-rw-r--r-- 1 u g 3 Mar 15 12:34 plain.txt",
          "lrwxrwxrwx 1 u g 4 Mar 15 12:34 hop -> plain.txt",
          "lrwxrwxrwx 1 u g 3 Mar 15 12:34 hop2 -> hop"},
         {{F, "plain.txt", "3", "Mar 15", "12:34", "-rw-r--r--", ""},
          {F, "hop", "4", "Mar 15", "12:34", "lrwxrwxrwx", "plain.txt"},
          {D, "hop2", "3", "Mar 15", "12:34", "lrwxrwxrwx", "hop"}}},
        {"7-link-keeps-blanks-around-arrow",
         {"lrwxrwxrwx 1 u g 8 Mar 15 12:34  sp ace  ->  to rget "},
         {{D, " sp ace ", "8", "Mar 15", "12:34", "lrwxrwxrwx", " to rget "}}},
        {"7-link-name-holding-arrow",
         {"lrwxrwxrwx 1 u g 8 Mar 15 12:34 a->b -> c"},
         {{D, "a->b", "8", "Mar 15", "12:34", "lrwxrwxrwx", "c"}}},
        {"7-link-without-arrow",
         {"lrwxrwxrwx 1 u g 8 Mar 15 12:34 odd"},
         {{D, "odd", "8", "Mar 15", "12:34", "lrwxrwxrwx", ""}}},
    };
}

// LIST output captured from Debian's vsftpd, ProFTPD, pure-ftpd and
// pyftpdlib (Debian's busybox has no ftpd applet), and from GNU ls with
// long-iso times, over one tree: blanks leading, trailing and doubled, "->"
// in a plain name, UTF-8, a 5 GiB sparse file, links to a file listed before
// and after them, to a folder and to nowhere. The entries are the files on
// disk; only the date columns differ between servers.
std::vector<Row> CapturedListingRows() {
    struct OnDisk {
        EntryKind kind;
        const char* name;
        const char* size;
        const char* attributes;
        const char* target;
    };
    const OnDisk tree[] = {
        {F, " leading space.txt", "10", "-rw-r--r--", ""},
        {F, "aaa-link", "7", "lrwxrwxrwx", "zzz.txt"},
        {F, "arrow -> in name.txt", "1", "-rw-r--r--", ""},
        {F, "big.img", "5368709120", "-rw-r--r--", ""},
        {D, "dangling", "7", "lrwxrwxrwx", "nowhere"},
        {F, "double  blank.txt", "5", "-rw-r--r--", ""},
        {F, "link to file", "17", "lrwxrwxrwx", "double  blank.txt"},
        {D, "link-to-dir", "7", "lrwxrwxrwx", "sub dir"},
        {F, "l\xc3\xa4s mig \xe2\x82\xac.txt", "6", "-rw-r--r--", ""},
        {F, "recent.txt", "8", "-rw-r--r--", ""},
        {D, "sub dir", "4096", "drwxr-xr-x", ""},
        {F, "trailing space.txt ", "3", "-rw-r--r--", ""},
        {F, "zzz.txt", "2", "-rw-r--r--", ""},
    };
    // Date and time of every entry: recent.txt and zzz.txt differ from the rest.
    using Dates = std::array<std::pair<const char*, const char*>, 3>;
    const auto entries = [&](const Dates& dates) {
        std::vector<RemoteEntry> expected;
        for (const OnDisk& file : tree) {
            const std::string_view name = file.name;
            const auto& [date, time] =
                dates[name == "recent.txt" ? 1 : (name == "zzz.txt" ? 2 : 0)];
            expected.push_back(
                {file.kind, file.name, file.size, date, time, file.attributes, file.target});
        }
        return expected;
    };
    const Dates listDates{{{"Jun 01 2003", ""}, {"Dec 01", "12:34"}, {"Mar 04 2001", ""}}};
    const Dates narrowDates{{{"Jun 1 2003", ""}, {"Dec 1", "12:34"}, {"Mar 4 2001", ""}}};
    const Dates isoDates{
        {{"01.06.2003", "10:20"}, {"01.12.2026", "12:34"}, {"04.03.2001", "05:06"}}};
    const Dates shortDates{{{"01.06.03", ""}, {"01.12.02", "12:34"}, {"04.03.01", ""}}};
    // How each server lays out its columns: widths of the link count, of the
    // owner and group (one name) and of the size, and its three dates.
    struct Columns {
        std::size_t links;
        const char* owner;
        std::size_t ownerWidth;
        std::size_t sizeWidth;
        std::array<const char*, 3> dates;
    };
    const auto listed = [&](const Columns& c) {
        const auto pad = [](std::string text, std::size_t width, bool right) {
            const std::string blanks(width > text.size() ? width - text.size() : 0, ' ');
            return right ? blanks + text : text + blanks;
        };
        std::vector<std::string> lines;
        for (const OnDisk& file : tree) {
            const std::string_view name = file.name;
            const char* date = c.dates[name == "recent.txt" ? 1 : (name == "zzz.txt" ? 2 : 0)];
            lines.push_back(std::string(file.attributes) + ' ' +
                            pad(file.attributes[0] == 'd' ? "2" : "1", c.links, true) + ' ' +
                            pad(c.owner, c.ownerWidth, false) + ' ' +
                            pad(c.owner, c.ownerWidth, false) + ' ' +
                            pad(file.size, c.sizeWidth, true) + ' ' + date + ' ' + file.name +
                            (*file.target ? std::string(" -> ") + file.target : ""));
        }
        return lines;
    };
    const std::array<const char*, 3> zeroPadded{"Jun 01  2003", "Dec 01 12:34", "Mar 04  2001"};
    const std::array<const char*, 3> blankPadded{"Jun  1  2003", "Dec  1 12:34", "Mar  4  2001"};
    const std::vector<std::string> vsftpd = listed({4, "0", 8, 8, zeroPadded});
    std::vector<std::string> lsLongIso =
        listed({2, "root", 4, 10, {"2003-06-01 10:20", "2026-12-01 12:34", "2001-03-04 05:06"}});
    lsLongIso.insert(lsLongIso.begin() + 1,
                     {"drwxr-xr-x  3 root root       4096 2026-12-07 21:04 .",
                      "drwxrwxrwt 23 root root       4096 2026-12-07 21:04 .."});
    lsLongIso.insert(lsLongIso.begin(), "total 36");
    return {
        {"7-captured-vsftpd", vsftpd, entries(listDates)},
        {"7-captured-pyftpdlib", listed({3, "root", 8, 8, zeroPadded}), entries(listDates)},
        {"0-captured-vsftpd", vsftpd, entries(shortDates)},
        {"7-captured-proftpd", listed({3, "0", 8, 8, blankPadded}), entries(narrowDates)},
        {"0-captured-pure-ftpd", listed({4, "0", 10, 10, blankPadded}), entries(shortDates)},
        {"9-captured-ls-long-iso", lsLongIso, entries(isoDates)},
    };
}

// The generic scan's date rules, relative to the start date.
std::vector<Row> DefaultDateRows() {
    constexpr year_month_day kNewYear{2004y, std::chrono::January, 1d};
    constexpr year_month_day kLeapSpring{2004y, std::chrono::March, 1d};
    constexpr year_month_day kAfterLeapYear{2025y, std::chrono::January, 10d};
    const auto on = [](year_month_day start, Row row) {
        row.start = start;
        return row;
    };
    return {
        on(kNewYear, {"0-dec-31-on-new-year-is-last-year",
                      {"-rw-r--r-- 1 u g 10 Dec 31 23:59 late"},
                      {{F, "late", "10", "31.12.03", "23:59", "-rw-r--r--", ""}}}),
        on(kNewYear, {"0-start-day-is-this-year",
                      {"-rw-r--r-- 1 u g 10 Jan  1 00:01 early"},
                      {{F, "early", "10", "01.01.04", "00:01", "-rw-r--r--", ""}}}),
        on(kLeapSpring, {"0-feb-29-in-leap-year",
                         {"-rw-r--r-- 1 u g 10 Feb 29 10:00 leap"},
                         {{F, "leap", "10", "29.02.04", "10:00", "-rw-r--r--", ""}}}),
        on(kAfterLeapYear, {"0-feb-29-of-last-year-when-that-was-leap",
                            {"-rw-r--r-- 1 u g 10 Feb 29 10:00 leap"},
                            {{F, "leap", "10", "29.02.24", "10:00", "-rw-r--r--", ""}}}),
        {"0-month-any-case",
         {"-rw-r--r-- 1 u g 10 MAR 3 2001 upper"},
         {{F, "upper", "10", "03.03.01", "", "-rw-r--r--", ""}}},
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
        {"6-dir-without-name-dropped", {"01-15-03  12:34PM       <DIR>"}, {}},
        {"6-lowercase-dir-is-a-dir",
         {"01-15-03  12:34PM       <dir>          lower"},
         {{D, "lower", "", "15.01.03", "12:34PM", "", ""}}},
        {"6-iis-four-digit-year-dir",
         {"01-15-2003  12:34PM       <DIR>          My Docs"},
         {{D, "My Docs", "", "15.01.03", "12:34PM", "", ""}}},
        {"6-iis-thousands-separators",
         {"04-14-00  03:47PM                9,730 sep.txt",
          "04-14-00  03:47PM        5,368,709,120 five-gib.img"},
         {{F, "sep.txt", "9730", "14.04.00", "03:47PM", "", ""},
          {F, "five-gib.img", "5368709120", "14.04.00", "03:47PM", "", ""}}},
        {"6-iis-names-keep-leading-blanks",
         {"01-15-03  12:34PM       <DIR>           sub", "01-15-03  12:34PM  1234  lead.txt"},
         {{D, " sub", "", "15.01.03", "12:34PM", "", ""},
          {F, " lead.txt", "1234", "15.01.03", "12:34PM", "", ""}}},
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
        {"5-vms-header-sets-path", {"DISK$ARCHIVE:[USER.WORK]", " "}, {}, 0, "USER/WORK"},
        {"5-vms-header-without-bracket", {"DISK$ARCHIVE:[PUB.A.B"}, {}, 0, "PUB/A/B"},
        {"5-vms-directory",
         {"SUB.DIR;1                1   4-MAR-2003 10:20:30 [USER,STAFF] (RWE,RWE,RE,E)"},
         {{D, "SUB", "1", "4-MAR-2003", "10:20:30", "(RWE,RWE,RE,E)", ""}}},
        {"5-vms-file-blocks",
         {"README.TXT;3             5  15-JAN-2003 09:00:00 " + protection},
         {{F, "README.TXT", "5", "15-JAN-2003", "09:00:00", "(RWED,RWED,RE,)", ""}}},
        {"5-vms-used-and-allocated",
         {"DATA.DAT;2            12/15  15-JAN-2003 09:00:00 " + protection},
         {{F, "DATA.DAT", "12", "15-JAN-2003", "09:00:00", "(RWED,RWED,RE,)", ""}}},
        {"5-vms-without-time",
         {"NOTIME.TXT;1              3  15-JAN-2003 " + protection},
         {{F, "NOTIME.TXT", "3", "15-JAN-2003", "", "(RWED,RWED,RE,)", ""}}},
        {"5-vms-wrapped",
         {"LONG_FILE_NAME_THAT_WRAPS.TXT;1",
          "                        12  15-JAN-2003 09:00:00 " + protection},
         {{F, "LONG_FILE_NAME_THAT_WRAPS.TXT", "12", "15-JAN-2003", "09:00:00", "(RWED,RWED,RE,)",
           ""}}},
        {"5-vms-wrapped-without-indent",
         {"A_LONG_NAME.TXT;1", "12/14  15-JAN-2003 09:00:00 " + protection},
         {{F, "A_LONG_NAME.TXT", "12", "15-JAN-2003", "09:00:00", "(RWED,RWED,RE,)", ""}}},
        {"5-vms-total-keeps-next-line",
         {"Total of 1 file, 5 blocks.", "EXTRA.TXT;1    5  15-JAN-2003 09:00:00 " + protection},
         {{F, "EXTRA.TXT", "5", "15-JAN-2003", "09:00:00", "(RWED,RWED,RE,)", ""}}},
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
        {"4900780-custom-day-without-month", {ls}, {{F, "notes.txt", "", " 15", "12:34", "", ""}}},
        {"4956781-custom-columns-past-line-end", {"a b c"}, {{F, "", "", "", "", "a", ""}}},
        {"4956781-custom-link-name-without-arrow",
         {"lrwxrwxrwx 1 o g 7 Mar 1 12:00 bin -> usr/bin"},
         {{D, "bin", "7", "Mar 1", "12:00", "lrwxrwxrwx", ""}}},
    };
}

std::vector<std::vector<Row>> EveryFamily() {
    return {UnixServerRows(), UnixVariantRows(), NotUnderstoodRows(),
            LinkRows(),       DefaultDateRows(), CapturedListingRows(),
            MicrosoftRows(),  VmsRows(),         OtherLayoutRows()};
}

TEST(ListingParser, RealListingsOfEveryServerFamily) {
    for (const auto& rows : EveryFamily())
        RunTable(rows);
}

TEST(ListingParser, InsertedBytesKeepEveryRowSane) {
    for (const auto& rows : EveryFamily())
        RunWithInsertedBytes(rows);
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
    EXPECT_EQ(Parse({prefix + megabyte}, "0").entries.at(0).name, megabyte);
    EXPECT_EQ(Parse({prefix + megabyte}, "7").entries.at(0).name, megabyte);
    EXPECT_EQ(Parse({binary}, "1").entries.at(0).name, binary);
    EXPECT_EQ(Parse({"DISK$ARCHIVE:[" + megabyte}, "5").path, megabyte);
}

TEST(ListingStyle, FromAnswerCode) {
    // The rows above read "0", "7", "9" and "4956781"; here what they do not.
    EXPECT_EQ(ListingStyleFromAnswer("").layout, ListingLayout::Default);
    EXPECT_EQ(ListingStyleFromAnswer("x7").layout, ListingLayout::Default);
    // 'a' is column 10 and 'A' is not in the table: neither selects a field.
    EXPECT_EQ(ListingStyleFromAnswer("4a0A9").columns, (CustomColumns{0, 0, 0, 9, 0, 0}));
    EXPECT_EQ(ListingStyleFromAnswer("6956781").columns, CustomColumns{});
}

// The entries of `text` fed to a reader `piece` bytes at a time.
ParsedListing ReadInPieces(std::string_view text, std::string_view answer, year_month_day start,
                           std::size_t piece) {
    return ReadListing(ListingStyleFromAnswer(answer), start, [&](ListingReader& reader) {
        for (; !text.empty(); text.remove_prefix(std::min(text.size(), piece)))
            reader.Feed(text.substr(0, piece));
    });
}

// A listing read as the data connection delivers it, cut anywhere (inside a
// CR LF too), gives what the whole file gives, in every layout. Pieces of one
// byte put a cut at every place at once; pieces of seven mix whole lines and
// parts of them.
TEST(ListingReader, CutAnywhereReadsAsWhole) {
    for (const auto& rows : EveryFamily()) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            const ParsedListing whole = Parse(row.lines, row.answer(), row.start);
            for (const std::string_view end : {"\r\n", "\n", "\r"}) {
                std::string text;
                for (const std::string& line : row.lines)
                    text.append(line).append(end);
                for (const std::size_t piece : {1, 7}) {
                    SCOPED_TRACE(piece);
                    const ParsedListing read = ReadInPieces(text, row.answer(), row.start, piece);
                    EXPECT_EQ(read.entries, whole.entries);
                    EXPECT_EQ(read.path, whole.path);
                    EXPECT_EQ(read.linesNotUnderstood, whole.linesNotUnderstood);
                }
            }
        }
    }
}

TEST(ListingLines, CutAtEveryLineEnd) {
    using Lines = std::vector<std::string_view>;
    EXPECT_EQ(SplitListingLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitListingLines("a\n\nb\n"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitListingLines("\r\n"), (Lines{""}));
    EXPECT_EQ(SplitListingLines(""), Lines{});
}

} // namespace
