// A site browsed on a real FTP server: the session controller, the engine and
// the remote pane together, in passive and active mode.
#include "prefs/PrefsTestSupport.h"
#include "session/RealSession.h"

#include <ctime>
#include <sys/stat.h>

namespace {

using namespace realsession;
using namespace std::chrono_literals;
using remote::PaneIcon;
using session::SessionController;
using session::SessionState;
using testsupport::ProcessEventsUntil;

constexpr int kWaitMs = 10000;
constexpr const char* kHost = "127.0.0.1";
// Three levels below the root, names with blanks and letters outside ASCII.
const std::string kOne = "/Año 2024";
const std::string kTwo = kOne + "/sub dir";
const std::string kThree = kTwo + "/Ωmega façade";

// A pane row as "kind|name|size|date"; folders sort first.
std::string RowText(bool folder, const std::string& name, const std::string& size,
                    const std::string& date) {
    return (folder ? "0 folder|" : "1 file|") + name + "|" + size + "|" + date;
}

class RealBrowse : public ::testing::TestWithParam<bool> {
protected:
    RealBrowse() {
        s.options.Log = true;
        s.log.ApplyOptions(s.options);
    }

    void SetUp() override {
        CORVANE_START_REAL_FTP(s.server);
        const fs::path root = s.server.root();
        fs::create_directories(root / fs::path(kThree).relative_path() / "inner folder");
        fs::create_directories(root / "plain");
        const std::pair<std::string, std::size_t> files[] = {
            {"/readme.txt", 12},
            {"/two  blanks.txt", 7},
            {"/plain/x.txt", 1},
            {kOne + "/naïve café.txt", 1234},
            {kOne + "/notes.md", 0},
            {kTwo + "/report 2024.pdf", 5000},
            {kThree + "/leaf file.bin", 70000},
            {kThree + "/ß.txt", 3},
        };
        for (const auto& [path, size] : files)
            WriteFile(s.server.root() + path, std::string(size, 'x'));

        // Old times make the server list a year, and distinct days show that each
        // row's date is its own. Parents last: filling a folder touches its time.
        std::vector<fs::path> all(fs::recursive_directory_iterator(root), {});
        std::sort(all.begin(), all.end(), [](const fs::path& a, const fs::path& b) {
            return std::distance(a.begin(), a.end()) > std::distance(b.begin(), b.end());
        });
        std::chrono::sys_seconds noon = std::chrono::sys_days(2019y / 3 / 15) + 12h;
        for (const fs::path& path : all) {
            fs::last_write_time(path, std::chrono::file_clock::from_sys(noon));
            noon += 24h;
        }
    }

    bool Passive() const { return GetParam(); }

