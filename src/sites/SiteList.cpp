#include "sites/SiteList.h"

#include "remote/RemoteRules.h"
#include "sites/SiteFolder.h"

#include <algorithm>

TSiteEntry UpEntry() {
    return {TSiteEntryKind::Up, UpEntryName, {}, false};
}

TSiteEntry FolderEntry(std::string name) {
    return {TSiteEntryKind::Folder, std::move(name), {}, false};
}

TSiteEntry SiteEntry(TFTPServerInfo site) {
    std::string name = site.Name;
    return {TSiteEntryKind::Site, std::move(name), std::move(site), false};
}

std::optional<TSiteEntry> EntryFromLine(std::string_view line) {
    if (const std::optional<std::string_view> folder = FolderLineName(line)) {
        if (!IsSafeFolderName(*folder))
            return std::nullopt;
        return FolderEntry(std::string(*folder));
    }
    TFTPServerInfo site;
    if (!ParseSiteLine(line, site))
        return std::nullopt;
    return SiteEntry(std::move(site));
}

std::optional<std::string> LineOfEntry(const TSiteEntry& entry) {
    switch (entry.Kind) {
    case TSiteEntryKind::Up:
        return std::nullopt;
    case TSiteEntryKind::Folder:
        return FolderLine(entry.Name);
    case TSiteEntryKind::Site:
        return FormatSiteLine(entry.Site);
    }
    return std::nullopt;
}

int CompareSiteEntries(const TSiteEntry& a, const TSiteEntry& b, bool descending) {
    // The file panes' comparison: icons first, then the caption column.
    const auto data = [](const TSiteEntry& e) {
        remote::PaneItemData item;
        item.icon = static_cast<int>(e.Kind);
        item.caption = e.Name;
        return item;
    };
    constexpr int ByName = static_cast<int>(remote::PaneColumn::Filename);
    return remote::ComparePaneItems(data(a), data(b), descending ? -ByName : ByName);
}

TSiteListModel::TSiteListModel(QObject* parent) : QObject(parent) {}

void TSiteListModel::Reset(std::vector<TSiteEntry> entries) {
    emit aboutToReset();
    entries_ = std::move(entries);
    std::stable_sort(entries_.begin(), entries_.end(), Order());
    emit wasReset();
    emit selectionChanged();
}

std::function<bool(const TSiteEntry&, const TSiteEntry&)> TSiteListModel::Order() const {
    return [descending = descending_](const TSiteEntry& a, const TSiteEntry& b) {
        return CompareSiteEntries(a, b, descending) < 0;
    };
}

void TSiteListModel::Sort() {
    Reset(std::move(entries_));
}

int TSiteListModel::Insert(TSiteEntry entry) {
    const auto place = std::upper_bound(entries_.begin(), entries_.end(), entry, Order());
    const int row = static_cast<int>(place - entries_.begin());
    emit aboutToInsert(row, row);
    const bool selected = entry.Selected;
    entries_.insert(place, std::move(entry));
    emit inserted(row, row);
    if (selected)
        emit selectionChanged();
    return row;
}

void TSiteListModel::Remove(int row) {
    emit aboutToRemove(row, row);
    const bool selected = Entry(row).Selected;
    entries_.erase(entries_.begin() + row);
    emit removed(row, row);
    if (selected)
        emit selectionChanged();
}

void TSiteListModel::Rename(int row, std::string name) {
    entries_.at(static_cast<std::size_t>(row)).Name = std::move(name);
    emit changed(row);
}

void TSiteListModel::SetSite(int row, TFTPServerInfo site) {
    TSiteEntry& entry = entries_.at(static_cast<std::size_t>(row));
    entry.Name = site.Name;
    entry.Site = std::move(site);
    emit changed(row);
}

std::vector<int> TSiteListModel::SelectedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < Count(); ++row) {
        if (Entry(row).Selected)
            rows.push_back(row);
    }
    return rows;
}

int TSiteListModel::Selected() const {
    const auto first = std::find_if(entries_.begin(), entries_.end(),
                                    [](const TSiteEntry& entry) { return entry.Selected; });
    return first == entries_.end() ? -1 : static_cast<int>(first - entries_.begin());
}

void TSiteListModel::SetSelectedRows(const std::vector<int>& rows) {
    bool changedAny = false;
    for (int row = 0; row < Count(); ++row) {
        const bool selected = std::find(rows.begin(), rows.end(), row) != rows.end();
        TSiteEntry& entry = entries_[static_cast<std::size_t>(row)];
        changedAny = changedAny || entry.Selected != selected;
        entry.Selected = selected;
    }
    if (changedAny)
        emit selectionChanged();
}

void TSiteListModel::SetDescending(bool descending) {
    if (descending == descending_)
        return;
    descending_ = descending;
    Sort();
}

std::vector<std::string> TSiteListModel::PathList() const {
    std::vector<std::string> list{RootPathCaption};
    list.insert(list.end(), pathNames_.begin(), pathNames_.end());
    return list;
}

std::vector<std::string> TSiteListModel::PathNames(int index) const {
    const auto n = std::min(static_cast<std::size_t>(std::max(index, 0)), pathNames_.size());
    return {pathNames_.begin(), pathNames_.begin() + static_cast<std::ptrdiff_t>(n)};
}

void TSiteListModel::BringPathInLine(const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i < pathNames_.size() && FolderNameKey(pathNames_[i]) == FolderNameKey(names[i]))
            continue;
        pathNames_.resize(i);
        for (std::size_t k = i; k < names.size(); ++k)
            pathNames_.push_back(FolderNameKey(names[k]));
        break;
    }
    pathIndex_ = static_cast<int>(names.size());
    emit pathChanged();
}

void TSiteListModel::RenameNextPathEntry(std::string_view oldName, std::string_view newName) {
    const auto next = static_cast<std::size_t>(pathIndex_);
    if (next >= pathNames_.size() || pathNames_[next] != FolderNameKey(oldName))
        return;
    pathNames_[next] = FolderNameKey(newName);
    emit pathChanged();
}
