#include "remote/ListingParser.h"

#include "text/TextFields.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>

namespace remote {

using namespace text;

namespace {

constexpr std::string_view kVmsHeader = "DISK$ARCHIVE:[";

// What a layout made of one line.
enum class LineResult { Entry, NoEntry, NotUnderstood };

// Keeps the scratch list of SplitFields between lines, so cutting a large
// listing does not allocate one per line.
struct Fields {
    std::vector<std::string_view> list;

    void Cut(std::string_view line) { SplitFields(' ', line, list); }
    // Field n counted from 0; empty past the end.
    std::string_view At(std::size_t n) const {
        return n < list.size() ? list[n] : std::string_view{};
    }
    std::size_t Count() const { return list.size(); }
};

bool StartsWithLetter(std::string_view text, char letter) {
    return !text.empty() && text.front() == letter;
}

// Two places, right-aligned, the padding turned into "0" ("05", "-5", "123").
void AppendTwoPlaces(std::string& out, std::int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    const auto length = static_cast<std::size_t>(result.ptr - digits);
    if (length < 2)
        out += '0';
    out.append(digits, length);
}

std::string FormatShortDate(std::int64_t day, int month, std::int64_t year) {
    std::string date;
    AppendTwoPlaces(date, day);
    date += '.';
    AppendTwoPlaces(date, month);
    date += '.';
    AppendTwoPlaces(date, year % 100);
    return date;
}

// A listing shows a time only for recent entries, so a date past the start
// date belongs to the year before; that year decides whether the date exists
// (29 February).
int YearOfTimedEntry(int month, int day, std::chrono::year_month_day startDate) {
    const auto startMonth = static_cast<int>(static_cast<unsigned>(startDate.month()));
    const auto startDay = static_cast<int>(static_cast<unsigned>(startDate.day()));
    const int year = static_cast<int>(startDate.year());
    return month > startMonth || (month == startMonth && day > startDay) ? year - 1 : year;
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The value of one to four digits; nothing for anything else.
std::optional<int> SmallNumber(std::string_view text) {
    if (text.size() > 4 || !AllDigits(text))
        return std::nullopt;
    int value = 0;
    for (const char c : text)
        value = value * 10 + (c - '0');
    return value;
}

std::optional<int> DayNumber(std::string_view word) {
    const std::optional<int> day = word.size() <= 2 ? SmallNumber(word) : std::nullopt;
    return day && *day >= 1 && *day <= 31 ? day : std::nullopt;
}

std::optional<int> MonthNumber(std::string_view word) {
    const std::optional<int> month = word.size() <= 2 ? SmallNumber(word) : std::nullopt;
    return month && *month >= 1 && *month <= 12 ? month : std::nullopt;
}

// "Mar", "mar", "MAR": an English three-letter abbreviation, nothing longer.
std::optional<int> MonthAbbreviation(std::string_view word) {
    constexpr auto key = [](char a, char b, char c) {
        return static_cast<unsigned>(static_cast<unsigned char>(AsciiLower(a))) << 16 |
               static_cast<unsigned>(static_cast<unsigned char>(AsciiLower(b))) << 8 |
               static_cast<unsigned char>(AsciiLower(c));
    };
    constexpr unsigned kMonths[] = {key('j', 'a', 'n'), key('f', 'e', 'b'), key('m', 'a', 'r'),
                                    key('a', 'p', 'r'), key('m', 'a', 'y'), key('j', 'u', 'n'),
                                    key('j', 'u', 'l'), key('a', 'u', 'g'), key('s', 'e', 'p'),
                                    key('o', 'c', 't'), key('n', 'o', 'v'), key('d', 'e', 'c')};
    if (word.size() != 3)
        return std::nullopt;
    const unsigned wanted = key(word[0], word[1], word[2]);
    for (int month = 0; month < 12; ++month) {
        if (kMonths[month] == wanted)
            return month + 1;
    }
    return std::nullopt;
}

// "8:05", "08:05", "08:05:59".
bool IsClock(std::string_view word) {
    const std::size_t colon = word.size() > 2 && word[1] == ':' ? 1 : 2;
    if (word.size() <= colon || word[colon] != ':' || !AllDigits(word.substr(0, colon)))
        return false;
    const std::string_view rest = word.substr(colon + 1);
    return (rest.size() == 2 && AllDigits(rest)) ||
           (rest.size() == 5 && rest[2] == ':' && AllDigits(rest.substr(0, 2)) &&
            AllDigits(rest.substr(3)));
}

std::optional<int> FourDigitYear(std::string_view word) {
    return word.size() == 4 ? SmallNumber(word) : std::nullopt;
}

// A date the UNIX layouts print, found by its shape wherever it stands.
struct UnixDate {
    enum class Shape { MonthDay, DayMonth, Iso, Dotted };
    Shape shape = Shape::MonthDay;
    int day = 0;
    int month = 0;
    std::optional<int> year; // none when the listing shows a time instead
    std::string_view time;
    std::size_t lastWord = 0; // the name begins one blank after it
};

// "2005-06-07" as `ls --time-style=long-iso` prints it.
bool ReadIsoDate(std::string_view word, UnixDate& date) {
    if (word.size() != 10 || word[4] != '-' || word[7] != '-')
        return false;
    const auto year = FourDigitYear(word.substr(0, 4));
    const auto month = MonthNumber(word.substr(5, 2));
    const auto day = DayNumber(word.substr(8, 2));
    if (!year || !month || !day)
        return false;
    date = {UnixDate::Shape::Iso, *day, *month, *year, {}, 0};
    return true;
}

// "07.06.2005" or "7.6.05".
bool ReadDottedDate(std::string_view word, UnixDate& date) {
    if (word.size() < 6 || word.size() > 10)
        return false;
    const std::size_t first = word[1] == '.' ? 1 : 2;
    const std::size_t second = word[first + 2] == '.' ? first + 2 : first + 3;
    if (word[first] != '.' || second + 2 >= word.size() || word[second] != '.')
        return false;
    const auto day = DayNumber(word.substr(0, first));
    const auto month = MonthNumber(word.substr(first + 1, second - first - 1));
    const std::string_view yearText = word.substr(second + 1);
    if (yearText.size() != 2 && yearText.size() != 4)
        return false;
    const int year = SmallNumber(yearText).value_or(-1);
    if (!day || !month || year < 0)
        return false;
    // Two digits: 80 to 99 are the 1900s.
    const int fullYear = yearText.size() == 4 ? year : (year < 80 ? 2000 + year : 1900 + year);
    date = {UnixDate::Shape::Dotted, *day, *month, fullYear, {}, 0};
    return true;
}

// The words of a line, cut lazily: the date usually stands among the first
// eight, and the name after it is never cut into words.
class Words {
public:
    void Reset(std::string_view line) {
        line_ = line;
        pos_ = 0;
        words_.clear();
    }
    // Word n counted from 0; empty past the end.
    std::string_view At(std::size_t n) {
        if (n < words_.size())
            return words_[n];
        while (words_.size() <= n && Next()) {
        }
        return n < words_.size() ? words_[n] : std::string_view{};
    }
    // The offset just past word n, which At() has returned.
    std::size_t End(std::size_t n) const {
        return static_cast<std::size_t>(words_[n].data() - line_.data()) + words_[n].size();
    }

private:
    bool Next() {
        const char* const end = line_.data() + line_.size();
        const char* p = line_.data() + pos_;
        while (p != end && *p == ' ')
            ++p;
        if (p == end) {
            pos_ = line_.size();
            return false;
        }
        const char* const begin = p;
        while (p != end && *p != ' ')
            ++p;
        words_.emplace_back(begin, static_cast<std::size_t>(p - begin));
        pos_ = static_cast<std::size_t>(p - line_.data());
        return true;
    }

    std::string_view line_;
    std::size_t pos_ = 0;
    std::vector<std::string_view> words_;
};

// The date whose first word is word n: "Mar 15 12:34", "Mar 15 2003",
// "15 Mar 12:34", "2005-06-07 [21:22]" or "07.06.2005 [21:22]".
bool ReadUnixDate(Words& words, std::size_t n, UnixDate& date) {
    const std::string_view first = words.At(n);
    // Most words before the date are counts, names and sizes: rule them out
    // by length alone.
    const bool digit = !first.empty() && first[0] >= '0' && first[0] <= '9';
    if (digit ? first.size() > 2 && first.size() < 6 : first.size() != 3)
        return false;
    const auto timeOrYear = [&](std::size_t at) {
        const std::string_view word = words.At(at);
        if (IsClock(word)) {
            date.time = word;
            return true;
        }
        date.year = FourDigitYear(word);
        return date.year.has_value();
    };
    if (ReadIsoDate(first, date) || ReadDottedDate(first, date)) {
        date.lastWord = n;
        if (IsClock(words.At(n + 1))) {
            date.time = words.At(n + 1);
            date.lastWord = n + 1;
        }
        return true;
    }
    if (const auto month = MonthAbbreviation(first)) {
        const auto day = DayNumber(words.At(n + 1));
        if (!day || !timeOrYear(n + 2))
            return false;
        date.shape = UnixDate::Shape::MonthDay;
        date.day = *day;
        date.month = *month;
    } else if (const auto day = DayNumber(first)) {
        const auto swapped = MonthAbbreviation(words.At(n + 1));
        if (!swapped || !timeOrYear(n + 2))
            return false;
        date.shape = UnixDate::Shape::DayMonth;
        date.day = *day;
        date.month = *swapped;
    } else {
        return false;
    }
    date.lastWord = n + 2;
    return true;
}

// "1234", "33.5k", "1.2M".
bool IsSizeText(std::string_view word) {
    std::size_t digits = 0;
    while (digits < word.size() && word[digits] >= '0' && word[digits] <= '9')
        ++digits;
    if (digits == 0)
        return false;
    std::string_view rest = word.substr(digits);
    if (rest.starts_with('.')) {
        std::size_t fraction = 1;
        while (fraction < rest.size() && rest[fraction] >= '0' && rest[fraction] <= '9')
            ++fraction;
        if (fraction == 1)
            return false;
        rest = rest.substr(fraction);
    }
    return rest.empty() || (rest.size() == 1 &&
                            std::string_view("kKmMgGtT").find(rest[0]) != std::string_view::npos);
}

// The size is the word before the date. A group name too long for its
// column runs into the size ("staff12345"); a device prints "major, minor"
// and has no size.
std::string_view UnixSize(Words& words, std::size_t dateWord) {
    const std::string_view word = words.At(dateWord - 1);
    if (dateWord >= 3 && words.At(dateWord - 2).ends_with(','))
        return {};
    if (IsSizeText(word) || ParseInteger(word))
        return word;
    std::size_t digits = word.size();
    while (digits > 0 && word[digits - 1] >= '0' && word[digits - 1] <= '9')
        --digits;
    return word.substr(digits);
}

bool DateExists(int year, int month, int day) {
    return std::chrono::year_month_day{std::chrono::year{year},
                                       std::chrono::month{static_cast<unsigned>(month)},
                                       std::chrono::day{static_cast<unsigned>(day)}}
        .ok();
}

// The date text of the UNIX layouts keeps the server's words, except an ISO
// date, which is written day first so the pane reads it as the dotted one.
void AppendUnixDate(std::string& out, Words& words, std::size_t dateWord, const UnixDate& date) {
    switch (date.shape) {
    case UnixDate::Shape::MonthDay:
    case UnixDate::Shape::DayMonth:
        out = words.At(dateWord);
        out += ' ';
        out += words.At(dateWord + 1);
        if (date.time.empty()) {
            out += ' ';
            out += words.At(dateWord + 2);
        }
        return;
    case UnixDate::Shape::Iso:
        AppendTwoPlaces(out, date.day);
        out += '.';
        AppendTwoPlaces(out, date.month);
        out += '.';
        out += words.At(dateWord).substr(0, 4);
        return;
    case UnixDate::Shape::Dotted:
        out = words.At(dateWord);
        return;
    }
}

// ls -l and the servers that imitate it, in any of the variants real servers
// print: the date is found by its shape, the size is the word before it and
// the name begins exactly one blank after it, blanks at both ends kept.
LineResult CutUnix(std::string_view line, RemoteEntry& entry, Words& words, bool shortDate,
                   std::chrono::year_month_day startDate) {
    if (StartsWithNoCase(line, "total "))
        return LineResult::NoEntry;
    words.Reset(line);
    UnixDate date;
    std::size_t dateWord = 2; // attributes and a size come first
    while (!words.At(dateWord).empty() && !ReadUnixDate(words, dateWord, date))
        ++dateWord;
    if (words.At(dateWord).empty())
        return LineResult::NotUnderstood;
    const std::size_t nameBegin = words.End(date.lastWord) + 1;
    if (nameBegin >= line.size())
        return LineResult::NotUnderstood;
    const int year = date.year ? *date.year : YearOfTimedEntry(date.month, date.day, startDate);
    if (!DateExists(year, date.month, date.day))
        return LineResult::NotUnderstood;

    entry.attributes = words.At(0);
    if (StartsWithLetter(entry.attributes, 'd'))
        entry.kind = EntryKind::Directory;
    entry.size = UnixSize(words, dateWord);
    entry.time = date.time;
    if (shortDate)
        entry.date = FormatShortDate(date.day, date.month, year);
    else
        AppendUnixDate(entry.date, words, dateWord, date);
    entry.name = line.substr(nameBegin);
    return LineResult::Entry;
}

void CutText(std::string_view line, RemoteEntry& entry) {
    entry.name = line;
    if (StartsWithLetter(line, 'd'))
        entry.kind = EntryKind::Directory;
}

void CutMsFtp4(std::string_view line, RemoteEntry& entry, Fields& fields) {
    fields.Cut(line);
    entry.date = fields.At(0);
    entry.time = fields.At(1);
    if (fields.Count() > 2 && EqualsNoCase(fields.At(2), "<dir>"))
        entry.kind = EntryKind::Directory;
    else
        entry.size = fields.At(2);
    entry.name = fields.At(3);
}

void CutMac(std::string_view line, RemoteEntry& entry, Fields& fields) {
    if (StartsWithLetter(line, 'd'))
        entry.kind = EntryKind::Directory;
    // Directories print no size, so their fields sit one further left.
    const std::size_t k = entry.kind == EntryKind::Directory ? 0 : 1;
    fields.Cut(line);
    if (fields.Count() > k + 4) {
        entry.date = fields.At(k + 3);
        entry.date += ' ';
        entry.date += fields.At(k + 4);
    }
    if (fields.Count() > k + 5)
        entry.time = fields.At(k + 5);
    if (k == 1 && fields.Count() >= 2)
        entry.size = fields.At(1);
    if (fields.Count() > k + 6)
        entry.name = fields.At(k + 6);
}

void CutCustom(std::string_view line, RemoteEntry& entry, const CustomColumns& columns,
               Fields& fields) {
    fields.Cut(line);
    const auto column = [&](int n) -> std::optional<std::string_view> {
        if (n < 1 || static_cast<std::size_t>(n) > fields.Count())
            return std::nullopt;
        return fields.At(static_cast<std::size_t>(n - 1));
    };
    if (const auto attributes = column(columns.attributes)) {
        entry.attributes = *attributes;
        if (StartsWithLetter(*attributes, 'd'))
            entry.kind = EntryKind::Directory;
    }
    if (const auto size = column(columns.size))
        entry.size = *size;
    if (const auto name = column(columns.name))
        entry.name = *name;
    if (const auto time = column(columns.time))
        entry.time = *time;
    if (const auto month = column(columns.month))
        entry.date = *month;
    if (const auto day = column(columns.day)) {
        entry.date += ' ';
        entry.date += *day;
    }
}

std::string_view CutBefore(std::string_view text, std::string_view marker) {
    return text.substr(0, text.find(marker));
}

// A name on a line of its own: VMS wraps a name too long for its column.
bool IsWrappedVmsName(std::string_view line) {
    const std::string_view name = TrimBlanks(line);
    return name.find(';') != std::string_view::npos && name.find(' ') == std::string_view::npos;
}

// "NAME.EXT;version  size  date [time] [owner] (protection)", the size as
// used blocks or "used/allocated".
LineResult CutVms(std::string_view line, RemoteEntry& entry, Fields& fields) {
    if (line.starts_with("Total of ") || line.starts_with("Directory "))
        return LineResult::NoEntry;
    fields.Cut(line);
    const std::string_view name = fields.At(0);
    if (name.find(';') == std::string_view::npos)
        return LineResult::NotUnderstood;
    const bool directory = name.find(".DIR;") != std::string_view::npos;
    if (directory)
        entry.kind = EntryKind::Directory;
    entry.name = CutBefore(name, directory ? ".DIR;" : ";"); // the version number goes
    const std::string_view used = CutBefore(fields.At(1), "/");
    if (AllDigits(used))
        entry.size = used;
    entry.date = fields.At(2);
    std::size_t next = 3;
    if (fields.At(next).find(':') != std::string_view::npos)
        entry.time = fields.At(next++);
    for (; next < fields.Count(); ++next) {
        if (fields.At(next).starts_with('(')) {
            entry.attributes = fields.At(next);
            break;
        }
    }
    return LineResult::Entry;
}

// "01-15-03" or "01-15-2003", month first.
bool IsDosDate(std::string_view word) {
    return (word.size() == 8 || word.size() == 10) && word[2] == '-' && word[5] == '-' &&
           MonthNumber(word.substr(0, 2)) && DayNumber(word.substr(3, 2)) &&
           AllDigits(word.substr(6));
}

// IIS and Windows 2000 in their MS-DOS style: date, time, "<DIR>" or the
// size (thousands separated or not). The columns after the time are fixed:
// a name starts 31 characters after the date's end, which for a file is one
// blank after the right-aligned size.
LineResult CutDos(std::string_view line, RemoteEntry& entry, Fields& fields) {
    fields.Cut(line);
    const std::string_view date = fields.At(0);
    if (!IsDosDate(date) || fields.Count() < 3)
        return LineResult::NotUnderstood;
    entry.date = date.substr(3, 2);
    entry.date += '.';
    entry.date += date.substr(0, 2);
    entry.date += '.';
    entry.date += date.substr(date.size() - 2);
    entry.time = fields.At(1);
    const std::string_view column = fields.At(2);
    const auto columnEnd = static_cast<std::size_t>(column.data() - line.data()) + column.size();
    std::size_t nameBegin = columnEnd + 1;
    if (EqualsNoCase(column, "<DIR>")) {
        entry.kind = EntryKind::Directory;
        const std::size_t fixed = date.size() + 31;
        nameBegin = columnEnd;
        while (nameBegin < line.size() && nameBegin < fixed && line[nameBegin] == ' ')
            ++nameBegin;
    } else {
        for (const char c : column) {
            if (c != ',' && c != '.')
                entry.size += c;
        }
        if (!AllDigits(entry.size))
            return LineResult::NotUnderstood;
    }
    if (nameBegin >= line.size())
        return entry.kind == EntryKind::Directory ? LineResult::NoEntry : LineResult::NotUnderstood;
    entry.name = line.substr(nameBegin);
    return LineResult::Entry;
}

// A link is taken to be a directory until resolved; it keeps its size. The
// arrow with its blanks separates name and target, so a name or target
// holding "->" or blanks keeps them.
void CutLink(RemoteEntry& entry) {
    if (!entry.IsLink())
        return;
    entry.kind = EntryKind::Directory;
    const std::size_t arrow = entry.name.find(" -> ");
    if (arrow != std::string::npos) {
        entry.linkTarget = std::string_view(entry.name).substr(arrow + 4);
        entry.name.erase(arrow);
    }
}

// The link targets of a listing, each with the first plain entry of that
// name in listing order, letters compared without regard to case. A sorted
// vector of folded names: no name a server chooses makes a look-up cost
// more than a binary search of byte comparisons, unlike a hash table whose
// names collide.
class TargetTable {
public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    explicit TargetTable(const std::vector<std::string_view>& targets) {
        slots_.reserve(targets.size());
        for (const std::string_view target : targets) {
            slots_.push_back({AsciiLowerCopy(target), kNone});
            asked_[Sketch(slots_.back().folded)] = true;
        }
        std::sort(slots_.begin(), slots_.end(),
                  [](const Slot& a, const Slot& b) { return a.folded < b.folded; });
        slots_.erase(std::unique(slots_.begin(), slots_.end(),
                                 [](const Slot& a, const Slot& b) { return a.folded == b.folded; }),
                     slots_.end());
    }

    // Notes `entry` as the first of that name, if a link asks for the name.
    void Offer(std::string_view name, std::size_t entry) {
        if (!asked_[Sketch(name)])
            return; // most names: no link asks for them
        Fold(name);
        Slot* slot = Find();
        if (slot && slot->first == kNone)
            slot->first = entry;
    }
    std::size_t FirstFor(std::string_view target) {
        Fold(target);
        const Slot* slot = Find();
        return slot ? slot->first : kNone;
    }

private:
    struct Slot {
        std::string folded;
        std::size_t first;
    };

    void Fold(std::string_view name) {
        key_.resize(name.size());
        std::transform(name.begin(), name.end(), key_.begin(), AsciiLower);
    }

    // The slot of the folded name in key_.
    Slot* Find() {
        const auto it = std::lower_bound(
            slots_.begin(), slots_.end(), key_,
            [](const Slot& slot, const std::string& key) { return slot.folded < key; });
        return it != slots_.end() && it->folded == key_ ? &*it : nullptr;
    }

    // A hash of the folded name: a cheap first test that spares most names
    // the search. A name that passes it by collision costs one search, so
    // names made to collide slow nothing down by more than that.
    static std::size_t Sketch(std::string_view name) {
        std::uint64_t hash = 14695981039346656037ull; // FNV-1a
        for (const char c : name)
            hash = (hash ^ static_cast<unsigned char>(AsciiLower(c))) * 1099511628211ull;
        return static_cast<std::size_t>(hash >> 44); // the top 20 bits mix best
    }
    static constexpr std::size_t kSketchSize = std::size_t{1} << 20;

    std::vector<Slot> slots_;
    std::vector<bool> asked_ = std::vector<bool>(kSketchSize, false);
    std::string key_;
};

// A link takes the kind of the first plain entry named like its target,
// wherever it stands; to an entry the listing lacks (a path, a dangling
// link) it stays a directory.
void ResolveLinks(std::vector<RemoteEntry>& entries, const std::vector<std::size_t>& links) {
    if (links.empty())
        return;
    std::vector<std::string_view> targets;
    targets.reserve(links.size());
    for (const std::size_t link : links)
        targets.push_back(entries[link].linkTarget);
    TargetTable table(targets);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].IsLink())
            table.Offer(entries[i].name, i);
    }
    for (const std::size_t link : links) {
        const std::size_t first = table.FirstFor(entries[link].linkTarget);
        if (first != TargetTable::kNone && entries[first].kind == EntryKind::File)
            entries[link].kind = EntryKind::File;
    }
}

