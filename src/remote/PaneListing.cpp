#include "remote/PaneListing.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <utility>

namespace remote {

namespace {

constexpr int kDateColumn = static_cast<int>(PaneColumn::Date);
// New items are sorted into a run of their own once this many have come, so
// that a listing fed line by line does not sort a run per line.
constexpr std::size_t kRunLength = 512;

bool SortsByDate(int sortKey) {
    return sortKey == kDateColumn || sortKey == -kDateColumn;
}

// Folders sort among themselves without a size; a link to one shows its own.
PaneItemData SortData(const RemoteItem& item, std::string_view date) {
    return {static_cast<int>(item.icon),
            item.caption,
            item.icon == PaneIcon::File ? item.size.View() : std::string_view(),
            date,
            item.Time(),
            item.attributes};
}

// The order of a listing's items for every key but the date's: the key's,
// then the listing's.
struct ListingOrder {
    int sortKey;
    bool operator()(const RemoteItem& a, const RemoteItem& b) const {
        const int order = ComparePaneItems(SortData(a, {}), SortData(b, {}), sortKey);
        return order != 0 ? order < 0 : a.listingIndex < b.listingIndex;
    }
};

// Row k takes the item of row order[k], one cycle of the permutation at a
// time, so a large pane is never copied whole.
void Permute(std::vector<RemoteItem>& items, const std::vector<int>& order) {
    std::vector<bool> placed(items.size());
    for (std::size_t start = 0; start < items.size(); ++start) {
        if (placed[start])
            continue;
        RemoteItem held = items[start];
        std::size_t to = start;
        for (;;) {
            placed[to] = true;
            const auto from = static_cast<std::size_t>(order[to]);
            if (from == start) {
                items[to] = held;
                break;
            }
            items[to] = items[from];
            to = from;
        }
    }
}

} // namespace

std::string_view TextPool::Add(std::initializer_list<std::string_view> pieces) {
    std::size_t size = 0;
    for (const std::string_view piece : pieces)
        size += piece.size();
    if (size == 0)
        return {};
    char* at = nullptr;
    if (size > kBlock / 4) {
        // A long text gets a block of its own, before the one being filled.
        auto own = std::make_unique_for_overwrite<char[]>(size);
        at = own.get();
        blocks_.insert(blocks_.empty() ? blocks_.end() : blocks_.end() - 1, std::move(own));
    } else {
        if (kBlock - used_ < size) {
            blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlock));
            used_ = 0;
        }
        at = blocks_.back().get() + used_;
        used_ += size;
    }
    char* next = at;
    for (const std::string_view piece : pieces) {
        if (!piece.empty())
            std::memcpy(next, piece.data(), piece.size());
        next += piece.size();
    }
    return {at, size};
}

void RemoteItem::SetTexts(std::string_view texts, std::size_t nameSize, std::size_t dateSize,
                          std::size_t timeSize) {
    caption = PaneText(texts.substr(0, nameSize));
    dateSize_ = static_cast<std::uint32_t>(dateSize);
    timeSize_ = static_cast<std::uint32_t>(timeSize);
    linksSize_ = static_cast<std::uint32_t>(texts.size() - nameSize - dateSize - timeSize);
}

bool Shows(const RemoteItem& item, const FillSettings& settings) {
    return item.icon != PaneIcon::File || !settings.filtered ||
           MatchesMask(item.caption, settings.filter);
}

std::vector<int> SortItems(std::vector<RemoteItem>& items, const FillSettings& settings) {
    std::vector<int> order(items.size());
    std::iota(order.begin(), order.end(), 0);
    const int key = settings.sortKey;
    if (SortsByDate(key)) {
        // Display dates for the sort only: the pane keeps none.
        std::vector<std::string> dates(items.size());
        for (std::size_t i = 0; i < items.size(); ++i)
            dates[i] = DisplayDate(items[i].EntryDate(), settings.dateOrder, settings.year);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const auto i = static_cast<std::size_t>(a);
            const auto j = static_cast<std::size_t>(b);
            return ComparePaneItems(SortData(items[i], dates[i]), SortData(items[j], dates[j]),
                                    key) < 0;
        });
    } else {
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return ComparePaneItems(SortData(items[static_cast<std::size_t>(a)], {}),
                                    SortData(items[static_cast<std::size_t>(b)], {}), key) < 0;
        });
    }
    Permute(items, order);
    return order;
}

void FillItems(std::vector<RemoteItem> all, const FillSettings& settings,
               std::vector<RemoteItem>& shown, std::vector<RemoteItem>& hidden) {
    hidden.clear();
    std::size_t kept = 0;
    for (RemoteItem& item : all) {
        item.selected = false;
        if (Shows(item, settings))
            all[kept++] = item;
        else
            hidden.push_back(item);
    }
    all.resize(kept);
    SortItems(all, settings);
    shown = std::move(all);
}

PaneListingReader::PaneListingReader(const ListingStyle& style,
                                     std::chrono::year_month_day startDate, FillSettings settings)
    : settings_(std::move(settings)), mergeAsTheyCome_(!SortsByDate(settings_.sortKey)),
      reader_(style, startDate, [this](RemoteEntry& entry) { Add(entry); }) {}

PaneListingReader::~PaneListingReader() = default;

void PaneListingReader::Feed(std::string_view bytes) {
    reader_.Feed(bytes);
    const std::size_t sorted = runs_.empty() ? 0 : runs_.back();
    if (mergeAsTheyCome_ && listing_.shown.size() - sorted >= kRunLength)
        SortNewItems();
}

