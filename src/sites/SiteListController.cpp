#include "sites/SiteListController.h"

#include "prefs/Prompts.h"
#include "sites/SiteFolder.h"
#include "sites/SiteForm.h"

#include <cstdio>

namespace {

std::string WithoutSlash(std::string directory) {
    if (!directory.empty() && directory.back() == '/')
        directory.pop_back();
    return directory;
}

} // namespace

SiteListController::SiteListController(std::string programFolder, Prompts& prompts,
                                       const Options& options, QObject* parent)
    : QObject(parent), programFolder_(std::move(programFolder)), prompts_(prompts),
      options_(options) {}

std::string SiteListController::FolderPath() const {
    return JoinFolderPath(folderNames_);
}

std::string SiteListController::FolderDirectory() const {
    return SiteFolderDirectory(programFolder_, folderNames_);
}

bool SiteListController::LoadSiteFolder(const std::string& folderPath) {
    std::optional<std::vector<std::string>> names = SplitFolderPath(folderPath);
    if (!names)
        return false;
    folderNames_ = std::move(*names);
    model_.BringPathInLine(folderNames_);

    const std::string file = FolderDirectory() + SiteListFileName;
    std::vector<std::string> lines;
    listUnreadable_ = ReadListLines(file, lines) == ListRead::Failed;
    model_.ResetFromFile(lines, !folderNames_.empty());
    if (listUnreadable_)
        Tell(CannotReadList + file);
    return true;
}

bool SiteListController::SaveSiteFolder() {
    const std::string directory = FolderDirectory();
    const std::string file = directory + SiteListFileName;
    if (listUnreadable_) {
        Tell(CannotWriteList + file);
        return false;
    }
    if (!MakeDirectories(directory)) {
        Tell(CannotCreateFolderDirectory + directory);
        return false;
    }
    if (!WriteListLines(file, model_.FileLines())) {
        Tell(CannotWriteList + file);
        return false;
    }
    return true;
}

bool SiteListController::MoveSiteToFolder(int siteRow, int folderRow) {
    const auto isKind = [this](int row, SiteEntryKind kind) {
        return row >= 0 && row < model_.Count() && model_.Entry(row).Kind == kind;
    };
    if (!isKind(siteRow, SiteEntryKind::Site) || !isKind(folderRow, SiteEntryKind::Folder))
        return false;
    const std::string target = SubfolderDirectory(FolderDirectory(), model_.Entry(folderRow).Name);
    if (!MakeDirectories(target))
        return false;
    const std::string file = target + SiteListFileName;
    std::vector<std::string> lines;
    std::vector<std::string> endings;
    if (ReadListLines(file, lines, &endings) == ListRead::Failed)
        return false;
    lines.push_back(FormatSiteLine(model_.Entry(siteRow).Site));
    endings.emplace_back("\r\n");
    if (!WriteListLines(file, lines, &endings))
        return false;
    model_.Remove(siteRow);
    SaveSiteFolder();
    return true;
}

void SiteListController::OpenSelected() {
    const int row = model_.Selected();
    if (row < 0) {
        NewSite();
        return;
    }
    switch (model_.Entry(row).Kind) {
    case SiteEntryKind::Up:
        UpOneLevel();
        break;
    case SiteEntryKind::Folder:
        OpenFolder(row);
        break;
    case SiteEntryKind::Site: {
        const Site site = model_.Entry(row).Site;
        emit SiteChosen(site);
        break;
    }
    }
}

void SiteListController::OpenFolder(int row) {
    if (row >= 0 && row < model_.Count() && model_.Entry(row).Kind == SiteEntryKind::Folder)
        LoadSiteFolder(FolderPath() + model_.Entry(row).Name + '/');
}

void SiteListController::UpOneLevel() {
    if (model_.PathIndex() > 0)
        ChoosePathEntry(model_.PathIndex() - 1);
}

void SiteListController::ChoosePathEntry(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < model_.PathList().size())
        LoadSiteFolder(JoinFolderPath(model_.PathNames(index)));
}

