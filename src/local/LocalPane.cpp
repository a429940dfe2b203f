#include "local/LocalPane.h"

#include "prefs/Prompts.h"
#include "remote/RemoteRules.h"
#include "text/TextFields.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <sys/stat.h>

namespace local {

namespace {

remote::PaneItemData SortData(const LocalItem& item) {
    return {static_cast<int>(item.Icon()), item.caption, item.sizeText, item.date, item.time, {}};
}

bool IsFile(const LocalItem& item) {
    return item.Icon() == remote::PaneIcon::File;
}

} // namespace

std::string LocalSummary::Text(char decimalPoint) const {
    // Worked out in whole hundredths, so the C library's locale cannot
    // change the separator.
    const auto hundredths = std::llround(static_cast<double>(bytes) * 100.0 / 1024.0);
    std::string kb = std::to_string(hundredths / 100) + decimalPoint;
    kb += static_cast<char>('0' + hundredths % 100 / 10);
    kb += static_cast<char>('0' + hundredths % 10);
    return std::to_string(bytes) + " byte(" + kb + " Kb) in " + std::to_string(files) + " file(s)";
}

LocalCommands UpdateLocalCommands(const LocalItem* entry, bool anySelected, bool folderBelowRoot) {
    return {entry != nullptr && IsFile(*entry), anySelected || folderBelowRoot};
}

LocalPane::LocalPane(ErrorLog log, QObject* parent) : QObject(parent), log_(std::move(log)) {}

bool LocalPane::SetFolder(const std::string& folder) {
    std::string wanted = folder.empty() ? "/" : folder;
    while (wanted.size() > 1 && wanted.ends_with('/'))
        wanted.pop_back();
    std::vector<LocalEntry> entries;
    if (const std::string error = ListFolder(wanted, entries); !error.empty()) {
        log_("Error " + wanted + ": " + error);
        return false;
    }
    const bool moved = wanted != folder_;
    folder_ = std::move(wanted);
    Fill(std::move(entries));
    if (moved)
        emit FolderChanged(folder_);
    return true;
}

void LocalPane::Refresh() {
    std::vector<LocalEntry> entries;
    if (const std::string error = ListFolder(folder_, entries); !error.empty())
        log_("Error " + folder_ + ": " + error);
    Fill(std::move(entries));
}

void LocalPane::GoUpOneLevel() {
    SetFolder(ParentFolder(folder_));
}

void LocalPane::OpenEntry(int row) {
    if (row < 0 || row >= static_cast<int>(items_.size()))
        return;
    const LocalItem& item = items_[static_cast<std::size_t>(row)];
    if (!IsFile(item))
        SetFolder(PathOf(row));
}

void LocalPane::SetFilter(std::string mask) {
    filter_ = std::move(mask);
}

void LocalPane::Fill(std::vector<LocalEntry> entries) {
    emit ItemsAboutToBeReset();
    items_.clear();
    items_.reserve(entries.size());
    for (LocalEntry& entry : entries) {
        if (!entry.IsFolder() && !remote::MatchesMask(entry.name, filter_))
            continue;
        LocalItem item;
        item.caption = std::move(entry.name);
        item.kind = entry.kind;
        item.size = entry.size;
        if (!entry.IsFolder())
            item.sizeText = std::to_string(entry.size);
        DateTimeText shown = FormatModified(entry.modified, monthFirst_);
        item.date = std::move(shown.date);
        item.time = std::move(shown.time);
        items_.push_back(std::move(item));
    }
    Sort();
    emit ItemsReset();
    emit SelectionChanged();
}

void LocalPane::Sort() {
    std::vector<std::uint32_t> order(items_.size());
    std::iota(order.begin(), order.end(), 0u);
    const std::int64_t key = sortKey_;
    const std::int64_t column = key < 0 ? -key : key;
    if (column == 0 || column == static_cast<int>(remote::PaneColumn::Filename)) {
        // The same order as the pane comparison's by caption, with each
        // upper-cased caption made once instead of at every comparison.
        std::vector<std::string> upper(items_.size());
        for (std::size_t i = 0; i < items_.size(); ++i) {
            upper[i] = items_[i].caption;
            for (char& c : upper[i])
                c = text::AsciiUpper(c);
        }
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            const int iconA = static_cast<int>(items_[a].Icon());
            const int iconB = static_cast<int>(items_[b].Icon());
            if (iconA != iconB)
                return iconA < iconB;
            const int c = upper[a].compare(upper[b]);
            return key < 0 ? c > 0 : c < 0;
        });
    } else {
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return remote::ComparePaneItems(SortData(items_[a]), SortData(items_[b]), sortKey_) < 0;
        });
    }
    std::vector<LocalItem> sorted;
    sorted.reserve(items_.size());
    for (const std::uint32_t i : order)
        sorted.push_back(std::move(items_[i]));
    items_ = std::move(sorted);
}

void LocalPane::SortByColumn(int column) {
    sortKey_ = remote::ColumnClickKey(sortKey_, column);
    emit ItemsAboutToBeReset();
    Sort();
    emit ItemsReset();
    emit SelectionReplaced();
}

void LocalPane::SetSelection(const std::vector<int>& rows) {
    for (LocalItem& item : items_)
        item.selected = false;
    for (const int row : rows) {
        if (row >= 0 && row < static_cast<int>(items_.size()))
            items_[static_cast<std::size_t>(row)].selected = true;
    }
    emit SelectionChanged();
}

