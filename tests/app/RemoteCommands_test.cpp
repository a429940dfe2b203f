// The remote file operations from the main window: the pane's buttons and the
// menus follow the connection, the selection and a running chain.
#include "app/AppTestSupport.h"
#include "app/RemoteCommands.h"

#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

using RemoteCommandsTest = RealServerWindowTest;

TEST_F(RemoteCommandsTest, ButtonsAndMenusFollowTheSessionAndTheSelection) {
    auto* makeDir = Find<QPushButton>("bbMakeDir");
    auto* remove = Find<QPushButton>("bbDelete");
    QAction* attributes = Find<QAction>("FileAttributes2");
    QAction* refresh = Find<QAction>("Refresh3");
    ASSERT_TRUE(makeDir && remove && attributes && refresh);
    EXPECT_TRUE(makeDir->isEnabled()) << "the site list's own command";
    EXPECT_FALSE(refresh->isEnabled());

    fs::create_directories(server.root() + "/tree/inner");
    std::ofstream(server.root() + "/tree/inner/b.txt") << "b";
    Connect();
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
