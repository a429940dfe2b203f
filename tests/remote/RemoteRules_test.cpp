#include "remote/RemoteRules.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace {

using namespace remote;

struct MaskRow {
    const char* mask;
    const char* name;
    bool matches;
};

TEST(MatchesMask, FilterRules) {
    const std::vector<MaskRow> rows{
        {"*", "anything.at.all", true},
        {"*.*", "readme", true},
        {"", "readme", true},
        {"*.htm?", "index.html", true},
        {"*.htm?", "index.htm", false},
        {"*.txt", "a.b.txt", false},
        {"*.TXT", "notes.txt", true},
        {"A?C.*", "abc.doc", true},
        {"file", "file.", true}, // the empty last part does not count
        {"*.txt", "file.", false},
        {"*.tar.gz", "src.tar.gz", true},
        {"*b", "ab", true},
        {"*b", "b", false},    // a star takes at least one character
        {"*b", "abcb", false}, // and stops at the first "b"
        {"a*", "a", false},
        {"a*", "abc", true},
        {"*?", "a", true},
        {"*??", "ab", true},
        {"*??x", "ax", false},
        {"*??x", "abx", true},
        {"*???x", "axbx", false}, // the next "x" sits within the "?" run
        {"*??x?", "axy", false},
        {"a?c", "ac", false},
        {"*?*", "a*", true}, // after the "?" run a "*" is an ordinary character
        {"*?*", "ab", false},
        {"*?*", "a*b", false},
        {"*.*.*", "a.b", false},
    };
    for (const MaskRow& row : rows)
        EXPECT_EQ(MatchesMask(row.name, row.mask), row.matches)
            << "mask '" << row.mask << "' name '" << row.name << "'";
}

struct DateRow {
    const char* text;
    DateOrder order;
    const char* shown;
};

TEST(DisplayDate, ListingDatesForThePane) {
    constexpr DateOrder dmy = DateOrder::DayFirst;
    const std::vector<DateRow> rows{
        {"15.01.03", DateOrder::MonthFirst, "01.15.2003"},
        {"31.12.85", dmy, "31.12.1985"},
        {"05.03.79", dmy, "05.03.2079"},
        {"  15.01.03  ", dmy, "15.01.2003"},
        {"15.01", dmy, "15.01.2024"},
        {"29.02.04", dmy, "29.02.2004"},
        {"30.02.03", dmy, "30.02.03"},
        {"15/01/2003", dmy, "15.01.2003"},
        {"01/15/03", dmy, "01/15/03"}, // month 15 makes no date
        {"Mar 15 2003", dmy, "15.03.2003"},
        {"Mar 15", dmy, "15.03.2024"},
        {"15 Mar 1999", dmy, "15.03.1999"},
        {"Mar Apr 15 2003", dmy, "15.03.2003"}, // the first month word counts
        {"3 Mar 15", dmy, "03.03.0015"},
        {"1-JAN-2003", dmy, "1-JAN-2003"},
        {"error", dmy, "error"},
        {"   ", dmy, ""},
        {"15.01.99999999999", dmy, "15.01.99999999999"},
    };
    for (const DateRow& row : rows)
        EXPECT_EQ(DisplayDate(row.text, row.order, 2024), row.shown) << "'" << row.text << "'";
}

struct Item {
    int icon;
    const char* caption;
    const char* size;
    const char* date;
    const char* time;
    const char* attributes;

    PaneItemData Data() const { return {icon, caption, size, date, time, attributes}; }
};

std::vector<std::string> SortedCaptions(std::vector<Item> items, int key) {
    std::stable_sort(items.begin(), items.end(), [key](const Item& a, const Item& b) {
        return ComparePaneItems(a.Data(), b.Data(), key) < 0;
    });
    std::vector<std::string> captions;
    for (const Item& item : items)
        captions.emplace_back(item.caption);
    return captions;
}

using Captions = std::vector<std::string>;

const std::vector<Item> kPane{
    {2, "mid.txt", "500", "15.01.2003", "12:00", "-rw-r--r--"},
    {1, "pub", "", "01.02.2003", "09:00", "drwxr-xr-x"},
    {2, "Big.iso", "3000000000", "31.12.2002", "23:59", "-rw-------"},
    {1, "Archive", "", "20.06.2001", "", "drwx------"},
    {2, "small.txt", "10", "14.01.2003", "08:30", "-rw-r--r--"},
    {0, "..", "", "", "", ""},
};

TEST(ComparePaneItems, FoldersFirstThenTheClickedColumn) {
    int key = 1; // after a session
    EXPECT_EQ(SortedCaptions(kPane, key),
              (Captions{"..", "Archive", "pub", "Big.iso", "mid.txt", "small.txt"}));
    key = ColumnClickKey(key, static_cast<int>(PaneColumn::Size));
    EXPECT_EQ(key, -2); // folders have no size: they keep their listing order
    EXPECT_EQ(SortedCaptions(kPane, key),
              (Captions{"..", "pub", "Archive", "small.txt", "mid.txt", "Big.iso"}));
    key = ColumnClickKey(key, static_cast<int>(PaneColumn::Size));
    EXPECT_EQ(key, 2);
    EXPECT_EQ(SortedCaptions(kPane, key),
              (Captions{"..", "pub", "Archive", "Big.iso", "mid.txt", "small.txt"}));
    key = ColumnClickKey(key, static_cast<int>(PaneColumn::Filename));
    EXPECT_EQ(SortedCaptions(kPane, key),
              (Captions{"..", "pub", "Archive", "small.txt", "mid.txt", "Big.iso"}));
    EXPECT_EQ(SortedCaptions(kPane, static_cast<int>(PaneColumn::Date)),
              (Captions{"..", "Archive", "pub", "Big.iso", "small.txt", "mid.txt"}));
    EXPECT_EQ(SortedCaptions(kPane, -static_cast<int>(PaneColumn::Time)),
              (Captions{"..", "pub", "Archive", "Big.iso", "mid.txt", "small.txt"}));
    EXPECT_EQ(SortedCaptions(kPane, static_cast<int>(PaneColumn::Attribute)),
              (Captions{"..", "Archive", "pub", "Big.iso", "mid.txt", "small.txt"}));
    EXPECT_EQ(SortedCaptions(kPane, 0), SortedCaptions(kPane, 9)); // no column: by name
    EXPECT_EQ(ColumnClickKey(2, 0), 0) << "\"Links\" does not sort";
    EXPECT_EQ(SizeValue("<DIR>"), 0);
}

TEST(ComparePaneItems, TextOrderFoldsAsciiOnly) {
    const auto compare = [](const char* a, const char* b) {
        return ComparePaneItems({2, a, "", "", "", ""}, {2, b, "", "", "", ""}, 1);
    };
    EXPECT_EQ(compare("abc", "ABC"), 0);
    EXPECT_LT(compare("ab", "abc"), 0);
    EXPECT_LT(compare("a_b", "a\xc3\xa6"), 0); // high bytes after ASCII, by code
    EXPECT_GT(compare("\xc3\xa6", "\xc3\x86"), 0);
}

} // namespace