// "DISK$ARCHIVE:[USER.WORK]" names the directory USER/WORK.
std::string VmsHeaderPath(std::string_view line) {
    std::string path(CutBefore(line.substr(kVmsHeader.size()), "]"));
    for (char& c : path) {
        if (c == '.')
            c = '/';
    }
    return path;
}

class Parser {
public:
    Parser(const ListingStyle& style, std::chrono::year_month_day startDate)
        : style_(style), startDate_(startDate) {}

    ParsedListing Run(std::span<const std::string_view> lines);

private:
    LineResult Cut(std::string_view line, RemoteEntry& entry);

    const ListingStyle& style_;
    std::chrono::year_month_day startDate_;
    Fields fields_;
    Words words_;
};

ParsedListing Parser::Run(std::span<const std::string_view> lines) {
    ParsedListing result;
    result.entries.reserve(lines.size());
    std::vector<std::size_t> links; // entries that name a link target
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (line.size() < 3)
            continue;
        if (style_.layout == ListingLayout::Vms) {
            if (line.starts_with(kVmsHeader)) {
                result.path = VmsHeaderPath(line);
                continue;
            }
            if (i + 1 < lines.size() && IsWrappedVmsName(line)) {
                joined.assign(line);
                joined += ' ';
                joined += lines[++i];
                line = joined;
            }
        }
        RemoteEntry entry;
        switch (Cut(line, entry)) {
        case LineResult::Entry:
            break;
        case LineResult::NoEntry:
            continue;
        case LineResult::NotUnderstood:
            ++result.linesNotUnderstood;
            continue;
        }
        CutLink(entry);
        if (entry.name == "." || entry.name == "..")
            continue;
        if (!entry.linkTarget.empty())
            links.push_back(result.entries.size());
        result.entries.push_back(std::move(entry));
    }
    ResolveLinks(result.entries, links);
    return result;
}

