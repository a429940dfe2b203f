#include "app/AppTestSupport.h"
#include "app/PaneViews.h"
#include "app/QuickConnectBar.h"
#include "app/SessionNotice.h"
#include "local/LocalPane.h"
#include "sites/SiteList_widgets.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <tuple>

namespace {

using testsupport::ScriptedFtpServer;

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
    MainWindow window{folder, &prompts};
};

TEST(MainWindowStart, StoredPaneFontsAreApplied) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    std::ofstream(folder + "options.ftp")
        << "[Font Right]\r\nName=DejaVu Serif\r\nStyle_Italic=1\r\n"
        << "[Common]\r\nTimeOut=40\r\n";
    ScriptedPrompts prompts;
    MainWindow window(folder, &prompts);
    EXPECT_EQ(window.RemoteViews()->font().family(), "DejaVu Serif");
    EXPECT_TRUE(window.RemoteViews()->font().italic());
    EXPECT_EQ(window.SiteListView()->font().family(), "DejaVu Serif");
    EXPECT_FALSE(window.LocalViews()->font().italic());
    EXPECT_EQ(window.Engine().Timeout, 40);
}

// The names of the selected rows of a pane's list, in row order.
std::vector<std::string> SelectedNames(QTreeView* list) {
    std::vector<std::string> names;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        if (list->selectionModel()->isRowSelected(row, {}))
            names.push_back(list->model()->index(row, 0).data().toString().toStdString());
    }
    return names;
}

