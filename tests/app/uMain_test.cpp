#include "app/PaneViews.h"
#include "app/uMain.h"
#include "sites/SiteFolder.h"
#include "sites/SiteList_widgets.h"
#include "support/EventLoop.h"
#include "support/ScriptedFtpServer.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QRect>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>

namespace {

// A widget's rectangle in the coordinates of the main window.
QRect rectIn(const QWidget& window, const QWidget* widget) {
    return QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size());
}

class MainWindowTest : public testing::Test {
protected:
    void showWindow(QSize size) {
        window.resize(size);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/";
    ScriptedPrompts prompts;
    T_Main window{folder, &prompts};
};

TEST_F(MainWindowTest, IsNamedCorvaneAndFindsItsPartsByName) {
    EXPECT_EQ(window.windowTitle(), "Corvane");
    EXPECT_EQ(window.objectName(), "T_Main");
    EXPECT_EQ(window.findChild<QToolBar*>("ToolBar1"), window.toolBar());
    EXPECT_EQ(window.findChild<QWidget*>("LocalPanel"), window.localPane());
    EXPECT_EQ(window.findChild<QWidget*>("RemotePanel"), window.remotePane());
    EXPECT_EQ(window.findChild<QPlainTextEdit*>("Log"), window.logView());
    EXPECT_TRUE(window.logView()->isReadOnly());
}

TEST_F(MainWindowTest, ShowsToolBarPanesSideBySideAndLogBelow) {
    showWindow(QSize(900, 600));

    ASSERT_TRUE(window.toolBar()->isVisible());
    ASSERT_TRUE(window.localPane()->isVisible());
    ASSERT_TRUE(window.remotePane()->isVisible());
    ASSERT_TRUE(window.logView()->isVisible());
    ASSERT_TRUE(window.statusBar()->isVisible());

    const QRect tools = rectIn(window, window.toolBar());
    const QRect local = rectIn(window, window.localPane());
    const QRect remote = rectIn(window, window.remotePane());
    const QRect log = rectIn(window, window.logView());
    const QRect status = rectIn(window, window.statusBar());

    EXPECT_LE(tools.bottom(), local.top());
    EXPECT_LT(local.right(), remote.left());
    EXPECT_EQ(local.top(), remote.top());
    EXPECT_EQ(local.height(), remote.height());
    EXPECT_LT(local.bottom(), log.top());
    EXPECT_LT(log.bottom(), status.top());
    EXPECT_LE(local.left(), log.left());
    EXPECT_GE(remote.right(), log.right());

    // The log takes about a quarter of the height the panes and the log share.
    const double logShare = double(log.height()) / (log.bottom() - local.top());
    EXPECT_GT(logShare, 0.15);
    EXPECT_LT(logShare, 0.35);
}

TEST_F(MainWindowTest, PanesStayEqualWidthWhenTheWindowIsResized) {
    showWindow(QSize(900, 600));
    const QSize sizes[] = {{1200, 800}, {1201, 700}, {640, 480}, {901, 601}};
    for (const QSize size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        window.resize(size);
        QTest::qWait(0);
        const int local = window.localPane()->width();
        const int remote = window.remotePane()->width();
        EXPECT_LE(std::abs(local - remote), 1);
        EXPECT_EQ(local + remote + window.paneSplitter()->handleWidth(),
                  window.paneSplitter()->width());
    }
}

// The enabled state of each named action or button.
std::map<std::string, bool> Enabled(const T_Main& window,
                                    std::initializer_list<const char*> names) {
    std::map<std::string, bool> states;
    for (const char* name : names) {
        if (const auto* action = window.findChild<QAction*>(name))
            states[name] = action->isEnabled();
        else if (const auto* widget = window.findChild<QWidget*>(name))
            states[name] = widget->isEnabled();
        else
            ADD_FAILURE() << "no control named " << name;
    }
    return states;
}

const std::initializer_list<const char*> kCommands = {
    "sbConnect",    "miConnect",    "bbNewServer",  "miNewServer", "bbProperties",
    "Preferences1", "sbDisConnect", "miDisConnect", "sbStop",      "miStop"};

std::map<std::string, bool> Expect(bool connected) {
    std::map<std::string, bool> states;
    for (const char* name : kCommands) {
        const std::string n = name;
        const bool needsConnection =
            n.find("DisConnect") != std::string::npos || n.find("Stop") != std::string::npos;
        states[n] = needsConnection == connected;
    }
    return states;
}

TEST_F(MainWindowTest, StartsOnTheSiteListWithDefaultsAndConnectionCommandsOff) {
    EXPECT_EQ(window.remoteStack()->currentIndex(), 0);
    EXPECT_EQ(window.remoteCaption()->text(), "FTP Servers");
    EXPECT_FALSE(window.sessionLog().Logging());
    EXPECT_EQ(window.TransferTypeMode(), T_Main::Auto);
    EXPECT_TRUE(window.findChild<QAction*>("miAuto")->isChecked());
    EXPECT_FALSE(window.findChild<QAction*>("miAscii")->isChecked());
    EXPECT_FALSE(window.findChild<QAction*>("miBinary")->isChecked());
    EXPECT_EQ(Enabled(window, kCommands), Expect(false));
    EXPECT_FALSE(window.findChild<QAction*>("miServerProperties")->isEnabled())
        << "no site is selected";
    EXPECT_EQ(window.ftp().Timeout, 15) << "the options' time-out reaches the engine";
}

TEST(MainWindowStart, StoredPaneFontsAreApplied) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    std::ofstream(folder + "options.ftp")
        << "[Font Right]\r\nName=DejaVu Serif\r\nStyle_Italic=1\r\n"
        << "[Common]\r\nTimeOut=40\r\n";
    ScriptedPrompts prompts;
    T_Main window(folder, &prompts);
    EXPECT_EQ(window.remoteViews()->font().family(), "DejaVu Serif");
    EXPECT_TRUE(window.remoteViews()->font().italic());
    EXPECT_EQ(window.siteListView()->font().family(), "DejaVu Serif");
    EXPECT_FALSE(window.localViews()->font().italic());
    EXPECT_EQ(window.ftp().Timeout, 40);
}

