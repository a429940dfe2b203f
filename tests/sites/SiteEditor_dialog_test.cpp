#include "app/DialogPrompts.h"
#include "prefs/Input_dialog.h"
#include "prefs/Options.h"
#include "prefs/PrefsTestSupport.h"
#include "prefs/Translator.h"
#include "prefs/WidgetTestSupport.h"
#include "sites/SiteEditor_dialog.h"
#include "sites/SiteFolder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

QLineEdit* Edit(const QObject& window, const char* name) {
    return Child<QLineEdit>(window, name);
}

QCheckBox* Box(const QObject& window, const char* name) {
    return Child<QCheckBox>(window, name);
}

std::vector<QString> ColumnTexts(const SiteEditor& w) {
    std::vector<QString> texts;
    for (const char* name :
         {"eColName", "eColSize", "eColMonth", "eColDay", "eColTime", "eColAttribute"})
        texts.push_back(Edit(w, name)->text());
    return texts;
}

bool ColumnsEnabled(const SiteEditor& w) {
    return Edit(w, "eColName")->isEnabled() && Edit(w, "eColAttribute")->isEnabled();
}

class SiteDialogTest : public testing::Test {
protected:
    PreferencesChoosers Choosers() {
        PreferencesChoosers choosers;
        choosers.Directory = [this](QWidget*, const QString& start) {
            browseStarts.push_back(start);
            return std::optional<QString>(QStringLiteral("/srv/chosen"));
        };
        return choosers;
    }
    // A window filled as EditSite fills it.
    std::unique_ptr<SiteEditor> Window(const Site& site = {}) {
        auto window =
            std::make_unique<SiteEditor>(language, prompts, Choosers().Directory, folder.path());
        window->SetValues(FormForSite(site, ReadHostTypes(folder.path())));
        window->show();
        return window;
    }

    TempFolder folder;
    LanguageSettings lang;
    Translator language{folder.path(), lang};
    std::vector<QString> browseStarts;
    DialogPrompts prompts{language, nullptr, Choosers()};
};

TEST_F(SiteDialogTest, ControlsFollowTheHostTypeAnonymousTheMaskAndTheSlash) {
    const auto w = Window({.InitialDir = "pub"});
    auto* types = Child<QComboBox>(*w, "cbHostType");
    auto* panel = Child<QGroupBox>(*w, "gbCustom");
    EXPECT_EQ(types->currentText(), "Default");
    EXPECT_FALSE(panel->isVisible());
    types->setCurrentIndex(CustomHostType);
    EXPECT_TRUE(panel->isVisible());

    EXPECT_EQ(Edit(*w, "ePassword")->echoMode(), QLineEdit::Password) << "masked by default";
    EXPECT_FALSE(Edit(*w, "eEMail")->isEnabled());
    Box(*w, "AnonymousCB")->click();
    EXPECT_TRUE(Edit(*w, "eEMail")->isEnabled());
    EXPECT_FALSE(Edit(*w, "eUser")->isEnabled());
    Box(*w, "cbMaskPassword")->click();
    EXPECT_EQ(Edit(*w, "ePassword")->echoMode(), QLineEdit::Normal);

    EXPECT_FALSE(Box(*w, "cbSlash")->isChecked());
    Box(*w, "cbSlash")->click();
    EXPECT_EQ(Edit(*w, "eInitialDir")->text(), "/pub");
    Box(*w, "cbSlash")->click();
    EXPECT_EQ(Edit(*w, "eInitialDir")->text(), "pub");
}

TEST_F(SiteDialogTest, EncryptionMovesThePortMlsdAndForgetReachTheForm) {
    const Site site{.Port = "990", .Encryption = "implicit", .TlsFingerprint = "AB:CD"};
    const auto w = Window(site);
    auto* encryption = Child<QComboBox>(*w, "cbEncryption");
    EXPECT_EQ(encryption->currentText(), "Require implicit FTP over TLS");
    EXPECT_EQ(Edit(*w, "eFingerprint")->text(), "AB:CD");
    encryption->setCurrentText(QStringLiteral("Only plain FTP (insecure)"));
    EXPECT_EQ(Edit(*w, "ePort")->text(), "21");
    Click(*w, "bForget");
    EXPECT_FALSE(Child<QWidget>(*w, "pCertificate")->isVisible());
    EXPECT_TRUE(Box(*w, "cbMlsd")->isChecked());
    Click(*w, "cbMlsd");
    const SiteForm form = w->Values();
    EXPECT_EQ(form.Encryption, SiteEncryption::Plain);
    EXPECT_EQ(form.TlsFingerprint, "");
    EXPECT_FALSE(form.UseMlsd);
}

