#include "sites/SiteList.h"

#include "remote/RemoteRules.h"
#include "sites/SiteFolder.h"

#include <algorithm>

SiteEntry UpEntry() {
    return {SiteEntryKind::Up, UpEntryName, {}, false, {}};
}

SiteEntry FolderEntry(std::string name) {
    return {SiteEntryKind::Folder, std::move(name), {}, false, {}};
}

SiteEntry EntryForSite(Site site) {
    std::string name = site.Name;
    return {SiteEntryKind::Site, std::move(name), std::move(site), false, {}};
}

std::optional<SiteEntry> EntryFromLine(std::string_view line) {
    if (const std::optional<std::string_view> folder = FolderLineName(line)) {
        if (!IsSafeFolderName(*folder))
            return std::nullopt;
        return FolderEntry(std::string(*folder));
    }
    Site site;
    if (!ParseSiteLine(line, site))
        return std::nullopt;
    return EntryForSite(std::move(site));
}

std::optional<std::string> LineOfEntry(const SiteEntry& entry) {
    switch (entry.Kind) {
    case SiteEntryKind::Up:
        return std::nullopt;
    case SiteEntryKind::Folder:
        return FolderLine(entry.Name);
    case SiteEntryKind::Site:
        return FormatSiteLine(entry.Site);
    }
    return std::nullopt;
}

int CompareSiteEntries(const SiteEntry& a, const SiteEntry& b, bool descending) {
    // The file panes' comparison: icons first, then the caption column.
    const auto data = [](const SiteEntry& e) {
        remote::PaneItemData item;
        item.icon = static_cast<int>(e.Kind);
        item.caption = e.Name;
        return item;
    };
    constexpr int ByName = static_cast<int>(remote::PaneColumn::Filename);
    return remote::ComparePaneItems(data(a), data(b), descending ? -ByName : ByName);
}

SiteListModel::SiteListModel(QObject* parent) : QObject(parent) {}

void SiteListModel::Reset(std::vector<SiteEntry> entries) {
    topLines_.clear();
    bottomLines_.clear();
    ResetSorted(std::move(entries));
}

void SiteListModel::ResetFromFile(const std::vector<std::string>& lines, bool withUpEntry) {
    std::vector<SiteEntry> entries;
    entries.reserve(lines.size() + 1);
    if (withUpEntry)
        entries.push_back(UpEntry());
    topLines_.clear();
    std::vector<std::string> kept;
    bool anyEntry = false;
    for (const std::string& line : lines) {
        std::optional<SiteEntry> entry = EntryFromLine(line);
        if (!entry) {
            kept.push_back(line);
            continue;
        }
        if (anyEntry)
            entry->LinesBefore = std::move(kept);
        else
            topLines_ = std::move(kept);
        kept.clear();
        anyEntry = true;
        entries.push_back(std::move(*entry));
    }
    bottomLines_ = std::move(kept);
    ResetSorted(std::move(entries));
}

std::vector<std::string> SiteListModel::FileLines() const {
    std::vector<std::string> lines = topLines_;
    lines.reserve(lines.size() + entries_.size() + bottomLines_.size());
    for (const SiteEntry& entry : entries_) {
        lines.insert(lines.end(), entry.LinesBefore.begin(), entry.LinesBefore.end());
        if (std::optional<std::string> line = LineOfEntry(entry))
            lines.push_back(std::move(*line));
    }
    lines.insert(lines.end(), bottomLines_.begin(), bottomLines_.end());
    return lines;
}

void SiteListModel::ResetSorted(std::vector<SiteEntry> entries) {
    emit AboutToReset();
    entries_ = std::move(entries);
    std::stable_sort(entries_.begin(), entries_.end(), Order());
    emit WasReset();
    emit SelectionChanged();
}

std::function<bool(const SiteEntry&, const SiteEntry&)> SiteListModel::Order() const {
    return [descending = descending_](const SiteEntry& a, const SiteEntry& b) {
        return CompareSiteEntries(a, b, descending) < 0;
    };
}

