#include "app/DialogPrompts.h"
#include "prefs/Input_dialog.h"
#include "prefs/Preferences_dialog.h"
#include "prefs/PrefsTestSupport.h"
#include "prefs/Translator.h"
#include "prefs/WidgetTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTreeWidget>

namespace {

bool IsWhite(const QWidget* control) {
    return control->palette().color(QPalette::Base) == QColor(Qt::white);
}

bool ShowsStars(const QWidget* control) {
    return static_cast<const QLineEdit*>(control)->echoMode() == QLineEdit::Password;
}

class PreferencesDialogTest : public testing::Test {
protected:
    // A file or folder chooser that answers `answer` and records where it started.
    decltype(PreferencesChoosers::LogFile) Chooser(const char* answer) {
        return [this, answer](QWidget*, const QString& start) {
            chooserStarts.push_back(start);
            return std::optional<QString>(QString::fromUtf8(answer));
        };
    }
    std::string path() const { return folder.file(OptionsFileName); }
    void Load(const std::string& common = {}) {
        if (!common.empty())
            WriteFile(path(), "[Common]\r\n" + common);
        LoadOptions(folder.path(), settings);
    }
    // A window filled as EditOptions fills it: with the values from before
    // its translation, which may clear LangOn.
    std::unique_ptr<PreferencesDialog> Window() {
        const PreferencesValues values = ValuesForWindow(settings.Options, settings.Lang);
        auto window = std::make_unique<PreferencesDialog>(language, prompts, choosers);
        window->SetValues(values);
        return window;
    }
    // Shows page `page` by clicking its node in the tree.
    static void ShowPage(PreferencesDialog& window, int page) {
        auto* tree = Child<QTreeWidget>(window, "tvOptions");
        QTreeWidgetItem* node = window.PageNode(page);
        ASSERT_NE(node, nullptr);
        tree->scrollToItem(node);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(node).center());
        ASSERT_EQ(window.CurrentPage(), page);
        EXPECT_TRUE(Child<QStackedWidget>(window, "pcOptions")->currentWidget()->isVisible());
    }

    TempFolder folder;
    LanguageSettings& lang = settings.Lang;
    Settings settings;
    Translator language{folder.path(), settings.Lang};
    std::vector<QString> chooserStarts;
    PreferencesChoosers choosers{Chooser("/var/log/corvane.log"), Chooser("/srv/ftp"),
                                 [](QWidget*, QFont font) {
                                     font.setFamily(QStringLiteral("DejaVu Serif"));
                                     font.setPointSize(12);
                                     return std::optional<QFont>(font);
                                 }};
    DialogPrompts prompts{language, nullptr, choosers};
};

