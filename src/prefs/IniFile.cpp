#include "prefs/IniFile.h"

#include "prefs/TextFile.h"
#include "text/TextFields.h"

#include <cerrno>
#include <climits>
#include <fstream>
#include <sys/stat.h>
#include <unordered_set>

namespace {

// Guards against junk files: past these, lines are copied but not indexed.
constexpr std::size_t MaxIndexedValues = 65536;
constexpr std::size_t MaxIndexedLine = 65536;

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

struct Line {
    enum class Kind { Blank, Header, BrokenHeader, Key, Other };
    Kind kind = Kind::Other;
    std::string_view name;  // section or key, trimmed
    std::string_view value; // raw text after the first "="
};

// A "[" line without "]" is no header; the lines after it belong to no
// section, so that a damaged header does not lend its keys to the one before.
Line Classify(std::string_view text) {
    const std::string_view trimmed = text::TrimBlanks(text);
    if (trimmed.empty())
        return {Line::Kind::Blank, {}, {}};
    if (trimmed.front() == '[') {
        const std::size_t close = trimmed.find(']');
        if (close == std::string_view::npos)
            return {Line::Kind::BrokenHeader, {}, {}};
        return {Line::Kind::Header, text::TrimBlanks(trimmed.substr(1, close - 1)), {}};
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return {Line::Kind::Other, {}, {}};
    const std::string_view key = text::TrimBlanks(text.substr(0, equals));
    if (key.empty())
        return {Line::Kind::Other, {}, {}};
    return {Line::Kind::Key, key, text.substr(equals + 1)};
}

std::string Unquote(std::string_view raw) {
    std::string_view value = text::TrimBlanks(raw);
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::string IndexKey(std::string_view section, std::string_view key) {
    return text::AsciiLowerCopy(section) + '\n' + text::AsciiLowerCopy(key);
}

std::string_view OneLine(std::string_view value) {
    return value.substr(0, value.find_first_of("\r\n"));
}

// Walks the lines of a file, telling for each whether it lies in the first
// block of its section (later blocks of the same name are shadowed).
class SectionTracker {
public:
    // The section (lower case) whose first block `line` belongs to, or null;
    // a header line opens its block. Call once per line, in order.
    const std::string* Advance(const Line& line) {
        switch (line.kind) {
        case Line::Kind::Header: {
            std::string lower = text::AsciiLowerCopy(line.name);
            firstBlock_ = seen_.insert(lower).second;
            current_ = std::move(lower);
            break;
        }
        case Line::Kind::BrokenHeader:
            firstBlock_ = false;
            break;
        case Line::Kind::Blank:
        case Line::Kind::Key:
        case Line::Kind::Other:
            break;
        }
        return firstBlock_ ? &current_ : nullptr;
    }
    bool Seen(const std::string& lowerSection) const { return seen_.count(lowerSection) != 0; }

private:
    std::unordered_set<std::string> seen_;
    std::string current_;
    bool firstBlock_ = false;
};

} // namespace

IniFile::IniFile(std::string path, mode_t newFileMode)
    : path_(std::move(path)), newFileMode_(newFileMode) {
    Load();
}

void IniFile::Load() {
    std::ifstream in(path_, std::ios::binary);
    SectionTracker sections;
    std::string text;
    for (bool first = true; ReadTextLine(in, text); first = false) {
        const Line line = Classify(first ? WithoutBom(text) : text);
        const std::string* section = sections.Advance(line);
        if (!section || line.kind != Line::Kind::Key || values_.size() >= MaxIndexedValues ||
            text.size() > MaxIndexedLine)
            continue;
        values_.try_emplace(IndexKey(*section, line.name), Unquote(line.value));
    }
}

const std::string* IniFile::Written(std::string_view section, std::string_view key) const {
    for (const SectionWrites& s : writes_) {
        if (!text::EqualsNoCase(s.name, section))
            continue;
        for (const Write& w : s.writes) {
            if (text::EqualsNoCase(w.key, key))
                return &w.value;
        }
    }
    return nullptr;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                const std::string& fallback) const {
    if (const std::string* written = Written(section, key))
        return *written;
    const auto found = values_.find(IndexKey(section, key));
    return found == values_.end() ? fallback : found->second;
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int fallback) const {
    const auto value = text::ParseInteger(ReadString(section, key, std::string()));
    if (!value || *value < INT_MIN || *value > INT_MAX)
        return fallback;
    return static_cast<int>(*value);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::Store(std::string_view section, std::string_view key, std::string value,
                    std::string text) {
    section = text::TrimBlanks(section);
    key = text::TrimBlanks(key);
    SectionWrites* target = nullptr;
    for (SectionWrites& s : writes_) {
        if (text::EqualsNoCase(s.name, section)) {
            target = &s;
            break;
        }
    }
    if (!target)
        target = &writes_.emplace_back(SectionWrites{std::string(section), {}});
    for (Write& w : target->writes) {
        if (text::EqualsNoCase(w.key, key)) {
            w.value = std::move(value);
            w.text = std::move(text);
            return;
        }
    }
    target->writes.push_back({std::string(key), std::move(value), std::move(text)});
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    value = OneLine(value);
    const bool needsQuotes =
        !value.empty() &&
        (text::IsBlank(value.front()) || text::IsBlank(value.back()) ||
         (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()));
    std::string text = needsQuotes ? '"' + std::string(value) + '"' : std::string(value);
    Store(section, key, std::string(value), std::move(text));
}

void IniFile::WriteRawString(std::string_view section, std::string_view key,
                             std::string_view value) {
    value = OneLine(value);
    Store(section, key, Unquote(value), std::string(value));
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

namespace {

// The writes of one section while a file is merged: found by lower-case key,
// each written once.
struct PendingSection {
    const std::vector<IniFile::Write>* writes = nullptr;
    std::unordered_map<std::string, std::size_t> byKey;
    std::vector<bool> done;

    // The line that replaces a key line, or nothing when no write is pending.
    const IniFile::Write* Take(std::string_view key) {
        const auto found = byKey.find(text::AsciiLowerCopy(key));
        if (found == byKey.end() || done[found->second])
            return nullptr;
        done[found->second] = true;
        return &(*writes)[found->second];
    }
    void WriteRest(ReplacementFile& out) {
        for (std::size_t i = 0; i < writes->size(); ++i) {
            if (!done[i])
                out.WriteLine((*writes)[i].key + '=' + (*writes)[i].text);
            done[i] = true;
        }
    }
};

} // namespace

bool IniFile::UpdateFile() {
    const std::string target = ResolveLink(path_);
    struct stat info {};
    const bool exists = ::stat(target.c_str(), &info) == 0;
    if (!exists && errno != ENOENT)
        return false;
    std::ifstream in;
    if (exists) {
        in.open(target, std::ios::binary);
        if (!in)
            return false; // never replace what could not be read
    }
    ReplacementFile out(target, exists ? (info.st_mode & 07777) : newFileMode_);
    if (!out.IsOpen())
        return false;

    std::unordered_map<std::string, PendingSection> pending;
    for (const SectionWrites& s : writes_) {
        PendingSection& p = pending[text::AsciiLowerCopy(s.name)];
        p.writes = &s.writes;
        for (std::size_t i = 0; i < s.writes.size(); ++i)
            p.byKey.emplace(text::AsciiLowerCopy(s.writes[i].key), i);
        p.done.assign(s.writes.size(), false);
    }

    SectionTracker sections;
    PendingSection* block = nullptr; // writes of the first block being copied
    // Blank lines that may end the block, with their line ends.
    std::vector<std::pair<std::string, std::string>> heldBlanks;
    const auto flushBlanks = [&] {
        for (const auto& [blank, end] : heldBlanks)
            out.WriteLine(blank, end);
        heldBlanks.clear();
    };
    const auto endBlock = [&] {
        if (block)
            block->WriteRest(out);
        flushBlanks();
    };

    std::string text;
    std::string ending;
    for (bool first = true; exists && ReadTextLine(in, text, &ending); first = false) {
        const Line line = Classify(first ? WithoutBom(text) : text);
        const std::string* section = sections.Advance(line);
        switch (line.kind) {
        case Line::Kind::Header:
        case Line::Kind::BrokenHeader: {
            endBlock();
            out.WriteLine(text, ending);
            const auto found = section ? pending.find(*section) : pending.end();
            block = found == pending.end() ? nullptr : &found->second;
            continue;
        }
        case Line::Kind::Blank:
            if (block)
                heldBlanks.emplace_back(text, ending);
            else
                out.WriteLine(text, ending);
            continue;
        case Line::Kind::Key:
        case Line::Kind::Other:
            break;
        }
        flushBlanks();
        const Write* replacement =
            block && line.kind == Line::Kind::Key ? block->Take(line.name) : nullptr;
        if (replacement)
            out.WriteLine(std::string(line.name) + '=' + replacement->text);
        else
            out.WriteLine(text, ending);
    }
    endBlock();
    if (exists && in.bad())
        return false;

    for (const SectionWrites& s : writes_) {
        if (sections.Seen(text::AsciiLowerCopy(s.name)))
            continue;
        if (out.WroteAnything() && !out.LastLineBlank())
            out.WriteLine(std::string());
        out.WriteLine('[' + s.name + ']');
        for (const Write& w : s.writes)
            out.WriteLine(w.key + '=' + w.text);
    }
    return out.Commit();
}