// Connected, Compare, Select and Sort work on both panes.
TEST_F(MainWindowTest, StartsOnTheSiteListConnectsToASavedSiteBrowsesAndReturns) {
    QTemporaryDir localDir;
    const std::string local = localDir.path().toStdString();
    std::ofstream(local + "/a file.txt") << "twelve bytes";
    std::ofstream(local + "/only here") << "x";
    window.Local().SetFolder(local);
    testsupport::ScriptedFtpServer server;
    ScriptLoginAndListing(server, "drwxr-xr-x 2 ftp ftp 4096 Jan 10 12:00 pub\r\n"
                                  "-rw-r--r-- 1 ftp ftp 12 Jan 10 12:00 a file.txt\r\n"
                                  "-rw-r--r-- 1 ftp ftp 99 Jan 10 12:00 remote.bin\r\n")
        .reply("200 Type set to I\r\n")
        .replyPasv()
        .acceptData()
        .reply("150 Opening remote.bin\r\n")
        .receiveDataUntilClose() // the server stalls until the client cuts
        .send("426 Aborted\r\n");
    server.start();
    showWindow(QSize(900, 600));
    EXPECT_EQ(window.RemoteStack()->currentIndex(), 0);

    SaveSite(window, folder, LoopbackSite(server.portText()));
    ASSERT_EQ(window.Sites().Model().Count(), 1);
    window.Sites().Model().SelectOnly(0);
    EXPECT_FALSE(window.CompareAction()->isEnabled()) << "not connected";

    window.ConnectAction()->trigger();
    ASSERT_TRUE(WaitForState(window, session::SessionState::Browsing)) << server.failure();
    EXPECT_EQ(window.RemoteStack()->currentIndex(), 1);
    EXPECT_EQ(window.RemoteCaption()->text(), "127.0.0.1");
    QTreeView* list = window.RemoteList();
    EXPECT_EQ(list->model()->rowCount(), 3);
    EXPECT_EQ(list->model()->index(0, 0).data().toString(), "pub");
    EXPECT_FALSE(list->model()->index(0, 0).data(Qt::DecorationRole).isNull());
    EXPECT_EQ(list->model()->index(1, 1).data().toString(), "12") << "the size column";
    const QFontMetrics metrics = list->fontMetrics();
    EXPECT_EQ(list->columnWidth(0), std::max(metrics.horizontalAdvance("a file.txt"),
                                             metrics.horizontalAdvance("remote.bin")) +
                                        30)
        << "as wide as the widest name";
    EXPECT_EQ(window.RemotePath()->currentText(), "127.0.0.1");

    ASSERT_TRUE(window.CompareAction()->isEnabled());
    window.CompareAction()->trigger();
    EXPECT_EQ(SelectedNames(window.LocalList()), std::vector<std::string>{"only here"});
    EXPECT_EQ(SelectedNames(window.RemoteList()), (std::vector<std::string>{"pub", "remote.bin"}));
    window.findChild<QAction*>("Invert4")->trigger();
    EXPECT_EQ(SelectedNames(window.RemoteList()), std::vector<std::string>{"a file.txt"});
    prompts.inputs = {std::string("*.bin")};
    window.findChild<QAction*>("Mask4")->trigger();
    EXPECT_EQ(prompts.asked.at(0).Caption, "FTP Filter");
    EXPECT_EQ(window.Session().RemoteView().Filter(), "*.bin") << "the next listing's filter";
    EXPECT_EQ(SelectedNames(list), (std::vector<std::string>{"a file.txt", "remote.bin"}));
    const QLabel* summary = window.findChild<QLabel*>("Summary");
    EXPECT_EQ(summary->text(), "111 byte (0.11 Kb) in 2 file(s)");
    window.findChild<QAction*>("Bysize6")->trigger();
    EXPECT_EQ(list->model()->index(1, 0).data().toString(), "a file.txt")
        << "smallest file first after one click";
    emit list->header()->sectionClicked(1); // "Size" again: largest first
    EXPECT_EQ(list->model()->index(1, 0).data().toString(), "remote.bin");
    EXPECT_EQ(SelectedNames(list), (std::vector<std::string>{"remote.bin", "a file.txt"}))
        << "the selection moves with its rows";
    emit list->header()->sectionClicked(5);
    EXPECT_EQ(window.Session().RemoteView().SortKey(), 0) << "\"Links\" does not sort";
    list->selectionModel()->clearSelection();
    EXPECT_TRUE(summary->isHidden());

    // The progress window's Cancel cuts a download the server stalls after 150.
    const auto& items = window.Session().RemoteView().Items();
    window.Session().RemoteView().SetSelection(
        {static_cast<int>(std::find_if(items.begin(), items.end(),
                                       [](const auto& i) { return i.caption == "remote.bin"; }) -
                          items.begin())});
    window.findChild<QAction*>("DownloadSelectedFiles1")->trigger();
    ASSERT_TRUE(testsupport::ProcessEventsUntil(
        [&] { return window.Log().Pane().Text().find("< 150 Opening") != std::string::npos; }));
    window.findChild<QPushButton*>("CancelBtn1")->click();
    ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return !window.Session().TransferBusy(); }))
        << server.failure();
    EXPECT_NE(window.Log().Pane().Text().find("Transfer of remote.bin incomplete"),
              std::string::npos);
    EXPECT_EQ(window.Session().SessionState(), session::SessionState::Browsing);

    window.DisconnectAction()->trigger();
    ASSERT_TRUE(WaitForState(window, session::SessionState::Idle));
    EXPECT_EQ(window.RemoteStack()->currentIndex(), 0);
    EXPECT_EQ(window.RemoteCaption()->text(), "FTP Servers");
    EXPECT_EQ(window.Sites().Model().Count(), 1) << "the site folder is shown again";
    EXPECT_EQ(window.Sites().Model().Selected(), 0) << "with the site just left chosen";
}

