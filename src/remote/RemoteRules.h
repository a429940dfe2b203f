#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Rules of the file panes that work on plain item data: the name filter, the
// display form of listing dates and the column sort order.
namespace remote {

// "*", "*.*" and the empty mask match every name. Otherwise mask and name are
// cut at "." and must have as many parts, each matching its mask part: "?"
// takes one character, "*" one or more up to the first occurrence of the next
// pattern character (no backtracking: '*b' does not match 'abcb'). Letters
// compare without regard to case (ASCII).
bool MatchesMask(std::string_view name, std::string_view mask);

// The option DateType: 0 shows dd.mm.yyyy, 1 shows mm.dd.yyyy.
enum class DateOrder { DayFirst = 0, MonthFirst = 1 };

// Display form of an entry's date text ("15.01.03", "Mar 15 2003", "Mar 15").
// Two-digit years below 80 are 20xx, 80 to 99 are 19xx; a date without a year
// takes `currentYear`. A text that does not make a date is shown trimmed.
std::string DisplayDate(std::string_view text, DateOrder order, int currentYear);

// Pane columns; a sort key's absolute value names one, its sign the direction.
enum class PaneColumn { Filename = 1, Size = 2, Date = 3, Time = 4, Attribute = 5 };

// What the comparison reads of a pane item.
struct PaneItemData {
    int icon = 0; // 0 the up entry, 1 folder, 2 file: lower comes first
    std::string_view caption;
    std::string_view size;
    std::string_view date; // display form, dd.mm.yyyy
    std::string_view time;
    std::string_view attributes;
};

// Negative when `a` goes first. Icons first, whatever the direction; then the
// key's column: sizes largest first, dates by year, month and day, other
// texts upper-cased (ASCII) byte by byte. A negative key reverses the column
// order; a key naming no column sorts by caption.
int ComparePaneItems(const PaneItemData& a, const PaneItemData& b, int sortKey);

// The key after a click on a column header (1 to 5; 0 for columns that do
// not sort): a new column starts reversed, the same column flips direction.
int ColumnClickKey(int sortKey, int column);

// A size text as a number; 0 when it is none.
std::int64_t SizeValue(std::string_view size);

} // namespace remote