TEST_F(MainWindowTest, QuitAsksAndNoKeepsTheProgramRunning) {
    showWindow(QSize(900, 600));
    prompts.yesNo = {false};
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0].caption, "Attention");
    EXPECT_EQ(prompts.questions[0].text, "Do you want to quit the program?");
    EXPECT_FALSE(std::filesystem::exists(folder + "options.ftp")) << "nothing saved on No";

    prompts.yesNo = {true};
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(std::filesystem::exists(folder + "options.ftp")) << "the options are saved";
}

// Plays a login and a listing of one folder and one file at "/".
void ScriptLoginAndListing(testsupport::ScriptedFtpServer& server) {
    server.send("220 ready\r\n")
        .reply("331 Password required\r\n")
        .reply("230 Logged in\r\n")
        .reply("215 UNIX Type: L8\r\n")
        .reply("257 \"/\"\r\n")
        .reply("200 Type set to A\r\n")
        .replyPasv()
        .acceptData()
        .reply("150 Listing\r\n")
        .sendData("drwxr-xr-x 2 ftp ftp 4096 Jan 10 12:00 pub\r\n"
                  "-rw-r--r-- 1 ftp ftp 12 Jan 10 12:00 a file.txt\r\n")
        .closeData()
        .send("226 Done\r\n");
}

// Saves the one site of the root folder, pointing at `server`, and shows it.
void SaveLoopbackSite(T_Main& window, const std::string& folder,
                      const testsupport::ScriptedFtpServer& server) {
    TFTPServerInfo site;
    site.Name = "loopback";
    site.Server = "127.0.0.1";
    site.Port = server.portText();
    site.User = "anna";
    site.Password = "pw";
    site.Pasv = 1;
    std::ofstream(folder + SiteListFileName) << FormatSiteLine(site) << "\r\n";
    window.sites().Refresh();
}

bool WaitForState(T_Main& window, session::TSessionState state) {
    return testsupport::ProcessEventsUntil(
        [&] { return window.session().SessionState() == state; });
}

