#pragma once

#include "ftp/FtpClient.h"
#include "local/LocalFiles.h"
#include "transfer/ChainState.h"
#include "transfer/Permissions.h"
#include "transfer/TransferQueue.h"

#include <QObject>
#include <chrono>
#include <string>
#include <vector>

class Prompts;
struct Options;

namespace transfer {

inline constexpr const char* CreateDirectoryCaption = "Create Directory";
inline constexpr const char* CreateDirectoryPrompt = "Enter new directory name";
inline constexpr const char* ChangeDirectoryCaption = "Change Directory";

// The parent of a remote folder path: one trailing "/" ignored, the text
// before the last "/"; "/" for a folder at the root, `fallback` without "/".
std::string RemoteParent(std::string_view path, std::string_view fallback);
// The text after the last "/", one trailing "/" ignored.
std::string RemoteLastComponent(std::string_view path);

// The remote file operations on the session's engine: make directory,
// rename, change case, recursive delete, change directory, refresh, the
// permission chain and custom commands. Single requests end with a listing
// through the dispatcher; the chains (delete, change case, permissions) take
// their next step from the dispatcher, one request at a time, on the shared
// work lists.
class RemoteOperations : public QObject, public ChainSteps {
    Q_OBJECT

public:
    // Everything given must outlive the operations; the options are read at each use.
    RemoteOperations(FtpClient& ftp, QueueHost& host, ChainState& chain, Prompts& prompts,
                     const Options& options, std::chrono::year_month_day startDate);

    // Free for a new operation: the engine idle and no chain running.
    bool CanStart() const;

    // Each returns whether a request went out.
    bool MakeDirectory();
    bool Rename(const SelectedEntry& entry);
    bool ChangeCase(const std::vector<SelectedEntry>& selection, local::CaseMode mode);
    // Asks first; ".." is never deleted.
    bool Delete(const std::vector<SelectedEntry>& selection);
    // `shownPath`: what the path box offers to start with.
    bool ChangeDirectory(const std::string& shownPath);
    bool Refresh();
    // `entries`: name and attribute text of each selected entry, in pane order.
    bool EditPermissions(const std::vector<std::pair<std::string, std::string>>& entries,
                         PermissionEditor& editor);
    // A custom command line, sent as it is; its completion lists the folder again.
    bool SendCommand(const std::string& line);

    // The dispatcher's steps.
    void ReadDeleteFolder() override;
    void DeleteStep() override;
    void RemoveFolderStep() override;
    void RenameStep() override;
    void ChmodStep() override;
    void StopRequested() override;
    void CloseProgress() override;
    // After the dispatcher handled a failure: a chain that sent nothing more
    // is over; a delete returns to where it started.
    void RequestFailed(FtpRequest request);

signals:
    // A chain started or ended: the commands' enablement may change.
    void BusyChanged();

private:
    enum class Running { None, Delete, Rename, Chmod };

    void Begin(Running chain);
    void End();
    // TYPE A, then the listing of the current directory.
    bool ListCurrent();
    bool Send(void (FtpClient::*request)());
    // The last request of a delete is out: counts logged.
    void FinishDelete();
    // Ends the delete at once; the log names the folders left on the server.
    void StopDelete();
    std::vector<std::string> FoldersLeft() const;
    bool VirtualHost() const { return host_.CurrentSite().CheckVHost != 0; }
    // A delete folder as the engine must name it from where the server stands.
    std::string Reach(const std::string& folder) const;
    // CWD into a folder of the delete, or out of one to its parent.
    bool Enter(const std::string& folder);
    // CWD back to the start folder; HostDirName names it as the pane did.
    void ReturnToStart();

    FtpClient& ftp_;
    QueueHost& host_;
    ChainState& chain_;
    Prompts& prompts_;
    const Options& options_;
    std::chrono::year_month_day startDate_;
    Running running_ = Running::None;
    bool windowsListing_ = false; // read once per delete: leave a folder by CWD to its parent
    bool deleteInFlight_ = false;
    bool removeInFlight_ = false;
    int deletedFiles_ = 0;
    int removedFolders_ = 0;
    // The delete's folders as it names them: where the server stands, where
    // the CWD or CDUP in flight goes, and HostDirName as the pane had it.
    std::string serverAt_;
    std::string entering_;
    std::string paneDir_;
};

// Hands each chain step to the object that runs that chain: the transfer
// steps to the queue, the delete, rename and permission steps to the remote
// operations. A stop or an ended session reaches both.
class ChainRouter : public ChainSteps {
public:
    void SetTransfers(ChainSteps* transfers) { transfers_ = transfers; }
    void SetOperations(RemoteOperations* operations) { operations_ = operations; }
    void RequestFailed(FtpRequest request) {
        if (operations_ != nullptr)
            operations_->RequestFailed(request);
    }

    void AddDownloadFolder() override { Call(transfers_, &ChainSteps::AddDownloadFolder); }
    void DownloadStep() override { Call(transfers_, &ChainSteps::DownloadStep); }
    void UploadStep() override { Call(transfers_, &ChainSteps::UploadStep); }
    void ReadDeleteFolder() override { Call(operations_, &ChainSteps::ReadDeleteFolder); }
    void DeleteStep() override { Call(operations_, &ChainSteps::DeleteStep); }
    void RemoveFolderStep() override { Call(operations_, &ChainSteps::RemoveFolderStep); }
    void RenameStep() override { Call(operations_, &ChainSteps::RenameStep); }
    void ChmodStep() override { Call(operations_, &ChainSteps::ChmodStep); }
    void TransferFailed(FtpRequest request) override {
        if (transfers_ != nullptr)
            transfers_->TransferFailed(request);
    }
    void StopRequested() override {
        Call(transfers_, &ChainSteps::StopRequested);
        Call(operations_, &ChainSteps::StopRequested);
    }
    void ProgressEndOfFile() override { Call(transfers_, &ChainSteps::ProgressEndOfFile); }
    void ProgressBytes(std::int64_t count) override {
        if (transfers_ != nullptr)
            transfers_->ProgressBytes(count);
    }
    void CloseProgress() override {
        Call(transfers_, &ChainSteps::CloseProgress);
        Call(operations_, &ChainSteps::CloseProgress);
    }

private:
    static void Call(ChainSteps* to, void (ChainSteps::*step)()) {
        if (to != nullptr)
            (to->*step)();
    }

    ChainSteps* transfers_ = nullptr;
    RemoteOperations* operations_ = nullptr;
};

} // namespace transfer
