#pragma once

#include "remote/ListingParser.h"
#include "remote/RemoteRules.h"

#include <array>
#include <chrono>
#include <compare>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// The remote pane's own form of a listing: one compact record per entry, its
// texts in one store, built while the listing's bytes arrive.
namespace remote {

// A text of the pane: a view into the store of the listing it came from,
// valid until the pane takes the next listing or the session ends. It turns
// into a std::string wherever a copy is kept.
class PaneText {
public:
    constexpr PaneText() = default;
    constexpr explicit PaneText(std::string_view text) : data_(text.data()), size_(text.size()) {}

    constexpr std::string_view View() const { return {data_, size_}; }
    constexpr operator std::string_view() const { return View(); }
    operator std::string() const { return std::string(View()); }
    constexpr bool empty() const { return size_ == 0; }
    constexpr std::size_t size() const { return size_; }
    constexpr const char* data() const { return data_; }

    friend constexpr bool operator==(PaneText a, PaneText b) { return a.View() == b.View(); }
    friend constexpr bool operator==(PaneText a, std::string_view b) { return a.View() == b; }
    friend constexpr auto operator<=>(PaneText a, PaneText b) { return a.View() <=> b.View(); }
    friend std::ostream& operator<<(std::ostream& out, PaneText text) { return out << text.View(); }

private:
    const char* data_ = nullptr;
    std::size_t size_ = 0;
};

// Texts in blocks that never move, so a view stays valid while more arrive.
class TextPool {
public:
    // The pieces back to back, as one view.
    std::string_view Add(std::initializer_list<std::string_view> pieces);

private:
    static constexpr std::size_t kBlock = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> blocks_; // the last one is being filled
    std::size_t used_ = kBlock;
};

enum class PaneIcon : unsigned char { Up = 0, Folder = 1, File = 2 };

// One entry of a listing as the pane shows it. The display date is made for
// the rows that are painted (RemoteView::DateText), not kept.
struct RemoteItem {
    PaneText caption;
    PaneText size; // empty for folders, except links, which show their own
    PaneText attributes;
    PaneIcon icon = PaneIcon::File;
    bool link = false; // a symbolic link: opening it tries CWD, the icon shows a link
    bool selected = false;
    std::uint32_t listingIndex = 0; // place in the listing, for a refill in listing order

    // The entry's date as the parser gave it, its time and link target. They
    // follow the caption in the store.
    std::string_view EntryDate() const { return {End(), dateSize_}; }
    std::string_view Time() const { return {End() + dateSize_, timeSize_}; }
    std::string_view Links() const { return {End() + dateSize_ + timeSize_, linksSize_}; }
    // `texts` holds the name, date, time and link target back to back.
    void SetTexts(std::string_view texts, std::size_t nameSize, std::size_t dateSize,
                  std::size_t timeSize);

private:
    const char* End() const { return caption.data() + caption.size(); }

    std::uint32_t dateSize_ = 0;
    std::uint32_t timeSize_ = 0;
    std::uint32_t linksSize_ = 0;
};

// What the pane's items of a listing are made with.
struct FillSettings {
    bool filtered = true; // false for the "Text" layout, whose names are whole lines
    std::string filter;
    DateOrder dateOrder = DateOrder::DayFirst;
    int year = 0;
    int sortKey = 0;
    bool operator==(const FillSettings&) const = default;
};

// Folders are never filtered.
bool Shows(const RemoteItem& item, const FillSettings& settings);

// Sorts `items` in place by the key, ties kept in their present order, and
// returns the row each came from.
std::vector<int> SortItems(std::vector<RemoteItem>& items, const FillSettings& settings);

// `all` in listing order: the items the filter shows, sorted, and the rest.
void FillItems(std::vector<RemoteItem> all, const FillSettings& settings,
               std::vector<RemoteItem>& shown, std::vector<RemoteItem>& hidden);

// One listing as the pane keeps it.
struct PaneListing {
    std::shared_ptr<TextPool> texts = std::make_shared<TextPool>();
    std::vector<RemoteItem> shown; // sorted
    std::vector<RemoteItem> hidden;
    std::string path; // from a VMS header line
    std::size_t linesNotUnderstood = 0;
};

// Makes a PaneListing of a listing's bytes as they arrive. The items the
// filter shows are kept sorted as they come (sorted runs merged like a merge
// sort), so little is left to do once the last byte is in.
class PaneListingReader {
public:
    PaneListingReader(const ListingStyle& style, std::chrono::year_month_day startDate,
                      FillSettings settings);
    ~PaneListingReader();
    PaneListingReader(const PaneListingReader&) = delete;
    PaneListingReader& operator=(const PaneListingReader&) = delete;

    void Feed(std::string_view bytes);
    std::uint64_t BytesFed() const { return reader_.BytesFed(); }
    const FillSettings& Settings() const { return settings_; }
    // False when the key is the date's: display dates are made for a sort at
    // the end alone.
    bool SortedAsTheyCome() const { return mergeAsTheyCome_; }
    // The last line, then the kinds of the links; the reader is spent.
    PaneListing Finish();

private:
    void Add(RemoteEntry& entry);
    PaneText Shared(std::string_view text, std::array<PaneText, 4>& recent);
    void SortNewItems();
    void MergeRuns(std::size_t keep);

    FillSettings settings_;
    bool mergeAsTheyCome_;
    PaneListing listing_;
    std::vector<std::size_t> runs_;  // ends of the sorted runs of listing_.shown
    std::vector<std::size_t> links_; // listing indices of the links that name a target
    std::array<PaneText, 4> recentAttributes_{};
    std::array<PaneText, 4> recentSizes_{};
    std::size_t next_ = 0;
    ListingReader reader_; // last: its sink adds to the members above
};

} // namespace remote
