#include "remote/RemoteView_widgets.h"
#include "remote/ScriptedRemoteSession.h"

#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTemporaryDir>
#include <QTreeView>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace remote;
using namespace std::chrono_literals;

QString Cell(const QTreeView& list, int row, int column) {
    return list.model()->index(row, column).data().toString();
}

class RemoteViewWidgetsTest : public testing::Test {
protected:
    RemoteViewWidgetsTest() : view(session, {2003y, std::chrono::June, 15d}, [] { return 2003; }) {
        session.hostName = "localhost";
        session.hostDir = "/pub/a/";
        window.resize(640, 400);
        list = new QTreeView(&window);
        list->setObjectName(QStringLiteral("FTPView"));
        list->setGeometry(0, 30, 640, 340);
        pathBox = new QComboBox(&window);
        summary = new QLabel(&window);
        binding = new RemoteViewBinding(view, list, pathBox, summary);
        window.show();
        const std::string file = folder.filePath(QStringLiteral("FTPDIR1.TXT")).toStdString();
        std::ofstream(file, std::ios::binary)
            << "drwxr-xr-x 2 u g 4096 Mar 15 12:34 sub\r\n"
            << "-rw-r--r-- 1 u g 2048 Mar 15 12:34 b.txt\r\n"
            << "-rw-r--r-- 1 u g 1024 Mar 15 2003 a longer name.txt\r\n";
        view.ShowListing(file);
    }

    QTemporaryDir folder;
    ScriptedSession session;
    RemoteView view;
    QWidget window;
    QTreeView* list = nullptr;
    QComboBox* pathBox = nullptr;
    QLabel* summary = nullptr;
    RemoteViewBinding* binding = nullptr;
};

TEST_F(RemoteViewWidgetsTest, ListShowsTheItemsInColumns) {
    ASSERT_EQ(list->model()->rowCount(), 3);
    ASSERT_EQ(list->model()->columnCount(), 6);
    EXPECT_EQ(Cell(*list, 0, 0), QStringLiteral("sub"));
    EXPECT_EQ(Cell(*list, 0, 1), QString());
    EXPECT_EQ(Cell(*list, 1, 0), QStringLiteral("a longer name.txt"));
    EXPECT_EQ(Cell(*list, 1, 2), QStringLiteral("15.03.2003"));
    EXPECT_EQ(Cell(*list, 2, 1), QStringLiteral("2048"));
    EXPECT_FALSE(list->model()->index(0, 0).data(Qt::DecorationRole).isNull());
    const int widest = list->fontMetrics().horizontalAdvance(QStringLiteral("a longer name.txt"));
    EXPECT_EQ(list->columnWidth(0), widest + 30);

    EXPECT_EQ(pathBox->count(), 4);
    EXPECT_EQ(pathBox->currentText(), QStringLiteral("a"));
}

TEST_F(RemoteViewWidgetsTest, HeaderClickSortsAndKeepsTheSelection) {
    list->selectionModel()->select(list->model()->index(1, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_TRUE(!summary->isHidden());
    EXPECT_EQ(summary->text(), QStringLiteral("1024 byte (1.00 Kb) in 1 file(s)"));

    emit list->header()->sectionClicked(1); // "Size": smallest first
    EXPECT_EQ(view.SortKey(), -2);
    EXPECT_EQ(Cell(*list, 1, 0), QStringLiteral("a longer name.txt"));
    emit list->header()->sectionClicked(1); // largest first
    EXPECT_EQ(Cell(*list, 1, 0), QStringLiteral("b.txt"));
    const QModelIndexList selected = list->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected[0].data().toString(), QStringLiteral("a longer name.txt"));
    EXPECT_TRUE(view.Items()[2].selected);

    emit list->header()->sectionClicked(5); // "Links" does not sort
    EXPECT_EQ(view.SortKey(), 0);

    list->selectionModel()->clearSelection();
    EXPECT_TRUE(summary->isHidden());
}

TEST_F(RemoteViewWidgetsTest, PathBoxChoiceChangesDirectory) {
    emit pathBox->activated(2);
    EXPECT_EQ(session.requests, std::vector<std::string>{"CWD /pub"});
    EXPECT_FALSE(pathBox->isEnabled());
    EXPECT_EQ(pathBox->currentIndex(), 2);
}

} // namespace
