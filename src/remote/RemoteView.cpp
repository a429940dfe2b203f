#include "remote/RemoteView.h"

#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numeric>
#include <utility>

namespace remote {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The whole file, or the reason it could not be read.
bool ReadWholeFile(const std::string& path, std::string& text, std::string& error) {
    text.clear();
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (file) {
        // Grown block by block, a large listing would be copied over and over.
        if (std::fseek(file.get(), 0, SEEK_END) == 0) {
            if (const long size = std::ftell(file.get()); size > 0)
                text.reserve(static_cast<std::size_t>(size));
            std::rewind(file.get());
        }
        char block[65536];
        std::size_t got = 0;
        while ((got = std::fread(block, 1, sizeof block, file.get())) > 0)
            text.append(block, got);
        if (!std::ferror(file.get()))
            return true;
    }
    error = "cannot read the listing file " + path + ": " + std::strerror(errno);
    return false;
}

// Folders sort among themselves without a size; a link to one shows its own.
PaneItemData SortData(const RemoteItem& item) {
    return {static_cast<int>(item.icon),
            item.caption,
            item.icon == PaneIcon::File ? std::string_view(item.size) : std::string_view(),
            item.date,
            item.time,
            item.attributes};
}

std::vector<std::string> FileNames(const std::vector<RemoteEntry>& entries) {
    std::vector<std::string> names;
    for (const RemoteEntry& entry : entries) {
        if (entry.kind == EntryKind::File && !entry.name.empty())
            names.push_back(entry.name);
    }
    return names;
}

// The items of `entries` in listing order.
std::vector<RemoteItem> MakeItems(const std::vector<RemoteEntry>& entries,
                                  const RemoteView::FillSettings& settings) {
    std::vector<RemoteItem> items;
    items.reserve(entries.size());
    for (const RemoteEntry& entry : entries) {
        if (entry.name.empty())
            continue;
        const bool folder = entry.kind == EntryKind::Directory;
        if (!folder && settings.filtered && !MatchesMask(entry.name, settings.filter))
            continue;
        RemoteItem& item = items.emplace_back();
        item.caption = entry.name;
        item.icon = folder ? PaneIcon::Folder : PaneIcon::File;
        item.link = entry.IsLink();
        if (!folder || item.link)
            item.size = entry.size;
        item.date = DisplayDate(entry.date, settings.dateOrder, settings.year);
        item.time = entry.time;
        item.attributes = entry.attributes;
        item.links = entry.linkTarget;
    }
    return items;
}

// Sorts `items` in place (no second copy of a large pane) and returns the
// row each came from.
std::vector<int> SortItems(std::vector<RemoteItem>& items, int sortKey) {
    std::vector<int> order(items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return ComparePaneItems(SortData(items[static_cast<std::size_t>(a)]),
                                SortData(items[static_cast<std::size_t>(b)]), sortKey) < 0;
    });
    // Row k takes the item of row order[k], one cycle of the permutation at a time.
    std::vector<bool> placed(items.size());
    for (std::size_t start = 0; start < items.size(); ++start) {
        if (placed[start])
            continue;
        RemoteItem held = std::move(items[start]);
        std::size_t to = start;
        for (;;) {
            placed[to] = true;
            const auto from = static_cast<std::size_t>(order[to]);
            if (from == start) {
                items[to] = std::move(held);
                break;
            }
            items[to] = std::move(items[from]);
            to = from;
        }
    }
    return order;
}

} // namespace

// The text is let go once parsed, so it and the items never need memory at
// the same time.
struct RemoteView::Job {
    // The pane's previous contents, freed here rather than on the
    // user-interface thread, and before the new ones take memory.
    std::vector<RemoteEntry> oldEntries;
    std::vector<RemoteItem> oldItems;
    std::string text;
    ListingStyle style;
    std::chrono::year_month_day startDate;
    FillSettings settings;

    ParsedListing parsed;
    std::vector<std::string> fileNames;
    std::vector<RemoteItem> items;
    std::vector<int> permutation;

