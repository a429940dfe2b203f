#include "remote/RemoteView.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numeric>
#include <utility>

namespace remote {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The whole file, or the reason it could not be read.
bool ReadWholeFile(const std::string& path, std::string& text, std::string& error) {
    text.clear();
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (file) {
        char block[65536];
        std::size_t got = 0;
        while ((got = std::fread(block, 1, sizeof block, file.get())) > 0)
            text.append(block, got);
        if (!std::ferror(file.get()))
            return true;
    }
    error = "cannot read the listing file " + path + ": " + std::strerror(errno);
    return false;
}

// Folders sort among themselves without a size; a link to one shows its own.
PaneItemData SortData(const RemoteItem& item) {
    return {static_cast<int>(item.icon),
            item.caption,
            item.icon == PaneIcon::File ? std::string_view(item.size) : std::string_view(),
            item.date,
            item.time,
            item.attributes};
}

} // namespace

std::vector<std::string> PathComponents(std::string_view dir) {
    if (dir.starts_with('/'))
        dir.remove_prefix(1);
    std::vector<std::string> parts;
    while (!dir.empty()) {
        const std::size_t slash = dir.find('/');
        parts.emplace_back(dir.substr(0, slash));
        dir = slash == std::string_view::npos ? std::string_view{} : dir.substr(slash + 1);
    }
    return parts;
}

std::string ParentDir(std::string_view dir) {
    if (dir.ends_with('/'))
        dir.remove_suffix(1);
    const std::size_t slash = dir.rfind('/');
    if (slash == std::string_view::npos || slash == 0)
        return "/";
    return std::string(dir.substr(0, slash));
}

std::string SelectionSummary::Text() const {
    char text[96];
    std::snprintf(text, sizeof text, "%lld byte (%.2f Kb) in %d file(s)",
                  static_cast<long long>(bytes), static_cast<double>(bytes) / 1024.0, files);
    return text;
}

RemoteView::RemoteView(RemoteSession& session, std::chrono::year_month_day startDate,
                       std::function<int()> currentYear, QObject* parent)
    : QObject(parent), session_(session), startDate_(startDate),
      currentYear_(std::move(currentYear)) {}

bool RemoteView::WholeLineNames() const {
    return ListingStyleFromAnswer(site_.Answer).layout == ListingLayout::Text;
}

void RemoteView::ShowListing(const std::string& listingFile) {
    std::string text;
    std::string error;
    const bool read = ReadWholeFile(listingFile, text, error);
    std::remove(listingFile.c_str());
    if (read) {
        const std::vector<std::string_view> lines = SplitListingLines(text);
        ParsedListing parsed =
            ParseListing(lines, ListingStyleFromAnswer(site_.Answer), startDate_);
        if (!parsed.path.empty())
            session_.SetHostDirName(parsed.path);
        // Said once, so an odd server's lines are not missed in silence.
        if (const std::size_t skipped = parsed.linesNotUnderstood; skipped > 0)
            session_.AddLog(std::to_string(skipped) + (skipped == 1 ? " line" : " lines") +
                            " not understood");
        entries_ = std::move(parsed.entries);
    } else {
        // Parsing the previous listing again would show the wrong directory.
        entries_.clear();
        session_.AddLog("Error " + error);
    }

    emit ItemsAboutToBeReset();
    fileNames_.clear();
    for (const RemoteEntry& entry : entries_) {
        if (entry.kind == EntryKind::File && !entry.name.empty())
            fileNames_.push_back(entry.name);
    }
    Fill();
    Sort();
    BuildPathBox();
    emit ItemsReset();

    session_.SetTransferBusy(false);
    pathBox_.enabled = true;
    emit PathBoxChanged();
}

void RemoteView::FillRemoteView() {
    emit ItemsAboutToBeReset();
    Fill();
    Sort();
    emit ItemsReset();
}

void RemoteView::TakeLinkForAFile(const std::string& name) {
    const auto link = std::find_if(entries_.begin(), entries_.end(), [&](const RemoteEntry& e) {
        return e.IsLink() && e.kind == EntryKind::Directory && e.name == name;
    });
    if (link == entries_.end())
        return;
    link->kind = EntryKind::File;
    fileNames_.push_back(name);
    FillRemoteView();
}

void RemoteView::SetFilter(std::string mask) {
    filter_ = std::move(mask);
    FillRemoteView();
}

