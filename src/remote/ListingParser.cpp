#include "remote/ListingParser.h"

#include "remote/ListingDates.h"
#include "remote/MachineListing.h"
#include "text/TextFields.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace remote {

using namespace text;
using namespace listing;

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

    LineResult Cut(std::string_view line, RemoteEntry& entry);
    bool Vms() const { return style_.layout == ListingLayout::Vms; }

private:
    ListingStyle style_;
    std::chrono::year_month_day startDate_;
    Fields fields_;
    Words words_;
};

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

void ClearEntry(RemoteEntry& entry) {
    entry.kind = EntryKind::File;
    for (std::string* field :
         {&entry.name, &entry.size, &entry.date, &entry.time, &entry.attributes, &entry.linkTarget})
        field->clear();
}

int ColumnFromCharacter(std::string_view answer, std::size_t index) {
    if (index >= answer.size())
        return 0;
    const std::size_t n = AnswerColumnDigits.find(answer[index]);
    return n >= 1 && n <= 9 ? static_cast<int>(n) : 0; // 10 to 15 select nothing
}

} // namespace

struct ListingReader::State {
    State(const ListingStyle& style, std::chrono::year_month_day startDate, EntrySink entrySink)
        : parser(style, startDate), sink(std::move(entrySink)), machine(style.machine) {}

    void Line(std::string_view line);
    void Entry(std::string_view line);

    Parser parser;
    EntrySink sink;
    bool machine;      // MLSD lines
    RemoteEntry entry; // reused, so its texts keep their capacity from line to line
    std::string carry; // the start of a line that the end of a chunk cut
    bool afterCr = false;
    std::string wrapped; // a VMS name waiting for the rest of its entry
    bool haveWrapped = false;
    std::string joined;
    std::uint64_t bytes = 0;
    std::string path;
    std::size_t notUnderstood = 0;
};

void ListingReader::State::Line(std::string_view line) {
    if (machine) {
        if (line.empty())
            return;
        switch (ReadMachineEntry(line, SystemLocalTime, entry)) {
        case MachineLine::Entry:
            sink(entry);
            return;
        case MachineLine::LeftOut:
            return;
        case MachineLine::NotUnderstood:
            ++notUnderstood;
            return;
        }
        return;
    }
    if (haveWrapped) {
        haveWrapped = false;
        joined.assign(wrapped);
        joined += ' ';
        joined += line;
        Entry(joined);
        return;
    }
    if (line.size() < 3)
        return;
    if (parser.Vms()) {
        if (line.starts_with(kVmsHeader)) {
            path = VmsHeaderPath(line);
            return;
        }
        if (IsWrappedVmsName(line)) {
            wrapped.assign(line);
            haveWrapped = true;
            return;
        }
    }
    Entry(line);
}

void ListingReader::State::Entry(std::string_view line) {
    ClearEntry(entry);
    switch (parser.Cut(line, entry)) {
    case LineResult::Entry:
        break;
    case LineResult::NoEntry:
        return;
    case LineResult::NotUnderstood:
        ++notUnderstood;
        return;
    }
    CutLink(entry);
    if (entry.name == "." || entry.name == "..")
        return;
    sink(entry);
}

ListingReader::ListingReader(const ListingStyle& style, std::chrono::year_month_day startDate,
                             EntrySink sink)
    : state_(std::make_unique<State>(style, startDate, std::move(sink))) {}

ListingReader::~ListingReader() = default;

void ListingReader::Feed(std::string_view bytes) {
    State& s = *state_;
    s.bytes += bytes.size();
    while (!bytes.empty()) {
        if (s.afterCr) {
            s.afterCr = false;
            if (bytes.front() == '\n') {
                bytes.remove_prefix(1);
                continue;
            }
        }
        std::size_t end = 0;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        if (end == bytes.size()) {
            s.carry.append(bytes);
            return;
        }
        if (s.carry.empty()) {
            s.Line(bytes.substr(0, end));
        } else {
            s.carry.append(bytes.substr(0, end));
            s.Line(s.carry);
            s.carry.clear();
        }
        if (bytes[end] == '\r') {
            if (end + 1 == bytes.size())
                s.afterCr = true; // its LF may open the next chunk
            else if (bytes[end + 1] == '\n')
                ++end;
        }
        bytes.remove_prefix(end + 1);
    }
}

void ListingReader::FeedLine(std::string_view line) {
    state_->Line(line);
}

void ListingReader::Finish() {
    State& s = *state_;
    if (!s.carry.empty()) {
        s.Line(s.carry);
        s.carry.clear();
    }
    s.afterCr = false;
    if (s.haveWrapped) {
        s.haveWrapped = false;
        s.Entry(s.wrapped);
    }
}

std::uint64_t ListingReader::BytesFed() const {
    return state_->bytes;
}

const std::string& ListingReader::Path() const {
    return state_->path;
}

std::size_t ListingReader::LinesNotUnderstood() const {
    return state_->notUnderstood;
}

void ResolveLinks(std::size_t count, const std::vector<std::size_t>& links,
                  const std::function<LinkFacts(std::size_t)>& factsOf,
                  const std::function<void(std::size_t)>& makeFile) {
    if (links.empty())
        return;
    std::vector<std::string_view> targets;
    targets.reserve(links.size());
    for (const std::size_t link : links)
        targets.push_back(factsOf(link).linkTarget);
    TargetTable table(targets);
    for (std::size_t i = 0; i < count; ++i) {
        if (const LinkFacts facts = factsOf(i); !facts.link)
            table.Offer(facts.name, i);
    }
    for (std::size_t k = 0; k < links.size(); ++k) {
        const std::size_t first = table.FirstFor(targets[k]);
        if (first != TargetTable::kNone && factsOf(first).file)
            makeFile(links[k]);
    }
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

ParsedListing ReadListing(const ListingStyle& style, std::chrono::year_month_day startDate,
                          const std::function<void(ListingReader&)>& feed,
                          std::size_t expectedEntries) {
    ParsedListing result;
    result.entries.reserve(expectedEntries);
    std::vector<std::size_t> links;
    ListingReader reader(style, startDate, [&](RemoteEntry& entry) {
        if (!entry.linkTarget.empty())
            links.push_back(result.entries.size());
        result.entries.push_back(std::move(entry));
    });
    feed(reader);
    reader.Finish();
    result.path = reader.Path();
    result.linesNotUnderstood = reader.LinesNotUnderstood();
    std::vector<RemoteEntry>& entries = result.entries;
    ResolveLinks(
        entries.size(), links,
        [&](std::size_t i) {
            const RemoteEntry& e = entries[i];
            return LinkFacts{e.name, e.linkTarget, e.IsLink(), e.kind == EntryKind::File};
        },
        [&](std::size_t i) { entries[i].kind = EntryKind::File; });
    return result;
}

ParsedListing ParseListing(std::span<const std::string_view> lines, const ListingStyle& style,
                           std::chrono::year_month_day startDate) {
    return ReadListing(
        style, startDate,
        [&](ListingReader& reader) {
            for (const std::string_view line : lines)
                reader.FeedLine(line);
        },
        lines.size());
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
