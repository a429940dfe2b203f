#include "app/DialogPrompts.h"
#include "prefs/Input_dialog.h"
#include "prefs/PrefsTestSupport.h"
#include "prefs/Translator.h"
#include "prefs/WidgetTestSupport.h"
#include "transfer/OverwritePrompt_dialog.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

class OverwritePromptTest : public testing::Test {
protected:
    TempFolder folder;
    LanguageSettings lang;
    Translator language{folder.path(), lang};
    DialogPrompts prompts{language, nullptr};
};

TEST_F(OverwritePromptTest, EachButtonGivesItsAnswerAndSaveAsTheTypedPath) {
    using A = OverwriteAnswer;
    using Act = std::function<void(OverwritePromptDialog&)>;
    const auto press = [](A answer) -> Act {
        return [answer](OverwritePromptDialog& window) { window.Button(answer)->click(); };
    };
    // "Save as", then the path question answered with `typed` (nothing: cancelled).
    const auto saveAs = [](std::optional<std::string> typed, Act then) -> Act {
        return [typed, then](OverwritePromptDialog& window) {
            WhenModal<InputDialog>([typed, then, &window](InputDialog& query) {
                EXPECT_EQ(query.windowTitle(), "Save as ...");
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
        {"Resume", press(A::Resume), A::Resume, "/home/u/a.txt"},
        {"Overwrite", press(A::Overwrite), A::Overwrite, "/home/u/a.txt"},
        {"All", press(A::All), A::All, "/home/u/a.txt"},
        {"Skip", press(A::Skip), A::Skip, "/home/u/a.txt"},
        {"Cancel", press(A::Cancel), A::Cancel, "/home/u/a.txt"},
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
            EXPECT_EQ(window.windowTitle(), "Rewrite Files Prompt");
            EXPECT_EQ(Child<QPlainTextEdit>(window, "re1")->toPlainText(),
                      "File already exists !\n/home/u/a.txt");
            row.act(window);
        });
        std::string path = "/home/u/a.txt";
        EXPECT_EQ(prompts.AskOverwrite(path), row.answer);
        EXPECT_EQ(path, row.path);
    }
}

} // namespace
