#include "transfer/RemoteOperations.h"

#include "prefs/Options.h"
#include "prefs/Prompts.h"
#include "remote/ListingParser.h"
#include "transfer/TransferPaths.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <utility>

namespace transfer {

namespace {

constexpr unsigned kDeleteFlags = DeleteWalk | FolderRemoval;

std::string WithoutTrailingSlash(std::string_view path) {
    if (path.size() > 1 && path.ends_with('/'))
        path.remove_suffix(1);
    return std::string(path);
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty())
            text += ", ";
        text += PrintableName(item);
    }
    return text;
}

} // namespace

std::string RemoteParent(std::string_view path, std::string_view fallback) {
    const std::string trimmed = WithoutTrailingSlash(path);
    const std::size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos)
        return std::string(fallback);
    // CWD refuses an empty folder: the root is "/".
    return slash == 0 ? "/" : trimmed.substr(0, slash);
}

std::string RemoteLastComponent(std::string_view path) {
    const std::string trimmed = WithoutTrailingSlash(path);
    const std::size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

RemoteOperations::RemoteOperations(FtpClient& ftp, QueueHost& host, ChainState& chain,
                                   Prompts& prompts, const Options& options,
                                   std::chrono::year_month_day startDate)
    : ftp_(ftp), host_(host), chain_(chain), prompts_(prompts), options_(options),
      startDate_(startDate) {}

bool RemoteOperations::CanStart() const {
    return !chain_.TransferBusy && ftp_.State() == FtpState::ftpReady;
}

void RemoteOperations::Begin(Running chain) {
    running_ = chain;
    chain_.TransferBusy = true;
    chain_.StopRequest = false;
    emit BusyChanged();
}

// The listing that follows clears the busy state.
void RemoteOperations::End() {
    running_ = Running::None;
}

bool RemoteOperations::Send(void (FtpClient::*request)()) {
    if (host_.Issue(request))
        return true;
    // Refused before anything was sent (an unsafe name): the chain ends as
    // for a failed request.
    if (running_ != Running::None || chain_.Mode & (kDeleteFlags | PermissionChain)) {
        chain_.Work.Clear();
        chain_.Mode &= ~unsigned{kDeleteFlags | PermissionChain};
        running_ = Running::None;
        chain_.TransferBusy = false;
        emit BusyChanged();
    }
    return false;
}

bool RemoteOperations::ListCurrent() {
    ftp_.HostFileName.clear();
    ftp_.LocalFileName = options_.ListingFile;
    ftp_.TypeAsciiSync();
    return Send(&FtpClient::DirAsync);
}

// --- single requests ------------------------------------------------------------------

bool RemoteOperations::MakeDirectory() {
    std::string name;
    if (!CanStart() ||
        !prompts_.AskInput(CreateDirectoryCaption, CreateDirectoryPrompt, name, false,
                           MaxInputLength) ||
        name.empty() || !CanStart())
        return false;
    ftp_.HostFileName = name; // relative to the current folder unless it starts with "/"
    return Send(&FtpClient::MkdAsync);
}

bool RemoteOperations::Rename(const SelectedEntry& entry) {
    if (!CanStart() || entry.Name == "..")
        return false;
    const std::string kind = entry.Folder ? "Directory" : "File";
    std::string name = entry.Name;
    if (!prompts_.AskInput("Rename " + kind, "Enter new " + kind + " name:", name, false,
                           MaxInputLength) ||
        name.empty() || !CanStart())
        return false;
    chain_.Work.Files.clear();
    chain_.Work.Targets.clear();
    ftp_.HostFileName = entry.Name;
    ftp_.LocalFileName = name;
    return Send(&FtpClient::RenAsync);
}

bool RemoteOperations::ChangeDirectory(const std::string& shownPath) {
    std::string path = shownPath;
    if (!CanStart() ||
        !prompts_.AskInput(ChangeDirectoryCaption, "", path, false, MaxInputLength) ||
        path.empty() || !CanStart())
        return false;
    ftp_.HostDirName = path;
    return Send(&FtpClient::CwdAsync);
}

bool RemoteOperations::Refresh() {
    return CanStart() && ListCurrent();
}

bool RemoteOperations::SendCommand(const std::string& line) {
    if (line.empty() || ftp_.State() != FtpState::ftpReady)
        return false;
    ftp_.LocalFileName = line;
    return Send(&FtpClient::QuoteAsync);
}

// --- change case ----------------------------------------------------------------------

bool RemoteOperations::ChangeCase(const std::vector<SelectedEntry>& selection,
                                  local::CaseMode mode) {
    if (!CanStart())
        return false;
    chain_.Work.Files.clear();
    chain_.Work.Targets.clear();
    for (const SelectedEntry& entry : selection) {
        std::string changed = local::ChangeCase(entry.Name, mode);
        // A rename onto itself is refused by some servers and would end the chain.
        if (entry.Name == ".." || changed == entry.Name)
            continue;
        chain_.Work.Files.push_back(entry.Name);
        chain_.Work.Targets.push_back(std::move(changed));
    }
    if (chain_.Work.Files.empty())
        return false;
    Begin(Running::Rename);
    RenameStep();
    return running_ == Running::Rename;
}

void RemoteOperations::RenameStep() {
    WorkLists& work = chain_.Work;
    if (chain_.StopRequest || work.Files.empty() || work.Targets.empty()) {
        work.Files.clear();
        work.Targets.clear();
        chain_.StopRequest = false;
        End();
        ListCurrent();
        return;
    }
    ftp_.HostFileName = work.Files.front();
    ftp_.LocalFileName = work.Targets.front();
    work.Files.pop_front();
    work.Targets.pop_front();
    Send(&FtpClient::RenAsync);
}

// --- delete ---------------------------------------------------------------------------

bool RemoteOperations::Delete(const std::vector<SelectedEntry>& selection) {
    if (!CanStart())
        return false;
    std::vector<std::string> files;
    std::vector<std::string> folders;
    for (const SelectedEntry& entry : selection) {
        if (entry.Name != "..")
            (entry.Folder ? folders : files).push_back(entry.Name);
    }
    if (files.empty() && folders.empty())
        return false;
    const local::DeletePlan plan{files, folders};
    if (!prompts_.AskYesNo(AttentionCaption, plan.Question()) || !CanStart())
        return false;

    WorkLists& work = chain_.Work;
    work.Clear();
    chain_.RemoteStartDir = NormalizeRemoteDir(ftp_.HostDirName, host_.CurrentSite().CheckVHost);
    serverAt_ = entering_ = chain_.RemoteStartDir;
    paneDir_ = ftp_.HostDirName;
    work.Files.assign(files.begin(), files.end());
    for (const std::string& folder : folders)
        work.Folders.push_back(chain_.RemoteStartDir + folder);
    const remote::ListingStyle style = host_.ListingStyle();
    windowsListing_ = !style.machine && style.layout == remote::ListingLayout::Win2000;
    deletedFiles_ = removedFolders_ = 0;
    Begin(Running::Delete);
    if (!work.Files.empty()) {
        ftp_.HostFileName = work.Files.front();
        work.Files.pop_front();
        deleteInFlight_ = true;
        return Send(&FtpClient::DeleAsync);
    }
    chain_.Mode |= DeleteWalk;
    work.TargetFolders.push_back(work.Folders.front());
    work.Folders.pop_front();
    return Enter(work.TargetFolders.back());
}

std::string RemoteOperations::Reach(const std::string& folder) const {
    return VirtualHost() ? RemotePathFrom(serverAt_, folder) : folder;
}

bool RemoteOperations::Enter(const std::string& folder) {
    entering_ = folder;
    ftp_.HostDirName = Reach(folder);
    return Send(&FtpClient::CwdAsync);
}

void RemoteOperations::ReturnToStart() {
    ftp_.LocalFileName = options_.ListingFile;
    if (!VirtualHost()) {
        ftp_.HostDirName = chain_.RemoteStartDir;
        Send(&FtpClient::CwdAsync);
        return;
    }
    Enter(chain_.RemoteStartDir);
    ftp_.HostDirName = paneDir_;
}

void RemoteOperations::ReadDeleteFolder() {
    if (chain_.StopRequest) {
        StopDelete();
        return;
    }
    std::string text;
    {
        std::ifstream in(options_.ListingFile, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::remove(options_.ListingFile.c_str());
    serverAt_ = entering_; // its CWD and listing went through
    const std::vector<std::string_view> lines = remote::SplitListingLines(text);
    const remote::ParsedListing parsed =
        remote::ParseListing(lines, host_.ListingStyle(), startDate_);
    std::string prefix = serverAt_;
    if (!prefix.ends_with('/'))
        prefix += '/';
    for (const remote::RemoteEntry& entry : parsed.entries) {
        if (const std::optional<std::string> reason = UnsafeNameReason(entry.name)) {
            host_.AddLog("Error " + PrintableName(entry.name) + ": " + *reason);
            continue;
        }
        // A link goes as a link: what it points at is not part of this tree.
        if (entry.kind == remote::EntryKind::File || entry.IsLink())
            chain_.Work.Files.push_back(entry.name);
        else
            chain_.Work.Folders.push_back(prefix + entry.name);
    }
}

void RemoteOperations::DeleteStep() {
    WorkLists& work = chain_.Work;
    if (std::exchange(deleteInFlight_, false))
        ++deletedFiles_;
    if (chain_.StopRequest && running_ == Running::Delete)
        StopDelete();
    if (ftp_.Binary) {
        ftp_.Binary = false;
        ftp_.TypeSetSync(); // the listings that follow travel as text
    }
    if (!work.Files.empty()) {
        ftp_.HostFileName = work.Files.front();
        work.Files.pop_front();
        deleteInFlight_ = true;
        Send(&FtpClient::DeleAsync);
        return;
    }
    const bool walk = !work.Folders.empty();
    if (walk)
        chain_.Mode |= DeleteWalk;
    else
        chain_.Mode &= ~unsigned{DeleteWalk};
    if (!walk && !work.TargetFolders.empty()) {
        RemoveFolderStep();
        return;
    }
    if (!walk) {
        FinishDelete();
        ReturnToStart();
        return;
    }
    work.TargetFolders.push_back(work.Folders.front());
    work.Folders.pop_front();
    ftp_.LocalFileName = options_.ListingFile;
    Enter(work.TargetFolders.back());
}

void RemoteOperations::RemoveFolderStep() {
    WorkLists& work = chain_.Work;
    if (std::exchange(removeInFlight_, false))
        ++removedFolders_;
    else
        serverAt_ = entering_; // a step out of a folder went through
    if (chain_.StopRequest && running_ == Running::Delete)
        StopDelete();
    if (ftp_.Binary)
        ftp_.TypeAsciiSync();
    if (work.TargetFolders.empty()) {
        chain_.Mode &= ~unsigned{FolderRemoval};
        FinishDelete();
        ReturnToStart();
        return;
    }
    chain_.Mode |= FolderRemoval;
    const std::string last = work.TargetFolders.back();
    if (last == serverAt_) {
        // The engine stands in the folder: leave it first.
        const std::string parent = RemoteParent(last, chain_.RemoteStartDir);
        if (windowsListing_) {
            // Removed by name from its parent at the next step.
            work.TargetFolders.back() = RemoteLastComponent(last);
            ftp_.LocalFileName = options_.ListingFile;
            Enter(parent);
        } else {
            entering_ = parent;
            ftp_.HostDirName = Reach(parent);
            Send(&FtpClient::CDupAsync);
        }
        return;
    }
    ftp_.HostFileName = Reach(last);
    work.TargetFolders.pop_back();
    removeInFlight_ = true;
    Send(&FtpClient::RmdAsync);
}

void RemoteOperations::FinishDelete() {
    if (running_ != Running::Delete)
        return;
    End();
    host_.AddLog("Deleted " + std::to_string(deletedFiles_) + " file(s) and " +
                 std::to_string(removedFolders_) + " folder(es)");
}

std::vector<std::string> RemoteOperations::FoldersLeft() const {
    const WorkLists& work = chain_.Work;
    std::vector<std::string> left(work.TargetFolders.begin(), work.TargetFolders.end());
    left.insert(left.end(), work.Folders.begin(), work.Folders.end());
    return left;
}

void RemoteOperations::StopDelete() {
    const std::vector<std::string> left = FoldersLeft();
    std::string line = "Delete stopped after " + std::to_string(deletedFiles_) + " file(s) and " +
                       std::to_string(removedFolders_) + " folder(es)";
    if (!left.empty())
        line += "; folders left: " + Joined(left);
    host_.AddLog(line);
    chain_.Work.Clear();
    chain_.Mode &= ~unsigned{kDeleteFlags};
    chain_.StopRequest = false;
    running_ = Running::None;
}

// --- permissions ----------------------------------------------------------------------

bool RemoteOperations::EditPermissions(
    const std::vector<std::pair<std::string, std::string>>& entries, PermissionEditor& editor) {
    if (!CanStart())
        return false;
    std::vector<PermissionEntry> list;
    for (const auto& [name, attributes] : entries) {
        if (name != "..")
            list.push_back({name, ParseMode(std::string_view(attributes).substr(0, 255))});
    }
    if (list.empty())
        return false;
    PermissionForm form(std::move(list));
    if (!editor.Edit(form))
        return false;
    const std::vector<PermissionEntry> changes = form.Changes();
    if (changes.empty() || !CanStart())
        return false;
    chain_.Work.Clear();
    for (const PermissionEntry& change : changes) {
        chain_.Work.Files.push_back(change.Name);
        chain_.Work.Targets.push_back(std::to_string(change.Value));
    }
    chain_.Mode |= PermissionChain;
    Begin(Running::Chmod);
    ChmodStep();
    return true;
}

void RemoteOperations::ChmodStep() {
    WorkLists& work = chain_.Work;
    if (chain_.StopRequest) {
        work.Files.clear();
        work.Targets.clear();
        chain_.StopRequest = false;
    }
    if (work.Files.empty() || work.Targets.empty()) {
        chain_.Mode &= ~unsigned{PermissionChain};
        End();
        ListCurrent();
        return;
    }
    ftp_.LocalFileName = "SITE CHMOD " + work.Targets.front() + " " + work.Files.front();
    work.Files.pop_front();
    work.Targets.pop_front();
    Send(&FtpClient::QuoteAsync);
}

// --- stop and failures ----------------------------------------------------------------

void RemoteOperations::StopRequested() {
    if (running_ == Running::Delete)
        StopDelete();
}

void RemoteOperations::CloseProgress() {
    running_ = Running::None;
}

void RemoteOperations::RequestFailed(FtpRequest /*request*/) {
    if (running_ == Running::None)
        return;
    const bool deleting = running_ == Running::Delete;
    if (deleting) {
        host_.AddLog("Delete ended after " + std::to_string(deletedFiles_) + " file(s) and " +
                     std::to_string(removedFolders_) + " folder(es)");
    }
    running_ = Running::None;
    deleteInFlight_ = removeInFlight_ = false;
    if (ftp_.State() != FtpState::ftpReady)
        return; // the dispatcher went on; its listing ends the busy state
    chain_.TransferBusy = false;
    emit BusyChanged();
    // The pane shows the start folder: the engine goes back there.
    if (deleting && WithoutTrailingSlash(serverAt_) != WithoutTrailingSlash(chain_.RemoteStartDir))
        ReturnToStart();
}

} // namespace transfer
