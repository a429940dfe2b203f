#pragma once

#include "ftp/FtpClient.h"
#include "remote/ListingParser.h"
#include "sites/Site.h"
#include "transfer/ChainState.h"
#include "transfer/ProgressSink.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class Prompts;
struct Options;

namespace transfer {

// One selected entry of a pane, in pane order.
struct SelectedEntry {
    std::string Name; // the caption
    bool Folder = false;
    std::string Size; // the "Size" column; empty for folders
};

// A file of the remote folder a transfer writes into.
struct RemoteFile {
    std::string Name;
    std::string Size; // as listed
};

// The "Transfer Type" menu.
enum class TransferType { Auto = 0, Ascii = 1, Binary = 2 };

// What the queue needs of the session: its requests, its log and the site in
// use. The session controller implements it, so a refused request is logged
// as any other.
class QueueHost {
public:
    virtual ~QueueHost() = default;

    // Starts a request of the engine; a refusal is logged and gives false.
    virtual bool Issue(void (FtpClient::*request)()) = 0;
    virtual void AddLog(std::string_view text) = 0;
    virtual const Site& CurrentSite() const = 0;
    // How the session's listings read: the site's layout, or MLSD.
    virtual remote::ListingStyle ListingStyle() const {
        return remote::ListingStyleFromAnswer(CurrentSite().Answer);
    }
    // The queue ended, busy is clear: the commands follow, and after a
    // download the local pane shows its folder again.
    virtual void TransferEnded(bool download) = 0;
};

// The queue entry text: path, TAB, size in decimal. A size that is not a
// decimal number of 64 bits counts as 0, as does a missing TAB.
std::string QueueEntryText(std::string_view path, std::int64_t size);
std::pair<std::string, std::int64_t> ParseQueueEntry(std::string_view entry);
// A size column as a number; -1 when it is not a decimal integer.
std::int64_t SizeFromText(std::string_view text);

// Why a name from a server listing cannot become a local file name, or
// nothing when it can: empty, "." or "..", or holding "/", NUL or a line end.
std::optional<std::string> UnsafeNameReason(std::string_view name);
// A listed name as the log shows it: NUL and line ends written out, so a name
// cannot forge a log line.
std::string PrintableName(std::string_view name);
// `path` lies inside `folder` (which ends in "/") once "." and ".." are resolved.
bool InsideFolder(std::string_view path, std::string_view folder);

// L minus the local start folder, "/" when nothing is left, ending in "/".
std::string LocalToRemotePath(std::string_view localDir, std::string_view localStart);
// HostDirName below the remote start folder (each taken without one leading "/").
std::string RelativeRemoteDir(std::string_view hostDir, std::string_view remoteStart);
// Whether a file of `localFile` goes as ASCII: by the "Ext" comma text in auto
// mode (a case-sensitive substring test), else by the mode.
bool SendsAsAscii(TransferType mode, std::string_view localFile, std::string_view ext);

// Moves a selection of files and folder trees between the local folder and
// the remote directory, one request at a time: each step issues one request
// and returns, and the session's request-done dispatcher calls the next step.
// Breadth-first: the selected files, then each folder's files, its sub-folders
// behind those already waiting. A failed file is logged and the queue goes on;
// the end is one summary line.
class TransferQueue : public ChainSteps {
public:
    // Everything given must outlive the queue; the options are read at each use.
    TransferQueue(FtpClient& ftp, QueueHost& host, ChainState& chain, Prompts& prompts,
                  const Options& options, std::chrono::year_month_day startDate);

    // Null: no progress window.
    void SetProgressSink(ProgressSink* sink) { progress_ = sink; }
    void SetTransferType(TransferType type) { type_ = type; }
    TransferType Type() const { return type_; }

    // `localFolder` is absolute. `remoteFiles`: the files the remote pane
    // shows, for the top level's existence and resume look-ups. False when
    // the engine is not ready or a transfer runs; nothing starts then.
    bool StartUpload(const std::vector<SelectedEntry>& selection, const std::string& localFolder,
                     std::vector<RemoteFile> remoteFiles);
    bool StartDownload(const std::vector<SelectedEntry>& selection, const std::string& localFolder);
    bool Running() const { return running_; }
    // The overwrite decision's outcome for the next file.
    bool ResumeNext() const { return resume_; }
    bool OverwriteAll() const { return overwriteAll_; }

    // The dispatcher's steps.
    void DownloadStep() override;
    void UploadStep() override;
    void AddDownloadFolder() override;
    void TransferFailed(FtpRequest request) override;
    void StopRequested() override;
    void ProgressEndOfFile() override;
    void ProgressBytes(std::int64_t count) override;
    void CloseProgress() override;

    // The overwrite decision before each file; works on the first entries.
    void CheckOverwrite(bool download);
    // The remote files of the upload walk's folder, from the listing file.
    void ReadRemoteNames();
    bool RemoteExists(std::string_view path) const;
    std::int64_t RemoteSizeOf(std::string_view path) const;
    // TYPE for the next file, only when it changes.
    void ChooseTransferType();
    // Whether the next file resumes: the overwrite decision's answer, except
    // for a file that goes as ASCII.
    bool ResumesInThisType(std::string_view name);
    void FinishTransfer(bool refreshRemote);

private:
    enum class InFlight { None, Download, Upload, Walk };

    bool CanStart() const;
    void Begin(bool download, const std::string& localFolder);
    // The next file's request; false when the queue ended instead.
    bool SendNextDownload();
    bool SendNextUpload();
    // Lists local folder L into the work lists and enters its remote twin.
    bool WalkUploadFolder();
    // Starts a file's request; a refusal ends the queue when the session is gone.
    bool IssueTransfer(void (FtpClient::*request)(), InFlight kind);
    // The file in flight did not arrive whole: logged, counted.
    void FileFailed();
    void OpenProgress();
    // Ends the queue without further requests (stop, lost session).
    void EndQueue();
    void LogSummary();
    bool Safe(std::string_view name, std::string_view target);
    bool VirtualHost() const { return host_.CurrentSite().CheckVHost != 0; }
    // Points the engine at walk folder `folder` for the CWD (and a MKD after it).
    void AimAt(const std::string& folder);
    // A file's remote path as the engine must send it from where the server stands.
    std::string ServerPath(const std::string& path) const;

    FtpClient& ftp_;
    QueueHost& host_;
    ChainState& chain_;
    Prompts& prompts_;
    const Options& options_;
    std::chrono::year_month_day startDate_;
    ProgressSink* progress_ = nullptr;
    TransferType type_ = TransferType::Auto;

    bool running_ = false;
    bool download_ = false;
    bool overwriteAll_ = false;
    bool resume_ = false;
    bool namesStale_ = false;
    bool progressOpen_ = false;
    InFlight inFlight_ = InFlight::None;
    std::string current_; // the file in flight, as logged
    // The remote folders in the walks' naming: where the server stands, the
    // one a walk's CWD goes to, and HostDirName as the pane had it.
    std::string serverAt_;
    std::string walkDir_;
    std::string paneDir_;
    std::int64_t resumeFrom_ = 0;
    std::vector<RemoteFile> remoteFiles_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> walked_; // device and inode

    int moved_ = 0;
    int failed_ = 0;
    std::int64_t bytes_ = 0;
    std::chrono::steady_clock::time_point started_{};
};

} // namespace transfer
