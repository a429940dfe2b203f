// The remote file operations from the main window: the pane's buttons and the
// menus follow the connection, the selection and a running chain.
#include "app/MainWindow.h"
#include "app/RemoteCommands.h"
#include "sites/SiteFolder.h"
#include "support/EventLoop.h"
#include "support/RealFtpServer.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QPushButton>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using testsupport::ProcessEventsUntil;
using testsupport::RealFtpServer;

class RemoteCommandsTest : public testing::Test {
protected:
    void SetUp() override {
        CORVANE_START_REAL_FTP(server);
        fs::create_directories(server.root() + "/tree/inner");
        std::ofstream(server.root() + "/tree/inner/b.txt") << "b";
        Site site;
        site.Name = "real";
        site.Server = "127.0.0.1";
        site.Port = server.portText();
        site.User = RealFtpServer::User;
        site.Password = RealFtpServer::Password;
        site.Pasv = 1;
        std::ofstream(folder + SiteListFileName) << FormatSiteLine(site) << "\r\n";
        window.Sites().Refresh();
    }
    bool Idle() {
        return ProcessEventsUntil([&] {
            return window.Session().SessionState() == session::SessionState::Browsing &&
                   !window.Session().TransferBusy() && window.Session().EngineReady();
        });
    }
    template <class T>
    T* Find(const char* name) {
        return window.findChild<T*>(name);
    }

    RealFtpServer server;
    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/";
    ScriptedPrompts prompts;
    MainWindow window{folder, &prompts};
};

TEST_F(RemoteCommandsTest, ButtonsAndMenusFollowTheSessionAndTheSelection) {
    auto* makeDir = Find<QPushButton>("bbMakeDir");
    auto* remove = Find<QPushButton>("bbDelete");
    QAction* attributes = Find<QAction>("FileAttributes2");
    QAction* refresh = Find<QAction>("Refresh3");
    ASSERT_TRUE(makeDir && remove && attributes && refresh);
    EXPECT_TRUE(makeDir->isEnabled()) << "the site list's own command";
    EXPECT_FALSE(refresh->isEnabled());

    window.Sites().Model().SelectOnly(0);
    window.ConnectAction()->trigger();
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(makeDir->isEnabled());
    EXPECT_TRUE(refresh->isEnabled());
    EXPECT_FALSE(remove->isEnabled()) << "nothing selected";
    EXPECT_FALSE(attributes->isEnabled());

    window.Session().RemoteView().SetSelection({0});
    EXPECT_TRUE(remove->isEnabled());
    prompts.yesNo.push_back(true);
    remove->click();
    EXPECT_FALSE(makeDir->isEnabled()) << "one chain at a time";
    ASSERT_TRUE(Idle());
    EXPECT_FALSE(fs::exists(server.root() + "/tree"));
    EXPECT_TRUE(makeDir->isEnabled()) << "free again once the last listing is in";

    Find<QAction>("CustomCommand3")->trigger();
    EXPECT_TRUE(Find<QAction>("CustomCommand2")->isChecked()) << "both twins carry the mark";
    EXPECT_FALSE(window.findChild<QWidget*>("pnlCmd")->isHidden());

    prompts.yesNo.push_back(true);
    window.close();
    std::ifstream saved(folder + transfer::CommandsFileName, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "\r\n\r\n") << "saved at shutdown";
}

} // namespace
