#include "compare/DirectoryCompare.h"

#include <bit>
#include <cstdint>
#include <functional>

namespace compare {

namespace {

std::size_t HashOf(const CompareEntry& entry) {
    const std::size_t name = std::hash<std::string_view>{}(entry.name);
    const std::size_t size = std::hash<std::string_view>{}(entry.size);
    return name ^ (size + 0x9e3779b97f4a7c15ULL + (name << 6) + (name >> 2));
}

// The entries of one side by name and size text: an open-addressing table
// of row numbers, built without an allocation per entry.
class EntryIndex {
public:
    explicit EntryIndex(const std::vector<CompareEntry>& entries)
        : entries_(entries), slots_(std::bit_ceil(entries.size() * 2 + 2)),
          mask_(slots_.size() - 1) {
        for (std::size_t row = 0; row < entries.size(); ++row) {
            const std::size_t hash = HashOf(entries[row]);
            std::size_t slot = hash & mask_;
            while (slots_[slot].row != 0)
                slot = (slot + 1) & mask_;
            slots_[slot] = {hash, row + 1};
        }
    }

    bool Contains(const CompareEntry& entry) const {
        const std::size_t hash = HashOf(entry);
        for (std::size_t slot = hash & mask_; slots_[slot].row != 0; slot = (slot + 1) & mask_) {
            if (slots_[slot].hash != hash)
                continue;
            const CompareEntry& other = entries_[slots_[slot].row - 1];
            if (other.name == entry.name && other.size == entry.size)
                return true;
        }
        return false;
    }

private:
    struct Slot {
        std::size_t hash = 0;
        std::size_t row = 0; // 1-based; 0 is empty
    };
    const std::vector<CompareEntry>& entries_;
    std::vector<Slot> slots_;
    std::size_t mask_;
};

std::vector<bool> WithoutCounterpart(const std::vector<CompareEntry>& side,
                                     const EntryIndex& other) {
    std::vector<bool> selected(side.size());
    for (std::size_t i = 0; i < side.size(); ++i)
        selected[i] = !other.Contains(side[i]);
    return selected;
}

} // namespace

CompareResult CompareDirectories(const std::vector<CompareEntry>& local,
                                 const std::vector<CompareEntry>& remote) {
    return {WithoutCounterpart(local, EntryIndex(remote)),
            WithoutCounterpart(remote, EntryIndex(local))};
}

} // namespace compare
