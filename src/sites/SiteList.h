#pragma once

#include "sites/Site.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The kind of an entry of the site list, which also picks its icon.
enum class SiteEntryKind : std::uint8_t {
    Up = 0,     // "..", first inside a sub-folder
    Folder = 1, // a sub-directory with its own list file
    Site = 3,
};

struct SiteEntry {
    SiteEntryKind Kind = SiteEntryKind::Site;
    std::string Name; // the caption: "..", the folder's name or the site's Name
    ::Site Site;      // sites only
    bool Selected = false;
    // The lines of the list file right before this entry that give no entry
    // (comments, blank lines, lines of a newer version), written back before it.
    std::vector<std::string> LinesBefore;
};

inline constexpr const char* UpEntryName = "..";
// Entry 0 of the path list: the root folder.
inline constexpr const char* RootPathCaption = "SERVER LIST ...";

SiteEntry UpEntry();
SiteEntry FolderEntry(std::string name);
SiteEntry EntryForSite(Site site);
// The entry of one list-file line: a folder line with a safe name, or a site
// line. Nothing for a line this version does not read: blank, a comment, a
// folder that would leave its folder, a line without any known key.
std::optional<SiteEntry> EntryFromLine(std::string_view line);
// The list-file line of an entry; nothing for the up entry.
std::optional<std::string> LineOfEntry(const SiteEntry& entry);

// Negative when `a` goes first: by kind (up entry, folders, sites) whatever
// the direction, then by name without regard to case, reversed when
// `descending`.
int CompareSiteEntries(const SiteEntry& a, const SiteEntry& b, bool descending);

// The site list view as plain data: the entries of the open folder in view
// order with their selected flags, and the path list above them. Changes are
// announced in pairs (before and after) so a view can follow row by row.
class SiteListModel : public QObject {
    Q_OBJECT

public:
    explicit SiteListModel(QObject* parent = nullptr);

    int Count() const { return static_cast<int>(entries_.size()); }
    const SiteEntry& Entry(int row) const { return entries_.at(static_cast<std::size_t>(row)); }
    const std::vector<SiteEntry>& Entries() const { return entries_; }

    // Replaces every entry and sorts them; no lines are kept.
    void Reset(std::vector<SiteEntry> entries);
    // Replaces every entry with those of a list file's `lines`, after the up
    // entry when `withUpEntry`, and sorts them. A line that gives no entry is
    // kept where it stood: before the first entry (it stays at the top),
    // before the entry it preceded (it moves with it), or after the last.
    void ResetFromFile(const std::vector<std::string>& lines, bool withUpEntry);
    // The lines of the list file: the kept top lines, each entry in view order
    // after its LinesBefore, then the kept bottom lines.
    std::vector<std::string> FileLines() const;
    // Puts `entry` at its place in the sort order; returns its row.
    int Insert(SiteEntry entry);
    // The removed entry's LinesBefore stay, before the entry that follows it.
    void Remove(int row);
    // Gives a folder entry a new name, or a site entry a new record whose Name
    // becomes its caption. The entry keeps its row.
    void Rename(int row, std::string name);
    void SetSite(int row, Site site);

    std::vector<int> SelectedRows() const;
    // The first selected row, or -1.
    int Selected() const;
    void SetSelectedRows(const std::vector<int>& rows);
    void SelectOnly(int row) { SetSelectedRows({row}); }

    bool Descending() const { return descending_; }
    // The direction of the pane's sort; the entries are sorted again.
    void SetDescending(bool descending);

    // The path list: RootPathCaption, then the folder names in lower case.
    std::vector<std::string> PathList() const;
    // The entry of the open folder (0 for the root).
    int PathIndex() const { return pathIndex_; }
    // The lower-case names of path-list entries 1 to `index`.
    std::vector<std::string> PathNames(int index) const;
    // Brings the path list in line with the names of the open folder: from
    // the first entry that differs (without regard to case) the rest is
    // replaced by the remaining names; entries after the last name stay.
    void BringPathInLine(const std::vector<std::string>& names);
    // A folder of the open folder was renamed: the path-list entry after the
    // open folder follows when it names that folder.
    void RenameNextPathEntry(std::string_view oldName, std::string_view newName);

signals:
    void AboutToReset();
    void WasReset();
    void AboutToInsert(int first, int last);
    void Inserted(int first, int last);
    void AboutToRemove(int first, int last);
    void Removed(int first, int last);
    void Changed(int row);
    void SelectionChanged();
    void PathChanged();

private:
    void Sort();
    void ResetSorted(std::vector<SiteEntry> entries);
    // "Goes before" in the current direction.
    std::function<bool(const SiteEntry&, const SiteEntry&)> Order() const;

    std::vector<SiteEntry> entries_;
    std::vector<std::string> topLines_;    // kept lines before the first entry of the file
    std::vector<std::string> bottomLines_; // kept lines after the last
    bool descending_ = false;
    std::vector<std::string> pathNames_; // path-list entries 1 to n
    int pathIndex_ = 0;
};
