// The usual keys: each command has its key, shown in the menus, and a pane's
// keys act on the pane that has the focus. Header clicks show the sort arrow.
#include "app/MainWindow.h"
#include "app/PaneViews.h"
#include "local/LocalPane.h"
#include "sites/SiteFolder.h"
#include "sites/SiteList_widgets.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QHeaderView>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <vector>

namespace {

class KeysTest : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(folder + "local");
        std::ofstream(folder + "local/a.txt") << "a";
        std::ofstream(folder + SiteListFileName) << "Name=one;\r\nName=two;\r\n";
        window.Sites().Refresh();
        window.Local().SetFolder(folder + "local");
        window.resize(900, 600);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/";
    ScriptedPrompts prompts;
    MainWindow window{folder, &prompts};
};

TEST_F(KeysTest, EachCommandHasItsKey) {
    const struct {
        QKeySequence key;
        std::vector<const char*> actions;
    } rows[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_Q), {"Exit1"}},
        {QKeySequence(Qt::CTRL | Qt::Key_N), {"miNewServer"}},
        {QKeySequence(Qt::CTRL | Qt::Key_Comma), {"Preferences1"}},
        {QKeySequence(Qt::Key_F1), {"Contents1"}},
        {QKeySequence(Qt::Key_F5), {"Refresh1", "Refresh2", "pmSiteRefresh"}},
        {QKeySequence(Qt::Key_Delete),
         {"Delete1", "Delete2", "DeleteServerDirFile2", "pmSiteDelete"}},
        {QKeySequence(Qt::Key_F2), {"Rename1", "Rename2", "pmSiteRename"}},
        {QKeySequence(Qt::Key_Return), {"OpenEntry1", "RemoteOpenKey", "pmSiteOpen"}},
        {QKeySequence(Qt::Key_Backspace), {"SpeedButton4"}},
        {QKeySequence(Qt::ALT | Qt::Key_Up), {"SpeedButton4", "RemoteUpKey", "pmSiteUp"}},
        {QKeySequence(Qt::CTRL | Qt::Key_A), {"All1", "All4"}},
    };
    for (const auto& row : rows) {
        for (const char* name : row.actions) {
            SCOPED_TRACE(name);
            auto* action = window.findChild<QAction*>(name);
            ASSERT_NE(action, nullptr);
            EXPECT_TRUE(action->shortcuts().contains(row.key))
                << action->shortcut().toString().toStdString();
        }
    }
}

TEST_F(KeysTest, APaneKeyActsOnThePaneWithTheFocus) {
    struct Row {
        const char* name;
        QWidget* focus;
        QKeyCombination key;
        std::size_t questions, inputs, preferences; // what was asked afterwards
    };
    QListView* sites = window.SiteListView()->ListView();
    const Row rows[] = {
        {"Delete in the site list asks about the site", sites, Qt::Key_Delete, 1, 0, 0},
        {"F2 in the local list renames there", window.LocalList(), Qt::Key_F2, 0, 1, 0},
        {"Delete in the local list asks there", window.LocalList(), Qt::Key_Delete, 1, 0, 0},
        {"Ctrl+, opens the preferences anywhere", window.LocalList(), Qt::CTRL | Qt::Key_Comma, 0,
         0, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        prompts.questions.clear();
        prompts.asked.clear();
        prompts.shown.clear();
        prompts.yesNo = {false};
        prompts.inputs = {std::nullopt};
        prompts.options = {{{}, false}};
        window.Sites().Model().SelectOnly(0);
        // The file is the last row, after the folders.
        QAbstractItemModel* local = window.LocalList()->model();
        window.LocalList()->setCurrentIndex(local->index(local->rowCount() - 1, 0));
        row.focus->setFocus();
        QTest::keyClick(row.focus, row.key.key(), row.key.keyboardModifiers());
        EXPECT_EQ(prompts.questions.size(), row.questions);
        EXPECT_EQ(prompts.asked.size(), row.inputs);
        EXPECT_EQ(prompts.shown.size(), row.preferences);
    }
    EXPECT_EQ(window.Sites().Model().Count(), 2) << "every question was answered No";
}

TEST_F(KeysTest, HeaderClicksShowTheSortArrow) {
    QHeaderView* header = window.LocalList()->header();
    const int sizeColumn = 1;
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(sizeColumn) + 5, header->height() / 2));
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), sizeColumn);
    const Qt::SortOrder first = header->sortIndicatorOrder();
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(sizeColumn) + 5, header->height() / 2));
    EXPECT_NE(header->sortIndicatorOrder(), first) << "a second click turns the arrow";
}

} // namespace
