#include "local/LocalPane_widgets.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using namespace local;
namespace fs = std::filesystem;

class LocalPaneWidgetsTest : public testing::Test {
protected:
    LocalPaneWidgetsTest() {
        fs::create_directory(root + "/sub");
        std::ofstream(root + "/a.txt") << std::string(1024, 'a');
        std::ofstream(root + "/b.txt") << std::string(512, 'b');
        auto* layout = new QVBoxLayout(&frame);
        for (QWidget* widget : std::initializer_list<QWidget*>{views, tree, path, strip})
            layout->addWidget(widget);
        list = new QTreeView(views);
        new QVBoxLayout(views);
        views->layout()->addWidget(list);
        binding = new LocalPaneBinding(pane, prompts, {}, {views, list, tree, path, strip});
        pane.SetFolder(root);
        frame.show();
    }

    int RowOf(const char* caption) const {
        for (int row = 0; row < static_cast<int>(pane.Items().size()); ++row) {
            if (pane.Items()[static_cast<std::size_t>(row)].caption == caption)
                return row;
        }
        return -1;
    }

    QTemporaryDir dir;
    std::string root = dir.path().toStdString();
    ScriptedPrompts prompts;
    std::vector<std::string> log;
    LocalPane pane{[this](const std::string& line) { log.push_back(line); }};
    QWidget frame;
    QWidget* views = new QWidget(&frame);
    QTreeView* tree = new QTreeView(&frame);
    QComboBox* path = new QComboBox(&frame);
    QLabel* strip = new QLabel(&frame);
    QTreeView* list = nullptr;
    LocalPaneBinding* binding = nullptr;
};

TEST_F(LocalPaneWidgetsTest, ListShowsColumnsAndSelectionFeedsTheStrip) {
    QAbstractItemModel* model = list->model();
    ASSERT_EQ(model->rowCount(), 3);
    EXPECT_EQ(model->index(RowOf("a.txt"), 1).data().toString(), "1024");
    EXPECT_EQ(path->currentText().toStdString(), root);
    EXPECT_TRUE(strip->isHidden());

    binding->SelectActions()[0]->trigger(); // Select All
    EXPECT_EQ(list->selectionModel()->selectedRows().size(), 3);
    EXPECT_FALSE(strip->isHidden());
    EXPECT_EQ(strip->text(), "1536 byte(1.50 Kb) in 2 file(s)");

    list->selectionModel()->select(model->index(RowOf("a.txt"), 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(pane.Selected(), (std::vector<SelectedEntry>{{"a.txt", false, "1024"}}));
}

TEST_F(LocalPaneWidgetsTest, CommandsFollowTheCurrentEntryAndKeysAct) {
    struct Row {
        const char* name;
        const char* current;
        bool fileCommands;
    };
    const Row rows[] = {{"file", "a.txt", true}, {"folder", "sub", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        list->setCurrentIndex(list->model()->index(RowOf(row.current), 0));
        for (QAction* action : {binding->View(), binding->Run(), binding->Rename()})
            EXPECT_EQ(action->isEnabled(), row.fileCommands) << action->text().toStdString();
        EXPECT_TRUE(binding->DeleteSelection()->isEnabled());
    }
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Return); // "sub" is current
    EXPECT_EQ(pane.Folder(), root + "/sub");
    QTest::keyClick(list, Qt::Key_Backspace);
    EXPECT_EQ(pane.Folder(), root);
    std::ofstream(root + "/c.txt") << "c";
    QTest::keyClick(list, Qt::Key_F5);
    EXPECT_EQ(list->model()->rowCount(), 4);
    list->setCurrentIndex(list->model()->index(RowOf("c.txt"), 0));
    prompts.inputs = {std::nullopt};
    QTest::keyClick(list, Qt::Key_F2);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].Caption, "Rename");
    // Folders only: nothing to convert, no window opens.
    list->selectionModel()->select(list->model()->index(RowOf("sub"), 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    binding->CarriageReturn()->trigger();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
