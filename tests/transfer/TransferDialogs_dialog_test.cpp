// The transfer dialogs: custom commands, the overwrite question, file
// attributes and the progress window, each driven as a user would.
#include "app/DialogPrompts.h"
#include "prefs/Input_dialog.h"
#include "prefs/PrefsTestSupport.h"
#include "prefs/Translator.h"
#include "prefs/WidgetTestSupport.h"
#include "transfer/CustomCommands_dialog.h"
#include "transfer/OverwritePrompt_dialog.h"
#include "transfer/Permissions_dialog.h"
#include "transfer/Progress_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <functional>

namespace {

using transfer::Direction;
using transfer::ProgressWindow;

class TransferDialogTest : public testing::Test {
protected:
    TempFolder folder;
    LanguageSettings lang;
    Translator language{folder.path(), lang};
};

TEST_F(TransferDialogTest, CommandsButtonsAndKeys) {
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

TEST_F(TransferDialogTest, OverwriteEachButtonGivesItsAnswerAndSaveAsTheTypedPath) {
    DialogPrompts prompts{language, nullptr};
    using A = OverwriteAnswer;
    using Act = std::function<void(OverwritePromptDialog&)>;
    const auto press = [](A answer) -> Act {
        return [answer](OverwritePromptDialog& window) { window.Button(answer)->click(); };
    };
    // "Save as", then the path question answered with `typed` (nothing: cancelled).
    const auto saveAs = [](std::optional<std::string> typed, Act then) -> Act {
        return [typed, then](OverwritePromptDialog& window) {
            WhenModal<InputDialog>([typed, then, &window](InputDialog& query) {
                EXPECT_EQ(query.InputLine()->text(), "/home/u/a.txt");
                if (!typed) {
                    query.CancelButton()->click();
                    EXPECT_TRUE(window.isVisible()) << "a cancelled query keeps the question";
                    then(window);
                    return;
                }
                query.InputLine()->setText(QString::fromStdString(*typed));
                query.OkButton()->click();
            });
            window.Button(A::SaveAs)->click();
        };
    };
    const struct {
        const char* name;
        Act act;
        A answer;
        std::string path;
    } rows[] = {
        {"Escape means Cancel",
         [](OverwritePromptDialog& window) { QTest::keyClick(&window, Qt::Key_Escape); }, A::Cancel,
         "/home/u/a.txt"},
        {"Save as takes the typed path", saveAs("/home/u/b d.txt", {}), A::SaveAs,
         "/home/u/b d.txt"},
        {"a cancelled Save as leaves the other buttons", saveAs(std::nullopt, press(A::Skip)),
         A::Skip, "/home/u/a.txt"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WhenModal<OverwritePromptDialog>([&row](OverwritePromptDialog& window) {
            EXPECT_EQ(Child<QPlainTextEdit>(window, "re1")->toPlainText(),
                      "File already exists !\n/home/u/a.txt");
            row.act(window);
        });
        std::string path = "/home/u/a.txt";
        EXPECT_EQ(prompts.AskOverwrite(path), row.answer);
        EXPECT_EQ(path, row.path);
    }
}

TEST_F(TransferDialogTest, PermissionsBoxesAndManualFieldFollowEachOther) {
    transfer::PermissionForm form({{"a", 644}, {"b", 664}});
    PermissionsDialog window(language, form);
    EXPECT_EQ(window.Manual()->text(), "644");
    EXPECT_EQ(window.Box(4)->checkState(), Qt::PartiallyChecked) << "group write differs";
    EXPECT_EQ(window.Box(0)->checkState(), Qt::Checked);

    window.Box(4)->click();
    EXPECT_EQ(window.Box(4)->checkState(), Qt::Checked) << "a grayed box is clicked to checked";
    EXPECT_EQ(window.Manual()->text(), "664");
    window.Box(4)->click();
    EXPECT_EQ(window.Box(4)->checkState(), Qt::Unchecked) << "never grayed again";

    window.Manual()->clear();
    QTest::keyClicks(window.Manual(), "7a98x5");
    EXPECT_EQ(window.Manual()->text(), "75") << "only octal digits are typed";
    EXPECT_EQ(window.Box(6)->checkState(), Qt::Checked);
    EXPECT_EQ(window.Box(0)->checkState(), Qt::Unchecked);
    const std::vector<transfer::PermissionEntry> changes = form.Changes();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].Value, 75u);
}

class ProgressWindowTest : public TransferDialogTest {
protected:
    std::int64_t now = 0;
    ProgressWindow window{language, nullptr, [this] { return now; }};

    QString Row(const char* name) { return window.Dialog()->Row(name)->text(); }
};

TEST_F(ProgressWindowTest, ShowsTheFiguresAndPaintsAtMost25TimesASecond) {
    window.StartFile("ignored", 1, Direction::Sending); // no window yet: nothing
    EXPECT_EQ(window.Dialog(), nullptr);

    window.Open();
    ASSERT_NE(window.Dialog(), nullptr);
    window.StartFile("/pub/big.iso", 5'000'000, Direction::Receiving);
    EXPECT_EQ(window.Dialog()->windowTitle(), "Receiving big.iso (5000000 bytes)");

    const int before = window.Paints();
    for (int ms = 1; ms <= 10'000; ++ms) { // a report every millisecond for 10 s
        now = ms;
        window.Update(ms * 250);
    }
    EXPECT_LE(window.Paints() - before, 251);
    EXPECT_EQ(Row("FileBytes"), "2500000") << "the last figures are shown exactly";
    EXPECT_EQ(Row("Rate"), "250.0 K/sec");
    EXPECT_EQ(Row("FileLeft"), " 0:00:10");
    EXPECT_EQ(window.Dialog()->Bar()->value(), 2'500'000);

    window.EndFile();
    EXPECT_EQ(window.Dialog()->Bar()->value(), 0);
    window.StartFile("/home/u/disk.img", 6'000'000'000, Direction::Sending);
    now += 1000;
    window.Update(3'000'000'000);
    const QProgressBar* bar = window.Dialog()->Bar();
    EXPECT_NEAR(double(bar->value()) / bar->maximum(), 0.5, 0.001) << "a bar beyond int scales";
    EXPECT_EQ(Row("AllBytes"), "3002500000");

    window.Close();
    EXPECT_EQ(window.Dialog(), nullptr);
    window.Open(); // the next queue starts from nothing
    EXPECT_EQ(Row("AllBytes"), "0");
}

TEST_F(ProgressWindowTest, CancelAndEscapeOnlyAskToStop) {
    QSignalSpy asked(&window, &ProgressWindow::CancelRequested);
    window.Open();
    window.Dialog()->CancelButton()->click();
    QTest::keyClick(window.Dialog(), Qt::Key_Escape);
    EXPECT_EQ(asked.count(), 0) << "the request is posted, not handled at once";
    QCoreApplication::processEvents();
    EXPECT_EQ(asked.count(), 2);
    EXPECT_TRUE(window.Dialog()->isVisible()) << "the queue closes the window when it ends";
}

} // namespace