TEST_F(SiteDialogTest, CustomTypesAreAddedEditedAndDeleted) {
    WriteHostTypes(folder.path(), {{"Default", "0957681"}, {"Mine", "4123456"}});
    Site site;
    site.Answer = "4000000";
    site.AnswerName = "Mine";
    const auto w = Window(site);
    auto* list = Child<QListWidget>(*w, "lbCustom");
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_EQ(ColumnTexts(*w), (std::vector<QString>{"1", "2", "3", "4", "5", "6"}));
    EXPECT_TRUE(ColumnsEnabled(*w));

    QLineEdit* name = Edit(*w, "eColName");
    name->clear();
    QTest::keyClicks(name, "a1b23");
    EXPECT_EQ(name->text(), "12") << "digits only, two at most";

    AnswerInput(QStringLiteral("Added"));
    Click(*w, "bAdd");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(2)->text(), "Added");
    EXPECT_EQ(list->currentRow(), 2);
    EXPECT_EQ(ColumnTexts(*w), (std::vector<QString>{"9", "5", "7", "6", "8", "1"}));

    QString prefill;
    AnswerInput(QStringLiteral("Renamed"), &prefill);
    Click(*w, "bEdit");
    EXPECT_EQ(prefill, "Added");
    EXPECT_EQ(list->item(2)->text(), "Renamed");

    list->setCurrentRow(1); // the boxes of "Mine" were stored when leaving it
    EXPECT_EQ(ColumnTexts(*w), (std::vector<QString>{"12", "2", "3", "4", "5", "6"}));
    list->setCurrentRow(0);
    EXPECT_FALSE(ColumnsEnabled(*w));
    Click(*w, "bDelete");
    EXPECT_EQ(list->count(), 3) << "the first type stays";
    AnswerInput(QStringLiteral("Second"));
    Click(*w, "bEdit");
    EXPECT_EQ(list->count(), 4) << "edit on the first type adds";
    list->setCurrentRow(2);
    Click(*w, "bDelete");
    EXPECT_EQ(list->count(), 3);

    const SiteForm form = w->Values();
    EXPECT_EQ(form.CustomTypes,
              (HostTypeList{{"Default", "0957681"}, {"Mine", "4c23456"}, {"Second", "4957681"}}));
}

TEST_F(SiteDialogTest, SaveNeedsANameAndAServer) {
    Site site;
    WhenModal<SiteEditor>([](SiteEditor& w) {
        WhenModal<QMessageBox>([](QMessageBox& box) {
            EXPECT_EQ(box.text(), "FTP Server Name must be defined");
            box.accept();
        });
        QTest::keyClicks(Edit(w, "eName"), "only a name");
        Click(w, "bbSave");
        EXPECT_TRUE(w.isVisible());
        QTest::keyClicks(Edit(w, "eServer"), "ftp.example.org");
        Child<QPlainTextEdit>(w, "mDesc")->setPlainText(QStringLiteral("one\nwith ` accent"));
        Click(w, "bbSave");
    });
    ASSERT_TRUE(EditSite(prompts, folder.path(), site));
    EXPECT_EQ(site.Name, "only a name");
    EXPECT_EQ(site.Server, "ftp.example.org");
    EXPECT_EQ(site.Desc, "one`with ` accent");

    WhenModal<SiteEditor>([](SiteEditor& w) {
        EXPECT_EQ(Child<QPlainTextEdit>(w, "mDesc")->toPlainText(), "one\nwith \n accent");
        Edit(w, "eServer")->setText(QStringLiteral("changed"));
        Click(w, "bbCancel");
    });
    EXPECT_FALSE(EditSite(prompts, folder.path(), site));
    EXPECT_EQ(site.Server, "ftp.example.org");
}

TEST_F(SiteDialogTest, BrowseStartsAtTheLocalDirectoryOrTheProgramFolder) {
    const auto w = Window();
    Click(*w, "bBrowse");
    EXPECT_EQ(Edit(*w, "eLocalDir")->text(), "/srv/chosen");
    MakeDirectories(folder.file("local/"));
    Edit(*w, "eLocalDir")->setText(QString::fromStdString(folder.file("local")));
    Click(*w, "bBrowse");
    EXPECT_EQ(browseStarts, (std::vector<QString>{QString::fromStdString(folder.path()),
                                                  QString::fromStdString(folder.file("local"))}));
}

TEST_F(SiteDialogTest, TextThatIsNotUtf8ComesBackUnchanged) {
    Site site;
    site.Name = "caf\xE9";
    site.Desc = "\xFC"
                "ber`zwei";
    const auto w = Window(site);
    EXPECT_EQ(Edit(*w, "eName")->text(), QStringLiteral("caf\u00e9")) << "read as Windows-1252";
    const SiteForm form = w->Values();
    EXPECT_EQ(form.Name, site.Name);
    EXPECT_EQ(JoinDescLines(form.DescLines), site.Desc);
}

} // namespace
