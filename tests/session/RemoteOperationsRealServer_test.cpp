// The remote file operations against real FTP servers, checked on the
// server's own disk.
#include "prefs/Options.h"
#include "session/SessionController.h"
#include "session/SessionLog.h"
#include "support/EventLoop.h"
#include "support/RealFtpServer.h"
#include "support/ScriptedPrompts.h"
#include "transfer/RemoteOperations.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using session::SessionState;
using testsupport::ProcessEventsUntil;
using testsupport::RealFtpServer;

// Three levels, blanks and letters outside ASCII.
const std::string kTree = "Año 2024";
const std::string kFiles[] = {"Año 2024/naïve café.txt", "Año 2024/sub dir/report 1.pdf",
                              "Año 2024/sub dir/Ωmega façade/ß.txt",
                              "Año 2024/sub dir/Ωmega façade/leaf file.bin"};

struct TypedMode : transfer::PermissionEditor {
    bool Edit(transfer::PermissionForm& form) override {
        form.TypeManual("600");
        return true;
    }
};

class RemoteOperationsReal : public ::testing::TestWithParam<RealFtpServer::Kind> {
protected:
    RemoteOperationsReal() : server(GetParam()) {
        options = DefaultOptions(folder, ::getpid());
        controller.SetRemoteOperations(&ops);
    }

    void SetUp() override {
        CORVANE_START_REAL_FTP(server);
        for (const std::string& file : kFiles) {
            fs::create_directories(fs::path(server.root() + "/" + file).parent_path());
            std::ofstream(server.root() + "/" + file) << "data";
        }
        std::ofstream(server.root() + "/mode.txt") << "m";
        fs::permissions(server.root() + "/mode.txt", fs::perms(0644));
        Site site;
        site.Server = "127.0.0.1";
        site.Port = server.portText();
        site.User = server.user();
        site.Password = server.password();
        site.InitialDir = server.home();
        site.Pasv = 1;
        Adjust(site);
        controller.ConnectToSite(site);
        ASSERT_TRUE(WaitListing(0)) << "connected";
    }

    virtual void Adjust(Site& /*site*/) {}

    // Waits for the listing after `before` listings and everything idle again.
    bool WaitListing(qsizetype before) {
        return ProcessEventsUntil(
            [&] {
                return listings.count() > before && !controller.TransferBusy() &&
                       controller.SessionState() == SessionState::Browsing &&
                       ftp.State() == FtpState::ftpReady;
            },
            15000);
    }
    bool Run(const std::function<bool()>& act) {
        const qsizetype before = listings.count();
        return act() && WaitListing(before);
    }
    bool Logged(const std::string& start) const {
        for (std::size_t i = 0; i < log.Pane().Count(); ++i) {
            if (log.Pane().Line(i).starts_with(start))
                return true;
        }
        return false;
    }
    std::string OnDisk(const std::string& name) const { return server.root() + "/" + name; }

    RealFtpServer server;
    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/";
    Options options;
    session::SessionLog log{folder};
    ScriptedPrompts prompts;
    FtpClient ftp;
    session::SessionController controller{
        ftp, log, prompts, options, std::chrono::year_month_day{2026y, std::chrono::January, 10d}};
    transfer::RemoteOperations ops{
        ftp,     controller, controller.Chain(),
        prompts, options,    std::chrono::year_month_day{2026y, std::chrono::January, 10d}};
    QSignalSpy listings{&controller.RemoteView(), &remote::RemoteView::ItemsReset};
};

TEST_P(RemoteOperationsReal, MakeRenameAndDeleteATreeOnDisk) {
    prompts.inputs.push_back("new folder ü");
    ASSERT_TRUE(Run([&] { return ops.MakeDirectory(); }));
    EXPECT_TRUE(fs::is_directory(OnDisk("new folder ü")));

    prompts.inputs.push_back("renamed ø");
    ASSERT_TRUE(Run([&] { return ops.Rename({"new folder ü", true, ""}); }));
    EXPECT_TRUE(fs::is_directory(OnDisk("renamed ø")));
    EXPECT_FALSE(fs::exists(OnDisk("new folder ü")));

    prompts.yesNo.push_back(true);
    ASSERT_TRUE(Run([&] { return ops.Delete({{kTree, true, ""}, {"mode.txt", false, "1"}}); }));
    EXPECT_EQ(prompts.questions.at(0).text, "Do you wish to remove 1 file(s) and 1 folder(es)");
    EXPECT_FALSE(fs::exists(OnDisk(kTree))) << "the whole tree is gone";
    EXPECT_FALSE(fs::exists(OnDisk("mode.txt")));
    EXPECT_TRUE(fs::is_directory(OnDisk("renamed ø"))) << "what was not selected stays";
    EXPECT_TRUE(Logged("Deleted 5 file(s) and 3 folder(es)"));
    const auto& items = controller.RemoteView().Items();
    EXPECT_TRUE(std::none_of(items.begin(), items.end(), [](const auto& item) {
        return item.caption == kTree;
    })) << "the pane shows the start folder without it";
}

// A shared virtual host names folders from the account's home: the walk must
// not send such a path while the server stands below the home.
class RemoteOperationsVirtualHost : public RemoteOperationsReal {
protected:
    void Adjust(Site& site) override {
        fs::create_directories(OnDisk("pub"));
        fs::rename(OnDisk(kTree), OnDisk("pub/" + kTree));
        site.CheckVHost = 1;
        site.InitialDir = "pub";
    }
};

TEST_P(RemoteOperationsVirtualHost, DeleteATreeFromBelowTheHome) {
    prompts.yesNo.push_back(true);
    ASSERT_TRUE(Run([&] { return ops.Delete({{kTree, true, ""}}); }));
    EXPECT_FALSE(fs::exists(OnDisk("pub/" + kTree))) << "the whole tree is gone";
    EXPECT_TRUE(Logged("Deleted 4 file(s) and 3 folder(es)"));
    EXPECT_FALSE(Logged("Error "));
    EXPECT_EQ(ftp.HostDirName, "pub/") << "named as before the delete";
    EXPECT_TRUE(controller.RemoteView().Items().empty()) << "the start folder, emptied";
}

TEST_P(RemoteOperationsReal, SiteChmodAndACustomCommand) {
    if (server.allowsChmod()) {
        TypedMode editor;
        ASSERT_TRUE(Run([&] { return ops.EditPermissions({{"mode.txt", "-rw-r--r--"}}, editor); }));
        struct stat info {};
        ASSERT_EQ(::stat(OnDisk("mode.txt").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
    }
    ASSERT_TRUE(Run([&] { return ops.SendCommand("STAT"); }));
    EXPECT_TRUE(Logged("> STAT"));
    EXPECT_TRUE(Logged("< 211")) << "the reply is in the log";
}

std::string ServerName(const ::testing::TestParamInfo<RealFtpServer::Kind>& info) {
    return info.param == RealFtpServer::Kind::Vsftpd ? "vsftpd" : "pyftpdlib";
}

INSTANTIATE_TEST_SUITE_P(Servers, RemoteOperationsReal,
                         ::testing::Values(RealFtpServer::Kind::Pyftpdlib,
                                           RealFtpServer::Kind::Vsftpd),
                         ServerName);
INSTANTIATE_TEST_SUITE_P(Servers, RemoteOperationsVirtualHost,
                         ::testing::Values(RealFtpServer::Kind::Pyftpdlib,
                                           RealFtpServer::Kind::Vsftpd),
                         ServerName);

} // namespace