LineResult Parser::Cut(std::string_view line, RemoteEntry& entry) {
    switch (style_.layout) {
    case ListingLayout::Default:
        return CutUnix(line, entry, words_, true, startDate_);
    case ListingLayout::Text:
        CutText(line, entry);
        return LineResult::Entry;
    case ListingLayout::MsFtp4:
        CutMsFtp4(line, entry, fields_);
        return LineResult::Entry;
    case ListingLayout::Mac:
        CutMac(line, entry, fields_);
        return LineResult::Entry;
    case ListingLayout::Custom:
        CutCustom(line, entry, style_.columns, fields_);
        return LineResult::Entry;
    case ListingLayout::Vms:
        return CutVms(line, entry, fields_);
    case ListingLayout::MsFtp5:
    case ListingLayout::Win2000:
        return CutDos(line, entry, fields_);
    case ListingLayout::Unix:
    case ListingLayout::WuFtp2:
        return CutUnix(line, entry, words_, false, startDate_);
    }
    return LineResult::Entry;
}

int ColumnFromCharacter(std::string_view answer, std::size_t index) {
    if (index >= answer.size())
        return 0;
    const std::size_t n = AnswerColumnDigits.find(answer[index]);
    return n >= 1 && n <= 9 ? static_cast<int>(n) : 0; // 10 to 15 select nothing
}

} // namespace

