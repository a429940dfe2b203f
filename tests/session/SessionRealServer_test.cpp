// A saved site browsed on a real FTP server: the site list file, the session
// controller, the engine and the remote pane together, in passive and active mode.
#include "prefs/PrefsTestSupport.h"
#include "prefs/options.h"
#include "session/SessionController.h"
#include "session/SessionLog.h"
#include "sites/SiteFolder.h"
#include "sites/SiteListController.h"
#include "support/EventLoop.h"
#include "support/RealFtpServer.h"
#include "support/ScriptedPrompts.h"

#include <QSignalSpy>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using remote::PaneIcon;
using session::TSessionController;
using session::TSessionState;
using testsupport::ProcessEventsUntil;
using testsupport::RealFtpServer;
using Lines = std::vector<std::string>;

constexpr int kWaitMs = 10000;
constexpr const char* kHost = "127.0.0.1";
constexpr const char* kSiteName = "Loopback ünïcode";

// Three levels below the root, names with blanks and letters outside ASCII.
const char* const kLevel1 = "Año 2024";
const char* const kLevel2 = "sub dir";
const char* const kLevel3 = "Ωmega façade";

// What a pane row shows of an entry.
struct Row {
    std::string caption;
    PaneIcon icon;
    std::string size;
    std::string date;
    std::string time;

    auto Key() const { return std::tie(icon, caption); }
    bool operator==(const Row&) const = default;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << "{" << row.caption << ", " << (row.icon == PaneIcon::Folder ? "folder" : "file")
         << ", size '" << row.size << "', " << row.date << " '" << row.time << "'}";
}

std::vector<Row> SortedByKindAndName(std::vector<Row> rows) {
    std::sort(rows.begin(), rows.end(),
              [](const Row& a, const Row& b) { return a.Key() < b.Key(); });
    return rows;
}

// The pane's display date of a modification time. The server lists times in UTC.
std::string DisplayDateOf(std::time_t mtime) {
    std::tm utc{};
    gmtime_r(&mtime, &utc);
    char text[48];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", utc.tm_mday, utc.tm_mon + 1,
                  utc.tm_year + 1900);
    return text;
}

