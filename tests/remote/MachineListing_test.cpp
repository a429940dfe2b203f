#include "remote/MachineListing.h"

#include <chrono>
#include <gtest/gtest.h>
#include <vector>

using namespace remote;

namespace {

// A fixed zone one hour east of UTC, so the tests do not depend on the machine's.
LocalClock OneHourEast(std::int64_t utc) {
    using namespace std::chrono;
    const sys_seconds time{seconds{utc + 3600}};
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    return {int(date.year()), int(unsigned(date.month())), int(unsigned(date.day())),
            int(clock.hours().count()), int(clock.minutes().count())};
}

TEST(MachineListing, LinesOfRealServers) {
    constexpr EntryKind D = EntryKind::Directory;
    constexpr EntryKind F = EntryKind::File;
    struct Row {
        const char* name;
        const char* line;
        std::vector<RemoteEntry> expected; // empty: left out
        std::size_t notUnderstood = 0;
    };
    const Row rows[]{
        {"pure-ftpd-file",
         "type=file;size=1048576;modify=20050607212233;UNIX.mode=0644;UNIX.uid=1000;unique=8e;"
         " report.pdf",
         {{F, "report.pdf", "1048576", "07.06.05", "22:22", "-rw-r--r--", ""}}},
        {"pyftpdlib-dir-perm-before-mode",
         "type=dir;size=4096;modify=20261207235900;perm=flcdmpe;unix.mode=0755; pub",
         {{D, "pub", "", "08.12.26", "00:59", "drwxr-xr-x", ""}}},
        {"name-blanks-at-both-ends-and-arrow-kept",
         "type=file;size=3;  a -> b ",
         {{F, " a -> b ", "3", "", "", "", ""}}},
        {"name-with-semicolons-and-equals",
         "type=file;size=1; x=1; y;",
         {{F, "x=1; y;", "1", "", "", "", ""}}},
        {"symlink-is-a-folder-that-keeps-its-size",
         "type=OS.unix=slink:/srv/data;size=9;UNIX.mode=0777; data",
         {{D, "data", "9", "", "", "lrwxrwxrwx", "/srv/data"}}},
        {"symlink-without-mode-still-a-link",
         "Type=OS.unix=symlink; l",
         {{D, "l", "", "", "", "l", ""}}},
        {"no-facts-at-all", " bare", {{F, "bare", "", "", "", "", ""}}},
        {"cdir-and-pdir-left-out", "type=cdir;modify=20050607212233; /pub", {}},
        {"dot-names-left-out-whatever-the-type", "type=file; ..", {}},
        {"bad-facts-passed-over",
         "type=file;size=12x;modify=20051307212233;UNIX.mode=rwx;size=99999999999999999999; f",
         {{F, "f", "", "", "", "", ""}}},
        {"leap-second-and-fraction",
         "type=file;modify=20161231235960.123; f",
         {{F, "f", "", "01.01.17", "01:00", "", ""}}},
        {"perm-shown-where-no-mode-is-sent",
         "type=file;perm=adfrw; f",
         {{F, "f", "", "", "", "adfrw", ""}}},
        {"folder-perm-beginning-with-l-does-not-make-a-link",
         "type=dir;perm=lcdmpe; d",
         {{D, "d", "", "", "", "-lcdmpe", ""}}},
        {"no-blank-after-the-facts", "type=file;size=1;", {}, 1},
        {"facts-not-ended-by-semicolon", "type=file name", {}, 1},
        {"fact-without-value-sign", "type;size=1; f", {}, 1},
        {"a-unix-line-is-no-machine-line",
         "-rw-r--r--    1 1000     1000         10 Sep 15 08:30 x",
         {},
         1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<std::string_view> lines{row.line};
        const ParsedListing parsed = ParseMachineListing(lines, OneHourEast);
        EXPECT_EQ(parsed.entries, row.expected);
        EXPECT_EQ(parsed.linesNotUnderstood, row.notUnderstood);
    }
}

// The pane's reader takes MLSD lines: nothing cut at " -> ", links resolved
// against the listing. Cuts between deliveries are the reader's own test.
TEST(MachineListing, ThePanesReaderTakesMachineLines) {
    const std::string listing = "type=cdir; /pub\r\ntype=file;size=3;  a -> b \r\n"
                                "type=OS.unix=slink:f;UNIX.mode=0777; l\ntype=file;size=1; f\r\n"
                                "garbage\r\ntype=dir;sizd=4096; d";
    ListingStyle style;
    style.machine = true;
    const std::vector<std::string_view> lines = SplitListingLines(listing);
    const ParsedListing whole = ParseListing(lines, style, {});
    ASSERT_EQ(whole.entries.size(), 4u);
    EXPECT_EQ(whole.entries[0].name, " a -> b ");
    EXPECT_EQ(whole.entries[1].kind, EntryKind::File) << "a link to a file is a file";
    EXPECT_EQ(whole.entries[3].kind, EntryKind::Directory);
    EXPECT_EQ(whole.linesNotUnderstood, 1u);
}

TEST(MachineListing, TimesThatDoNotExistAreNoTimes) {
    struct Row {
        const char* text;
        std::optional<std::int64_t> seconds;
    };
    const Row rows[]{
        {"19700101000000", 0},
        {"20240229120000.5", 1709208000},
        {"20230229120000", std::nullopt},
        {"20051232000000", std::nullopt},
        {"20050607246000", std::nullopt},
        {"2005060721223", std::nullopt},
        {"20050607212233.", std::nullopt},
        {"2005-06-07 21:22", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ParseMachineTime(row.text), row.seconds);
    }
}

} // namespace