void SiteListModel::Sort() {
    ResetSorted(std::move(entries_));
}

int SiteListModel::Insert(SiteEntry entry) {
    const auto place = std::upper_bound(entries_.begin(), entries_.end(), entry, Order());
    const int row = static_cast<int>(place - entries_.begin());
    emit AboutToInsert(row, row);
    const bool selected = entry.Selected;
    entries_.insert(place, std::move(entry));
    emit Inserted(row, row);
    if (selected)
        emit SelectionChanged();
    return row;
}

void SiteListModel::Remove(int row) {
    emit AboutToRemove(row, row);
    const bool selected = Entry(row).Selected;
    std::vector<std::string>& heir =
        row + 1 < Count() ? entries_[static_cast<std::size_t>(row) + 1].LinesBefore : bottomLines_;
    std::vector<std::string>& lines = entries_[static_cast<std::size_t>(row)].LinesBefore;
    heir.insert(heir.begin(), lines.begin(), lines.end());
    entries_.erase(entries_.begin() + row);
    emit Removed(row, row);
    if (selected)
        emit SelectionChanged();
}

void SiteListModel::Rename(int row, std::string name) {
    entries_.at(static_cast<std::size_t>(row)).Name = std::move(name);
    emit Changed(row);
}

void SiteListModel::SetSite(int row, Site site) {
    SiteEntry& entry = entries_.at(static_cast<std::size_t>(row));
    entry.Name = site.Name;
    entry.Site = std::move(site);
    emit Changed(row);
}

std::vector<int> SiteListModel::SelectedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < Count(); ++row) {
        if (Entry(row).Selected)
            rows.push_back(row);
    }
    return rows;
}

int SiteListModel::Selected() const {
    const auto first = std::find_if(entries_.begin(), entries_.end(),
                                    [](const SiteEntry& entry) { return entry.Selected; });
    return first == entries_.end() ? -1 : static_cast<int>(first - entries_.begin());
}

void SiteListModel::SetSelectedRows(const std::vector<int>& rows) {
    bool changedAny = false;
    for (int row = 0; row < Count(); ++row) {
        const bool selected = std::find(rows.begin(), rows.end(), row) != rows.end();
        SiteEntry& entry = entries_[static_cast<std::size_t>(row)];
        changedAny = changedAny || entry.Selected != selected;
        entry.Selected = selected;
    }
    if (changedAny)
        emit SelectionChanged();
}

void SiteListModel::SetDescending(bool descending) {
    if (descending == descending_)
        return;
    descending_ = descending;
    Sort();
}

std::vector<std::string> SiteListModel::PathList() const {
    std::vector<std::string> list{RootPathCaption};
    list.insert(list.end(), pathNames_.begin(), pathNames_.end());
    return list;
}

std::vector<std::string> SiteListModel::PathNames(int index) const {
    const auto n = std::min(static_cast<std::size_t>(std::max(index, 0)), pathNames_.size());
    return {pathNames_.begin(), pathNames_.begin() + static_cast<std::ptrdiff_t>(n)};
}

void SiteListModel::BringPathInLine(const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i < pathNames_.size() && FolderNameKey(pathNames_[i]) == FolderNameKey(names[i]))
            continue;
        pathNames_.resize(i);
        for (std::size_t k = i; k < names.size(); ++k)
            pathNames_.push_back(FolderNameKey(names[k]));
        break;
    }
    pathIndex_ = static_cast<int>(names.size());
    emit PathChanged();
}

void SiteListModel::RenameNextPathEntry(std::string_view oldName, std::string_view newName) {
    const auto next = static_cast<std::size_t>(pathIndex_);
    if (next >= pathNames_.size() || pathNames_[next] != FolderNameKey(oldName))
        return;
    pathNames_[next] = FolderNameKey(newName);
    emit PathChanged();
}
