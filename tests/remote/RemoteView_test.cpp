#include "ftp/FtpClient.h"
#include "remote/RemoteView.h"
#include "support/EventLoop.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace remote;
using namespace std::chrono_literals;
using Names = std::vector<std::string>;
using enum FtpState;

// The session as the pane sees it; requests are recorded as the commands
// they stand for.
class ScriptedSession : public RemoteSession {
public:
    FtpState state = FtpState::ftpReady;
    std::string hostName = "ftp.example.org";
    std::string hostDir = "/";
    bool busy = false;
    std::vector<std::string> requests;
    std::vector<std::string> log;
    int refreshes = 0;

    bool EngineReady() const override { return state == FtpState::ftpReady; }
    std::string HostName() const override { return hostName; }
    std::string HostDirName() const override { return hostDir; }
    void SetHostDirName(const std::string& path) override { hostDir = path; }
    void CwdAsync() override { requests.push_back("CWD " + hostDir); }
    void CDupAsync() override { requests.push_back("CDUP"); }
    void PwdAsync() override { requests.push_back("PWD"); }
    void Disconnect() override { requests.push_back("disconnect"); }
    bool TransferBusy() const override { return busy; }
    void SetTransferBusy(bool value) override { busy = value; }
    void RefreshCommands() override { ++refreshes; }
    void AddLog(std::string_view text) override { log.emplace_back(text); }
};

constexpr std::chrono::year_month_day kStart{2003y, std::chrono::June, 15d};
constexpr int kThisYear = 2004; // differs from the start year, so the tests tell them apart

const Names kUnixListing = {
    "total 5",
    "drwxr-xr-x    2 1000     1000         4096 Mar 15 12:34 pub",
    "-rw-r--r--    1 1000     1000         1536 Jan 02  2002 index.html",
    "-rw-r--r--    1 1000     1000          512 Mar 15  2003 index.htm",
    "-rw-r--r--    1 1000     1000       200000 Mar 15  2003 big file.iso",
    "drwxr-xr-x    2 1000     1000         4096 Mar 15 12:34 incoming",
    "lrwxrwxrwx    1 1000     1000            3 Mar 15 12:34 latest -> pub",
};

class RemoteViewTest : public testing::Test {
protected:
    RemoteViewTest() : view(session, kStart, [] { return kThisYear; }) {}

    // Writes `lines` as the listing file and shows it.
    void Show(const Names& lines = kUnixListing, const std::string& answer = "0") {
        view.SetSite({answer, checkVHost});
        ShowIn(view, lines);
    }
    void ShowIn(RemoteView& pane, const Names& lines) const {
        std::ofstream out(listingFile, std::ios::binary);
        for (const std::string& line : lines)
            out << line << "\r\n";
        out.close();
        pane.ShowListing(listingFile);
    }

    static Names CaptionsOf(const RemoteView& pane) {
        Names captions;
        for (const RemoteItem& item : pane.Items())
            captions.push_back(item.caption);
        return captions;
    }
    Names Captions() const { return CaptionsOf(view); }

    int Row(const std::string& caption) const {
        const auto& items = view.Items();
        const auto it = std::find_if(items.begin(), items.end(),
                                     [&](const RemoteItem& i) { return i.caption == caption; });
        EXPECT_NE(it, items.end()) << "no item " << caption;
        return static_cast<int>(it - items.begin());
    }

    // Everything an item shows but its caption.
    static auto ShownIn(const RemoteView& pane, const RemoteItem& i) {
        return std::tuple(i.icon, std::string(i.size), pane.DateText(i), std::string(i.Time()),
                          std::string(i.attributes), std::string(i.Links()));
    }
    auto Shown(const RemoteItem& i) const { return ShownIn(view, i); }
    auto Shown(const std::string& caption) const {
        return Shown(view.Items().at(static_cast<std::size_t>(Row(caption))));
    }

    QTemporaryDir folder;
    std::string listingFile = folder.filePath(QStringLiteral("FTPDIR42.TXT")).toStdString();
    ScriptedSession session;
    bool checkVHost = false;
    RemoteView view;
};

