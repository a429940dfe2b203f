#include "app/DialogPrompts.h"
#include "prefs/Input_dialog.h"
#include "prefs/PrefsTestSupport.h"
#include "prefs/Translator.h"
#include "prefs/WidgetTestSupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

class InputDialogTest : public testing::Test {
protected:
    // Asks through the dialog; `act` plays the user.
    bool Ask(std::string& text, bool mask, int maxLength, std::function<void(InputDialog&)> act) {
        WhenModal<InputDialog>(std::move(act));
        return prompts.AskInput("Rename", "New name", text, mask, maxLength);
    }

    TempFolder folder;
    LanguageSettings lang;
    Translator language{folder.path(), lang};
    DialogPrompts prompts{language, nullptr};
};

TEST_F(InputDialogTest, ShowsTheQuestionAndGivesBackWhatWasTypedOnlyWhenConfirmed) {
    using Act = std::function<void(InputDialog&)>;
    const auto key = [](Qt::Key key) -> Act {
        return [key](InputDialog& form) {
            QTest::keyPress(form.InputLine(), key);
            EXPECT_TRUE(form.isVisible()) << "the press alone does nothing";
            QTest::keyRelease(form.InputLine(), key);
        };
    };
    const struct {
        const char* name;
        Act act;
        bool confirmed;
    } rows[] = {
        {"Return released", key(Qt::Key_Return), true},
        {"Enter released", key(Qt::Key_Enter), true},
        {"Escape released", key(Qt::Key_Escape), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string text = "old.txt";
        const bool confirmed = Ask(text, false, 50, [&row](InputDialog& form) {
            EXPECT_EQ(form.InputLine()->text(), "old.txt");
            QTest::keyClicks(form.InputLine(), "+typed");
            row.act(form);
            EXPECT_FALSE(form.isVisible());
        });
        EXPECT_EQ(confirmed, row.confirmed);
        EXPECT_EQ(text, row.confirmed ? "old.txt+typed" : "old.txt");
    }
}

TEST_F(InputDialogTest, MaskPasswordIsShownAndCheckedOnlyForPasswords) {
    for (const bool mask : {false, true}) {
        SCOPED_TRACE(mask ? "password" : "plain");
        std::string text = "abc";
        Ask(text, mask, 50, [mask](InputDialog& form) {
            EXPECT_EQ(form.MaskBox()->isVisible(), mask);
            EXPECT_EQ(form.MaskBox()->isChecked(), mask);
            EXPECT_EQ(form.InputLine()->echoMode(), mask ? QLineEdit::Password : QLineEdit::Normal);
            form.MaskBox()->setVisible(true);
            QTest::mouseClick(form.MaskBox(), Qt::LeftButton);
            EXPECT_EQ(form.InputLine()->echoMode(), mask ? QLineEdit::Normal : QLineEdit::Password);
            form.CancelButton()->click();
        });
    }
}

// Translated when created, yet showing the caller's prompt; a text that is
// not UTF-8 comes back unchanged unless edited.
TEST_F(InputDialogTest, IsTranslatedAndCarriesTheCallersValues) {
    WriteFile(folder.file("de.lng"), "[Translations]\r\n"
                                     "TInputForm.chbMask.Caption=Passwort verbergen\r\n"
                                     "TInputForm.bbCancel.Caption=&Abbrechen\r\n"
                                     "TInputForm.Prompt.Caption=Eingabe\r\n");
    lang = {true, false, "de"};
    InputDialog form(language);
    form.SetValues({"Password", "Password for site", "caf\xE9", true});
    EXPECT_EQ(form.MaskBox()->text(), "Passwort verbergen");
    EXPECT_EQ(form.CancelButton()->text(), "&Abbrechen");
    EXPECT_EQ(Child<QLabel>(form, "Prompt")->text(), "Password for site");
    EXPECT_EQ(form.Values().Text, "caf\xE9");
    form.InputLine()->setText(QStringLiteral("caf\u00e9"));
    EXPECT_EQ(form.Values().Text, "caf\xC3\xA9");
}

} // namespace
