#include "remote/RemoteView.h"

#include <QThread>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <utility>

namespace remote {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string ReadError(const std::string& path) {
    return "cannot read the listing file " + path + ": " + std::strerror(errno);
}

} // namespace

// One listing on its way to the pane, on a worker thread: read from the
// listing file, or taken from the user-interface thread chunk by chunk as the
// engine receives it.
struct RemoteView::Job {
    std::unique_ptr<PaneListingReader> reader;
    File file; // what the reader still has to read; its name is already gone
    FillSettings settings;
    std::string path;
    std::string error;
    PaneListing listing;

    // Chunks of a listing still arriving. Only the user-interface thread
    // counts `bytes`.
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::string> chunks;
    bool closed = true;     // no more chunks come
    bool abandoned = false; // nobody wants the result
    std::uint64_t bytes = 0;

    void Add(std::string_view chunk) {
        bytes += chunk.size();
        {
            const std::lock_guard<std::mutex> lock(mutex);
            chunks.emplace_back(chunk);
        }
        arrived.notify_one();
    }
    void Close(bool abandon) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            closed = true;
            abandoned = abandon;
        }
        arrived.notify_one();
    }

    void Run() {
        if (!TakeChunks())
            return;
        if (file) {
            char block[65536];
            std::size_t got = 0;
            while ((got = std::fread(block, 1, sizeof block, file.get())) > 0)
                reader->Feed({block, got});
            if (std::ferror(file.get()))
                error = ReadError(path);
            file.reset();
        }
        listing = reader->Finish();
        reader.reset();
        if (!error.empty())
            listing = PaneListing{}; // part of a directory would pass for all of it
    }

    // Feeds the chunks until the last; false when the listing was abandoned.
    bool TakeChunks() {
        std::vector<std::string> taken;
        for (;;) {
            bool last = false;
            {
                std::unique_lock<std::mutex> lock(mutex);
                arrived.wait(lock, [&] { return closed || !chunks.empty(); });
                if (abandoned)
                    return false;
                taken.swap(chunks);
                last = closed;
            }
            for (const std::string& chunk : taken)
                reader->Feed(chunk);
            taken.clear();
            if (last)
                return true;
        }
    }
};

std::vector<std::string> PathComponents(std::string_view dir) {
    if (dir.starts_with('/'))
        dir.remove_prefix(1);
    std::vector<std::string> parts;
    while (!dir.empty()) {
        const std::size_t slash = dir.find('/');
        parts.emplace_back(dir.substr(0, slash));
        dir = slash == std::string_view::npos ? std::string_view{} : dir.substr(slash + 1);
    }
    return parts;
}

std::string ParentDir(std::string_view dir) {
    if (dir.ends_with('/'))
        dir.remove_suffix(1);
    const std::size_t slash = dir.rfind('/');
    if (slash == std::string_view::npos || slash == 0)
        return "/";
    return std::string(dir.substr(0, slash));
}

std::string SelectionSummary::Text() const {
    char text[96];
    std::snprintf(text, sizeof text, "%lld byte (%.2f Kb) in %d file(s)",
                  static_cast<long long>(bytes), static_cast<double>(bytes) / 1024.0, files);
    return text;
}

RemoteView::RemoteView(RemoteSession& session, std::chrono::year_month_day startDate,
                       std::function<int()> currentYear, QObject* parent)
    : QObject(parent), session_(session), startDate_(startDate),
      currentYear_(std::move(currentYear)) {}

// A parse cannot be stopped halfway; it is short, and its result is dropped.
RemoteView::~RemoteView() {
    DropIncoming(); // its worker would wait for more bytes
    for (Worker& worker : workers_)
        worker.thread->wait();
}

bool RemoteView::Reading() const {
    return std::any_of(workers_.begin(), workers_.end(),
                       [this](const Worker& w) { return w.generation == generation_; });
}

RemoteView::FillSettings RemoteView::CurrentSettings() const {
    return {!WholeLineNames(), filter_, dateOrder_, currentYear_(), sortKey_};
}

bool RemoteView::WholeLineNames() const {
    return Style().WholeLineNames();
}

ListingStyle RemoteView::Style() const {
    ListingStyle style = ListingStyleFromAnswer(site_.Answer);
    style.machine = site_.MachineListing;
    return style;
}

void RemoteView::TakeListingData(std::string_view bytes, bool first) {
    if (first)
        DropIncoming();
    if (incomingJob_) {
        incomingJob_->Add(bytes);
        return;
    }
    if (!incoming_)
        incoming_ = std::make_unique<PaneListingReader>(Style(), startDate_, CurrentSettings());
    // A large listing: the rest is parsed beside the engine, not in its way,
    // early enough that what is parsed here stays well below a pause. The
    // engine hands over up to 1 MiB at once: only what fits below the limit
    // is parsed here, the rest of the delivery goes to the worker.
    const std::uint64_t here = backgroundBytes_ / 4;
    const std::size_t room = static_cast<std::size_t>(here - std::min(incoming_->BytesFed(), here));
    incoming_->Feed(bytes.substr(0, room));
    bytes.remove_prefix(std::min(room, bytes.size()));
    if (bytes.empty())
        return;
    auto job = std::make_shared<Job>();
    job->bytes = incoming_->BytesFed();
    job->reader = std::move(incoming_);
    job->settings = job->reader->Settings();
    job->closed = false;
    job->Add(bytes);
    StartWorker(job, kNotShown);
    incomingJob_ = std::move(job);
}

