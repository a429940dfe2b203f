#include "prefs/PrefsTestSupport.h"
#include "prefs/Prompts_widgets.h"
#include "prefs/WidgetTestSupport.h"
#include "prefs/zelLanguage.h"
#include "sites/Ftpinput_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

class InputDialogTest : public testing::Test {
protected:
    // Asks through the dialog; `act` plays the user.
    bool Ask(std::string& text, bool mask, int maxLength, std::function<void(TInputForm&)> act) {
        WhenModal<TInputForm>(std::move(act));
        return prompts.AskInput("Rename", "New name", text, mask, maxLength);
    }

    TempFolder folder;
    tLang lang;
    TzelLanguage language{folder.path(), lang};
    TDialogPrompts prompts{language, nullptr};
};

TEST_F(InputDialogTest, ShowsTheQuestionAndGivesBackWhatWasTypedOnlyWhenConfirmed) {
    using Act = std::function<void(TInputForm&)>;
    const auto key = [](Qt::Key key) -> Act {
        return [key](TInputForm& form) {
            QTest::keyPress(form.input(), key);
            EXPECT_TRUE(form.isVisible()) << "the press alone does nothing";
            QTest::keyRelease(form.input(), key);
        };
    };
    const struct {
        const char* name;
        Act act;
        bool confirmed;
    } rows[] = {
        {"OK", [](TInputForm& form) { QTest::mouseClick(form.okButton(), Qt::LeftButton); }, true},
        {"Return released", key(Qt::Key_Return), true},
        {"Enter released", key(Qt::Key_Enter), true},
        {"Escape released", key(Qt::Key_Escape), false},
        {"Cancel", [](TInputForm& form) { form.cancelButton()->click(); }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string text = "old.txt";
        const bool confirmed = Ask(text, false, 50, [&row](TInputForm& form) {
            EXPECT_EQ(form.windowTitle(), "Rename");
            EXPECT_EQ(Child<QLabel>(form, "Prompt")->text(), "New name");
            EXPECT_EQ(form.input()->text(), "old.txt");
            QTest::keyClicks(form.input(), "+typed");
            row.act(form);
            EXPECT_FALSE(form.isVisible());
        });
        EXPECT_EQ(confirmed, row.confirmed);
        EXPECT_EQ(text, row.confirmed ? "old.txt+typed" : "old.txt");
    }
}

TEST_F(InputDialogTest, TheAnswerIsCutToTheCallersLength) {
    std::string text;
    EXPECT_TRUE(Ask(text, false, 50, [](TInputForm& form) {
        QTest::keyClicks(form.input(), QString(60, u'x'));
        EXPECT_EQ(form.input()->text().size(), 60); // typing is not limited
        form.okButton()->click();
    }));
    EXPECT_EQ(text, std::string(50, 'x'));

    EXPECT_TRUE(Ask(text, false, 1000, [](TInputForm& form) {
        form.input()->setText(QString(300, u'y'));
        form.okButton()->click();
    }));
    EXPECT_EQ(text, std::string(255, 'y'));
}

TEST_F(InputDialogTest, MaskPasswordIsShownAndCheckedOnlyForPasswords) {
    for (const bool mask : {false, true}) {
        SCOPED_TRACE(mask ? "password" : "plain");
        std::string text = "abc";
        Ask(text, mask, 50, [mask](TInputForm& form) {
            EXPECT_EQ(form.maskBox()->isVisible(), mask);
            EXPECT_EQ(form.maskBox()->isChecked(), mask);
            EXPECT_EQ(form.input()->echoMode(), mask ? QLineEdit::Password : QLineEdit::Normal);
            form.maskBox()->setVisible(true);
            QTest::mouseClick(form.maskBox(), Qt::LeftButton);
            EXPECT_EQ(form.input()->echoMode(), mask ? QLineEdit::Normal : QLineEdit::Password);
            form.cancelButton()->click();
        });
    }
}

TEST_F(InputDialogTest, IsTranslatedWhenCreatedButShowsTheCallersPrompt) {
    WriteFile(folder.file("de.lng"), "[Translations]\r\n"
                                     "TInputForm.chbMask.Caption=Passwort verbergen\r\n"
                                     "TInputForm.bbCancel.Caption=&Abbrechen\r\n"
                                     "TInputForm.Prompt.Caption=Eingabe\r\n");
    lang = {true, false, "de"};
    TInputForm form(language);
    form.setValues({"Password", "Password for site", "", true});
    EXPECT_EQ(form.maskBox()->text(), "Passwort verbergen");
    EXPECT_EQ(form.cancelButton()->text(), "&Abbrechen");
    EXPECT_EQ(Child<QLabel>(form, "Prompt")->text(), "Password for site");
    EXPECT_EQ(form.values().Caption, "Password");
    EXPECT_TRUE(form.values().Mask);
}

TEST_F(InputDialogTest, TextThatIsNotUtf8ComesBackUnchanged) {
    TInputForm form(language);
    const std::string latin1 = "caf\xE9";
    form.setValues({"Caption", "Prompt", latin1, false});
    EXPECT_EQ(form.values().Text, latin1);
    form.input()->setText(QStringLiteral("caf\u00e9"));
    EXPECT_EQ(form.values().Text, "caf\xC3\xA9");
}

} // namespace
