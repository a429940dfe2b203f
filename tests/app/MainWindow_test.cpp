#include "app/AppTestSupport.h"
#include "app/PaneViews.h"
#include "local/LocalPane.h"
#include "sites/SiteList_widgets.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QSplitter>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <tuple>

namespace {

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
                                  "-rw-r--r-- 1 ftp ftp 99 Jan 10 12:00 remote.bin\r\n");
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

} // namespace