void RemoteView::DropIncoming() {
    incoming_.reset();
    if (incomingJob_) {
        incomingJob_->Close(true);
        incomingJob_.reset();
    }
}

void RemoteView::StartWorker(const std::shared_ptr<Job>& job, std::uint64_t generation) {
    Worker& worker = workers_.emplace_back();
    worker.job = job;
    worker.generation = generation;
    worker.thread.reset(QThread::create([job] { job->Run(); }));
    connect(worker.thread.get(), &QThread::finished, this,
            [this, done = job.get()] { WorkerFinished(done); });
    worker.thread->start();
}

void RemoteView::ShowListing(const std::string& listingFile) {
    const std::uint64_t generation = ++generation_;
    File file(std::fopen(listingFile.c_str(), "rb"));
    // Open and deleted here: the engine writes the next listing to the same name.
    const std::string error = file ? std::string() : ReadError(listingFile);
    std::remove(listingFile.c_str());
    struct stat info {};
    const std::uint64_t size = file && ::fstat(::fileno(file.get()), &info) == 0
                                   ? static_cast<std::uint64_t>(info.st_size)
                                   : 0;
    // Every byte of the file came through TakeListingData: the file is not read again.
    if (file && incomingJob_ && incomingJob_->bytes == size) {
        const auto worker = std::find_if(workers_.begin(), workers_.end(),
                                         [&](const Worker& w) { return w.job == incomingJob_; });
        worker->generation = generation;
        incomingJob_->Close(false);
        incomingJob_.reset();
        EmptyWhileReading();
        return;
    }
    auto job = std::make_shared<Job>();
    if (file && incoming_ && incoming_->BytesFed() == size) {
        job->reader = std::move(incoming_);
    } else {
        if (!error.empty()) {
            // Parsing the previous listing again would show the wrong directory.
            session_.AddLog("Error " + error);
        }
        job->path = listingFile;
        job->file = std::move(file);
        job->reader = std::make_unique<PaneListingReader>(Style(), startDate_, CurrentSettings());
    }
    DropIncoming();
    job->settings = job->reader->Settings();
    // What is left of a listing that came through is its last line and links.
    if (!job->file || size <= backgroundBytes_) {
        job->Run();
        Apply(*job);
        return;
    }
    EmptyWhileReading();
    StartWorker(job, generation);
}

// Nothing of the directory left may be opened while the new one is read.
void RemoteView::EmptyWhileReading() {
    emit ItemsAboutToBeReset();
    items_.clear();
    hidden_.clear();
    texts_.reset();
    permutation_.clear();
    emit ItemsReset();
    pathBox_.enabled = false;
    emit PathBoxChanged();
}

void RemoteView::WorkerFinished(const Job* finished) {
    const auto done = std::find_if(workers_.begin(), workers_.end(),
                                   [&](const Worker& w) { return w.job.get() == finished; });
    if (done == workers_.end())
        return;
    done->thread->wait();
    const std::shared_ptr<Job> job = std::move(done->job);
    const std::uint64_t generation = done->generation;
    workers_.erase(done);
    if (generation == generation_)
        Apply(*job);
}

void RemoteView::Apply(Job& job) {
    PaneListing& listing = job.listing;
    if (!job.error.empty())
        session_.AddLog("Error " + job.error);
    if (!listing.path.empty())
        session_.SetHostDirName(listing.path);
    // Said once, so an odd server's lines are not missed in silence.
    if (const std::size_t skipped = listing.linesNotUnderstood; skipped > 0)
        session_.AddLog(std::to_string(skipped) + (skipped == 1 ? " line" : " lines") +
                        " not understood");

    emit ItemsAboutToBeReset();
    items_ = std::move(listing.shown);
    hidden_ = std::move(listing.hidden);
    texts_ = std::move(listing.texts);
    permutation_.clear();
    shownWith_ = job.settings;
    if (shownWith_ != CurrentSettings())
        Fill();
    BuildPathBox();
    emit ItemsReset();

    session_.SetTransferBusy(false);
    pathBox_.enabled = true;
    emit PathBoxChanged();
    emit ListingShown();
}

void RemoteView::FillRemoteView() {
    emit ItemsAboutToBeReset();
    Fill();
    emit ItemsReset();
}

void RemoteView::TakeLinkForAFile(const std::string& name) {
    // A link is a folder until now, and folders are never filtered out.
    const auto link = std::find_if(items_.begin(), items_.end(), [&](const RemoteItem& item) {
        return item.link && item.icon == PaneIcon::Folder && item.caption == name;
    });
    if (link == items_.end())
        return;
    link->icon = PaneIcon::File;
    FillRemoteView();
}

void RemoteView::SetFilter(std::string mask) {
    filter_ = std::move(mask);
    FillRemoteView();
}

