#include "prefs/PrefsTestSupport.h"
#include "prefs/Translator.h"
#include "prefs/WidgetTestSupport.h"
#include "transfer/CustomCommands_dialog.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <functional>

namespace {

class CommandsDialogTest : public testing::Test {
protected:
    TempFolder folder;
    LanguageSettings lang;
    Translator language{folder.path(), lang};
};

TEST_F(CommandsDialogTest, ButtonsAndKeys) {
    using Act = std::function<void(CommandsDialog&)>;
    const struct {
        const char* name;
        Act act;
        std::string chosen;
        transfer::CommandLibrary library;
    } rows[] = {
        {"Select returns the selected label's command",
         [](CommandsDialog& w) {
             w.Labels()->setCurrentRow(1);
             w.Button("SpeedButton3")->click();
         },
         "STAT",
         {{"List all", "Who"}, {"LIST -la", "STAT"}}},
        {"typing follows into the list; Close keeps the edits but chooses nothing",
         [](CommandsDialog& w) {
             w.Labels()->setCurrentRow(0);
             QTest::keyClicks(w.LabelEdit(), "!");
             EXPECT_EQ(w.Labels()->item(0)->text(), "List all!");
             w.Button("SpeedButton4")->click();
         },
         "",
         {{"List all!", "Who"}, {"LIST -la", "STAT"}}},
        {"Insert in the list adds, Enter selects it",
         [](CommandsDialog& w) {
             w.Labels()->setFocus();
             QTest::keyClick(w.Labels(), Qt::Key_Insert);
             EXPECT_FALSE(w.CommandEdit()->isReadOnly());
             QTest::keyClicks(w.CommandEdit(), "SYST");
             QTest::keyClick(w.CommandEdit(), Qt::Key_Return);
         },
         "SYST",
         {{"List all", "Who", ""}, {"LIST -la", "STAT", "SYST"}}},
        {"Delete in the list removes; the edits are read-only after",
         [](CommandsDialog& w) {
             w.Labels()->setCurrentRow(0);
             w.Labels()->setFocus();
             QTest::keyClick(w.Labels(), Qt::Key_Delete);
             EXPECT_TRUE(w.LabelEdit()->isReadOnly());
             QTest::keyClicks(w.LabelEdit(), "x");
             QTest::keyClick(w.Labels(), Qt::Key_Escape);
         },
         "",
         {{"Who"}, {"STAT"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        transfer::CommandEditor editor({{"List all", "Who"}, {"LIST -la", "STAT"}});
        CommandsDialog window(language, editor);
        window.show();
        window.activateWindow();
        row.act(window);
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(window.Chosen(), row.chosen);
        EXPECT_EQ(editor.Library(), row.library);
    }
}

} // namespace
