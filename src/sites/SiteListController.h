#pragma once

#include "sites/SiteList.h"

#include <QObject>
#include <string>
#include <vector>

class Prompts;
struct Options;

// The operations of the site list view: the open site folder, its entries and
// its list file, and every change written at once. The main window's buttons
// and menus call these; the view widget forwards double clicks, the path
// list and drops here.
class SiteListController : public QObject {
    Q_OBJECT

public:
    // `programFolder` ends in "/". `prompts` and `options` (for the e-mail
    // address of new sites) must outlive the controller.
    SiteListController(std::string programFolder, Prompts& prompts, const Options& options,
                       QObject* parent = nullptr);

    SiteListModel& Model() { return model_; }
    const SiteListModel& Model() const { return model_; }
    const std::string& ProgramFolder() const { return programFolder_; }
    // The open folder: its names, each followed by "/" ("" for the root).
    std::string FolderPath() const;
    // The directory of the open folder, ending in "/".
    std::string FolderDirectory() const;

    // Opens a folder: the path list brought in line, the up entry inside a
    // sub-folder, then the entries of its list file, sorted. A path with a
    // name that would leave the program folder is refused (false).
    bool LoadSiteFolder(const std::string& folderPath);
    // Writes the open folder's list file from the entries in view order, with
    // the lines that gave no entry where they stood, creating its directory
    // when missing. False, after telling the user,
    // when it cannot be written.
    bool SaveSiteFolder();
    // Appends the site of row `siteRow` to the list file of the folder of row
    // `folderRow`, then removes it here. False, with nothing changed, when
    // the rows are not a site and a folder or a file cannot be written.
    bool MoveSiteToFolder(int siteRow, int folderRow);

    // A double click: the selected entry opens (up, folder) or is chosen
    // (site); with nothing selected a new site is made.
    void OpenSelected();
    void OpenFolder(int row);
    // "Up One Level": the previous path-list entry; nothing at the root.
    void UpOneLevel();
    // Choosing path-list entry `index` opens the folder of entries 1 to it.
    void ChoosePathEntry(int index);
    // "Delete": removes every selected entry once the user confirms (a
    // folder's directory stays on disk).
    void Delete();
    // "MakeDir": asks for a name and makes the folder.
    void MakeFolder();
    // "Rename" with a folder selected: asks for the new name and renames the
    // directory.
    void RenameFolder();
    // "New Server": edits a new site and adds it when saved.
    void NewSite();
    // Adds `site` to the open folder as it is (no editor), selected, and
    // writes the folder; false when it could not be written.
    bool AddSite(const Site& site);
    // "&Properties": edits the selected site; with nothing selected an empty
    // record, added when saved; nothing for a folder or the up entry.
    void Properties();
    // "Refresh": loads the open folder again.
    void Refresh();
    // The direction of the pane's sort (a negative sort key is descending).
    void SetSortKey(int sortKey);

signals:
    // A double click on a site: the session takes over with this copy.
    void SiteChosen(const Site& site);

private:
    void EditAndAdd(Site site);
    // The row of the folder entry of that name (compared as the path list
    // compares), other than `except`; -1 when there is none.
    int FolderRow(std::string_view name, int except = -1) const;
    void Tell(const std::string& text);

    std::string programFolder_;
    Prompts& prompts_;
    const Options& options_;
    SiteListModel model_;
    std::vector<std::string> folderNames_;
    // The list file of the open folder exists but could not be read: writing
    // it would lose what it holds.
    bool listUnreadable_ = false;
};

// The messages of the site list, each in a box titled "Attention".
inline constexpr const char* CannotCreateFolderDirectory = "Can not create the directory:";
inline constexpr const char* CannotMakeFolder = "Can Not Create the Directory :";
inline constexpr const char* CannotReadList = "Can not read the file:";
inline constexpr const char* CannotWriteList = "Can not write the file:";