// "/a/b/" and "/a/b" name the same directory.
std::string WithoutTrailingSlash(std::string dir) {
    if (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return dir;
}

class SavedSite : public ::testing::TestWithParam<bool> {
protected:
    SavedSite() {
        folder = dir.path().toStdString() + "/";
        options = DefaultOptions(folder, ::getpid());
        options.Log = true;
        log.ApplyOptions(options);
        QObject::connect(&log.Pane(), &session::TLogPane::LineAdded,
                         [this](int row) { logged.push_back(log.Pane().Line(row)); });
    }

    void SetUp() override {
        CORVANE_START_REAL_FTP(server);
        MakeTree();
    }

    bool Passive() const { return GetParam(); }
    fs::path Served(const std::string& remoteDir) const {
        return fs::path(server.root()) / fs::path(remoteDir).relative_path();
    }

    void MakeTree() {
        const fs::path root = server.root();
        const fs::path one = root / kLevel1;
        const fs::path two = one / kLevel2;
        const fs::path three = two / kLevel3;
        fs::create_directories(three / "inner folder");
        fs::create_directories(root / "plain");
        const std::pair<fs::path, std::size_t> files[] = {
            {root / "readme.txt", 12},
            {root / "two  blanks.txt", 7},
            {root / "plain" / "x.txt", 1},
            {one / "naïve café.txt", 1234},
            {one / "notes.md", 0},
            {two / "report 2024.pdf", 5000},
            {three / "leaf file.bin", 70000},
            {three / "ß.txt", 3},
        };
        for (const auto& [path, size] : files)
            WriteFile(path.string(), std::string(size, 'x'));

        // Old times make the server list a year, and distinct days show that each
        // row's date is its own. Parents last: filling a folder touches its time.
        const std::chrono::sys_days first = 2019y / std::chrono::March / 15;
        std::vector<fs::path> all;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
            all.push_back(entry.path());
        std::sort(all.begin(), all.end(), [](const fs::path& a, const fs::path& b) {
            return std::distance(a.begin(), a.end()) > std::distance(b.begin(), b.end());
        });
        int day = 0;
        for (const fs::path& path : all) {
            const std::chrono::sys_seconds noon = first + std::chrono::days(day++) + 12h;
            fs::last_write_time(path, std::chrono::file_clock::from_sys(noon));
        }
    }

    // The rows the pane must show for that directory, read from the server's files.
    std::vector<Row> Expected(const std::string& remoteDir) const {
        std::vector<Row> rows;
        for (const fs::directory_entry& entry : fs::directory_iterator(Served(remoteDir))) {
            struct stat info {};
            EXPECT_EQ(::stat(entry.path().c_str(), &info), 0) << entry.path();
            const bool folder = entry.is_directory();
            rows.push_back({entry.path().filename().string(),
                            folder ? PaneIcon::Folder : PaneIcon::File,
                            folder ? "" : std::to_string(entry.file_size()),
                            DisplayDateOf(info.st_mtime), ""});
        }
        return SortedByKindAndName(rows);
    }

    std::vector<Row> Shown() const {
        std::vector<Row> rows;
        for (const remote::TRemoteItem& item : controller.RemoteView().Items())
            rows.push_back({item.caption, item.icon, item.size, item.date, item.time});
        return rows;
    }

    // Everything the pane and the engine say about the directory shown.
    void ExpectShows(const std::string& remoteDir) {
        SCOPED_TRACE("showing " + remoteDir);
        EXPECT_EQ(WithoutTrailingSlash(ftp.HostDirName), remoteDir);
        Lines path{remote::ServerListItem, kHost};
        for (const fs::path& part : fs::path(remoteDir).relative_path())
            path.push_back(part.string());
        const remote::TPathBox& box = controller.RemoteView().PathBox();
        EXPECT_EQ(box.items, path);
        EXPECT_EQ(box.selected, static_cast<int>(path.size()) - 1);
        EXPECT_TRUE(box.enabled);

        const std::vector<Row> expected = Expected(remoteDir);
        EXPECT_FALSE(expected.empty()) << "every folder of the tree has entries";
        const std::vector<Row> shown = Shown();
        EXPECT_EQ(SortedByKindAndName(shown), expected);
        EXPECT_TRUE(std::is_partitioned(shown.begin(), shown.end(), [](const Row& row) {
            return row.icon == PaneIcon::Folder;
        })) << "folders come first";
    }

    bool WaitState(TSessionState state) {
        return ProcessEventsUntil([&] { return controller.SessionState() == state; }, kWaitMs);
    }

    // Runs a navigation and waits for the listing it ends with.
    ::testing::AssertionResult Navigate(const std::function<void()>& action) {
        const qsizetype before = listings.count();
        action();
        if (ProcessEventsUntil(
                [&] {
                    return listings.count() > before &&
                           controller.SessionState() == TSessionState::Browsing;
                },
                kWaitMs))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "no new listing; session " << session::SessionStateName(controller.SessionState())
               << ", engine at " << ftp.HostDirName;
    }

    ::testing::AssertionResult DoubleClick(const std::string& caption) {
        const std::vector<remote::TRemoteItem>& items = controller.RemoteView().Items();
        const auto item = std::find_if(items.begin(), items.end(),
                                       [&](const auto& i) { return i.caption == caption; });
        if (item == items.end())
            return ::testing::AssertionFailure() << "no row " << caption;
        const int row = static_cast<int>(item - items.begin());
        return Navigate([&] { controller.FTPViewDblClick(row); });
    }

    ::testing::AssertionResult ChoosePath(int index) {
        return Navigate([&] { controller.RemoteView().FTPPathChange(index); });
    }

    ::testing::AssertionResult UpOneLevel() {
        return Navigate([&] { controller.RemoteView().FTPOneLevelUpClick(); });
    }

    // Saves the site in the properties window, as "New Server" does.
    void SaveSite() {
        TSiteListController sites(folder, prompts, options);
        ASSERT_TRUE(sites.LoadSiteFolder(""));
        prompts.sites.push_back({[this](TSiteForm& form) {
            form.Name = kSiteName;
            form.Server = kHost;
            form.Port = server.portText();
            form.Anonymous = false;
            form.User = RealFtpServer::User;
            form.Password = RealFtpServer::Password;
            form.SavePassword = true;
            form.InitialDir = std::string("/") + kLevel1;
            form.Pasv = Passive();
        }});
        sites.NewSite();
        EXPECT_TRUE(prompts.sites.empty());
        ASSERT_EQ(sites.Model().Count(), 1);
        const std::string list = ReadFile(folder + SiteListFileName);
        EXPECT_NE(list.find(kSiteName), std::string::npos) << list;
        EXPECT_EQ(list.find(RealFtpServer::Password), std::string::npos)
            << "the password is scrambled in the file";
    }

    QTemporaryDir dir;
    std::string folder;
    TFTPOptions options;
    Lines logged; // every line the log pane was given
    session::TSessionLog log{dir.path().toStdString() + "/"};
    ScriptedPrompts prompts;
    RealFtpServer server;
    TFtpClient ftp;
    TSessionController controller{ftp, log, prompts, options,
                                  std::chrono::year_month_day{2026y, std::chrono::January, 10d}};
    QSignalSpy listings{&controller.RemoteView(), &remote::TRemoteView::ItemsReset};
};

TEST_P(SavedSite, IsBrowsedThreeLevelsDownAndBackThenLeftForTheSiteList) {
    ASSERT_NO_FATAL_FAILURE(SaveSite());

    // The program started again: the site comes from the list file.
    TSiteListController sites(folder, prompts, options);
    QObject::connect(&sites, &TSiteListController::siteChosen, &controller,
                     &TSessionController::ConnectToSite);
    ASSERT_TRUE(sites.LoadSiteFolder(""));
    ASSERT_EQ(sites.Model().Count(), 1);
    const TFTPServerInfo& saved = sites.Model().Entry(0).Site;
    EXPECT_EQ(saved.Password, RealFtpServer::Password);
    EXPECT_EQ(saved.InitialDir, std::string("/") + kLevel1);
    EXPECT_EQ(saved.Pasv, Passive() ? 1 : 0);
    sites.Model().SelectOnly(0);
    sites.OpenSelected();
    EXPECT_EQ(controller.SessionState(), TSessionState::Connecting);
    ASSERT_TRUE(WaitState(TSessionState::Browsing))
        << session::SessionStateName(controller.SessionState());
    EXPECT_FALSE(controller.ServerListMode());
    EXPECT_EQ(ftp.Passive(), Passive());

    const std::string one = std::string("/") + kLevel1;
    const std::string two = one + "/" + kLevel2;
    const std::string three = two + "/" + kLevel3;
    ExpectShows(one); // the site's start directory

    // A file is not entered.
    const std::vector<remote::TRemoteItem>& items = controller.RemoteView().Items();
    const auto file = std::find_if(items.begin(), items.end(),
                                   [](const auto& item) { return item.icon == PaneIcon::File; });
    ASSERT_NE(file, items.end());
    controller.FTPViewDblClick(static_cast<int>(file - items.begin()));
    EXPECT_EQ(controller.SessionState(), TSessionState::Browsing);
    EXPECT_EQ(WithoutTrailingSlash(ftp.HostDirName), one);

    ASSERT_TRUE(DoubleClick(kLevel2));
    ExpectShows(two);
    ASSERT_TRUE(DoubleClick(kLevel3));
    ExpectShows(three);
    ASSERT_TRUE(ChoosePath(3)); // kLevel2
    ExpectShows(two);
    ASSERT_TRUE(UpOneLevel());
    ExpectShows(one);
    ASSERT_TRUE(UpOneLevel());
    ExpectShows("/");

    // Down again from the root, then back along the path box.
    ASSERT_TRUE(DoubleClick(kLevel1));
    ExpectShows(one);
    ASSERT_TRUE(DoubleClick(kLevel2));
    ASSERT_TRUE(DoubleClick(kLevel3));
    ExpectShows(three);
    ASSERT_TRUE(ChoosePath(2)); // kLevel1
    ExpectShows(one);
    ASSERT_TRUE(ChoosePath(1)); // the host: the root
    ExpectShows("/");
    ASSERT_TRUE(DoubleClick("plain"));
    ExpectShows("/plain");

    QSignalSpy modes(&controller, &TSessionController::ServerListModeChanged);
    controller.RemoteView().FTPPathChange(0); // "SERVER LIST ..."
    ASSERT_TRUE(ProcessEventsUntil(
        [&] {
            return controller.SessionState() == TSessionState::Idle && controller.ServerListMode();
        },
        kWaitMs));
    EXPECT_FALSE(ftp.Connected());
    EXPECT_FALSE(controller.ConnectedCommands());
    EXPECT_TRUE(controller.RemoteView().Items().empty());
    EXPECT_TRUE(controller.RemoteView().PathBox().items.empty());
    ASSERT_EQ(modes.count(), 1);
    EXPECT_TRUE(modes[0][0].toBool());
    EXPECT_TRUE(prompts.messages.empty());

    // The password never reaches the log, neither the pane nor the file.
    EXPECT_NE(std::find(logged.begin(), logged.end(), "> PASS ****"), logged.end());
    for (const std::string& line : logged)
        EXPECT_EQ(line.find(RealFtpServer::Password), std::string::npos) << line;
    ASSERT_FALSE(log.LogFile().empty());
    const std::string fileText = ReadFile(log.LogFile());
    EXPECT_NE(fileText.find("> PASS ****"), std::string::npos);
    EXPECT_EQ(fileText.find(RealFtpServer::Password), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(SessionRealServer, SavedSite, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Passive" : "Active";
                         });

} // namespace