// Every entry back in listing order, then filtered and sorted once.
void RemoteView::Fill() {
    std::vector<RemoteItem> all(EntryCount());
    for (const std::vector<RemoteItem>* items : {&items_, &hidden_}) {
        for (const RemoteItem& item : *items)
            all[item.listingIndex] = item;
    }
    std::vector<RemoteItem>().swap(items_);
    shownWith_ = CurrentSettings();
    FillItems(std::move(all), shownWith_, items_, hidden_);
}

void RemoteView::Sort() {
    shownWith_.sortKey = sortKey_;
    permutation_ = SortItems(items_, shownWith_);
}

std::vector<std::string> RemoteView::RemoteFileNames() const {
    std::vector<const RemoteItem*> files;
    for (const std::vector<RemoteItem>* items : {&items_, &hidden_}) {
        for (const RemoteItem& item : *items) {
            if (item.icon == PaneIcon::File)
                files.push_back(&item);
        }
    }
    std::sort(files.begin(), files.end(), [](const RemoteItem* a, const RemoteItem* b) {
        return a->listingIndex < b->listingIndex;
    });
    std::vector<std::string> names;
    names.reserve(files.size());
    for (const RemoteItem* file : files)
        names.push_back(file->caption);
    return names;
}

std::string RemoteView::DateText(const RemoteItem& item) const {
    return DisplayDate(item.EntryDate(), shownWith_.dateOrder, shownWith_.year);
}

void RemoteView::BuildPathBox() {
    pathBox_.items = {ServerListItem, session_.HostName()};
    for (std::string& part : PathComponents(session_.HostDirName()))
        pathBox_.items.push_back(std::move(part));
    pathBox_.selected = static_cast<int>(pathBox_.items.size()) - 1;
    pathBox_.remembered = pathBox_.selected;
}

void RemoteView::ChangeToPathBoxEntry(int index) {
    // Leaving is offered while a job runs too: the session asks first, and
    // after a "No" the box shows the folder again.
    if (index == 0 && session_.TransferBusy() && !pathBox_.items.empty()) {
        session_.Disconnect();
        if (!pathBox_.items.empty()) {
            emit PathBoxChanged();
            session_.RefreshCommands();
        }
        return;
    }
    const bool free = !session_.TransferBusy() && session_.EngineReady();
    if (!free || index < 0 || index >= static_cast<int>(pathBox_.items.size())) {
        pathBox_.selected = pathBox_.remembered;
        emit PathBoxChanged();
        session_.RefreshCommands();
        return;
    }
    pathBox_.selected = index;
    pathBox_.remembered = index;
    if (index == 0) {
        emit PathBoxChanged();
        session_.Disconnect();
    } else {
        // A virtual host's folders named from its home stay named so.
        const bool relative = site_.CheckVHost && !session_.HostDirName().starts_with('/');
        std::string path = relative ? "" : "/";
        for (int i = 2; i <= index; ++i) {
            if (i > 2)
                path += '/';
            path += pathBox_.items[static_cast<std::size_t>(i)];
        }
        session_.SetTransferBusy(true);
        pathBox_.enabled = false;
        emit PathBoxChanged();
        session_.SetHostDirName(path);
        session_.CwdAsync();
    }
    session_.RefreshCommands();
}

void RemoteView::GoUpOneLevel() {
    if (pathBox_.selected == 0 || !session_.EngineReady())
        return;
    const std::string parent = ParentDir(session_.HostDirName());
    if (parent == "/" && site_.CheckVHost) {
        // A shared virtual host's home is not "/" on the server; PWD finds it.
        session_.SetHostDirName("");
        session_.PwdAsync();
    } else {
        session_.SetHostDirName(parent);
        session_.CDupAsync();
    }
}

void RemoteView::SortByColumn(int column) {
    sortKey_ = ColumnClickKey(sortKey_, column);
    emit LayoutAboutToBeChanged();
    Sort();
    emit LayoutChanged();
}

void RemoteView::SetSelection(const std::vector<int>& rows) {
    for (RemoteItem& item : items_)
        item.selected = false;
    for (const int row : rows) {
        if (row >= 0 && row < static_cast<int>(items_.size()))
            items_[static_cast<std::size_t>(row)].selected = true;
    }
    emit SelectionChanged();
    session_.RefreshCommands();
}

SelectionSummary RemoteView::Summary() const {
    SelectionSummary summary;
    for (const RemoteItem& item : items_) {
        if (!item.selected || item.icon != PaneIcon::File)
            continue;
        summary.bytes += std::max<std::int64_t>(SizeValue(item.size), 0);
        ++summary.files;
    }
    return summary;
}

void RemoteView::SessionStarted() {
    ++generation_; // a listing still being read belongs to the old session
    DropIncoming();
    emit ItemsAboutToBeReset();
    items_.clear();
    hidden_.clear();
    texts_.reset();
    permutation_.clear();
    emit ItemsReset();
}

void RemoteView::SessionEnded() {
    sortKey_ = 1;
    SessionStarted();
    pathBox_ = remote::PathBox{};
    emit PathBoxChanged();
}

} // namespace remote
