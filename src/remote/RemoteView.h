#pragma once

#include "remote/ListingParser.h"
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
    std::string Answer;      // listing layout code; its first digit is the layout
    bool CheckVHost = false; // the site's home is found again with PWD, not CDUP to "/"
};

enum class PaneIcon { Up = 0, Folder = 1, File = 2 };

struct RemoteItem {
    std::string caption;
    PaneIcon icon = PaneIcon::File;
    std::string size;  // empty for folders, except links, which show their own
    bool link = false; // a symbolic link: opening it tries CWD, the icon shows a link
    std::string date;  // display form
    std::string time;
    std::string attributes;
    std::string links;
    bool selected = false;
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

    // A listing larger than this is read off the user-interface thread, so the
    // window stays responsive; a smaller one shows before ShowListing returns.
    static constexpr std::size_t BackgroundBytes = std::size_t{1} << 20;
    void SetBackgroundBytes(std::size_t bytes) { backgroundBytes_ = bytes; }

    // Taken on connect.
    void SetSite(RemoteSite site) { site_ = std::move(site); }
    void SetDateOrder(DateOrder order) { dateOrder_ = order; }

    // A plain listing has arrived in `listingFile`: read it once and delete
    // it, parse it, refill the pane and the path box (sorted once), clear
    // transfer busy and enable the path box, then emit ListingShown. A file
    // that cannot be read empties the pane and logs "Error " with the reason.
    // A large listing is parsed on a worker thread: the pane is empty and the
    // path box disabled until its items arrive; a newer listing or the end of
    // the session drops it.
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

    const std::vector<RemoteItem>& Items() const { return items_; }
    const std::vector<RemoteEntry>& Entries() const { return entries_; }
    // Names of the files (not folders) of the current directory, unfiltered.
    const std::vector<std::string>& RemoteFileNames() const { return fileNames_; }
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
    // What the items of a listing are made with; a listing parsed off the
    // user-interface thread is made again when one of them changed meanwhile.
    struct FillSettings {
        bool filtered = true;
        std::string filter;
        DateOrder dateOrder = DateOrder::DayFirst;
        int year = 0;
        int sortKey = 0;
        bool operator==(const FillSettings&) const = default;
    };
    // One listing on its way from text to sorted items.
    struct Job;

private:
    struct Worker {
        std::unique_ptr<QThread> thread;
        std::shared_ptr<Job> job;
        std::uint64_t generation = 0;
    };

    FillSettings CurrentSettings() const;
    void Apply(Job& job);
    void WorkerFinished(std::uint64_t generation);
    void Fill();
    void Sort();
    void BuildPathBox();

    RemoteSession& session_;
    std::chrono::year_month_day startDate_;
    std::function<int()> currentYear_;
    RemoteSite site_;
    DateOrder dateOrder_ = DateOrder::DayFirst;
    std::string filter_ = "*.*";
    int sortKey_ = 0;
    std::vector<RemoteEntry> entries_;
    std::vector<std::string> fileNames_;
    std::vector<RemoteItem> items_;
    std::vector<int> permutation_;
    remote::PathBox pathBox_;
    std::size_t backgroundBytes_ = BackgroundBytes;
    std::uint64_t generation_ = 0; // of the latest listing; older results are dropped
    std::vector<Worker> workers_;
};

} // namespace remote
