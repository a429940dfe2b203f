#pragma once

#include "ftp/FtpClient.h"

#include <cstdint>
#include <deque>
#include <string>

namespace transfer {

// Which chain of requests is running; several may be set at once.
enum TransferMode : unsigned {
    DeleteWalk = 1,
    FolderRemoval = 2,
    DownloadWalk = 4,
    UploadWalk = 8,
    PermissionChain = 16,
};

// The work lists of the transfer, delete, rename and permission chains. A
// folder entry and its target share a position, as do a file and its target.
// Taken from the front, appended at the back: a walk of 10,000 files must not
// shift the rest at every step.
struct WorkLists {
    std::deque<std::string> Folders;
    std::deque<std::string> TargetFolders;
    std::deque<std::string> Files;
    std::deque<std::string> Targets;

    void Clear();
};

// What the session and the chains share while a chain runs. The session
// controller owns it; the chains get it by reference.
struct ChainState {
    WorkLists Work;
    unsigned Mode = 0; // TransferMode flags
    bool StopRequest = false;
    bool TransferBusy = false;
    // Where the running transfer started; each ends in "/".
    std::string RemoteStartDir;
    std::string LocalStartDir;
};

// The step operations of the chains that the request-done dispatcher
// continues. Each issues at most one request and returns; its completion
// comes back to the dispatcher. The transfer queue, the progress window and
// the remote file operations implement them; a session without them does
// nothing at these steps.
class ChainSteps {
public:
    virtual ~ChainSteps() = default;

    virtual void AddDownloadFolder() {}
    virtual void DownloadStep() {}
    virtual void UploadStep() {}
    virtual void ReadDeleteFolder() {}
    virtual void DeleteStep() {}
    virtual void RemoveFolderStep() {}
    virtual void RenameStep() {}
    virtual void ChmodStep() {}
    // A request of a transfer failed (its "Error " line is logged): a file's
    // Get or Put, the MKD of an upload walk, the CWD of a download walk.
    virtual void TransferFailed(FtpRequest /*request*/) {}
    // The stop button: the chains end at their next step.
    virtual void StopRequested() {}
    // The progress window.
    virtual void ProgressEndOfFile() {}
    virtual void ProgressBytes(std::int64_t /*count*/) {}
    // Also when the session ends: whatever ran is over.
    virtual void CloseProgress() {}
};

} // namespace transfer
