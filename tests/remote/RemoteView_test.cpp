#include "remote/ScriptedRemoteSession.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace remote;
using namespace std::chrono_literals;

constexpr std::chrono::year_month_day kStart{2003y, std::chrono::June, 15d};
constexpr int kThisYear = 2004; // differs from the start year, so the tests tell them apart

class RemoteViewTest : public testing::Test {
protected:
    RemoteViewTest() : view(session, kStart, [] { return kThisYear; }) {}

    // Writes `lines` as the listing file and shows it.
    void Show(const std::vector<std::string>& lines, const std::string& answer = "0") {
        view.SetSite({answer, checkVHost});
        std::ofstream out(listingFile, std::ios::binary);
        for (const std::string& line : lines)
            out << line << "\r\n";
        out.close();
        view.ShowListing(listingFile);
    }

    std::vector<std::string> Captions() const {
        std::vector<std::string> captions;
        for (const TRemoteItem& item : view.Items())
            captions.push_back(item.caption);
        return captions;
    }

    int Row(const std::string& caption) const {
        for (std::size_t i = 0; i < view.Items().size(); ++i) {
            if (view.Items()[i].caption == caption)
                return static_cast<int>(i);
        }
        ADD_FAILURE() << "no item " << caption;
        return -1;
    }

    QTemporaryDir folder;
    std::string listingFile = folder.filePath(QStringLiteral("FTPDIR42.TXT")).toStdString();
    ScriptedSession session;
    bool checkVHost = false;
    TRemoteView view;
};

const std::vector<std::string> kUnixListing = {
    "total 5",
    "drwxr-xr-x    2 1000     1000         4096 Mar 15 12:34 pub",
    "-rw-r--r--    1 1000     1000         1536 Jan 02  2002 index.html",
    "-rw-r--r--    1 1000     1000          512 Mar 15  2003 index.htm",
    "-rw-r--r--    1 1000     1000       200000 Mar 15  2003 big file.iso",
    "drwxr-xr-x    2 1000     1000         4096 Mar 15 12:34 incoming",
    "lrwxrwxrwx    1 1000     1000            3 Mar 15 12:34 latest -> pub",
};

TEST_F(RemoteViewTest, ShowListingFillsThePaneFromTheFileAndDeletesIt) {
    session.busy = true;
    session.hostDir = "/pub/";
    QSignalSpy resets(&view, &TRemoteView::ItemsReset);
    Show(kUnixListing);

    EXPECT_FALSE(std::filesystem::exists(listingFile)) << "the listing file is read once";
    EXPECT_EQ(resets.count(), 1) << "one reset per listing, however many items";
    // Folders (a link to a later folder counts as one) first, then files by name.
    EXPECT_EQ(Captions(), (std::vector<std::string>{"incoming", "latest", "pub", "big file.iso",
                                                    "index.htm", "index.html"}));
    const TRemoteItem& pub = view.Items()[static_cast<std::size_t>(Row("pub"))];
    EXPECT_EQ(pub.icon, PaneIcon::Folder);
    EXPECT_EQ(pub.size, "") << "folders show no size";
    EXPECT_EQ(pub.date, "15.03.2003");
    EXPECT_EQ(pub.time, "12:34");
    EXPECT_EQ(pub.attributes, "drwxr-xr-x");
    const TRemoteItem& html = view.Items()[static_cast<std::size_t>(Row("index.html"))];
    EXPECT_EQ(html.icon, PaneIcon::File);
    EXPECT_EQ(html.size, "1536");
    EXPECT_EQ(html.date, "02.01.2002");
    EXPECT_EQ(view.Items()[static_cast<std::size_t>(Row("latest"))].links, "pub");
    EXPECT_EQ(view.RemoteFileNames(),
              (std::vector<std::string>{"index.html", "index.htm", "big file.iso"}));

    EXPECT_FALSE(session.busy);
    EXPECT_TRUE(view.PathBox().enabled);
    EXPECT_EQ(view.PathBox().items,
              (std::vector<std::string>{ServerListItem, "ftp.example.org", "pub"}));
    EXPECT_EQ(view.PathBox().selected, 2);
    EXPECT_EQ(view.PathBox().remembered, 2);
}