TEST_F(RemoteViewTest, ShowListingFillsThePaneFromTheFileAndDeletesIt) {
    session.busy = true;
    session.hostDir = "/pub/";
    QSignalSpy resets(&view, &RemoteView::ItemsReset);
    Show();

    EXPECT_FALSE(std::filesystem::exists(listingFile)) << "the listing file is read once";
    EXPECT_EQ(resets.count(), 1) << "one reset per listing, however many items";
    // Folders (a link to a later folder counts as one) first, then files by name.
    EXPECT_EQ(Captions(),
              (Names{"incoming", "latest", "pub", "big file.iso", "index.htm", "index.html"}));
    EXPECT_EQ(Shown("pub"),
              std::tuple(PaneIcon::Folder, "", "15.03.2003", "12:34", "drwxr-xr-x", ""));
    EXPECT_EQ(Shown("index.html"),
              std::tuple(PaneIcon::File, "1536", "02.01.2002", "", "-rw-r--r--", ""));
    EXPECT_EQ(std::get<5>(Shown("latest")), "pub");
    EXPECT_EQ(view.RemoteFileNames(), (Names{"index.html", "index.htm", "big file.iso"}));
    EXPECT_TRUE(session.log.empty()) << "every line understood, nothing to say";

    EXPECT_FALSE(session.busy);
    EXPECT_TRUE(view.PathBox().enabled);
    EXPECT_EQ(view.PathBox().items, (Names{ServerListItem, "ftp.example.org", "pub"}));
}

TEST_F(RemoteViewTest, LinesNotUnderstoodAreSkippedAndCountedInTheLog) {
    const struct {
        Names lines;
        const char* logged;
    } rows[] = {
        {{"no date in this line", "-rw-r--r-- 1 u g 10 Mar 15 12:34 kept"},
         "1 line not understood"},
        {{"one", "-rw-r--r-- 1 u g 10 Mar 15 12:34 kept", "two", "three"},
         "3 lines not understood"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.logged);
        session.log.clear();
        Show(row.lines);
        EXPECT_EQ(Captions(), Names{"kept"});
        EXPECT_EQ(session.log, Names{row.logged});
    }
}

TEST_F(RemoteViewTest, UnreadableListingShowsAnEmptyPaneAndLogsWhy) {
    Show();
    ASSERT_FALSE(view.Items().empty());
    view.ShowListing(listingFile); // deleted by the first call
    EXPECT_TRUE(view.Items().empty()) << "the previous listing is not shown again";
    EXPECT_TRUE(view.RemoteFileNames().empty());
    ASSERT_EQ(session.log.size(), 1u);
    EXPECT_TRUE(session.log[0].starts_with("Error ")) << session.log[0];
    EXPECT_NE(session.log[0].find("No such file"), std::string::npos) << session.log[0];
    EXPECT_FALSE(session.busy);
}

TEST_F(RemoteViewTest, VmsHeaderReplacesTheDirectoryBeforeThePathBoxIsBuilt) {
    session.hostDir = "/";
    Show({"DISK$ARCHIVE:[USER.WORK]", " ",
          "README.TXT;3             5  15-JAN-2003 09:00:00 [USER,STAFF] (RWED,RWED,RE,)"},
         "5");
    EXPECT_EQ(session.hostDir, "USER/WORK");
    EXPECT_EQ(view.PathBox().items, (Names{ServerListItem, "ftp.example.org", "USER", "WORK"}));
    EXPECT_EQ(Captions(), (Names{"README.TXT"}));
}

TEST(RemotePath, ComponentsAndParent) {
    struct Row {
        const char* dir;
        Names components;
        const char* parent;
    };
    const Row rows[]{
        {"/", {}, "/"},
        {"", {}, "/"},
        {"/pub/incoming/", {"pub", "incoming"}, "/pub"},
        {"/a//b", {"a", "", "b"}, "/a/"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PathComponents(row.dir), row.components) << row.dir;
        EXPECT_EQ(ParentDir(row.dir), row.parent) << row.dir;
    }
}

TEST_F(RemoteViewTest, FilterHidesFilesButNeverFolders) {
    Show();
    view.SetFilter("*.htm?");
    EXPECT_EQ(Captions(), (Names{"incoming", "latest", "pub", "index.html"}));
    EXPECT_EQ(view.RemoteFileNames().size(), 3u) << "the names list is not filtered";
    view.SetFilter("*.*");
    EXPECT_EQ(view.Items().size(), 6u);

    // With the "Text" layout every line is a name; the filter does not apply.
    view.SetFilter("*.zip");
    Show({"index.html", "notes.txt"}, "1");
    EXPECT_EQ(Captions(), (Names{"index.html", "notes.txt"}));
    EXPECT_TRUE(view.WholeLineNames());
}

