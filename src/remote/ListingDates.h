#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The dates of directory listings, found by their shape: the UNIX layouts'
// "Mar 15 12:34", "15 Mar 2003", ISO and dotted dates, and the MS-DOS
// layouts' "01-15-03". Parts of the listing parser, apart so that each reads
// on its own.
namespace remote::listing {

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

bool ReadUnixDateAt(Words& words, std::size_t n, UnixDate& date);

// Whether the date whose first word is word n is one the UNIX layouts print;
// fills `date` when it is. Inline, since it runs for most words of a line.
inline bool ReadUnixDate(Words& words, std::size_t n, UnixDate& date) {
    const std::string_view first = words.At(n);
    // Most words before the date are counts, names and sizes: rule them out
    // by length alone.
    const bool digit = !first.empty() && first[0] >= '0' && first[0] <= '9';
    if (digit ? first.size() > 2 && first.size() < 6 : first.size() != 3)
        return false;
    return ReadUnixDateAt(words, n, date);
}

// The date text of the UNIX layouts for the date at `dateWord`.
void AppendUnixDate(std::string& out, Words& words, std::size_t dateWord, const UnixDate& date);

// DD.MM.YY
std::string FormatShortDate(std::int64_t day, int month, std::int64_t year);

// A listing shows a time only for recent entries, so a date past the start
// date belongs to the year before; that year decides whether the date exists
// (29 February).
int YearOfTimedEntry(int month, int day, std::chrono::year_month_day startDate);

bool DateExists(int year, int month, int day);

// "01-15-03" or "01-15-2003", month first.
bool IsDosDate(std::string_view word);

bool AllDigits(std::string_view text);

} // namespace remote::listing
