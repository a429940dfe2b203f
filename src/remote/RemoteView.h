#pragma once

#include "remote/ListingParser.h"
#include "remote/PaneListing.h"
#include "remote/RemoteRules.h"

#include <QObject>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QThread;

// The remote pane while a session is connected: the items of the current
// directory, the path box above them, the filter, the sort order, navigation
// up and along the path, and the summary of the selected files.
namespace remote {

// What the remote pane needs of the session: whether the engine is idle, the
// directory, the requests it issues, and the main window's shared flags. The
// session controller implements it; tests script it.
class RemoteSession {
public:
    virtual ~RemoteSession() = default;

    // True while the engine takes a request.
    virtual bool EngineReady() const = 0;
    virtual std::string HostName() const = 0;
    virtual std::string HostDirName() const = 0;
    virtual void SetHostDirName(const std::string& path) = 0;
    // The engine requests; their completions list the directory. A refusal
    // is the implementer's to report.
    virtual void CwdAsync() = 0;
    virtual void CDupAsync() = 0;
    virtual void PwdAsync() = 0;
    // "SERVER LIST ..." chosen in the path box.
    virtual void Disconnect() = 0;

    // Set while a transfer runs; the path box does not navigate meanwhile.
    virtual bool TransferBusy() const = 0;
    virtual void SetTransferBusy(bool busy) = 0;
    // Commands that depend on the connection or the selection follow it.
    virtual void RefreshCommands() = 0;
    virtual void AddLog(std::string_view text) = 0;
};

// The fields of the site in use that the pane reads.
struct RemoteSite {
    std::string Answer;          // listing layout code; its first digit is the layout
    bool CheckVHost = false;     // the site's home is found again with PWD, not CDUP to "/"
    bool MachineListing = false; // listings come through MLSD
};

// The size of the selected files, for the summary panel.
struct SelectionSummary {
    std::int64_t bytes = 0;
    int files = 0;

    bool Visible() const { return files > 0; }
    // "1536 byte (1.50 Kb) in 2 file(s)"
    std::string Text() const;
    bool operator==(const SelectionSummary&) const = default;
};

// Items of the path box: "SERVER LIST ...", the host, then one per component
// of the remote directory.
struct PathBox {
    std::vector<std::string> items;
    int selected = -1;
    int remembered = -1; // the index the program selected last
    bool enabled = true;
};

inline constexpr const char* ServerListItem = "SERVER LIST ...";

// Components of a remote directory for the path box: a leading "/" dropped,
// cut at every "/" (an empty component where two meet, none after a final
// "/"). Names are kept exactly, blanks included, so the path built back
// from them names the same directory.
std::vector<std::string> PathComponents(std::string_view dir);
// The directory above `dir`: up to its last "/", a final "/" ignored; "/"
// when nothing is left.
std::string ParentDir(std::string_view dir);

class RemoteView : public QObject {
    Q_OBJECT

public:
    // `startDate` dates listings that show a time instead of a year;
    // `currentYear` completes display dates without one.
    RemoteView(RemoteSession& session, std::chrono::year_month_day startDate,
               std::function<int()> currentYear, QObject* parent = nullptr);
    ~RemoteView() override;

    // A listing larger than this is finished (read, sorted) off the
    // user-interface thread, so the window stays responsive; a smaller one
    // shows before ShowListing returns. One that arrives through
    // TakeListingData is parsed off it once a quarter of this has come.
    static constexpr std::size_t BackgroundBytes = std::size_t{1} << 20;
    void SetBackgroundBytes(std::size_t bytes) { backgroundBytes_ = bytes; }

    // Taken on connect.
    void SetSite(RemoteSite site) { site_ = std::move(site); }
    void SetDateOrder(DateOrder order) { dateOrder_ = order; }

    // Bytes of a listing for the pane as the engine writes them to the
    // listing file; `first` opens a new listing. They are parsed and sorted
    // as they come, so ShowListing has little left to do.
    void TakeListingData(std::string_view bytes, bool first);

    // A plain listing has arrived in `listingFile`: the file is read once
    // (unless its bytes came through TakeListingData, all of them) and
    // deleted, the pane and the path box are refilled (sorted once), transfer
    // busy is cleared, the path box enabled, then ListingShown is emitted. A
    // file that cannot be read empties the pane and logs "Error " with the
    // reason. A large listing is finished on a worker thread: the pane is
    // empty and the path box disabled until its items arrive; a newer listing
    // or the end of the session drops it.
    void ShowListing(const std::string& listingFile);
    // A listing is being parsed off the user-interface thread.
    bool Reading() const;
    // Rebuilds the items from the entries of the last listing, as when the
    // filter changes.
    void FillRemoteView();