// The view passes its date order and the current year to the date rules.
TEST_F(RemoteViewTest, DatesAreShownInTheChosenOrderAndYear) {
    view.SetDateOrder(DateOrder::MonthFirst);
    Show({"-rw-r--r-- 1 u g 5 Jan 15  2003 a"});
    EXPECT_EQ(std::get<2>(Shown("a")), "01.15.2003");
    view.SetDateOrder(DateOrder::DayFirst);
    Show({"-rw-r--r-- 1 u g 5 Mar 15 12:34 a"}, "7");
    EXPECT_EQ(std::get<2>(Shown("a")), "15.03.2004");
}

TEST_F(RemoteViewTest, ColumnClicksSortInPlaceAndTheKeyLastsTheSession) {
    Show();
    QSignalSpy layouts(&view, &RemoteView::LayoutChanged);
    view.SortByColumn(static_cast<int>(PaneColumn::Filename));
    EXPECT_EQ(Captions(),
              (Names{"pub", "latest", "incoming", "index.html", "index.htm", "big file.iso"}));
    EXPECT_EQ(layouts.count(), 1);
    // The permutation names each item's row before the sort.
    EXPECT_EQ(view.SortPermutation(), (std::vector<int>{2, 1, 0, 5, 4, 3}));

    Show();
    EXPECT_EQ(view.Items().front().caption, "pub") << "a new listing keeps the key";
    view.SessionEnded();
    EXPECT_EQ(view.SortKey(), 1);
    EXPECT_TRUE(view.Items().empty());
    EXPECT_TRUE(view.PathBox().items.empty());
}

TEST_F(RemoteViewTest, SelectionSummaryCountsFilesOnly) {
    Show({"-rw-r--r-- 1 u g 1024 Mar 15 12:34 a.bin", "-rw-r--r-- 1 u g 512 Mar 15 12:34 b.bin",
          "drwxr-xr-x 2 u g 4096 Mar 15 12:34 dir", "-rw-r--r-- 1 u g -7 Mar 15 12:34 neg.bin",
          "-rw-r--r-- 1 u g 3000000000 Mar 15 12:34 big.iso"});
    QSignalSpy changes(&view, &RemoteView::SelectionChanged);
    const int before = session.refreshes;

    view.SetSelection({Row("dir")});
    EXPECT_FALSE(view.Summary().Visible()) << "a folder alone shows no summary";
    view.SetSelection({Row("a.bin"), Row("b.bin"), Row("dir")});
    EXPECT_EQ(view.Summary(), (SelectionSummary{1536, 2}));
    view.SetSelection({Row("neg.bin"), Row("big.iso")});
    EXPECT_EQ(view.Summary(), (SelectionSummary{3000000000, 2})) << "negative sizes count 0";
    EXPECT_EQ(view.Summary().Text(), "3000000000 byte (2929687.50 Kb) in 2 file(s)");
    view.SetSelection({});
    EXPECT_FALSE(view.Summary().Visible());
    EXPECT_EQ(changes.count(), 4);
    EXPECT_EQ(session.refreshes - before, 4) << "commands follow the selection";
}