TEST_F(PreferencesDialogTest, OkSavesAChangeMadeOnEveryPage) {
    WriteFile(folder.file("de.lng"),
              "[Translations]\r\nT_Options.cbLangOn.Caption=Lokalisierung\r\n");
    Load();
    WhenModal<PreferencesDialog>([this](PreferencesDialog& w) {
        ShowPage(w, 0);
        Click(w, "cbMailAno");
        QTest::keyClicks(Child<QLineEdit>(w, "eAnonymous"), "me@example.org");

        ShowPage(w, 1);
        Click(w, "rbAscii");
        AnswerInput(QStringLiteral("html"));
        Click(w, "bAddExt");

        ShowPage(w, 2);
        Click(w, "cbLog");
        Click(w, "bLogFile");

        ShowPage(w, 3);
        Click(w, "cbKeep");
        Child<QSpinBox>(w, "seStartKeep")->setValue(30);
        AnswerInput(QStringLiteral("SITE IDLE"));
        Click(w, "bAddCmd");

        ShowPage(w, 4);
        Click(w, "rbSocks5");
        QTest::keyClicks(Child<QLineEdit>(w, "eSocksServer"), "socks.lan");

        ShowPage(w, 5);
        Click(w, "rbResume");
        Click(w, "cbKeepFileTimes");
        Click(w, "bIniPath");
        Click(w, "bFont");

        ShowPage(w, 6);
        Click(w, "cbLangOn");
        auto* list = Child<QComboBox>(w, "cbLangFile");
        ASSERT_EQ(list->count(), 1);
        list->setCurrentIndex(0);
        Click(w, "bbOK");
    });
    EXPECT_EQ(EditOptions(prompts, folder.path(), settings), EditResult::Saved);

    const std::string saved = ReadFile(path());
    for (const char* line :
         {"\r\nMailAno=1\r\n", "\r\nAnonymous=me@example.org\r\n", "\r\nTransferMode=1\r\n",
          "\r\nExt=html\r\n", "\r\nLog=1\r\n", "\r\nLogFile=/var/log/corvane.log\r\n",
          "\r\nKeep=1\r\n", "\r\nStartKeep=30\r\n", "\r\nCmdKeep=\"\"SITE IDLE\"\"\r\n",
          "\r\nConnectionType=4\r\n", "[Socks]\r\nServer=socks.lan\r\n", "\r\nDefPrompt=2\r\n",
          "\r\nIniPath=/srv/ftp\r\n", "\r\nKeepFileTimes=0\r\n", "\r\nFontName=DejaVu Serif\r\n",
          "\r\nFontSize=12\r\n", "\r\nLangOn=1\r\n", "\r\nLangFile=de\r\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << line;
    EXPECT_EQ(chooserStarts,
              (std::vector<QString>{QString::fromStdString(folder.file("corvane.log")),
                                    QString::fromStdString(folder.path())}));
}

TEST_F(PreferencesDialogTest, CancelLeavesTheFileAsItWas) {
    Load("TimeOut=30\r\nTransferMode=7\r\n");
    const std::string before = ReadFile(path());
    WhenModal<PreferencesDialog>([this](PreferencesDialog& w) {
        Child<QSpinBox>(w, "seTimeOut")->setValue(60);
        Click(w, "rbProxy");
        Click(w, "bbCancel");
    });
    EXPECT_EQ(EditOptions(prompts, folder.path(), settings), EditResult::Cancelled);
    EXPECT_EQ(ReadFile(path()), before);
    EXPECT_EQ(settings.Options.TimeOut, 30);
    EXPECT_EQ(settings.Options.TransferMode, 7) << "kept until OK, though shown as 0";
}

// Each row: a stored file and the radio buttons it checks. What the window
// gives back must save exactly as what it was given.
TEST_F(PreferencesDialogTest, EveryValueShownComesBackUnchanged) {
    struct Row {
        const char* name;
        std::string file;
        std::vector<const char*> checked;
    } rows[] = {
        {"every field set",
         CrLf({"[Common]", "ConnectionType=1", "TransferMode=2", "PassiveTransfer=1", "Sync=1",
               "Log=1", "LogFile=/l.log", "TimeOut=99", "retry=3", "Ext=html, \"my ext\"", "Keep=1",
               "StartKeep=50", "DurationKeep=20", "CmdKeep=NOOP,PWD", "MailAno=1"}) +
             CrLf({"Anonymous=a@b", "IniPath=/srv", "FontName=Arial", "FontSize=11",
                   "FontColor=255", "PromptDownLoad=0", "PromptUpLoad=0"}) +
             CrLf({"DefPrompt=1", "DateType=1", "LogSize=5000", "[Proxy]", "Server=proxy",
                   "Port=8080", "Psw=pw", "PswMask=1", "[Socks]", "Server=socks", "Port=1080",
                   "Psw=spw", "UC=uc", "PswMask=1", "[Language]", "LangOn=1", "LangInit=1"}),
         {"rbProxy", "rbBinary", "rbOverwrite", "rbUSA"}},
        {"values out of range",
         CrLf({"[Common]", "TransferMode=7", "DefPrompt=5", "DateType=3", "ConnectionType=3"}),
         {"rbAutoDetect", "rbSkip", "rbEurope", "rbSocks4A"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteFile(path(), row.file);
        LoadOptions(folder.path(), settings);
        const LanguageSettings stored = settings.Lang;
        auto w = Window();
        for (const char* radio : row.checked)
            EXPECT_TRUE(Child<QRadioButton>(*w, radio)->isChecked()) << radio;
        const PreferencesValues back = w->Values();
        Settings given = settings;
        given.Options = back.Options;
        settings.Options = ValuesForWindow(settings.Options, settings.Lang).Options;
        ASSERT_TRUE(SaveOptions(folder.file("shown-"), settings));
        ASSERT_TRUE(SaveOptions(folder.file("given-"), given));
        EXPECT_EQ(ReadFile(folder.file("shown-options.ftp")),
                  ReadFile(folder.file("given-options.ftp")));
        EXPECT_EQ(back.Options.ListingFile, settings.Options.ListingFile);
        EXPECT_EQ(back.Lang.LangOn, stored.LangOn);
        EXPECT_EQ(back.Lang.LangInit, stored.LangInit);
        EXPECT_EQ(back.Lang.LangFile, ""); // nothing to choose: "&OK" keeps the default
    }
}

// Each click and what every control shows afterwards, one character a
// control in the order of the arrays: '+' white, enabled, or stars.
TEST_F(PreferencesDialogTest, ControlsAreEnabledAndWhiteByTheirBoxes) {
    Load();
    settings.Options.SocksPswMask = true;
    auto w = Window();
    const char* const white[] = {"eAnonymous",     "lbExt",        "eLogFile",
                                 "seDurationKeep", "eProxyServer", "eSocksUC"};
    const char* const enabled[] = {"eAnonymous", "gbProxy", "gbSocks", "cbLangFile"};
    const char* const stars[] = {"eProxyPsw", "eSocksPsw"};
    const struct {
        const char* click;
        const char* white;
        const char* enabled;
        const char* stars;
    } steps[] = {
        {"", "......", "....", ".+"},
        {"cbMailAno", "+.....", "+...", ".+"},
        {"rbAscii", "++....", "+...", ".+"},
        {"cbLog", "+++...", "+...", ".+"},
        {"cbKeep", "++++..", "+...", ".+"},
        {"rbProxy", "+++++.", "++..", ".+"},
        {"cbProxyPswMask", "+++++.", "++..", "++"},
        {"rbSocks4", "++++.+", "+.+.", "++"},
        {"cbSocksPswMask", "++++.+", "+.+.", "+."},
        {"rbBinary", "+.++.+", "+.+.", "+."},
        {"rbSocks5", "+.++.+", "+.+.", "+."},
        {"rbDirect", "+.++..", "+...", "+."},
        {"cbLangOn", "+.++..", "+..+", "+."},
    };
    const auto shown = [&w](const auto& names, auto test) {
        std::string marks;
        for (const char* name : names)
            marks += test(Child<QWidget>(*w, name)) ? '+' : '.';
        return marks;
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.click);
        if (*step.click)
            Click(*w, step.click);
        EXPECT_EQ(shown(white, IsWhite), step.white);
        EXPECT_EQ(shown(enabled, [](QWidget* c) { return c->isEnabled(); }), step.enabled);
        EXPECT_EQ(shown(stars, ShowsStars), step.stars);
    }
}

TEST_F(PreferencesDialogTest, ListsAreEditedThroughTheInputDialog) {
    Load("Ext=html,txt\r\nCmdKeep=NOOP\r\n");
    auto w = Window();
    struct Step {
        const char* name;
        const char* list;
        int selected; // -1: none
        const char* button;
        const char* prefill;          // what the question shows; null: no question
        std::optional<QString> typed; // nothing: cancelled
        const char* items;            // the list afterwards
    } steps[] = {
        {"modify without a selection adds", "lbExt", -1, "bModifyExt", "", "pl", "html,txt,pl"},
        {"modify edits the selection", "lbExt", 1, "bModifyExt", "txt", "text", "html,text,pl"},
        {"remove takes the selection", "lbExt", 1, "bRemoveExt", nullptr, {}, "html,pl"},
        {"remove without a selection", "lbExt", -1, "bRemoveExt", nullptr, {}, "html,pl"},
        {"a command added", "lbCmdKeep", -1, "bAddCmd", "", "PWD", "NOOP,PWD"},
        {"delete takes the selection", "lbCmdKeep", 0, "bDelCmd", nullptr, {}, "PWD"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        auto* list = Child<QListWidget>(*w, step.list);
        list->clearSelection();
        if (step.selected >= 0)
            list->item(step.selected)->setSelected(true);
        QString prefill;
        if (step.prefill)
            AnswerInput(step.typed, &prefill);
        Click(*w, step.button);
        EXPECT_EQ(prefill, step.prefill ? step.prefill : "");
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->item(i)->text();
        EXPECT_EQ(items.join(u','), step.items);
    }
}

TEST_F(PreferencesDialogTest, TheLanguageListPreviewsWhileLocalizationIsOnAndEachShowTranslates) {
    WriteFile(folder.file("DE.lng"), "[Translations]\r\n"
                                     "T_Options.cbLog.Caption=Protokoll\r\n"
                                     "T_Options.tsLog.Caption=Protokolldatei\r\n");
    WriteFile(folder.file("fr.lng"), "");
    Load();
    lang.LangFile = "fr";
    auto w = Window();
    auto* list = Child<QComboBox>(*w, "cbLangFile");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->currentText(), "fr");

    auto* logBox = Child<QCheckBox>(*w, "cbLog");
    emit list->activated(0); // localization off: no preview
    EXPECT_EQ(logBox->text(), "Enable Log");
    Click(*w, "cbLangOn");
    list->setCurrentIndex(0);
    emit list->activated(0);
    EXPECT_EQ(logBox->text(), "Protokoll");
    EXPECT_EQ(w->PageNode(2)->text(0), "Protokolldatei");
    EXPECT_EQ(lang.LangFile, "fr") << "the stored choice changes only on OK";
    EXPECT_FALSE(lang.LangOn);

    // Each time it is shown, the window is translated anew.
    lang = {true, false, "de"};
    WriteFile(folder.file("DE.lng"), "[Translations]\r\nT_Options.bbCancel.Caption=Ab&bruch\r\n");
    w->show();
    EXPECT_EQ(Child<QPushButton>(*w, "bbCancel")->text(), "Ab&bruch");
}

} // namespace