std::string EntryText(const RemoteEntry& entry) {
    std::string text(1, entry.kind == EntryKind::Directory ? '0' : '1');
    for (const std::string* field : {&entry.name, &entry.size, &entry.date, &entry.time,
                                     &entry.attributes, &entry.linkTarget}) {
        text += '\0';
        text += *field;
    }
    return text;
}

RemoteEntry EntryFromText(std::string_view text) {
    RemoteEntry entry;
    std::string* const fields[] = {&entry.name, &entry.size,       &entry.date,
                                   &entry.time, &entry.attributes, &entry.linkTarget};
    std::size_t end = text.find('\0');
    entry.kind = text.substr(0, end) == "0" ? EntryKind::Directory : EntryKind::File;
    for (std::string* field : fields) {
        if (end == std::string_view::npos)
            break;
        const std::size_t begin = end + 1;
        end = text.find('\0', begin);
        field->assign(text.substr(begin, end == std::string_view::npos ? end : end - begin));
    }
    return entry;
}

ListingStyle ListingStyleFromAnswer(std::string_view answer) {
    ListingStyle style;
    if (answer.empty() || answer[0] < '1' || answer[0] > '9')
        return style;
    style.layout = static_cast<ListingLayout>(answer[0] - '0');
    if (style.layout == ListingLayout::Custom) {
        CustomColumns& c = style.columns;
        c.name = ColumnFromCharacter(answer, 1);
        c.size = ColumnFromCharacter(answer, 2);
        c.month = ColumnFromCharacter(answer, 3);
        c.day = ColumnFromCharacter(answer, 4);
        c.time = ColumnFromCharacter(answer, 5);
        c.attributes = ColumnFromCharacter(answer, 6);
    }
    return style;
}

ParsedListing ParseListing(std::span<const std::string_view> lines, const ListingStyle& style,
                           std::chrono::year_month_day startDate) {
    return Parser(style, startDate).Run(lines);
}

std::vector<std::string_view> SplitListingLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(begin));
            break;
        }
        lines.push_back(text.substr(begin, end - begin));
        begin = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

} // namespace remote