void LocalPane::ReplaceSelection(const std::vector<bool>& selected) {
    for (std::size_t i = 0; i < items_.size(); ++i)
        items_[i].selected = i < selected.size() && selected[i];
    emit SelectionReplaced();
    emit SelectionChanged();
}

void LocalPane::Select(SelectCommand command, std::string_view mask) {
    std::vector<std::string_view> captions;
    std::vector<bool> selected;
    captions.reserve(items_.size());
    for (const LocalItem& item : items_) {
        captions.push_back(item.caption);
        selected.push_back(item.selected);
    }
    ApplySelectCommand(command, captions, mask, selected);
    ReplaceSelection(selected);
}

bool LocalPane::AnySelected() const {
    return std::any_of(items_.begin(), items_.end(),
                       [](const LocalItem& item) { return item.selected; });
}

LocalSummary LocalPane::Summary() const {
    LocalSummary summary;
    for (const LocalItem& item : items_) {
        if (item.selected && IsFile(item)) {
            ++summary.files;
            summary.bytes += std::max<std::int64_t>(0, item.size);
        }
    }
    return summary;
}

std::vector<SelectedEntry> LocalPane::Selected() const {
    std::vector<SelectedEntry> selected;
    for (const LocalItem& item : items_) {
        if (item.selected)
            selected.push_back({item.caption, !IsFile(item), std::to_string(item.size)});
    }
    return selected;
}

std::vector<std::string> LocalPane::SelectedFilePaths() const {
    std::vector<std::string> paths;
    const std::string folder = WithSlash(folder_);
    for (const LocalItem& item : items_) {
        if (item.selected && IsFile(item))
            paths.push_back(folder + item.caption);
    }
    return paths;
}

std::string LocalPane::PathOf(int row) const {
    return WithSlash(folder_) + items_.at(static_cast<std::size_t>(row)).caption;
}

void LocalPane::MakeDirectory(Prompts& prompts) {
    std::string name;
    if (!prompts.AskInput(CreateDirectoryCaption, CreateDirectoryPrompt, name, false,
                          MaxInputLength) ||
        name.empty())
        return;
    const std::string path = WithSlash(folder_) + name;
    if (const std::string error = MakeFolder(path); !error.empty()) {
        log_("Error " + path + ": " + error);
        return;
    }
    SetFolder(path);
}

void LocalPane::Rename(Prompts& prompts, int row) {
    if (row < 0 || row >= static_cast<int>(items_.size()))
        return;
    const std::string caption = items_[static_cast<std::size_t>(row)].caption;
    std::string name = caption;
    if (!prompts.AskInput(RenameCaption, RenamePrompt, name, false, MaxInputLength) ||
        text::EqualsNoCase(name, caption))
        return;
    // A folder part typed by the user is dropped.
    const std::string target = WithSlash(folder_) + std::string(FileNamePart(name));
    if (FileNamePart(name).empty())
        return;
    struct stat info {};
    if (lstat(target.c_str(), &info) == 0 &&
        !prompts.AskYesNo(AttentionCaption, std::string(FileExistsQuestion) + name + "\nRewrite?"))
        return;
    // rename() replaces the old file in one step, so it is never lost first.
    if (const std::string error = RenamePath(PathOf(row), target); !error.empty()) {
        log_("Error " + PathOf(row) + ": " + error);
        return;
    }
    Refresh();
}

void LocalPane::Delete(Prompts& prompts, const std::string& treeFolder) {
    std::vector<std::string> files;
    std::vector<std::string> folders;
    for (std::size_t row = 0; row < items_.size(); ++row) {
        const LocalItem& item = items_[row];
        if (!item.selected)
            continue;
        // A link, to a folder too, is removed as a link.
        (item.kind == LocalKind::Folder ? folders : files).push_back(PathOf(static_cast<int>(row)));
    }
    const bool wholeFolder = files.empty() && folders.empty();
    if (wholeFolder) {
        if (treeFolder.empty() || ParentFolder(treeFolder) == treeFolder)
            return;
        folders.push_back(treeFolder);
    }
    const DeletePlan plan = PlanDelete(std::move(files), std::move(folders), log_);
    if (!prompts.AskYesNo(AttentionCaption, plan.Question()))
        return;
    ExecuteDelete(plan, log_);
    if (wholeFolder)
        SetFolder(ParentFolder(treeFolder));
    else
        Refresh();
}

void LocalPane::ChangeCaseOfSelected(CaseMode mode) {
    for (std::size_t row = 0; row < items_.size(); ++row) {
        LocalItem& item = items_[row];
        if (!item.selected)
            continue;
        const std::string changed = ChangeCase(item.caption, mode);
        if (changed == item.caption)
            continue;
        const std::string from = PathOf(static_cast<int>(row));
        const std::string to = WithSlash(folder_) + changed;
        // Another entry of the new name would be replaced and lost.
        struct stat source {};
        struct stat other {};
        if (lstat(to.c_str(), &other) == 0 && lstat(from.c_str(), &source) == 0 &&
            (other.st_ino != source.st_ino || other.st_dev != source.st_dev)) {
            log_("Error " + from + ": " + to + " exists");
            continue;
        }
        if (const std::string error = RenamePath(from, to); !error.empty()) {
            log_("Error " + from + ": " + error);
            continue;
        }
        item.caption = changed;
        emit ItemChanged(static_cast<int>(row));
    }
}

} // namespace local