// Items in listing order; the caller sorts them once.
void RemoteView::Fill() {
    const bool filtered = !WholeLineNames();
    const int year = currentYear_();
    items_.clear();
    items_.reserve(entries_.size());
    for (const RemoteEntry& entry : entries_) {
        if (entry.name.empty())
            continue;
        const bool folder = entry.kind == EntryKind::Directory;
        if (!folder && filtered && !MatchesMask(entry.name, filter_))
            continue;
        RemoteItem& item = items_.emplace_back();
        item.caption = entry.name;
        item.icon = folder ? PaneIcon::Folder : PaneIcon::File;
        item.link = entry.IsLink();
        if (!folder || item.link)
            item.size = entry.size;
        item.date = DisplayDate(entry.date, dateOrder_, year);
        item.time = entry.time;
        item.attributes = entry.attributes;
        item.links = entry.linkTarget;
    }
}

void RemoteView::Sort() {
    std::vector<int> order(items_.size());
    std::iota(order.begin(), order.end(), 0);
    std::vector<PaneItemData> data;
    data.reserve(items_.size());
    for (const RemoteItem& item : items_)
        data.push_back(SortData(item));
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return ComparePaneItems(data[static_cast<std::size_t>(a)],
                                data[static_cast<std::size_t>(b)], sortKey_) < 0;
    });
    std::vector<RemoteItem> sorted;
    sorted.reserve(items_.size());
    for (const int row : order)
        sorted.push_back(std::move(items_[static_cast<std::size_t>(row)]));
    items_ = std::move(sorted);
    permutation_ = std::move(order);
}

void RemoteView::BuildPathBox() {
    pathBox_.items = {ServerListItem, session_.HostName()};
    for (std::string& part : PathComponents(session_.HostDirName()))
        pathBox_.items.push_back(std::move(part));
    pathBox_.selected = static_cast<int>(pathBox_.items.size()) - 1;
    pathBox_.remembered = pathBox_.selected;
}

void RemoteView::ChangeToPathBoxEntry(int index) {
    const bool free = !session_.TransferBusy() && session_.EngineReady();
    if (!free || index < 0 || index >= static_cast<int>(pathBox_.items.size())) {
        pathBox_.selected = pathBox_.remembered;
        emit PathBoxChanged();
        session_.RefreshCommands();
        return;
    }
    pathBox_.selected = index;
    pathBox_.remembered = index;
    if (index == 0) {
        emit PathBoxChanged();
        session_.Disconnect();
    } else {
        std::string path = "/";
        for (int i = 2; i <= index; ++i) {
            if (i > 2)
                path += '/';
            path += pathBox_.items[static_cast<std::size_t>(i)];
        }
        session_.SetTransferBusy(true);
        pathBox_.enabled = false;
        emit PathBoxChanged();
        session_.SetHostDirName(path);
        session_.CwdAsync();
    }
    session_.RefreshCommands();
}

void RemoteView::GoUpOneLevel() {
    if (pathBox_.selected == 0 || !session_.EngineReady())
        return;
    const std::string parent = ParentDir(session_.HostDirName());
    if (parent == "/" && site_.CheckVHost) {
        // A shared virtual host's home is not "/" on the server; PWD finds it.
        session_.SetHostDirName("");
        session_.PwdAsync();
    } else {
        session_.SetHostDirName(parent);
        session_.CDupAsync();
    }
}

void RemoteView::SortByColumn(int column) {
    sortKey_ = ColumnClickKey(sortKey_, column);
    emit LayoutAboutToBeChanged();
    Sort();
    emit LayoutChanged();
}

void RemoteView::SetSelection(const std::vector<int>& rows) {
    for (RemoteItem& item : items_)
        item.selected = false;
    for (const int row : rows) {
        if (row >= 0 && row < static_cast<int>(items_.size()))
            items_[static_cast<std::size_t>(row)].selected = true;
    }
    emit SelectionChanged();
    session_.RefreshCommands();
}

SelectionSummary RemoteView::Summary() const {
    SelectionSummary summary;
    for (const RemoteItem& item : items_) {
        if (!item.selected || item.icon != PaneIcon::File)
            continue;
        summary.bytes += std::max<std::int64_t>(SizeValue(item.size), 0);
        ++summary.files;
    }
    return summary;
}

void RemoteView::SessionStarted() {
    emit ItemsAboutToBeReset();
    items_.clear();
    entries_.clear();
    fileNames_.clear();
    emit ItemsReset();
}

void RemoteView::SessionEnded() {
    sortKey_ = 1;
    SessionStarted();
    pathBox_ = remote::PathBox{};
    emit PathBoxChanged();
}

} // namespace remote
