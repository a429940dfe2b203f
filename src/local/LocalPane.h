#pragma once

#include "local/LocalFiles.h"
#include "local/PaneSelection.h"
#include "remote/RemoteView.h"

#include <QObject>
#include <cstdint>
#include <string>
#include <vector>

class Prompts;

namespace local {

// One row of the local list.
struct LocalItem {
    std::string caption;
    LocalKind kind = LocalKind::File;
    std::int64_t size = 0;
    std::string sizeText; // plain decimal for files, empty for folders
    std::string date;
    std::string time;
    bool selected = false;

    remote::PaneIcon Icon() const {
        return kind == LocalKind::Folder || kind == LocalKind::LinkToFolder
                   ? remote::PaneIcon::Folder
                   : remote::PaneIcon::File;
    }
};

// What the transfer queue takes of a selected entry.
struct SelectedEntry {
    std::string name;
    bool folder = false;
    std::string size; // plain decimal, "0" for folders
    bool operator==(const SelectedEntry&) const = default;
};

// The strip under the list: the selected files and their bytes.
struct LocalSummary {
    std::int64_t bytes = 0;
    int files = 0;

    bool Visible() const { return files > 0; }
    // "1536 byte(1.50 Kb) in 2 file(s)", the Kb with `decimalPoint`.
    std::string Text(char decimalPoint = '.') const;
    bool operator==(const LocalSummary&) const = default;
};

// Which local commands the changed entry allows.
struct LocalCommands {
    bool fileCommands = false;   // "View as Text File", "Rename", "Run", "View", menu "Delete"
    bool deleteCommands = false; // pop-up "&Delete" and the "Delete" button
    bool operator==(const LocalCommands&) const = default;
};
// `entry` is the changed (current) entry or null; `folderBelowRoot` tells
// whether the folder tree shows a folder other than its first row.
LocalCommands UpdateLocalCommands(const LocalItem* entry, bool anySelected, bool folderBelowRoot);

inline constexpr const char* CreateDirectoryCaption = "Create Directory";
inline constexpr const char* CreateDirectoryPrompt = "Enter new directory name:";
inline constexpr const char* RenameCaption = "Rename";
inline constexpr const char* RenamePrompt = "Enter new name:";
inline constexpr const char* FileExistsQuestion = "File already exists :";

// The local pane: the folder, its entries as list items with the filter and
// sort key applied, the selection, and the file operations on them. Widgets
// render it from the signals; tests drive it directly.
class LocalPane : public QObject {
    Q_OBJECT

public:
    // `log` receives the "Error <path>: <reason>" lines.
    explicit LocalPane(ErrorLog log, QObject* parent = nullptr);

    // Moves to `folder` (absolute) and lists it. A folder that cannot be
    // listed is logged and the pane stays where it was; false then.
    bool SetFolder(const std::string& folder);
    // The absolute folder shown, without a final "/" (but "/").
    const std::string& Folder() const { return folder_; }
    // Lists the folder again (after a download, "Refresh", F5).
    void Refresh();
    void GoUpOneLevel();
    // A double click or Enter: a folder is entered, a file does nothing.
    void OpenEntry(int row);

    // Takes effect at the next listing.
    void SetFilter(std::string mask);
    const std::string& Filter() const { return filter_; }
    void SetMonthFirst(bool monthFirst) { monthFirst_ = monthFirst; }

    // A click on a column header, or "By name", "By size", "By date" (1 to 3).
    void SortByColumn(int column);
    int SortKey() const { return sortKey_; }

    const std::vector<LocalItem>& Items() const { return items_; }
    // The view's selection changed: exactly `rows` are selected now.
    void SetSelection(const std::vector<int>& rows);
    // A command chose the selection; the views follow SelectionReplaced.
    void ReplaceSelection(const std::vector<bool>& selected);
    void Select(SelectCommand command, std::string_view mask);
    bool AnySelected() const;
    LocalSummary Summary() const;
    // The selected entries in pane order.
    std::vector<SelectedEntry> Selected() const;
    // Full paths of the selected files (not folders), in pane order.
    std::vector<std::string> SelectedFilePaths() const;
    std::string PathOf(int row) const;

    // "Create Directory": creates the typed folder and moves into it.
    void MakeDirectory(Prompts& prompts);
    // "Rename" of the entry at `row`.
    void Rename(Prompts& prompts, int row);
    // Deletes the selected entries; with none selected, `treeFolder` (when
    // not "" nor "/") and the pane moves to its parent.
    void Delete(Prompts& prompts, const std::string& treeFolder);
    // "UPPER CASE", "lower case", "As sentence" on the selected entries.
    void ChangeCaseOfSelected(CaseMode mode);

signals:
    void ItemsAboutToBeReset();
    void ItemsReset();
    void FolderChanged(const std::string& folder);
    void SelectionChanged();
    void SelectionReplaced();
    void ItemChanged(int row);

private:
    void Fill(std::vector<LocalEntry> entries);
    void Sort();

    ErrorLog log_;
    std::string folder_ = "/";
    std::string filter_ = "*.*";
    int sortKey_ = 0;
    bool monthFirst_ = false;
    std::vector<LocalItem> items_;
};

} // namespace local