TEST_F(RemoteViewTest, UnreadableListingShowsAnEmptyPaneAndLogsWhy) {
    Show(kUnixListing);
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
    EXPECT_EQ(view.PathBox().items,
              (std::vector<std::string>{ServerListItem, "ftp.example.org", "USER", "WORK"}));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"README.TXT"}));
}

struct PathRow {
    const char* dir;
    std::vector<std::string> components;
    const char* parent;
};

TEST(RemotePath, ComponentsAndParent) {
    const std::vector<PathRow> rows{
        {"/", {}, "/"},
        {"", {}, "/"},
        {"/pub", {"pub"}, "/"},
        {"/pub/", {"pub"}, "/"},
        {"/pub/incoming", {"pub", "incoming"}, "/pub"},
        {"/pub/incoming/", {"pub", "incoming"}, "/pub"},
        {"/a//b", {"a", "", "b"}, "/a/"},
        {"/ spaced /x", {" spaced ", "x"}, "/ spaced "},
        {"USER/WORK", {"USER", "WORK"}, "USER"},
        {"pub", {"pub"}, "/"},
    };
    for (const PathRow& row : rows) {
        EXPECT_EQ(PathComponents(row.dir), row.components) << row.dir;
        EXPECT_EQ(ParentDir(row.dir), row.parent) << row.dir;
    }
}

TEST_F(RemoteViewTest, FilterHidesFilesButNeverFolders) {
    Show(kUnixListing);
    view.SetFilter("*.htm?");
    EXPECT_EQ(Captions(), (std::vector<std::string>{"incoming", "latest", "pub", "index.html"}));
    EXPECT_EQ(view.RemoteFileNames().size(), 3u) << "the names list is not filtered";
    view.SetFilter("*.*");
    EXPECT_EQ(view.Items().size(), 6u);

    // With the "Text" layout every line is a name; the filter does not apply.
    view.SetFilter("*.zip");
    Show({"index.html", "notes.txt"}, "1");
    EXPECT_EQ(Captions(), (std::vector<std::string>{"index.html", "notes.txt"}));
    EXPECT_TRUE(view.WholeLineNames());
}

struct DateCase {
    const char* answer;
    const char* line;
    DateOrder order;
    const char* shown;
};

TEST_F(RemoteViewTest, DatesAreShownInTheChosenOrder) {
    const std::vector<DateCase> cases{
        {"0", "-rw-r--r-- 1 u g 5 Jan 15  2003 a", DateOrder::DayFirst, "15.01.2003"},
        {"0", "-rw-r--r-- 1 u g 5 Jan 15  2003 a", DateOrder::MonthFirst, "01.15.2003"},
        {"7", "-rw-r--r-- 1 u g 5 Mar 15  2003 a", DateOrder::DayFirst, "15.03.2003"},
        {"7", "-rw-r--r-- 1 u g 5 Mar 15 12:34 a", DateOrder::DayFirst, "15.03.2004"},
    };
    for (const DateCase& c : cases) {
        view.SetDateOrder(c.order);
        Show({c.line}, c.answer);
        ASSERT_EQ(view.Items().size(), 1u) << c.line;
        EXPECT_EQ(view.Items()[0].date, c.shown) << c.line;
    }
}