// From /pub/a/b/, the path box reads SERVER LIST, host, pub, a, b.
TEST_F(RemoteViewTest, PathBoxNavigatesOrIsUndoneWhileBusy) {
    struct Row {
        const char* name;
        FtpState state;
        bool busy;
        int index;
        const char* request; // "": none
        const char* hostDir;
        int selected;
        bool enabled;
    };
    const Row rows[]{
        {"ancestor", ftpReady, false, 3, "CWD /pub/a", "/pub/a", 3, false},
        {"host item goes to the root", ftpReady, false, 1, "CWD /", "/", 1, false},
        {"server list disconnects", ftpReady, false, 0, "disconnect", "/pub/a/b/", 0, true},
        {"transfer busy", ftpReady, true, 2, "", "/pub/a/b/", 4, true},
        {"engine busy", ftpWaitingResponse, false, 1, "", "/pub/a/b/", 4, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        session = ScriptedSession{};
        session.hostDir = "/pub/a/b/";
        Show();
        session.state = row.state;
        session.busy = row.busy;
        const int refreshes = session.refreshes;
        view.ChangeToPathBoxEntry(row.index);
        EXPECT_EQ(session.requests, *row.request ? Names{row.request} : Names{});
        EXPECT_EQ(session.hostDir, row.hostDir);
        EXPECT_EQ(view.PathBox().selected, row.selected);
        EXPECT_EQ(view.PathBox().remembered, row.selected);
        EXPECT_EQ(view.PathBox().enabled, row.enabled);
        EXPECT_EQ(session.busy, row.busy || !row.enabled);
        EXPECT_EQ(session.refreshes, refreshes + 1);
    }
}

TEST_F(RemoteViewTest, UpOneLevel) {
    struct Row {
        const char* name;
        const char* hostDir;
        bool checkVHost;
        FtpState state;
        const char* request; // "": none
        const char* newDir;
        bool onServerList = false; // the path box shows SERVER LIST
    };
    const Row rows[]{
        {"from /pub/", "/pub/", false, ftpReady, "CDUP", "/"},
        {"virtual host home", "/pub/", true, ftpReady, "PWD", ""},
        {"virtual host below home", "/pub/a/", true, ftpReady, "CDUP", "/pub"},
        {"engine busy", "/pub/", false, ftpWaitingResponse, "", "/pub/"},
        {"server list item", "/pub/", false, ftpReady, "", "/pub/", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        session = ScriptedSession{};
        session.hostDir = row.hostDir;
        checkVHost = row.checkVHost;
        Show();
        if (row.onServerList) {
            view.ChangeToPathBoxEntry(0);
            ASSERT_EQ(view.PathBox().selected, 0);
            session.requests.clear();
        }
        session.state = row.state;
        view.GoUpOneLevel();
        EXPECT_EQ(session.requests, *row.request ? Names{row.request} : Names{});
        EXPECT_EQ(session.hostDir, row.newDir);
    }
}

// A large listing is parsed on a worker thread: nothing old may be opened
// meanwhile, and a listing still being read when the session ends never lands.
TEST_F(RemoteViewTest, AListingReadOffTheUiThreadIsDroppedByTheSessionsEnd) {
    view.SetBackgroundBytes(0);
    Show();
    EXPECT_TRUE(view.Reading());
    EXPECT_TRUE(view.Items().empty());
    EXPECT_FALSE(view.PathBox().enabled);
    view.SessionEnded();
    EXPECT_TRUE(testsupport::ProcessEventsUntil([&] { return !view.Reading(); }, 5000));
    testsupport::ProcessEventsFor(50); // a dropped result must not land late either
    EXPECT_TRUE(view.Items().empty());
    EXPECT_TRUE(view.PathBox().items.empty());
    EXPECT_TRUE(session.log.empty());
}

// A listing parsed while it arrives ends as the pane that reads the file
// afterwards. The file given to the streamed pane holds only blanks of the
// same length: the pane must not need it when every byte came through.
TEST_F(RemoteViewTest, AListingParsedAsItArrivesEndsAsOneReadFromTheFile) {
    using Act = std::function<void(RemoteView&)>;
    struct Row {
        const char* name;
        Names lines;
        std::size_t piece;    // bytes per delivery
        Act before;           // on both panes, before the listing
        Act midway;           // on both panes; on the streamed one halfway through
        bool allFed = true;   // false: only the first half comes through, the file has it all
        bool beside = false;  // parsed on a worker thread while it arrives
        bool stray = false;   // an unfinished listing comes first
        std::size_t here = 0; // beside: bytes parsed on the calling thread first
    };
    Names many;
    for (int i = 0; i < 3000; ++i) {
        const int n = (i * 7919) % 3000;
        const std::string name = "n" + std::to_string(n % 1000) + (n % 7 == 0 ? ".htm" : ".html");
        if (i % 50 == 7) // to a file listed later, so its kind is known only at the end
            many.push_back("lrwxrwxrwx 1 u g 9 Mar 15 12:34 link" + std::to_string(i) + " -> n" +
                           std::to_string((n + 1) % 1000) + ".html");
        else
            many.push_back(std::string(i % 8 == 0 ? "d" : "-") + "rw-r--r-- 1 u g " +
                           std::to_string(n % 97) + " Mar " + std::to_string(1 + n % 28) +
                           " 12:34 " + name);
    }
    many.push_back("this line is no entry"); // said in the log, wherever it was read
    // As a server that sorts by byte sends it: the upper-case half first,
    // which the pane puts after the lower-case half.
    Names sorted;
    for (int i = 0; i < 3000; ++i)
        sorted.push_back("-rw-r--r-- 1 u g 5 Mar 15 12:34 " + std::string(i < 1500 ? "B" : "a") +
                         std::to_string(10000 + i));
    const Act none = [](RemoteView&) {};
    const auto sortBy = [](PaneColumn column) {
        return [column](RemoteView& pane) { pane.SortByColumn(static_cast<int>(column)); };
    };
    const Row rows[] = {
        {"links resolved at the end", kUnixListing, 7, none, none},
        {"thousands of entries merged in sorted runs", many, 4096, none, none},
        {"entries sent in order join the run before", sorted, 4096, none, none},
        {"sorted by size, ties in listing order", many, 1500, sortBy(PaneColumn::Size), none},
        {"sorted by date, made at the end", many, 4096, sortBy(PaneColumn::Date), none},
        {"filtered as they come", many, 4096, [](RemoteView& p) { p.SetFilter("*.htm"); }, none},
        {"the filter changes meanwhile", many, 4096, none,
         [](RemoteView& p) { p.SetFilter("*.htm"); }},
        {"half the bytes: the file is read", many, 4096, none, none, false},
        {"parsed beside the engine", many, 4096, none, none, true, true},
        {"a sort asked for while it is parsed beside the engine", many, 4096, none,
         sortBy(PaneColumn::Filename), true, true},
        {"handed over in the middle of a delivery", many, 4096, none, none, true, true, false,
         1000},
        {"beside the engine, half the bytes: the file is read", many, 4096, none, none, false,
         true},
        {"an unfinished listing is dropped by the next", many, 4096, none, none, true, true, true},
        {"an unfinished small one too", kUnixListing, 5, none, none, true, false, true},
    };
    const auto everything = [](const RemoteView& pane, const ScriptedSession& s) {
        std::vector<std::tuple<std::string, decltype(ShownIn(pane, pane.Items()[0]))>> items;
        for (const RemoteItem& item : pane.Items())
            items.emplace_back(item.caption, ShownIn(pane, item));
        return std::tuple(items, pane.RemoteFileNames(), pane.EntryCount(), s.log);
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string text;
        for (const std::string& line : row.lines)
            text += line + "\r\n";

        ScriptedSession fileSession;
        RemoteView fromFile(fileSession, kStart, [] { return kThisYear; });
        row.before(fromFile);
        row.midway(fromFile);
        ShowIn(fromFile, row.lines);

        ScriptedSession streamSession;
        RemoteView streamed(streamSession, kStart, [] { return kThisYear; });
        row.before(streamed);
        if (row.beside)
            streamed.SetBackgroundBytes(row.here * 4);
        if (row.stray)
            streamed.TakeListingData(many[1] + "\r\n" + many[2] + "\r\n" + many[3], true);
        const std::size_t fed = row.allFed ? text.size() : text.size() / 2;
        for (std::size_t at = 0; at < fed; at += row.piece) {
            if (at / row.piece == fed / row.piece / 2)
                row.midway(streamed);
            streamed.TakeListingData(
                std::string_view(text).substr(at, std::min(row.piece, fed - at)), at == 0);
        }
        std::ofstream(listingFile, std::ios::binary)
            << (row.allFed ? std::string(text.size(), ' ') : text);
        streamed.ShowListing(listingFile);
        EXPECT_TRUE(testsupport::ProcessEventsUntil([&] { return !streamed.Reading(); }, 5000));
        EXPECT_FALSE(std::filesystem::exists(listingFile));
        ASSERT_FALSE(fromFile.Items().empty());
        EXPECT_EQ(everything(streamed, streamSession), everything(fromFile, fileSession));

        // Both panes share their reader: the parser and the rules judge it.
        const std::vector<std::string_view> views(row.lines.begin(), row.lines.end());
        Names files;
        for (const RemoteEntry& entry : ParseListing(views, {}, kStart).entries) {
            if (entry.kind == EntryKind::File)
                files.push_back(entry.name);
        }
        EXPECT_EQ(streamed.RemoteFileNames(), files);
        const auto data = [](const RemoteItem& i) {
            return PaneItemData{static_cast<int>(i.icon),
                                i.caption,
                                i.icon == PaneIcon::File ? i.size.View() : "",
                                "",
                                i.Time(),
                                i.attributes};
        };
        if (std::abs(streamed.SortKey()) != static_cast<int>(PaneColumn::Date)) {
            EXPECT_TRUE(std::is_sorted(streamed.Items().begin(), streamed.Items().end(),
                                       [&](const RemoteItem& a, const RemoteItem& b) {
                                           return ComparePaneItems(data(a), data(b),
                                                                   streamed.SortKey()) < 0;
                                       }));
        }
    }
}

} // namespace