    // The server would not enter the link `name`: it is a file from now on.
    void TakeLinkForAFile(const std::string& name);

    // The "Filter" menu: "*.*" shows every file; folders are never filtered.
    void SetFilter(std::string mask);
    const std::string& Filter() const { return filter_; }
    // The mask of a "Select ..." command: the filter of the next listing,
    // the items shown now stay.
    void KeepFilter(std::string mask) { filter_ = std::move(mask); }

    // Selection in the path box (connected mode): navigates along the path,
    // or disconnects for item 0; undone while busy.
    void ChangeToPathBoxEntry(int index);
    // "Up One Level" (connected mode).
    void GoUpOneLevel();

    // A click on a header: `column` 1 to 5 ("Links" is 0).
    void SortByColumn(int column);
    int SortKey() const { return sortKey_; }

    // The selected rows Changed (the pane's change event).
    void SetSelection(const std::vector<int>& rows);
    SelectionSummary Summary() const;

    // The greeting arrived: the pane starts empty.
    void SessionStarted();
    // The session ended: sort key back to 1, pane and path box emptied.
    void SessionEnded();

    // The items shown, in the pane's order; their texts stay valid until the
    // next listing is shown or the session ends.
    const std::vector<RemoteItem>& Items() const { return items_; }
    // Entries of the current directory, shown or filtered out.
    std::size_t EntryCount() const { return items_.size() + hidden_.size(); }
    // Names of the files (not folders) of the current directory, unfiltered,
    // in listing order.
    std::vector<std::string> RemoteFileNames() const;
    // The "Date" column of an item.
    std::string DateText(const RemoteItem& item) const;
    const remote::PathBox& PathBox() const { return pathBox_; }
    // The "Text" layout takes whole lines as names: the name column then
    // spans the pane.
    bool WholeLineNames() const;
    // Row before the last sort of the item now at each row.
    const std::vector<int>& SortPermutation() const { return permutation_; }

signals:
    // Around a change of the whole item list (refill): one pair per listing.
    void ItemsAboutToBeReset();
    void ItemsReset();
    // Around a new order of the same items; SortPermutation tells the moves.
    void LayoutAboutToBeChanged();
    void LayoutChanged();
    void PathBoxChanged();
    void SelectionChanged();
    // The items of a listing are in the pane.
    void ListingShown();

public:
    // What the items of a listing are made with; a listing finished off the
    // user-interface thread is made again when one of them changed meanwhile.
    using FillSettings = remote::FillSettings;
    // One listing on its way from bytes to sorted items.
    struct Job;

private:
    struct Worker {
        std::unique_ptr<QThread> thread;
        std::shared_ptr<Job> job;
        std::uint64_t generation = 0;
    };

    // The generation of a listing that is still arriving.
    static constexpr std::uint64_t kNotShown = ~std::uint64_t{0};

    FillSettings CurrentSettings() const;
    void DropIncoming();
    void StartWorker(const std::shared_ptr<Job>& job, std::uint64_t generation);
    void EmptyWhileReading();
    void Apply(Job& job);
    void WorkerFinished(const Job* finished);
    void Fill();
    void Sort();
    ListingStyle Style() const;
    void BuildPathBox();

    RemoteSession& session_;
    std::chrono::year_month_day startDate_;
    std::function<int()> currentYear_;
    RemoteSite site_;
    DateOrder dateOrder_ = DateOrder::DayFirst;
    std::string filter_ = "*.*";
    int sortKey_ = 0;
    // The listing arriving now: read here while it is small, beside the
    // engine on a worker thread once it is large.
    std::unique_ptr<PaneListingReader> incoming_;
    std::shared_ptr<Job> incomingJob_;
    std::shared_ptr<TextPool> texts_; // of items_ and hidden_
    FillSettings shownWith_;          // what items_ were made with
    std::vector<RemoteItem> items_;
    std::vector<RemoteItem> hidden_; // filtered out
    std::vector<int> permutation_;
    remote::PathBox pathBox_;
    std::size_t backgroundBytes_ = BackgroundBytes;
    std::uint64_t generation_ = 0; // of the latest listing; older results are dropped
    std::vector<Worker> workers_;
};

} // namespace remote