// Every style shares the model and selection, the site list follows, and
// back in details the site list looks as it did.
TEST_F(MainWindowTest, ViewStylesSwitchBetweenIconsAndDetailsKeepingTheModel) {
    std::ofstream(folder + SiteListFileName) << "DIR=archive\r\nName=one;\r\nName=two;\r\n";
    window.Sites().Refresh();
    showWindow(QSize(900, 600));
    PaneViews* remote = window.RemoteViews();
    QListView* sites = window.SiteListView()->ListView();
    ASSERT_EQ(sites->model()->rowCount(), 3);
    const auto look = [sites] {
        return std::tuple(sites->viewMode(), sites->flow(), sites->isWrapping(), sites->movement(),
                          sites->iconSize(), sites->visualRect(sites->model()->index(0, 0)),
                          sites->visualRect(sites->model()->index(1, 0)));
    };
    const auto before = look();
    const QRect first = std::get<5>(before), second = std::get<6>(before);
    EXPECT_GE(second.top(), first.bottom()) << "one row under the next";
    EXPECT_LT(first.height(), sites->viewport()->height() / 4) << "no full-height rows";
    const std::pair<const char*, QListView::ViewMode> rows[] = {
        {"LargeIcons2", QListView::IconMode},
        {"List2", QListView::ListMode},
    };
    for (const auto& [name, mode] : rows) {
        SCOPED_TRACE(name);
        window.findChild<QAction*>(name)->trigger();
        EXPECT_EQ(remote->currentWidget(), remote->IconView());
        EXPECT_EQ(remote->IconView()->viewMode(), mode);
        EXPECT_EQ(sites->viewMode(), mode) << "the site list follows";
        EXPECT_EQ(remote->IconView()->model(), window.RemoteList()->model());
        EXPECT_EQ(remote->IconView()->selectionModel(), window.RemoteList()->selectionModel());
        window.findChild<QAction*>("Details2")->trigger();
        QApplication::processEvents();
        EXPECT_EQ(remote->currentWidget(), window.RemoteList());
        EXPECT_TRUE(look() == before);
    }
    EXPECT_EQ(window.LocalViews()->ViewStyle(), PaneViews::Details)
        << "the other pane keeps its own";
    window.findChild<QAction*>("SmallIcons1")->trigger();
    EXPECT_EQ(window.LocalViews()->currentWidget(), window.LocalViews()->IconView());
}

// Quitting is asked; Yes closes the connection and saves the options, and
// the window comes back as it was left.
TEST(MainWindowLife, QuitIsAskedAndTheWindowComesBackAsItWasLeft) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    const std::string last = folder + "last folder";
    std::filesystem::create_directory(last);
    ScriptedPrompts prompts;
    testsupport::ScriptedFtpServer server;
    ScriptLoginAndListing(server).waitClientClose().start();
    QList<int> panes, log;
    int nameWidth = 0;
    {
        MainWindow window(folder, &prompts);
        SaveSite(window, folder, LoopbackSite(server.portText()));
        window.Sites().Model().SelectOnly(0);
        window.ConnectToSelectedSite();
        ASSERT_TRUE(WaitForState(window, session::SessionState::Browsing)) << server.failure();
        window.resize(1000, 700);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.PaneSplitter()->setSizes({300, 690});
        window.LogSplitter()->setSizes({420, 200});
        window.LocalList()->setColumnWidth(0, 233);
        window.Local().SetFolder(last);
        panes = window.PaneSplitter()->sizes();
        log = window.LogSplitter()->sizes();
        nameWidth = window.LocalList()->columnWidth(0);
        prompts.yesNo = {false, true};
        EXPECT_FALSE(window.close()) << "quitting is asked; No keeps the program running";
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.Session().SessionState(), session::SessionState::Browsing);
        EXPECT_FALSE(std::filesystem::exists(folder + "options.ftp")) << "nothing saved on No";
        EXPECT_TRUE(window.close());
        EXPECT_EQ(prompts.questions.size(), 2u);
    }
    ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return server.finished(); }))
        << server.failure();
    MainWindow again(folder, &prompts);
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    EXPECT_EQ(again.size(), QSize(1000, 700));
    EXPECT_EQ(again.PaneSplitter()->sizes(), panes);
    EXPECT_EQ(again.LogSplitter()->sizes(), log);
    EXPECT_EQ(again.LocalList()->columnWidth(0), nameWidth);
    EXPECT_EQ(again.Local().Folder(), last);
    prompts.yesNo = {true};
    again.close();
}

Site NoticeSite(const std::string& port, bool savePassword) {
    Site site = LoopbackSite(port);
    site.SavePassword = savePassword ? 1 : 0;
    return site;
}