TEST_F(RemoteViewTest, ColumnClicksSortOnceEachWithFoldersOnTop) {
    Show(kUnixListing);
    QSignalSpy layouts(&view, &TRemoteView::LayoutChanged);
    view.FTPViewColumnClick(static_cast<int>(PaneColumn::Size));
    EXPECT_EQ(view.SortKey(), -2);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"incoming", "latest", "pub", "index.htm",
                                                    "index.html", "big file.iso"}))
        << "first click: smallest file first";
    view.FTPViewColumnClick(static_cast<int>(PaneColumn::Size));
    EXPECT_EQ(view.SortKey(), 2);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"incoming", "latest", "pub", "big file.iso",
                                                    "index.html", "index.htm"}));
    view.FTPViewColumnClick(static_cast<int>(PaneColumn::Filename));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"pub", "latest", "incoming", "index.html",
                                                    "index.htm", "big file.iso"}))
        << "a new column starts reversed";
    EXPECT_EQ(layouts.count(), 3);

    // The permutation names each item's row before the sort.
    const std::vector<int>& before = view.SortPermutation();
    ASSERT_EQ(before.size(), 6u);
    EXPECT_EQ(before[0], 2); // "pub" was third
    EXPECT_EQ(before[5], 3); // "big file.iso" was fourth

    // A new listing keeps the key.
    Show(kUnixListing);
    EXPECT_EQ(view.Items().front().caption, "pub");
    view.SessionEnded();
    EXPECT_EQ(view.SortKey(), 1);
    EXPECT_TRUE(view.Items().empty());
    EXPECT_TRUE(view.PathBox().items.empty());
}

TEST_F(RemoteViewTest, SelectionSummaryCountsFilesOnly) {
    Show({"-rw-r--r-- 1 u g 1024 Mar 15 12:34 a.bin", "-rw-r--r-- 1 u g 512 Mar 15 12:34 b.bin",
          "drwxr-xr-x 2 u g 4096 Mar 15 12:34 dir", "-rw-r--r-- 1 u g -7 Mar 15 12:34 neg.bin",
          "-rw-r--r-- 1 u g 3000000000 Mar 15 12:34 big.iso"});
    QSignalSpy changes(&view, &TRemoteView::SelectionChanged);
    const int before = session.refreshes;

    view.SetSelection({Row("dir")});
    EXPECT_FALSE(view.Summary().Visible()) << "a folder alone shows no summary";

    view.SetSelection({Row("a.bin"), Row("b.bin"), Row("dir")});
    EXPECT_EQ(view.Summary(), (TSelectionSummary{1536, 2}));
    EXPECT_EQ(view.Summary().Text(), "1536 byte (1.50 Kb) in 2 file(s)");

    view.SetSelection({Row("neg.bin"), Row("big.iso")});
    EXPECT_EQ(view.Summary(), (TSelectionSummary{3000000000, 2})) << "negative sizes count 0";
    EXPECT_EQ(view.Summary().Text(), "3000000000 byte (2929687.50 Kb) in 2 file(s)");

    view.SetSelection({});
    EXPECT_FALSE(view.Summary().Visible());
    EXPECT_EQ(changes.count(), 4);
    EXPECT_EQ(session.refreshes - before, 4) << "commands follow the selection";
}

struct PathChangeCase {
    const char* name;
    TFtpState state;
    bool busy;
    int index;
    std::vector<std::string> requests;
    const char* hostDir;
    int selected;
    bool enabled;
};