    // The rows the pane must show for that directory, read from the server's files;
    // the server lists times in UTC.
    Lines Expected(const std::string& remoteDir) const {
        Lines rows;
        for (const auto& entry : fs::directory_iterator(s.server.root() + remoteDir)) {
            struct stat info {};
            EXPECT_EQ(::stat(entry.path().c_str(), &info), 0) << entry.path();
            std::tm utc{};
            gmtime_r(&info.st_mtime, &utc);
            char date[48];
            std::snprintf(date, sizeof date, "%02d.%02d.%04d", utc.tm_mday, utc.tm_mon + 1,
                          utc.tm_year + 1900);
            const bool isFolder = entry.is_directory();
            rows.push_back(RowText(isFolder, entry.path().filename().string(),
                                   isFolder ? "" : std::to_string(entry.file_size()), date));
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    // Everything the pane and the engine say about the directory shown.
    void ExpectShows(const std::string& remoteDir) {
        SCOPED_TRACE("showing " + remoteDir);
        std::string dir = s.ftp.HostDirName;
        if (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        EXPECT_EQ(dir, remoteDir.empty() ? "/" : remoteDir);
        Lines path{remote::ServerListItem, kHost};
        for (const fs::path& part : fs::path(remoteDir).relative_path())
            path.push_back(part.string());
        const remote::PathBox& box = s.controller.RemoteView().PathBox();
        EXPECT_EQ(box.items, path);
        EXPECT_EQ(box.selected, static_cast<int>(path.size()) - 1);
        EXPECT_TRUE(box.enabled);

        Lines shown;
        for (const remote::RemoteItem& item : s.controller.RemoteView().Items()) {
            // LIST names a year for old files; MLSD gives every time (noon, UTC).
            EXPECT_EQ(item.Time(), s.ftp.MachineListings ? "12:00" : "") << item.caption;
            shown.push_back(RowText(item.icon == PaneIcon::Folder, item.caption, item.size,
                                    s.controller.RemoteView().DateText(item)));
        }
        EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end(),
                                   [](const std::string& a, const std::string& b) {
                                       return a.substr(0, 2) < b.substr(0, 2);
                                   }))
            << "folders come first";
        std::sort(shown.begin(), shown.end());
        const Lines expected = Expected(remoteDir);
        EXPECT_FALSE(expected.empty()) << "every folder of the tree has entries";
        EXPECT_EQ(shown, expected);
    }

    // Runs a navigation and waits for the listing it ends with.
    ::testing::AssertionResult Navigate(const std::function<void()>& action) {
        return s.Run([&] {
            action();
            return true;
        });
    }
    int Row(const std::string& caption) const {
        const std::vector<remote::RemoteItem>& items = s.controller.RemoteView().Items();
        return static_cast<int>(std::find_if(items.begin(), items.end(),
                                             [&](const auto& i) { return i.caption == caption; }) -
                                items.begin());
    }

    RealSession s;
};

TEST_P(RealBrowse, ThreeLevelsDownAndBackThenLeftForTheSiteList) {
    Site site = s.AccountSite(Passive());
    site.InitialDir = kOne;
    ASSERT_TRUE(Navigate([&] {
        s.controller.ConnectToSite(site);
        EXPECT_EQ(s.controller.SessionState(), SessionState::Connecting);
    }));
    EXPECT_FALSE(s.controller.ServerListMode());
    EXPECT_EQ(s.ftp.Passive(), Passive());
    s.controller.OpenEntry(Row("notes.md"));
    EXPECT_EQ(s.controller.SessionState(), SessionState::Browsing) << "a file is not entered";
    ExpectShows(kOne); // the site's start directory

    auto& view = s.controller.RemoteView();
    const auto enter = [&](const std::string& dir) {
        return [&, dir] { s.controller.OpenEntry(Row(fs::path(dir).filename().string())); };
    };
    const auto choose = [&](int index) { return [&, index] { view.ChangeToPathBoxEntry(index); }; };
    const std::function<void()> up = [&] { view.GoUpOneLevel(); };
    const std::pair<std::function<void()>, std::string> tour[] = {
        {enter(kTwo), kTwo},
        {enter(kThree), kThree},
        {choose(3), kTwo},
        {up, kOne},
        {up, ""},
        {enter(kOne), kOne},
        {enter(kTwo), kTwo},
        {enter(kThree), kThree},
        {choose(2), kOne},
        {choose(1), ""},
        {enter("/plain"), "/plain"},
    };
    for (const auto& [move, shows] : tour) {
        ASSERT_TRUE(Navigate(move));
        ExpectShows(shows);
    }

    QSignalSpy modes(&s.controller, &SessionController::ServerListModeChanged);
    view.ChangeToPathBoxEntry(0); // "SERVER LIST ..."
    ASSERT_TRUE(ProcessEventsUntil(
        [&] {
            return s.controller.SessionState() == SessionState::Idle &&
                   s.controller.ServerListMode();
        },
        kWaitMs));
    EXPECT_FALSE(s.ftp.Connected());
    EXPECT_FALSE(s.controller.ConnectedCommands());
    EXPECT_TRUE(view.Items().empty());
    EXPECT_TRUE(view.PathBox().items.empty());
    ASSERT_EQ(modes.count(), 1);
    EXPECT_TRUE(modes[0][0].toBool());
    EXPECT_TRUE(s.prompts.messages.empty());

    // The password never reaches the log, neither the pane nor the file.
    EXPECT_NE(std::find(s.logged.begin(), s.logged.end(), "> PASS ****"), s.logged.end());
    for (const std::string& line : s.logged)
        EXPECT_EQ(line.find(RealFtpServer::Password), std::string::npos) << line;
    const std::string fileText = ReadFile(s.log.LogFile());
    EXPECT_NE(fileText.find("> PASS ****"), std::string::npos);
    EXPECT_EQ(fileText.find(RealFtpServer::Password), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(SessionRealServer, RealBrowse, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Passive" : "Active";
                         });

} // namespace