// Owner and permission texts repeat from line to line: one copy serves them.
PaneText PaneListingReader::Shared(std::string_view text, std::array<PaneText, 4>& recent) {
    for (std::size_t i = 0; i < recent.size(); ++i) {
        if (recent[i] == text) {
            std::rotate(recent.begin(), recent.begin() + static_cast<std::ptrdiff_t>(i),
                        recent.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return recent[0];
        }
    }
    std::rotate(recent.begin(), recent.end() - 1, recent.end());
    recent[0] = PaneText(listing_.texts->Add({text}));
    return recent[0];
}

void PaneListingReader::Add(RemoteEntry& entry) {
    if (entry.name.empty())
        return; // nothing the pane could show or open
    RemoteItem item;
    item.SetTexts(listing_.texts->Add({entry.name, entry.date, entry.time, entry.linkTarget}),
                  entry.name.size(), entry.date.size(), entry.time.size());
    item.icon = entry.kind == EntryKind::Directory ? PaneIcon::Folder : PaneIcon::File;
    item.link = entry.IsLink();
    if (item.icon == PaneIcon::File || item.link)
        item.size = Shared(entry.size, recentSizes_);
    item.attributes = Shared(entry.attributes, recentAttributes_);
    item.listingIndex = static_cast<std::uint32_t>(next_++);
    if (!entry.linkTarget.empty())
        links_.push_back(item.listingIndex);
    if (Shows(item, settings_))
        listing_.shown.push_back(item);
    else
        listing_.hidden.push_back(item);
}

// The items since the last run become a sorted run; runs are merged while the
// newest is at least as long as the one before, so there are never more
// than about log2(n) of them and every item is moved about log2(n) times.
// Items that come in order cost one comparison each.
void PaneListingReader::SortNewItems() {
    std::vector<RemoteItem>& shown = listing_.shown;
    const std::size_t begin = runs_.empty() ? 0 : runs_.back();
    if (begin == shown.size())
        return;
    const ListingOrder less{settings_.sortKey};
    const auto newRun = shown.begin() + static_cast<std::ptrdiff_t>(begin);
    // Many servers send their listing sorted by name: such items are checked,
    // not sorted again, and a run that goes on from the last one joins it.
    if (!std::is_sorted(newRun, shown.end(), less))
        std::sort(newRun, shown.end(), less);
    if (!runs_.empty() && !less(*newRun, *(newRun - 1)))
        runs_.back() = shown.size();
    else
        runs_.push_back(shown.size());
    while (runs_.size() >= 2) {
        const std::size_t n = runs_.size();
        const std::size_t first = n >= 3 ? runs_[n - 3] : 0;
        if (runs_[n - 1] - runs_[n - 2] < runs_[n - 2] - first)
            break;
        MergeRuns(n - 1);
    }
}

// Merges the last runs until `keep` are left.
void PaneListingReader::MergeRuns(std::size_t keep) {
    const ListingOrder less{settings_.sortKey};
    const auto at = [&](std::size_t offset) {
        return listing_.shown.begin() + static_cast<std::ptrdiff_t>(offset);
    };
    while (runs_.size() > keep && runs_.size() >= 2) {
        const std::size_t n = runs_.size();
        const std::size_t first = n >= 3 ? runs_[n - 3] : 0;
        std::inplace_merge(at(first), at(runs_[n - 2]), at(runs_[n - 1]), less);
        runs_.erase(runs_.end() - 2);
    }
}

PaneListing PaneListingReader::Finish() {
    reader_.Finish();
    listing_.path = reader_.Path();
    listing_.linesNotUnderstood = reader_.LinesNotUnderstood();
    std::vector<RemoteItem>& shown = listing_.shown;
    if (mergeAsTheyCome_) {
        SortNewItems();
        MergeRuns(1);
    }

    // Links are shown, as folders, until their kind is known.
    std::vector<const RemoteItem*> byIndex(links_.empty() ? 0 : next_);
    for (const std::vector<RemoteItem>* items : {&shown, &listing_.hidden}) {
        for (const RemoteItem& item : *items) {
            if (!byIndex.empty())
                byIndex[item.listingIndex] = &item;
        }
    }
    std::vector<bool> toFile(byIndex.size());
    bool changed = false;
    ResolveLinks(
        next_, links_,
        [&](std::size_t i) {
            const RemoteItem& item = *byIndex[i];
            return LinkFacts{item.caption, item.Links(), item.link, item.icon == PaneIcon::File};
        },
        [&](std::size_t i) { toFile[i] = changed = true; });
    if (changed) {
        // They leave their place among the folders for one among the files.
        std::vector<RemoteItem> moved;
        std::size_t kept = 0;
        for (RemoteItem& item : shown) {
            if (!toFile[item.listingIndex]) {
                shown[kept++] = item;
                continue;
            }
            item.icon = PaneIcon::File;
            if (Shows(item, settings_))
                moved.push_back(item);
            else
                listing_.hidden.push_back(item);
        }
        shown.resize(kept);
        if (mergeAsTheyCome_) {
            const ListingOrder less{settings_.sortKey};
            std::sort(moved.begin(), moved.end(), less);
            shown.insert(shown.end(), moved.begin(), moved.end());
            std::inplace_merge(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(kept),
                               shown.end(), less);
        } else {
            shown.insert(shown.end(), moved.begin(), moved.end());
        }
    }
    if (!mergeAsTheyCome_) {
        std::sort(shown.begin(), shown.end(), [](const RemoteItem& a, const RemoteItem& b) {
            return a.listingIndex < b.listingIndex;
        });
        SortItems(shown, settings_);
    }
    runs_.clear();
    return std::move(listing_);
}

} // namespace remote