TEST_F(RemoteViewTest, PathBoxNavigatesOrIsUndoneWhileBusy) {
    const std::vector<PathChangeCase> cases{
        {"ancestor", TFtpState::ftpReady, false, 3, {"CWD /pub/a"}, "/pub/a", 3, false},
        {"host item goes to the root", TFtpState::ftpReady, false, 1, {"CWD /"}, "/", 1, false},
        {"server list disconnects",
         TFtpState::ftpReady,
         false,
         0,
         {"disconnect"},
         "/pub/a/b/",
         0,
         true},
        {"same item lists again",
         TFtpState::ftpReady,
         false,
         4,
         {"CWD /pub/a/b"},
         "/pub/a/b",
         4,
         false},
        {"transfer busy", TFtpState::ftpReady, true, 2, {}, "/pub/a/b/", 4, true},
        {"engine busy", TFtpState::ftpWaitingResponse, false, 1, {}, "/pub/a/b/", 4, true},
    };
    for (const PathChangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        session = ScriptedSession{};
        session.hostDir = "/pub/a/b/";
        Show(kUnixListing);
        session.state = c.state;
        session.busy = c.busy;
        const int refreshes = session.refreshes;
        view.FTPPathChange(c.index);
        EXPECT_EQ(session.requests, c.requests);
        EXPECT_EQ(session.hostDir, c.hostDir);
        EXPECT_EQ(view.PathBox().selected, c.selected);
        EXPECT_EQ(view.PathBox().remembered, c.selected);
        EXPECT_EQ(view.PathBox().enabled, c.enabled);
        EXPECT_EQ(session.busy, c.busy || !c.enabled);
        EXPECT_EQ(session.refreshes, refreshes + 1);
    }
}

struct UpCase {
    const char* name;
    const char* hostDir;
    bool checkVHost;
    TFtpState state;
    std::vector<std::string> requests;
    const char* newDir;
};

TEST_F(RemoteViewTest, UpOneLevel) {
    const std::vector<UpCase> cases{
        {"from /pub/", "/pub/", false, TFtpState::ftpReady, {"CDUP"}, "/"},
        {"from a deeper folder", "/pub/incoming", false, TFtpState::ftpReady, {"CDUP"}, "/pub"},
        {"virtual host home", "/pub/", true, TFtpState::ftpReady, {"PWD"}, ""},
        {"virtual host below home", "/pub/a/", true, TFtpState::ftpReady, {"CDUP"}, "/pub"},
        {"engine busy", "/pub/", false, TFtpState::ftpWaitingResponse, {}, "/pub/"},
    };
    for (const UpCase& c : cases) {
        SCOPED_TRACE(c.name);
        session = ScriptedSession{};
        session.hostDir = c.hostDir;
        checkVHost = c.checkVHost;
        Show(kUnixListing);
        session.state = c.state;
        view.FTPOneLevelUpClick();
        EXPECT_EQ(session.requests, c.requests);
        EXPECT_EQ(session.hostDir, c.newDir);
    }
}

TEST_F(RemoteViewTest, UpOneLevelDoesNothingOnTheServerListItem) {
    session.hostDir = "/pub/";
    Show(kUnixListing);
    session.state = TFtpState::ftpWaitingResponse;
    view.FTPPathChange(0); // undone: the selection stays on "pub"
    session.state = TFtpState::ftpReady;
    view.FTPPathChange(0);
    ASSERT_EQ(view.PathBox().selected, 0);
    session.requests.clear();
    view.FTPOneLevelUpClick();
    EXPECT_TRUE(session.requests.empty());
}

TEST_F(RemoteViewTest, LargeListingIsFilledAndSortedOnce) {
    std::vector<std::string> lines;
    for (int i = 0; i < 20000; ++i)
        lines.push_back("-rw-r--r-- 1 u g " + std::to_string(i) + " Mar 15 12:34 f" +
                        std::to_string(19999 - i) + ".dat");
    QSignalSpy aboutToReset(&view, &TRemoteView::ItemsAboutToBeReset);
    QSignalSpy resets(&view, &TRemoteView::ItemsReset);
    QSignalSpy layouts(&view, &TRemoteView::LayoutChanged);
    Show(lines);
    EXPECT_EQ(aboutToReset.count(), 1);
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(layouts.count(), 0);
    ASSERT_EQ(view.Items().size(), 20000u);
    // Names differ only in digits and letters of one case, so byte order is name order.
    EXPECT_TRUE(std::is_sorted(
        view.Items().begin(), view.Items().end(),
        [](const TRemoteItem& a, const TRemoteItem& b) { return a.caption < b.caption; }));
    EXPECT_EQ(view.Items().front().caption, "f0.dat");
}

} // namespace