// The notice above the right pane: a failed connect or login is told where the
// eye is, a typed password refused with 530 may be typed again. What each
// failure says is the session's (SessionStatus_test); here the window shows it.
TEST_F(MainWindowTest, FailuresAreToldAndATypedPasswordMayBeTypedAgain) {
    prompts.inputs = {"mistyped", "right"};
    SessionNotice* notice = window.Notice();
    window.Session().ConnectToSite(
        NoticeSite(std::to_string(ScriptedFtpServer::FreeClosedPort()), true));
    EXPECT_TRUE(notice->isHidden()) << "nothing shown while connecting";
    ASSERT_TRUE(WaitForState(window, session::SessionState::Idle));
    EXPECT_FALSE(notice->isHidden());
    EXPECT_TRUE(notice->Text().contains("the connection was refused"))
        << notice->Text().toStdString();
    EXPECT_TRUE(notice->RetryButton()->isHidden()) << "nothing to type again";
    notice->CloseButton()->click();
    EXPECT_TRUE(notice->isHidden());

    ScriptedFtpServer server;
    server.send("220 ready\r\n")
        .reply("331 Password required\r\n")
        .reply("530 Login incorrect.\r\n");
    ScriptLoginAndListing(server.accept());
    server.start();
    window.Session().ConnectToSite(NoticeSite(server.portText(), false));
    ASSERT_TRUE(WaitForState(window, session::SessionState::Idle)) << server.failure();
    EXPECT_FALSE(notice->isHidden()) << "shown again after it was dismissed";
    EXPECT_TRUE(notice->Text().contains("did not accept"));
    ASSERT_FALSE(notice->RetryButton()->isHidden());
    notice->RetryButton()->click();
    ASSERT_TRUE(WaitForState(window, session::SessionState::Browsing)) << server.failure();
    EXPECT_TRUE(notice->isHidden());
    EXPECT_EQ(prompts.asked.size(), 2u) << "the password is asked again";
    EXPECT_TRUE(Sent(server, "PASS mistyped"));
    EXPECT_TRUE(Sent(server, "PASS right"));
}

// The quick-connect bar against the scripted server: a one-off session as
// for a saved site, the entries remembered for the next start (the password
// only when asked), and "Save as site" into the open site folder.
TEST(QuickConnect, ConnectsRemembersAndSavesAsSite) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    ScriptedPrompts prompts;
    ScriptedFtpServer server;
    // A new site asks for TLS if the server offers it; this one does not.
    ScriptLoginAndListing(server, "-rw-r--r-- 1 ftp ftp 12 Jan 10 12:00 a.txt\r\n",
                          "502 Command not implemented\r\n");
    server.start();
    {
        MainWindow window(folder, &prompts);
        QuickConnectBar* bar = window.QuickBar();
        bar->ConnectButton()->click();
        ASSERT_EQ(prompts.messages.size(), 1u) << "no host: told, nothing started";
        EXPECT_EQ(window.Session().SessionState(), session::SessionState::Idle);

        QTest::keyClicks(bar->Host(), "127.0.0.1");
        QTest::keyClicks(bar->User(), "anna");
        QTest::keyClicks(bar->Password(), "pw");
        QTest::keyClicks(bar->Port(), QString::fromStdString(server.portText()));
        QTest::keyClick(bar->Password(), Qt::Key_Return);
        ASSERT_TRUE(WaitForState(window, session::SessionState::Browsing)) << server.failure();
        EXPECT_TRUE(Sent(server, "USER anna")) << "in plain, as the server offers no TLS";
        EXPECT_TRUE(Sent(server, "PASS pw"));
        EXPECT_EQ(window.RemoteList()->model()->rowCount(), 1);
        EXPECT_FALSE(bar->ConnectButton()->isEnabled()) << "one session at a time";

        bar->SaveButton()->click();
        const SiteListModel& sites = window.Sites().Model();
        ASSERT_EQ(sites.Count(), 1);
        const Site& saved = sites.Entry(0).Site;
        EXPECT_EQ(saved.Name, "127.0.0.1");
        EXPECT_EQ(saved.Port, server.portText());
        EXPECT_EQ(saved.User, "anna");
        EXPECT_EQ(saved.Password, "") << "not asked to keep the password";
        emit window.RemotePath()->activated(0); // "SERVER LIST ..." leaves the server
        ASSERT_TRUE(WaitForState(window, session::SessionState::Idle));
        EXPECT_TRUE(bar->ConnectButton()->isEnabled());
    }
    MainWindow again(folder, &prompts);
    QuickConnectBar* bar = again.QuickBar();
    EXPECT_EQ(bar->Host()->text(), "127.0.0.1");
    EXPECT_EQ(bar->User()->text(), "anna");
    EXPECT_EQ(bar->Port()->text(), QString::fromStdString(server.portText()));
    EXPECT_EQ(bar->Password()->text(), "") << "never the password unless asked";
    EXPECT_EQ(again.Sites().Model().Count(), 1) << "the saved site is in the file";
}

} // namespace
