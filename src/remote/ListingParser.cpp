#include "remote/ListingParser.h"

#include "text/TextFields.h"

#include <charconv>
#include <cstdint>
#include <optional>

namespace remote {

using namespace text;

namespace {

constexpr std::string_view kVmsHeader = "DISK$ARCHIVE:[";

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

// The working copy of the UNIX layouts: each token ends at the first space,
// and the copy is trimmed after every take.
class Tokens {
public:
    explicit Tokens(std::string_view line) : rest_(line) {}

    std::string_view Take() {
        const std::size_t space = rest_.find(' ');
        const std::string_view token = rest_.substr(0, space);
        rest_ = space == std::string_view::npos ? std::string_view{} : rest_.substr(space + 1);
        rest_ = TrimBlanks(rest_);
        return token;
    }
    void Skip(int count) {
        for (int i = 0; i < count; ++i)
            Take();
    }
    std::string_view Rest() const { return rest_; }

private:
    std::string_view rest_;
};

// The generic scan's cursor: only the space separates words, a gap is a run
// of spaces, and either may be empty.
class Cursor {
public:
    explicit Cursor(std::string_view line) : line_(line) {}

    std::string_view Word() {
        const std::size_t begin = pos_;
        while (pos_ < line_.size() && line_[pos_] != ' ')
            ++pos_;
        return line_.substr(begin, pos_ - begin);
    }
    void Gap() {
        while (pos_ < line_.size() && line_[pos_] == ' ')
            ++pos_;
    }
    std::string_view Remaining() const { return line_.substr(pos_); }

private:
    std::string_view line_;
    std::size_t pos_ = 0;
};

bool StartsWithLetter(std::string_view text, char letter) {
    return !text.empty() && text.front() == letter;
}

void TrimInPlace(std::string& text) {
    const std::string_view trimmed = TrimBlanks(text);
    const auto begin = static_cast<std::size_t>(trimmed.data() - text.data());
    text.erase(begin + trimmed.size());
    text.erase(0, begin);
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
// date belongs to the year before. Nothing when the date does not exist in
// the start year.
std::optional<std::int64_t> YearOfTimedEntry(int month, std::int64_t day,
                                             std::chrono::year_month_day startDate) {
    const std::chrono::year startYear = startDate.year();
    if (day < 1 || day > 31)
        return std::nullopt;
    const std::chrono::year_month_day date{startYear,
                                           std::chrono::month{static_cast<unsigned>(month)},
                                           std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok())
        return std::nullopt;
    const int year = static_cast<int>(startYear);
    return date > startDate ? year - 1 : year;
}

void CutDefault(std::string_view line, RemoteEntry& entry, std::chrono::year_month_day startDate) {
    Cursor cursor(line);
    const std::string_view attributes = cursor.Word();
    entry.attributes = attributes;
    cursor.Gap();
    cursor.Word(); // link count
    cursor.Gap();
    cursor.Word(); // owner
    cursor.Gap();
    const std::string_view a = cursor.Word();
    cursor.Gap();
    const std::string_view b = cursor.Word();
    std::string_view monthWord = b;
    if (ParseInteger(TrimBlanks(b))) { // a group column stands before the size
        entry.size = b;
        cursor.Gap();
        monthWord = cursor.Word();
    } else {
        entry.size = a;
    }
    const int month = MonthFromWord(monthWord).value_or(1);
    cursor.Gap();
    const std::int64_t day = ParseInteger(cursor.Word()).value_or(1);
    cursor.Gap();
    const std::string_view timeWord = cursor.Word();
    cursor.Gap();
    entry.name = cursor.Remaining();

    std::int64_t year = 0;
    if (timeWord.find(':') != std::string_view::npos) {
        entry.time = timeWord;
        const std::optional<std::int64_t> timedYear = YearOfTimedEntry(month, day, startDate);
        if (!timedYear) {
            entry.name = line;
            entry.date = "error";
            return;
        }
        year = *timedYear;
    } else {
        year = LeadingInteger(timeWord);
    }
    entry.date = FormatShortDate(day, month, year);
    if (StartsWithLetter(attributes, 'd'))
        entry.kind = EntryKind::Directory;
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

void CutVms(std::string_view line, RemoteEntry& entry, Fields& fields) {
    if (line.starts_with("Total of ")) {
        entry.name = "."; // dropped by the emit step
        return;
    }
    const bool directory = line.find(".DIR;") != std::string_view::npos;
    if (directory)
        entry.kind = EntryKind::Directory;
    fields.Cut(line);
    entry.name = CutBefore(fields.At(0), directory ? ".DIR;" : ";"); // the version number goes
    entry.date = fields.At(2);
    entry.time = fields.At(3);
    entry.attributes = fields.At(5);
}

// IIS prints the size right-aligned so that it ends in column 38; sizes of ten
// digits and more (1 GB and up) reach left of column 30, so the size is read
// from column 20 on, which holds only blanks for shorter sizes.
void CutFixedColumns(std::string_view line, RemoteEntry& entry) {
    entry.date = Mid(line, 4, 2);
    entry.date += '.';
    entry.date += Mid(line, 1, 2);
    entry.date += '.';
    entry.date += Mid(line, 7, 2);
    entry.time = TrimBlanks(Mid(line, 10, 10));
    entry.name = TrimBlanks(Mid(line, 40, std::string_view::npos));
    if (TrimBlanks(Mid(line, 20, 10)) == "<DIR>") {
        entry.kind = EntryKind::Directory;
        if (entry.name.empty())
            entry.name = "..";
    } else {
        entry.size = TrimBlanks(Mid(line, 20, 20));
    }
}

// Returns false for the "total" line, which is no entry.
bool CutUnix(std::string_view line, RemoteEntry& entry, int skippedTokens) {
    if (StartsWithNoCase(line, "total "))
        return false;
    Tokens tokens(line);
    entry.attributes = tokens.Take();
    if (StartsWithLetter(entry.attributes, 'd'))
        entry.kind = EntryKind::Directory;
    tokens.Skip(skippedTokens);
    entry.size = tokens.Take();
    entry.date = tokens.Take();
    entry.date += ' ';
    entry.date += tokens.Take();
    const std::string_view time = tokens.Take();
    if (time.find(':') == std::string_view::npos) {
        entry.date += ' ';
        entry.date += time;
    } else {
        entry.time = time;
    }
    entry.name = tokens.Rest();
    return true;
}

// A link is taken to be a directory until resolved. Returns true when it
// names a target to resolve.
bool CutLink(RemoteEntry& entry) {
    if (!StartsWithLetter(entry.attributes, 'l'))
        return false;
    entry.kind = EntryKind::Directory;
    const std::size_t arrow = entry.name.find("->");
    if (arrow != std::string::npos) {
        entry.linkTarget = TrimBlanks(std::string_view(entry.name).substr(arrow + 2));
        entry.name.erase(arrow);
    }
    TrimInPlace(entry.name);
    if (entry.linkTarget.empty())
        entry.size.clear();
    return !entry.linkTarget.empty();
}

// The link targets of a listing, each with the first plain entry (one without
// a link target) of that name, letters compared without regard to case. A
// flat table: it stays small and in cache while every entry is offered.
class TargetTable {
public:
    explicit TargetTable(std::size_t targets) {
        std::size_t size = 16;
        while (size < targets * 2)
            size *= 2;
        slots_.resize(size);
    }

    void Add(std::string_view target) {
        const std::uint64_t hash = HashNoCase(target);
        Slot& slot = slots_[Position(target, hash)];
        if (!slot.used)
            slot = {true, hash, target, kNone};
    }
    // Notes `entry` as the first of that name, if a link asks for the name.
    void Offer(std::string_view name, std::size_t entry) {
        Slot& slot = slots_[Position(name, HashNoCase(name))];
        if (slot.used && slot.first == kNone)
            slot.first = entry;
    }
    // kNone when no plain entry of that name was offered.
    std::size_t FirstFor(std::string_view target) const {
        return slots_[Position(target, HashNoCase(target))].first;
    }

    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

private:
    struct Slot {
        bool used = false;
        std::uint64_t hash = 0;
        std::string_view name;
        std::size_t first = kNone;
    };

    static std::uint64_t HashNoCase(std::string_view text) {
        std::uint64_t hash = 14695981039346656037ull; // FNV-1a
        for (const char c : text)
            hash = (hash ^ static_cast<unsigned char>(AsciiLower(c))) * 1099511628211ull;
        return hash;
    }

    // The slot holding `name`, or the free slot where it would go.
    std::size_t Position(std::string_view name, std::uint64_t hash) const {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = hash & mask;
        while (slots_[i].used && !(slots_[i].hash == hash && EqualsNoCase(slots_[i].name, name)))
            i = (i + 1) & mask;
        return i;
    }

    std::vector<Slot> slots_;
};

// A link to a file listed before it is a file; a link to a directory, to an
// entry further down or to a path stays a directory and loses its size. Done
// once for the whole listing, since no link's result feeds another.
void ResolveLinks(std::vector<RemoteEntry>& entries, const std::vector<std::size_t>& links) {
    if (links.empty())
        return;
    TargetTable targets(links.size());
    for (const std::size_t link : links)
        targets.Add(entries[link].linkTarget);
    for (std::size_t i = 0; i < links.back(); ++i) {
        if (entries[i].linkTarget.empty())
            targets.Offer(entries[i].name, i);
    }
    for (const std::size_t link : links) {
        RemoteEntry& entry = entries[link];
        const std::size_t first = targets.FirstFor(entry.linkTarget);
        if (first < link && entries[first].kind == EntryKind::File)
            entry.kind = EntryKind::File;
        else
            entry.size.clear();
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
    // False when the line is no entry.
    bool Cut(std::string_view line, RemoteEntry& entry);

    const ListingStyle& style_;
    std::chrono::year_month_day startDate_;
    Fields fields_;
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
            // VMS prints a long file name on a line of its own.
            if (i + 1 < lines.size() && line.size() < 40) {
                joined.assign(line);
                joined += lines[++i];
                line = joined;
            }
        }
        RemoteEntry entry;
        if (!Cut(line, entry))
            continue;
        const bool link = CutLink(entry);
        if (entry.name == "." || entry.name == "..")
            continue;
        if (link)
            links.push_back(result.entries.size());
        result.entries.push_back(std::move(entry));
    }
    ResolveLinks(result.entries, links);
    return result;
}

bool Parser::Cut(std::string_view line, RemoteEntry& entry) {
    switch (style_.layout) {
    case ListingLayout::Default:
        CutDefault(line, entry, startDate_);
        return true;
    case ListingLayout::Text:
        CutText(line, entry);
        return true;
    case ListingLayout::MsFtp4:
        CutMsFtp4(line, entry, fields_);
        return true;
    case ListingLayout::Mac:
        CutMac(line, entry, fields_);
        return true;
    case ListingLayout::Custom:
        CutCustom(line, entry, style_.columns, fields_);
        return true;
    case ListingLayout::Vms:
        CutVms(line, entry, fields_);
        return true;
    case ListingLayout::MsFtp5:
    case ListingLayout::Win2000:
        CutFixedColumns(line, entry);
        return true;
    case ListingLayout::Unix:
        return CutUnix(line, entry, 3);
    case ListingLayout::WuFtp2:
        return CutUnix(line, entry, 5);
    }
    return true;
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