void SiteListController::Delete() {
    std::vector<int> rows = model_.SelectedRows();
    // ".." is no entry of the file; it stays so the folder can be left.
    std::erase_if(rows, [this](int row) { return model_.Entry(row).Kind == SiteEntryKind::Up; });
    if (rows.empty())
        return;
    // A stored site goes with its password: one mis-click must not lose it.
    const std::string question =
        rows.size() == 1
            ? "Delete \"" + model_.Entry(rows.front()).Name + "\" from the site list?"
            : "Delete the " + std::to_string(rows.size()) + " selected entries from the site list?";
    if (!prompts_.AskYesNo(AttentionCaption, question))
        return;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        model_.Remove(*row);
    SaveSiteFolder();
}

void SiteListController::MakeFolder() {
    std::string name;
    if (!prompts_.AskInput("Create Directory", "Enter new directory name", name, false,
                           MaxInputLength))
        return;
    if (!IsSafeFolderName(name) || !MakeDirectories(SubfolderDirectory(FolderDirectory(), name))) {
        Tell(CannotMakeFolder + FolderPath() + name);
        return;
    }
    // A folder that is listed already is not listed twice.
    if (const int listed = FolderRow(name); listed >= 0) {
        model_.SelectOnly(listed);
        return;
    }
    model_.SelectOnly(model_.Insert(FolderEntry(name)));
    SaveSiteFolder();
}

void SiteListController::RenameFolder() {
    const int row = model_.Selected();
    if (row < 0 || model_.Entry(row).Kind != SiteEntryKind::Folder)
        return;
    const std::string old = model_.Entry(row).Name;
    std::string name = old;
    if (!prompts_.AskInput("Rename Directory", "Enter new Directory name:", name, false,
                           MaxInputLength) ||
        name == old || !IsSafeFolderName(name) || FolderRow(name, row) >= 0)
        return;
    const std::string directory = FolderDirectory();
    const std::string from = WithoutSlash(SubfolderDirectory(directory, old));
    // Another directory of that name would be replaced by the rename.
    const std::string existing = WithoutSlash(SubfolderDirectory(directory, name));
    if (existing != from && IsExistingDirectory(existing))
        return;
    if (std::rename(from.c_str(), (directory + name).c_str()) != 0)
        return;
    model_.Rename(row, name);
    model_.RenameNextPathEntry(old, name);
    SaveSiteFolder();
}

int SiteListController::FolderRow(std::string_view name, int except) const {
    for (int row = 0; row < model_.Count(); ++row) {
        const SiteEntry& entry = model_.Entry(row);
        if (row != except && entry.Kind == SiteEntryKind::Folder &&
            FolderNameKey(entry.Name) == FolderNameKey(name))
            return row;
    }
    return -1;
}

void SiteListController::NewSite() {
    EditAndAdd(NewSiteRecord(options_));
}

void SiteListController::Properties() {
    const int row = model_.Selected();
    if (row < 0) {
        EditAndAdd(EmptySiteRecord());
        return;
    }
    if (model_.Entry(row).Kind != SiteEntryKind::Site)
        return;
    Site site = model_.Entry(row).Site;
    if (!EditSite(prompts_, programFolder_, site))
        return;
    model_.SetSite(row, StoredSite(site));
    SaveSiteFolder();
}

void SiteListController::EditAndAdd(Site site) {
    if (!EditSite(prompts_, programFolder_, site))
        return;
    model_.SelectOnly(model_.Insert(EntryForSite(StoredSite(site))));
    SaveSiteFolder();
}

bool SiteListController::AddSite(const Site& site) {
    model_.SelectOnly(model_.Insert(EntryForSite(StoredSite(site))));
    return SaveSiteFolder();
}

void SiteListController::Refresh() {
    LoadSiteFolder(FolderPath());
}

void SiteListController::SetSortKey(int sortKey) {
    model_.SetDescending(sortKey < 0);
}

void SiteListController::Tell(const std::string& text) {
    prompts_.ShowMessage(AttentionCaption, text, MessageIcon::Information);
}