TEST_F(MainWindowTest, ConnectsToASavedSiteBrowsesAndReturnsToTheSiteList) {
    testsupport::ScriptedFtpServer server;
    ScriptLoginAndListing(server);
    server.start();
    SaveLoopbackSite(window, folder, server);
    showWindow(QSize(900, 600));
    ASSERT_EQ(window.sites().Model().Count(), 1);
    window.sites().Model().SelectOnly(0);
    EXPECT_TRUE(window.findChild<QAction*>("miServerProperties")->isEnabled());

    window.connectAction()->trigger();
    ASSERT_TRUE(WaitForState(window, session::TSessionState::Browsing)) << server.failure();
    EXPECT_EQ(window.remoteStack()->currentIndex(), 1);
    EXPECT_EQ(window.remoteCaption()->text(), "127.0.0.1");
    EXPECT_EQ(window.remoteList()->model()->rowCount(), 2);
    EXPECT_EQ(window.remoteList()->model()->index(0, 0).data().toString(), "pub");
    EXPECT_EQ(window.remotePath()->currentText(), "127.0.0.1");
    EXPECT_EQ(Enabled(window, kCommands), Expect(true));
    EXPECT_TRUE(window.logView()->toPlainText().contains("> PASS ****"));
    EXPECT_FALSE(window.logView()->toPlainText().contains("PASS pw"));

    window.disconnectAction()->trigger();
    ASSERT_TRUE(WaitForState(window, session::TSessionState::Idle));
    EXPECT_EQ(window.remoteStack()->currentIndex(), 0);
    EXPECT_EQ(window.remoteCaption()->text(), "FTP Servers");
    EXPECT_EQ(window.sites().Model().Count(), 1) << "the site folder is shown again";
    EXPECT_EQ(window.sites().Model().Selected(), 0) << "with the site just left chosen";
    EXPECT_EQ(Enabled(window, kCommands), Expect(false));
}

TEST_F(MainWindowTest, ViewStylesSwitchBetweenIconsAndDetailsKeepingTheModel) {
    showWindow(QSize(900, 600));
    TPaneViews* remote = window.remoteViews();
    EXPECT_EQ(remote->currentWidget(), window.remoteList()) << "details at start";
    const std::pair<const char*, QListView::ViewMode> rows[] = {
        {"LargeIcons2", QListView::IconMode},
        {"SmallIcons2", QListView::IconMode},
        {"List2", QListView::ListMode},
    };
    for (const auto& [name, mode] : rows) {
        SCOPED_TRACE(name);
        window.findChild<QAction*>(name)->trigger();
        EXPECT_EQ(remote->currentWidget(), remote->icons());
        EXPECT_EQ(remote->icons()->viewMode(), mode);
        EXPECT_EQ(window.siteListView()->listView()->viewMode(), mode) << "the site list follows";
        EXPECT_EQ(remote->icons()->model(), window.remoteList()->model());
        EXPECT_EQ(remote->icons()->selectionModel(), window.remoteList()->selectionModel());
    }
    window.findChild<QAction*>("Details2")->trigger();
    EXPECT_EQ(remote->currentWidget(), window.remoteList());
    EXPECT_EQ(window.localViews()->ViewStyle(), TPaneViews::Details)
        << "the other pane keeps its own";
    window.findChild<QAction*>("SmallIcons1")->trigger();
    EXPECT_EQ(window.localViews()->currentWidget(), window.localViews()->icons());
}

TEST(MainWindowLife, QuittingWhileConnectedClosesTheConnection) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    ScriptedPrompts prompts;
    testsupport::ScriptedFtpServer server;
    ScriptLoginAndListing(server);
    server.waitClientClose().start();
    {
        T_Main window(folder, &prompts);
        SaveLoopbackSite(window, folder, server);
        window.sites().Model().SelectOnly(0);
        window.sbConnectClick();
        ASSERT_TRUE(WaitForState(window, session::TSessionState::Browsing)) << server.failure();
        prompts.yesNo = {true};
        EXPECT_TRUE(window.close());
    }
    ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return server.finished(); }))
        << server.failure();
    EXPECT_TRUE(std::filesystem::exists(folder + "options.ftp"));
}

} // namespace