    void Run() {
        std::vector<RemoteEntry>().swap(oldEntries);
        std::vector<RemoteItem>().swap(oldItems);
        {
            const std::vector<std::string_view> lines = SplitListingLines(text);
            parsed = ParseListing(lines, style, startDate);
        }
        std::string().swap(text);
        fileNames = FileNames(parsed.entries);
        items = MakeItems(parsed.entries, settings);
        permutation = SortItems(items, settings.sortKey);
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
    return ListingStyleFromAnswer(site_.Answer).layout == ListingLayout::Text;
}

void RemoteView::ShowListing(const std::string& listingFile) {
    auto job = std::make_shared<Job>();
    std::string error;
    // Read and deleted here: the engine writes the next listing to the same file.
    const bool read = ReadWholeFile(listingFile, job->text, error);
    std::remove(listingFile.c_str());
    const std::uint64_t generation = ++generation_;
    job->style = ListingStyleFromAnswer(site_.Answer);
    job->startDate = startDate_;
    job->settings = CurrentSettings();
    if (!read) {
        // Parsing the previous listing again would show the wrong directory.
        job->text.clear();
        session_.AddLog("Error " + error);
    }
    if (job->text.size() <= backgroundBytes_) {
        job->Run();
        Apply(*job);
        return;
    }
    // Nothing of the directory left may be opened while the new one is read.
    emit ItemsAboutToBeReset();
    job->oldEntries = std::exchange(entries_, {});
    job->oldItems = std::exchange(items_, {});
    fileNames_.clear();
    permutation_.clear();
    emit ItemsReset();
    pathBox_.enabled = false;
    emit PathBoxChanged();
    Worker& worker = workers_.emplace_back();
    worker.job = job;
    worker.generation = generation;
    worker.thread.reset(QThread::create([job] { job->Run(); }));
    connect(worker.thread.get(), &QThread::finished, this,
            [this, generation] { WorkerFinished(generation); });
    worker.thread->start();
}

void RemoteView::WorkerFinished(std::uint64_t generation) {
    const auto done = std::find_if(workers_.begin(), workers_.end(),
                                   [&](const Worker& w) { return w.generation == generation; });
    if (done == workers_.end())
        return;
    done->thread->wait();
    const std::shared_ptr<Job> job = std::move(done->job);
    workers_.erase(done);
    if (generation == generation_)
        Apply(*job);
}

void RemoteView::Apply(Job& job) {
    ParsedListing& parsed = job.parsed;
    if (!parsed.path.empty())
        session_.SetHostDirName(parsed.path);
    // Said once, so an odd server's lines are not missed in silence.
    if (const std::size_t skipped = parsed.linesNotUnderstood; skipped > 0)
        session_.AddLog(std::to_string(skipped) + (skipped == 1 ? " line" : " lines") +
                        " not understood");

    emit ItemsAboutToBeReset();
    entries_ = std::move(parsed.entries);
    fileNames_ = std::move(job.fileNames);
    if (job.settings == CurrentSettings()) {
        items_ = std::move(job.items);
        permutation_ = std::move(job.permutation);
    } else {
        Fill();
        Sort();
    }
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
    Sort();
    emit ItemsReset();
}

void RemoteView::TakeLinkForAFile(const std::string& name) {
    const auto link = std::find_if(entries_.begin(), entries_.end(), [&](const RemoteEntry& e) {
        return e.IsLink() && e.kind == EntryKind::Directory && e.name == name;
    });
    if (link == entries_.end())
        return;
    link->kind = EntryKind::File;
    fileNames_.push_back(name);
    FillRemoteView();
}

void RemoteView::SetFilter(std::string mask) {
    filter_ = std::move(mask);
    FillRemoteView();
}

// Items in listing order; the caller sorts them once.
void RemoteView::Fill() {
    items_ = MakeItems(entries_, CurrentSettings());
}

void RemoteView::Sort() {
    permutation_ = SortItems(items_, sortKey_);
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
        std::string path = "/";
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
    emit ItemsAboutToBeReset();
    items_.clear();
    entries_.clear();
    fileNames_.clear();
    emit ItemsReset();
}

void RemoteView::SessionEnded() {
    sortKey_ = 1;
    SessionStarted();
    pathBox_ = remote::PathBox{};
    emit PathBoxChanged();
}

} // namespace remote
