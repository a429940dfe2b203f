#include "compare/DirectoryCompare.h"

#include <functional>
#include <unordered_set>

namespace compare {

namespace {

struct EntryHash {
    std::size_t operator()(const CompareEntry& entry) const {
        const std::size_t name = std::hash<std::string_view>{}(entry.name);
        return name ^ (std::hash<std::string_view>{}(entry.size) + 0x9e3779b97f4a7c15ULL +
                       (name << 6) + (name >> 2));
    }
};

struct EntryEqual {
    bool operator()(const CompareEntry& a, const CompareEntry& b) const {
        return a.name == b.name && a.size == b.size;
    }
};

using EntryIndex = std::unordered_set<CompareEntry, EntryHash, EntryEqual>;

EntryIndex IndexOf(const std::vector<CompareEntry>& entries) {
    EntryIndex index(entries.begin(), entries.end(), entries.size());
    return index;
}

std::vector<bool> WithoutCounterpart(const std::vector<CompareEntry>& side,
                                     const EntryIndex& other) {
    std::vector<bool> selected(side.size());
    for (std::size_t i = 0; i < side.size(); ++i)
        selected[i] = !other.contains(side[i]);
    return selected;
}

} // namespace

CompareResult CompareDirectories(const std::vector<CompareEntry>& local,
                                 const std::vector<CompareEntry>& remote) {
    return {WithoutCounterpart(local, IndexOf(remote)), WithoutCounterpart(remote, IndexOf(local))};
}

} // namespace compare
