#include "transfer/TransferQueue.h"

#include "prefs/Options.h"
#include "prefs/Prompts.h"
#include "text/TextFields.h"
#include "transfer/TransferPaths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <system_error>

namespace transfer {

namespace fs = std::filesystem;

namespace {

constexpr unsigned kWalks = DownloadWalk | UploadWalk;

} // namespace

std::string PrintableName(std::string_view name) {
    std::string out;
    for (const char c : name) {
        if (c == '\0')
            out += "\\0";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

namespace {

std::string_view AfterLastSlash(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool ReadFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string ErrnoText() {
    return std::strerror(errno);
}

} // namespace

// --- plain rules ----------------------------------------------------------------------

std::string QueueEntryText(std::string_view path, std::int64_t size) {
    std::string entry(path);
    entry += '\t';
    entry += std::to_string(size);
    return entry;
}

std::int64_t SizeFromText(std::string_view text) {
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return text::ParseInteger(text).value_or(-1);
}

std::pair<std::string, std::int64_t> ParseQueueEntry(std::string_view entry) {
    const std::size_t tab = entry.find('\t');
    if (tab == std::string_view::npos)
        return {std::string(entry), 0};
    return {std::string(entry.substr(0, tab)),
            std::max<std::int64_t>(SizeFromText(entry.substr(tab + 1)), 0)};
}

std::optional<std::string> UnsafeNameReason(std::string_view name) {
    if (name.empty())
        return "empty name";
    if (name == "." || name == "..")
        return "not a file name";
    if (name.find('/') != std::string_view::npos)
        return "holds \"/\"";
    if (name.find('\0') != std::string_view::npos)
        return "holds NUL";
    if (name.find_first_of("\r\n") != std::string_view::npos)
        return "holds a line end";
    return std::nullopt;
}

bool InsideFolder(std::string_view path, std::string_view folder) {
    std::string inner = fs::path(path).lexically_normal().string();
    std::string outer = fs::path(folder).lexically_normal().string();
    if (!outer.ends_with('/'))
        outer += '/';
    return inner.size() > outer.size() && inner.starts_with(outer);
}

std::string LocalToRemotePath(std::string_view localDir, std::string_view localStart) {
    std::string rest(localDir.substr(std::min(localStart.size(), localDir.size())));
    if (rest.empty())
        rest = "/";
    if (!rest.ends_with('/'))
        rest += '/';
    return rest;
}

std::string RelativeRemoteDir(std::string_view hostDir, std::string_view remoteStart) {
    if (hostDir.starts_with('/'))
        hostDir.remove_prefix(1);
    if (remoteStart.starts_with('/'))
        remoteStart.remove_prefix(1);
    std::size_t same = 0;
    while (same < hostDir.size() && same < remoteStart.size() && hostDir[same] == remoteStart[same])
        ++same;
    return std::string(hostDir.substr(same));
}

bool SendsAsAscii(TransferType mode, std::string_view localFile, std::string_view ext) {
    switch (mode) {
    case TransferType::Ascii:
        return true;
    case TransferType::Binary:
        return false;
    case TransferType::Auto:
        break;
    }
    const std::string_view name = AfterLastSlash(localFile);
    const std::size_t dot = name.rfind('.');
    const std::string_view own = dot == std::string_view::npos ? "" : name.substr(dot + 1);
    return !ext.empty() && !own.empty() && ext.find(own) != std::string_view::npos;
}

// --- the queue ------------------------------------------------------------------------

TransferQueue::TransferQueue(FtpClient& ftp, QueueHost& host, ChainState& chain, Prompts& prompts,
                             const Options& options, std::chrono::year_month_day startDate)
    : ftp_(ftp), host_(host), chain_(chain), prompts_(prompts), options_(options),
      startDate_(startDate) {}

void TransferQueue::Begin(bool download, const std::string& localFolder) {
    chain_.TransferBusy = true;
    chain_.Work.Clear();
    chain_.RemoteStartDir = NormalizeRemoteDir(ftp_.HostDirName, host_.CurrentSite().CheckVHost);
    chain_.LocalStartDir = NormalizeLocalDir(localFolder);
    serverAt_ = chain_.RemoteStartDir;
    paneDir_ = ftp_.HostDirName;
    // A stop pressed while nothing ran is not meant for this queue.
    chain_.StopRequest = false;
    running_ = true;
    download_ = download;
    overwriteAll_ = resume_ = namesStale_ = progressOpen_ = false;
    inFlight_ = InFlight::None;
    moved_ = failed_ = 0;
    bytes_ = 0;
    walked_.clear();
    started_ = std::chrono::steady_clock::now();
}

bool TransferQueue::CanStart() const {
    return !running_ && !chain_.TransferBusy && ftp_.State() == FtpState::ftpReady;
}

bool TransferQueue::StartDownload(const std::vector<SelectedEntry>& selection,
                                  const std::string& localFolder) {
    if (!CanStart())
        return false;
    Begin(true, localFolder);
    const bool wholeLines = host_.ListingStyle().WholeLineNames();
    WorkLists& work = chain_.Work;
    for (const SelectedEntry& entry : selection) {
        if (entry.Name == "..")
            continue;
        std::string name = entry.Name;
        if (wholeLines) {
            std::vector<std::string_view> fields;
            text::SplitFields(' ', entry.Name, fields);
            name = fields.empty() ? std::string() : std::string(fields.back());
            if (name.empty())
                continue;
        }
        const std::string target = chain_.LocalStartDir + name;
        if (!Safe(name, target))
            continue;
        if (entry.Folder) {
            work.Folders.push_back(chain_.RemoteStartDir + name);
            work.TargetFolders.push_back(target);
        } else {
            work.Files.push_back(QueueEntryText(
                chain_.RemoteStartDir + name, std::max<std::int64_t>(SizeFromText(entry.Size), 0)));
            work.Targets.push_back(target);
        }
    }
    DownloadStep();
    return true;
}

bool TransferQueue::StartUpload(const std::vector<SelectedEntry>& selection,
                                const std::string& localFolder,
                                std::vector<RemoteFile> remoteFiles) {
    if (!CanStart())
        return false;
    Begin(false, localFolder);
    remoteFiles_ = std::move(remoteFiles);
    // A link to the folder the upload starts from, or above it, leads back in.
    for (fs::path folder = fs::path(chain_.LocalStartDir).lexically_normal();;
         folder = folder.parent_path()) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) == 0)
            walked_.insert({st.st_dev, st.st_ino});
        if (folder == folder.parent_path() || folder.empty())
            break;
    }
    WorkLists& work = chain_.Work;
    for (const SelectedEntry& entry : selection) {
        if (const auto why = UnsafeNameReason(entry.Name)) {
            host_.AddLog("Error " + PrintableName(entry.Name) + ": " + *why);
            ++failed_;
            continue;
        }
        if (entry.Folder) {
            work.TargetFolders.push_back(chain_.RemoteStartDir + entry.Name);
            work.Folders.push_back(chain_.LocalStartDir + entry.Name);
        } else {
            // The engine stands in the remote start folder: a bare name goes there.
            const std::string path = chain_.LocalStartDir + entry.Name;
            struct stat st {};
            // The file's own size, not the pane's text of it: 64 bits, however shown.
            const std::int64_t size = ::stat(path.c_str(), &st) == 0
                                          ? static_cast<std::int64_t>(st.st_size)
                                          : std::max<std::int64_t>(SizeFromText(entry.Size), 0);
            work.Targets.push_back(entry.Name);
            work.Files.push_back(QueueEntryText(path, size));
        }
    }
    UploadStep();
    return true;
}

void TransferQueue::AimAt(const std::string& folder) {
    walkDir_ = folder;
    ftp_.HostDirName = VirtualHost() ? RemotePathFrom(serverAt_, folder) : folder;
    ftp_.HostFileName.clear();
}

std::string TransferQueue::ServerPath(const std::string& path) const {
    // A bare name is a file of the folder the server stands in.
    if (!VirtualHost() || path.find('/') == std::string::npos)
        return path;
    return RemotePathFrom(serverAt_, path);
}

bool TransferQueue::Safe(std::string_view name, std::string_view target) {
    std::optional<std::string> why = UnsafeNameReason(name);
    if (!why && !InsideFolder(target, chain_.LocalStartDir))
        why = "outside the local folder";
    if (!why)
        return true;
    host_.AddLog("Error " + PrintableName(name) + ": " + *why);
    ++failed_;
    return false;
}

// --- download -------------------------------------------------------------------------

void TransferQueue::DownloadStep() {
    if (!running_)
        return;
    if (inFlight_ == InFlight::Walk)
        serverAt_ = walkDir_; // the walk's CWD and listing went through
    inFlight_ = InFlight::None;
    WorkLists& work = chain_.Work;
    while (running_) {
        if (chain_.StopRequest) {
            work.Clear();
            chain_.StopRequest = false;
            continue;
        }
        if (work.Files.empty() && work.Folders.empty()) {
            FinishTransfer(false);
            return;
        }
        if (work.Files.empty()) {
            chain_.Mode |= DownloadWalk;
            AimAt(work.Folders.front());
            work.Folders.pop_front();
            work.TargetFolders.pop_front();
            ftp_.TypeAsciiSync();
            // Stop may have been pressed while TYPE was waited for.
            if (chain_.StopRequest)
                continue;
            inFlight_ = InFlight::Walk;
            if (!host_.Issue(&FtpClient::CwdAsync))
                EndQueue();
            return;
        }
        CheckOverwrite(true);
        if (work.Targets.empty())
            continue;
        if (SendNextDownload())
            return;
    }
}

bool TransferQueue::SendNextDownload() {
    WorkLists& work = chain_.Work;
    OpenProgress();
    auto [path, size] = ParseQueueEntry(work.Files.front());
    work.Files.pop_front();
    ftp_.HostFileName = ServerPath(path);
    ftp_.LocalFileName = work.Targets.front();
    work.Targets.pop_front();
    current_ = ftp_.LocalFileName;
    host_.AddLog("Starting transfer of " + std::string(AfterLastSlash(ftp_.LocalFileName)));
    ChooseTransferType();
    if (progress_ != nullptr)
        progress_->StartFile(path, size, Direction::Receiving);
    std::error_code error;
    const auto have = fs::file_size(ftp_.LocalFileName, error);
    const bool resume = ResumesInThisType(AfterLastSlash(ftp_.LocalFileName));
    resumeFrom_ = resume && !error ? static_cast<std::int64_t>(have) : 0;
    ftp_.ResumeAt = 0;
    // A download of another size than the listing's bytes is not whole.
    ftp_.ListedSize = host_.ListingStyle().SizesInBytes() ? size : -1;
    return IssueTransfer(resume ? &FtpClient::RestGetAsync : &FtpClient::GetAsync,
                         InFlight::Download);
}

void TransferQueue::AddDownloadFolder() {
    const std::string& listing = options_.ListingFile;
    if (!running_ || chain_.StopRequest) {
        chain_.Mode &= ~unsigned{DownloadWalk};
        chain_.Work.Clear();
        std::remove(listing.c_str());
        return;
    }
    std::string text;
    const bool read = ReadFile(listing, text);
    std::remove(listing.c_str());
    if (!read) {
        host_.AddLog("Error " + listing + ": " + ErrnoText());
        ++failed_;
        return;
    }
    std::string rel = RelativeRemoteDir(walkDir_, chain_.RemoteStartDir);
    if (!rel.empty() && !rel.ends_with('/'))
        rel += '/';
    const std::string base = chain_.LocalStartDir + rel;
    std::error_code error;
    fs::create_directories(base, error);

    const std::vector<std::string_view> lines = remote::SplitListingLines(text);
    const remote::ParsedListing parsed =
        remote::ParseListing(lines, host_.ListingStyle(), startDate_);
    std::string here = walkDir_;
    if (!here.ends_with('/'))
        here += '/';
    WorkLists& work = chain_.Work;
    for (const remote::RemoteEntry& entry : parsed.entries) {
        if (!Safe(entry.name, base + entry.name))
            continue;
        if (entry.kind == remote::EntryKind::File) {
            work.Files.push_back(
                QueueEntryText(entry.name, std::max<std::int64_t>(SizeFromText(entry.size), 0)));
            work.Targets.push_back(base + entry.name);
            continue;
        }
        if (entry.IsLink() && !entry.linkTarget.empty()) {
            // A link to this folder or one above it would be walked without end.
            const std::string target =
                entry.linkTarget.starts_with('/') ? entry.linkTarget : here + entry.linkTarget;
            std::string resolved = fs::path(target).lexically_normal().string();
            if (!resolved.ends_with('/'))
                resolved += '/';
            if (here.starts_with(resolved)) {
                host_.AddLog("Error " + entry.name + ": a link back into the folders walked");
                ++failed_;
                continue;
            }
        }
        work.Folders.push_back(here + entry.name);
        work.TargetFolders.push_back(base + entry.name);
        fs::create_directories(base + entry.name, error);
    }
}

// --- upload ---------------------------------------------------------------------------

void TransferQueue::UploadStep() {
    if (!running_)
        return;
    if (inFlight_ == InFlight::Walk)
        serverAt_ = walkDir_; // the walk's CWD and listing went through
    inFlight_ = InFlight::None;
    WorkLists& work = chain_.Work;
    while (running_) {
        if (chain_.StopRequest) {
            work.Clear();
            chain_.StopRequest = false;
            continue;
        }
        if (work.Files.empty() && !work.Folders.empty()) {
            if (WalkUploadFolder())
                return;
            continue;
        }
        if (work.Files.empty()) {
            FinishTransfer(true);
            return;
        }
        if ((chain_.Mode & UploadWalk) && namesStale_)
            ReadRemoteNames();
        CheckOverwrite(false);
        if (work.Targets.empty())
            continue;
        if (SendNextUpload())
            return;
    }
}

bool TransferQueue::WalkUploadFolder() {
    WorkLists& work = chain_.Work;
    std::string local = work.Folders.front();
    if (!local.ends_with('/'))
        local += '/';
    const std::string remoteDir = work.TargetFolders.front();
    work.Folders.pop_front();
    work.TargetFolders.pop_front();

    struct stat st {};
    if (::stat(local.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        const bool found = ::stat(local.c_str(), &st) == 0;
        host_.AddLog("Error " + local + ": " + (found ? "not a folder" : ErrnoText()));
        ++failed_;
        return false;
    }
    if (!walked_.insert({st.st_dev, st.st_ino}).second) {
        host_.AddLog("Error " + local + ": a link back into the folders walked");
        ++failed_;
        return false;
    }
    std::string remote = LocalToRemotePath(local, chain_.LocalStartDir);
    remote = chain_.RemoteStartDir + (remote.starts_with('/') ? remote.substr(1) : remote);
    chain_.Mode |= UploadWalk;

    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(local, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    if (error) {
        host_.AddLog("Error " + local + ": " + error.message());
        ++failed_;
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = local + name;
        struct stat entry {};
        if (const auto why = UnsafeNameReason(name)) {
            host_.AddLog("Error " + PrintableName(path) + ": " + *why);
            ++failed_;
        } else if (::stat(path.c_str(), &entry) != 0) {
            host_.AddLog("Error " + path + ": " + ErrnoText());
            ++failed_;
        } else if (S_ISDIR(entry.st_mode)) {
            work.TargetFolders.push_back(remote + name);
            work.Folders.push_back(path);
        } else if (S_ISREG(entry.st_mode)) {
            work.Targets.push_back(remote + name);
            work.Files.push_back(QueueEntryText(path, static_cast<std::int64_t>(entry.st_size)));
        } else {
            // A pipe or a device would never end.
            host_.AddLog("Error " + path + ": not a regular file");
            ++failed_;
        }
    }
    AimAt(remoteDir);
    namesStale_ = true;
    inFlight_ = InFlight::Walk;
    if (host_.Issue(&FtpClient::CwdAsync))
        return true;
    EndQueue();
    return false;
}

bool TransferQueue::SendNextUpload() {
    WorkLists& work = chain_.Work;
    OpenProgress();
    auto [path, size] = ParseQueueEntry(work.Files.front());
    std::int64_t at = RemoteSizeOf(work.Targets.front());
    if (at < 0)
        at = size;
    ftp_.LocalFileName = path;
    work.Files.pop_front();
    ftp_.HostFileName = ServerPath(work.Targets.front());
    work.Targets.pop_front();
    current_ = path;
    ChooseTransferType();
    if (progress_ != nullptr)
        progress_->StartFile(ftp_.LocalFileName, size, Direction::Sending);
    const bool resume = ResumesInThisType(AfterLastSlash(path));
    resumeFrom_ = resume ? at : 0;
    ftp_.ResumeAt = resumeFrom_;
    return IssueTransfer(resume ? &FtpClient::RestPutAsync : &FtpClient::PutAsync,
                         InFlight::Upload);
}

void TransferQueue::ReadRemoteNames() {
    namesStale_ = false;
    remoteFiles_.clear();
    std::string text;
    if (!ReadFile(options_.ListingFile, text))
        return;
    const std::vector<std::string_view> lines = remote::SplitListingLines(text);
    const remote::ParsedListing parsed =
        remote::ParseListing(lines, host_.ListingStyle(), startDate_);
    for (const remote::RemoteEntry& entry : parsed.entries) {
        if (entry.kind == remote::EntryKind::File)
            remoteFiles_.push_back({entry.name, entry.size});
    }
}

bool TransferQueue::RemoteExists(std::string_view path) const {
    const std::string_view name = AfterLastSlash(path);
    return std::any_of(remoteFiles_.begin(), remoteFiles_.end(),
                       [&](const RemoteFile& file) { return file.Name == name; });
}

std::int64_t TransferQueue::RemoteSizeOf(std::string_view path) const {
    const std::string_view name = AfterLastSlash(path);
    for (const RemoteFile& file : remoteFiles_) {
        if (file.Name == name)
            return SizeFromText(file.Size);
    }
    return -1;
}

// --- shared steps ---------------------------------------------------------------------

void TransferQueue::CheckOverwrite(bool download) {
    if (overwriteAll_)
        return;
    resume_ = false;
    WorkLists& work = chain_.Work;
    const auto exists = [&] {
        if (!download)
            return RemoteExists(work.Targets.front());
        std::error_code error;
        return fs::exists(work.Targets.front(), error);
    };
    const auto drop = [&] {
        work.Files.pop_front();
        work.Targets.pop_front();
    };
    if (download ? options_.PromptDownLoad : options_.PromptUpLoad) {
        while (!work.Targets.empty() && exists()) {
            std::string path = work.Targets.front();
            switch (prompts_.AskOverwrite(path)) {
            case OverwriteAnswer::Resume:
                resume_ = true;
                return;
            case OverwriteAnswer::Overwrite:
                return;
            case OverwriteAnswer::All:
                overwriteAll_ = true;
                return;
            case OverwriteAnswer::Skip:
                drop();
                break;
            case OverwriteAnswer::SaveAs:
                work.Targets.front() = path;
                break;
            case OverwriteAnswer::Cancel:
                work.Clear();
                return;
            }
        }
        return;
    }
    switch (options_.DefPrompt) {
    case 0:
        while (!work.Targets.empty() && exists())
            drop();
        break;
    case 2:
        resume_ = !work.Targets.empty() && exists();
        break;
    default:
        break;
    }
}

void TransferQueue::ChooseTransferType() {
    const bool ascii = SendsAsAscii(type_, ftp_.LocalFileName, options_.Ext);
    if (ascii && ftp_.Binary)
        ftp_.TypeAsciiSync();
    else if (!ascii && !ftp_.Binary)
        ftp_.TypeBinarySync();
}

bool TransferQueue::ResumesInThisType(std::string_view name) {
    if (!resume_ || ftp_.Binary)
        return resume_;
    // A text file's offsets differ on the server's disk, on the wire and here
    // (CR LF against LF), and servers count REST differently: a resumed ASCII
    // transfer would splice at the wrong byte.
    host_.AddLog("No resume in ASCII mode: " + PrintableName(name) + " is moved whole");
    return false;
}

bool TransferQueue::IssueTransfer(void (FtpClient::*request)(), InFlight kind) {
    inFlight_ = kind;
    if (host_.Issue(request))
        return true;
    inFlight_ = InFlight::None;
    if (!ftp_.Connected() || ftp_.State() != FtpState::ftpReady) {
        EndQueue(); // the session is gone: every further file would be refused too
        return false;
    }
    ++failed_;
    return false;
}

void TransferQueue::FileFailed() {
    ++failed_;
    const std::string name(AfterLastSlash(current_));
    // Cut short (stop, Cancel, a lost connection), or refused before any byte.
    const bool cut = ftp_.ByteCount > 0 || chain_.StopRequest;
    host_.AddLog("Transfer of " + name + (cut ? " incomplete" : " failed"));
}

void TransferQueue::TransferFailed(FtpRequest request) {
    if (!running_)
        return;
    using R = FtpRequest;
    if (request == R::GetAsync || request == R::RestGetAsync || request == R::PutAsync ||
        request == R::RestPutAsync) {
        FileFailed();
    } else if (request == R::MkdAsync) {
        // The folder could not be made: its files and the folders below it stay home.
        WorkLists& work = chain_.Work;
        failed_ += static_cast<int>(work.Files.size()) + 1;
        work.Files.clear();
        work.Targets.clear();
        const std::string below = walkDir_ + "/";
        for (std::size_t i = work.TargetFolders.size(); i-- > 0;) {
            if (work.TargetFolders[i].starts_with(below)) {
                work.TargetFolders.erase(work.TargetFolders.begin() + static_cast<long>(i));
                work.Folders.erase(work.Folders.begin() + static_cast<long>(i));
                ++failed_;
            }
        }
        host_.AddLog("Error " + walkDir_ + ": not made, its files are not sent");
    } else {
        ++failed_; // a folder of the download walk that could not be entered
    }
    if (inFlight_ == InFlight::Walk)
        inFlight_ = InFlight::None; // the server did not move
    if (download_)
        DownloadStep();
    else
        UploadStep();
}

void TransferQueue::ProgressBytes(std::int64_t count) {
    if (progress_ != nullptr && progressOpen_)
        progress_->Update(count);
}

void TransferQueue::ProgressEndOfFile() {
    if (!running_ || (inFlight_ != InFlight::Download && inFlight_ != InFlight::Upload))
        return;
    ++moved_;
    bytes_ += ftp_.ByteCount;
    if (progress_ != nullptr && progressOpen_) {
        progress_->Update(resumeFrom_ + ftp_.ByteCount);
        progress_->EndFile();
    }
    inFlight_ = InFlight::None;
}

void TransferQueue::StopRequested() {
    // A file in flight is cut now, not at its next progress report: a server
    // that stalls sends none. A walk's listing, with the walk flags cleared,
    // is no longer the queue's.
    if (!running_)
        return;
    if (inFlight_ == InFlight::Walk)
        EndQueue();
    else if (inFlight_ != InFlight::None)
        ftp_.CutTransfer();
}

void TransferQueue::CloseProgress() {
    EndQueue();
    if (progress_ != nullptr && progressOpen_)
        progress_->Close();
    progressOpen_ = false;
}

void TransferQueue::OpenProgress() {
    if (progress_ != nullptr && !progressOpen_)
        progress_->Open();
    progressOpen_ = true;
}

void TransferQueue::FinishTransfer(bool refreshRemote) {
    WorkLists& work = chain_.Work;
    const bool virtualHost = VirtualHost();
    // How the engine names the start folder once the queue is over.
    const std::string& start = virtualHost ? paneDir_ : chain_.RemoteStartDir;
    bool elsewhere = false;
    if (work.Files.empty() && work.Folders.empty() &&
        (ftp_.HostDirName != start || serverAt_ != chain_.RemoteStartDir)) {
        // The server still stands in the last folder walked; bare names of
        // the next transfer must land in the start folder.
        elsewhere = true;
        ftp_.HostDirName = chain_.RemoteStartDir;
        ftp_.LocalFileName = options_.ListingFile;
        if (ftp_.Binary)
            ftp_.TypeAsciiSync();
    }
    chain_.Mode &= ~kWalks;
    running_ = false;
    inFlight_ = InFlight::None;
    if (refreshRemote || elsewhere || ftp_.HostDirName != start) {
        if (virtualHost)
            ftp_.HostDirName = RemotePathFrom(serverAt_, chain_.RemoteStartDir);
        host_.Issue(&FtpClient::CwdAsync);
    }
    if (virtualHost)
        ftp_.HostDirName = paneDir_;
    chain_.TransferBusy = false;
    if (progress_ != nullptr && progressOpen_)
        progress_->Close();
    progressOpen_ = false;
    LogSummary();
    host_.TransferEnded(download_);
}

void TransferQueue::EndQueue() {
    if (!running_)
        return;
    if (inFlight_ == InFlight::Download || inFlight_ == InFlight::Upload)
        FileFailed();
    if (VirtualHost()) // not a path relative to where the server stood
        ftp_.HostDirName = inFlight_ == InFlight::Walk ? walkDir_ : serverAt_;
    chain_.Work.Clear();
    chain_.Mode &= ~kWalks;
    chain_.StopRequest = false;
    chain_.TransferBusy = false;
    running_ = false;
    inFlight_ = InFlight::None;
    if (progress_ != nullptr && progressOpen_)
        progress_->Close();
    progressOpen_ = false;
    LogSummary();
    host_.TransferEnded(download_);
}

void TransferQueue::LogSummary() {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    char line[200];
    std::snprintf(line, sizeof line, "Transfer ended: %d %s moved, %lld bytes, %d failed, %.1f s",
                  moved_, moved_ == 1 ? "file" : "files", static_cast<long long>(bytes_), failed_,
                  seconds);
    host_.AddLog(line);
}

} // namespace transfer
