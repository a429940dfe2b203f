// A pane's keys act on the pane that has the focus, F1 shows the guide; header
// clicks show the sort arrow; the local list's commands follow its current entry.
#include "app/HelpWindow.h"
#include "app/MainWindow.h"
#include "app/PaneViews.h"
#include "local/LocalPane.h"
#include "sites/SiteFolder.h"
#include "sites/SiteList_widgets.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

class KeysTest : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(folder + "local/sub");
        std::ofstream(folder + "local/a.txt") << std::string(1024, 'a');
        std::ofstream(folder + "local/b.txt") << std::string(512, 'b');
        std::ofstream(folder + SiteListFileName) << "Name=one;\r\nName=two;\r\n";
        window.Sites().Refresh();
        window.Local().SetFolder(folder + "local");
        window.resize(900, 600);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    QAction* Action(const char* name) const { return window.findChild<QAction*>(name); }
    int LocalRow(const std::string& caption) {
        const auto& items = window.Local().Items();
        for (std::size_t row = 0; row < items.size(); ++row) {
            if (items[row].caption == caption)
                return static_cast<int>(row);
        }
        return -1;
    }

    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/";
    ScriptedPrompts prompts;
    MainWindow window{folder, &prompts};
};

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

    // F1 and Help -> Contents show the guide in a window of its own.
    QTest::keyClick(&window, Qt::Key_F1);
    ASSERT_NE(window.Help(), nullptr);
    EXPECT_TRUE(window.Help()->isVisible());
    EXPECT_TRUE(window.Help()->Browser()->toPlainText().contains("Files it keeps and where"));
    window.Help()->close();
    Action("Contents1")->trigger();
    EXPECT_TRUE(window.Help()->isVisible()) << "the same window again";
}

// The local list as the window binds it: its columns, the strip under it,
// the commands that follow its current entry, its own keys and the header's
// sort arrow.
TEST_F(KeysTest, TheLocalListFollowsItsEntriesAndKeys) {
    QTreeView* list = window.LocalList();
    QAbstractItemModel* model = list->model();
    const std::string local = folder + "local";
    ASSERT_EQ(model->rowCount(), 3);
    EXPECT_EQ(model->index(LocalRow("a.txt"), 1).data().toString(), "1024");
    EXPECT_EQ(window.LocalPath()->currentText().toStdString(), local);
    EXPECT_TRUE(window.LocalStrip()->isHidden());
    Action("All1")->trigger();
    EXPECT_EQ(list->selectionModel()->selectedRows().size(), 3);
    EXPECT_FALSE(window.LocalStrip()->isHidden());
    EXPECT_EQ(window.LocalStrip()->text(), "1536 byte(1.50 Kb) in 2 file(s)");
    const auto selectOnly = [&](const char* caption) {
        list->selectionModel()->select(model->index(LocalRow(caption), 0),
                                       QItemSelectionModel::ClearAndSelect |
                                           QItemSelectionModel::Rows);
    };
    selectOnly("a.txt");
    EXPECT_EQ(window.Local().Selected(),
              (std::vector<local::SelectedEntry>{{"a.txt", false, "1024"}}));

    const std::pair<const char*, bool> currents[] = {{"a.txt", true}, {"sub", false}};
    for (const auto& [current, fileCommands] : currents) {
        SCOPED_TRACE(current);
        list->setCurrentIndex(model->index(LocalRow(current), 0));
        for (const char* name : {"Viewfile2", "RunApplication1", "Rename1"})
            EXPECT_EQ(Action(name)->isEnabled(), fileCommands) << name;
        EXPECT_TRUE(Action("Delete2")->isEnabled());
    }
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Return); // "sub" is current
    EXPECT_EQ(window.Local().Folder(), local + "/sub");
    QTest::keyClick(list, Qt::Key_Backspace);
    EXPECT_EQ(window.Local().Folder(), local);
    std::ofstream(local + "/c.txt") << "c";
    QTest::keyClick(list, Qt::Key_F5);
    EXPECT_EQ(model->rowCount(), 4);
    QHeaderView* header = window.LocalList()->header();
    const int sizeColumn = 1;
    const QPoint sizeHeader(header->sectionViewportPosition(sizeColumn) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sizeHeader);
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), sizeColumn);
    const Qt::SortOrder first = header->sortIndicatorOrder();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sizeHeader);
    EXPECT_NE(header->sortIndicatorOrder(), first) << "a second click turns the arrow";
    // Folders only: nothing to convert, no window opens.
    selectOnly("sub");
    Action("N9")->trigger();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
