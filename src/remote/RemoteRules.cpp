#include "remote/RemoteRules.h"

#include "text/TextFields.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace remote {

using namespace text;

namespace {

bool SameLetter(char a, char b) {
    return AsciiUpper(a) == AsciiUpper(b);
}

// No backtracking, by design of the filter: a "*" stops at the first
// occurrence of the next pattern character.
bool PartMatches(std::string_view pattern, std::string_view text) {
    if (pattern == "*")
        return true;
    std::size_t p = 0;
    std::size_t t = 0;
    while (p < pattern.size() && t < text.size()) {
        if (pattern[p] == '?') {
            ++p;
            ++t;
            continue;
        }
        if (pattern[p] == '*') {
            while (p < pattern.size() && pattern[p] == '*')
                ++p;
            std::size_t questionMarks = 0;
            while (p < pattern.size() && pattern[p] == '?') {
                ++questionMarks;
                ++p;
            }
            const bool endsInStars = p == pattern.size() && questionMarks == 0;
            if (endsInStars || (questionMarks > 0 && text.size() - t == questionMarks)) {
                t = text.size();
                break;
            }
            ++t;
            while (t < text.size() && (p == pattern.size() || !SameLetter(text[t], pattern[p])))
                ++t;
            if (t == text.size())
                break;
            if (t + 1 <= questionMarks)
                return false;
            // pattern[p] is now compared as an ordinary character, even a "*".
        }
        if (!SameLetter(pattern[p], text[t]))
            return false;
        ++p;
        ++t;
    }
    return p == pattern.size() && t == text.size();
}

struct DayMonthYear {
    std::int64_t day = 0;
    std::int64_t month = 0;
    std::int64_t year = 0;
};

std::int64_t CenturyOf(std::int64_t year) {
    if (year < 80)
        return 2000 + year;
    if (year < 100)
        return 1900 + year;
    return year;
}

// "15.01.03", "01/15/2003": day, month and year by position.
void ReadNumericDate(const std::vector<std::string_view>& parts, DayMonthYear& date) {
    const auto part = [&](std::size_t i) {
        return i < parts.size() ? ParseInteger(parts[i]) : std::nullopt;
    };
    date.day = part(0).value_or(0);
    date.month = part(1).value_or(0);
    if (const auto year = part(2))
        date.year = CenturyOf(*year);
}

// "Mar 15 2003", "15 Mar": each number fills the first slot it fits.
void ReadWordDate(const std::vector<std::string_view>& parts, DayMonthYear& date) {
    for (const std::string_view part : parts) {
        const std::optional<std::int64_t> value = ParseInteger(part);
        if (!value) {
            if (date.month == 0)
                date.month = MonthFromWord(part).value_or(0);
            continue;
        }
        const std::int64_t v = *value;
        if (v >= 1 && v <= 31 && date.day == 0)
            date.day = v;
        else if (v >= 1 && v <= 12 && date.month == 0)
            date.month = v;
        else if (v >= 1 && v <= 2099)
            date.year = v;
    }
}

std::optional<std::string> FormatDate(const DayMonthYear& d, DateOrder order) {
    if (d.year < 1 || d.year > 9999 || d.month > 12 || d.day > 31)
        return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year{static_cast<int>(d.year)},
                                           std::chrono::month{static_cast<unsigned>(d.month)},
                                           std::chrono::day{static_cast<unsigned>(d.day)}};
    if (!date.ok())
        return std::nullopt;
    const bool monthFirst = order == DateOrder::MonthFirst;
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%02d.%02d.%04d",
                  static_cast<int>(monthFirst ? d.month : d.day),
                  static_cast<int>(monthFirst ? d.day : d.month), static_cast<int>(d.year));
    return std::string(text.data());
}

int CompareUpper(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    // Equal bytes are equal upper-cased: names that share a long start (the
    // same prefix, a date) skip it eight bytes at a time.
    std::size_t i = 0;
    for (std::uint64_t x = 0, y = 0; i + 8 <= n; i += 8) {
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y)
            break;
    }
    for (; i < n; ++i) {
        if (a[i] == b[i])
            continue;
        const auto ca = static_cast<unsigned char>(AsciiUpper(a[i]));
        const auto cb = static_cast<unsigned char>(AsciiUpper(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// dd.mm.yyyy as yyyy.mm.dd, so that text order is date order.
std::string SortableDate(std::string_view date) {
    std::string sortable(Mid(date, 7, 4));
    sortable += '.';
    sortable += Mid(date, 4, 2);
    sortable += '.';
    sortable += Mid(date, 1, 2);
    return sortable;
}

int CompareColumn(const PaneItemData& a, const PaneItemData& b, std::int64_t column) {
    switch (column) {
    case static_cast<int>(PaneColumn::Size): {
        const std::int64_t sizeA = SizeValue(a.size);
        const std::int64_t sizeB = SizeValue(b.size);
        return sizeB > sizeA ? 1 : (sizeB < sizeA ? -1 : 0); // largest first
    }
    case static_cast<int>(PaneColumn::Date):
        return CompareUpper(SortableDate(a.date), SortableDate(b.date));
    case static_cast<int>(PaneColumn::Time):
        return CompareUpper(a.time, b.time);
    case static_cast<int>(PaneColumn::Attribute):
        return CompareUpper(a.attributes, b.attributes);
    default:
        return CompareUpper(a.caption, b.caption);
    }
}

} // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
    if (mask.empty() || mask == "*" || mask == "*.*")
        return true;
    std::vector<std::string_view> maskParts;
    std::vector<std::string_view> nameParts;
    SplitFields('.', mask, maskParts);
    SplitFields('.', name, nameParts);
    if (maskParts.size() != nameParts.size())
        return false;
    for (std::size_t i = 0; i < maskParts.size(); ++i) {
        if (!PartMatches(maskParts[i], nameParts[i]))
            return false;
    }
    return true;
}

std::string DisplayDate(std::string_view text, DateOrder order, int currentYear) {
    const std::string_view trimmed = TrimBlanks(text);
    if (trimmed.empty())
        return {};
    char separator = ' ';
    for (const char candidate : {'.', '/', '\\'}) {
        if (trimmed.find(candidate) != std::string_view::npos) {
            separator = candidate;
            break;
        }
    }
    std::vector<std::string_view> parts;
    SplitFields(separator, trimmed, parts);
    DayMonthYear date;
    date.year = currentYear;
    if (separator == ' ')
        ReadWordDate(parts, date);
    else
        ReadNumericDate(parts, date);
    if (date.day > 0 && date.month > 0) {
        if (std::optional<std::string> shown = FormatDate(date, order))
            return *std::move(shown);
    }
    return std::string(trimmed);
}

int ComparePaneItems(const PaneItemData& a, const PaneItemData& b, int sortKey) {
    if (a.icon != b.icon)
        return a.icon < b.icon ? -1 : 1;
    const std::int64_t key = sortKey;
    const int order = CompareColumn(a, b, key < 0 ? -key : key);
    return sortKey < 0 ? -order : order;
}

int ColumnClickKey(int sortKey, int column) {
    const std::int64_t key = sortKey;
    if (column != (key < 0 ? -key : key))
        return -column;
    return static_cast<int>(-key);
}

std::int64_t SizeValue(std::string_view size) {
    return ParseInteger(size).value_or(0);
}

} // namespace remote
