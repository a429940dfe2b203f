#include "app/AppTestSupport.h"
#include "app/MainWindow.h"
#include "sites/SiteFolder.h"
#include "support/EventLoop.h"
#include "support/ScriptedFtpServer.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QTreeView>
#include <fstream>
#include <gtest/gtest.h>

namespace {

// The names of the selected rows of a pane's list, in row order.
std::vector<std::string> SelectedNames(QTreeView* list) {
    std::vector<std::string> names;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        const QModelIndex index = list->model()->index(row, 0);
        if (list->selectionModel()->isRowSelected(row, {}))
            names.push_back(index.data().toString().toStdString());
    }
    return names;
}

TEST(MainWindowPanes, CompareSelectAndSortWorkOnBothPanesWhileConnected) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    QTemporaryDir localDir;
    const std::string local = localDir.path().toStdString();
    std::ofstream(local + "/a file.txt") << "twelve bytes";
    std::ofstream(local + "/only here") << "x";
    ScriptedPrompts prompts;
    MainWindow window(folder, &prompts);
    window.Local().SetFolder(local);

    testsupport::ScriptedFtpServer server;
    ScriptLoginAndListing(server, "drwxr-xr-x 2 ftp ftp 4096 Jan 10 12:00 pub\r\n"
                                  "-rw-r--r-- 1 ftp ftp 12 Jan 10 12:00 a file.txt\r\n"
                                  "-rw-r--r-- 1 ftp ftp 99 Jan 10 12:00 remote.bin\r\n");
    server.start();
    SaveLoopbackSite(window, folder, server);
    window.Sites().Model().SelectOnly(0);
    EXPECT_FALSE(window.CompareAction()->isEnabled()) << "not connected";

    window.ConnectAction()->trigger();
    ASSERT_TRUE(testsupport::ProcessEventsUntil([&] {
        return window.Session().SessionState() == session::SessionState::Browsing;
    })) << server.failure();
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
    EXPECT_EQ(SelectedNames(window.RemoteList()),
              (std::vector<std::string>{"a file.txt", "remote.bin"}));

    window.findChild<QAction*>("Bysize6")->trigger();
    EXPECT_EQ(window.RemoteList()->model()->index(1, 0).data().toString(), "a file.txt")
        << "smallest file first after one click";
    EXPECT_EQ(SelectedNames(window.RemoteList()),
              (std::vector<std::string>{"a file.txt", "remote.bin"}))
        << "the selection moves with its rows";
}

} // namespace
