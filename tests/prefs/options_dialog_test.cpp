#include "prefs/PrefsTestSupport.h"
#include "prefs/Prompts_widgets.h"
#include "prefs/WidgetTestSupport.h"
#include "prefs/options_dialog.h"
#include "prefs/zelLanguage.h"
#include "sites/Ftpinput_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTreeWidget>

namespace {

// Types a line into the input dialog that the next click opens.
void AnswerInput(const QString& typed) {
    WhenModal<TInputForm>([typed](TInputForm& form) {
        form.input()->setText(typed);
        form.okButton()->click();
    });
}

bool IsWhite(const QWidget* control) {
    return control->palette().color(QPalette::Base) == QColor(Qt::white);
}

class OptionsDialogTest : public testing::Test {
protected:
    TOptionsChoosers FakeChoosers() {
        TOptionsChoosers choosers;
        choosers.LogFile = [this](QWidget*, const QString& start) {
            chooserStarts.push_back(start);
            return std::optional<QString>(QStringLiteral("/var/log/corvane.log"));
        };
        choosers.Directory = [this](QWidget*, const QString& start) {
            chooserStarts.push_back(start);
            return std::optional<QString>(QStringLiteral("/srv/ftp"));
        };
        choosers.Font = [](QWidget*, const QFont& start) {
            QFont font = start;
            font.setFamily(QStringLiteral("DejaVu Serif"));
            font.setPointSize(12);
            return std::optional<QFont>(font);
        };
        return choosers;
    }
    std::string path() const { return folder.file(OptionsFileName); }
    void Load(const std::string& common = {}) {
        if (!common.empty())
            WriteFile(path(), "[Common]\r\n" + common);
        LoadOptions(folder.path(), settings);
    }
    // A window filled as EditOptions fills it: with the values from before
    // its translation, which may clear LangOn.
    std::unique_ptr<T_Options> Window() {
        const TOptionsValues values = ValuesForWindow(settings.Options, settings.Lang);
        auto window = std::make_unique<T_Options>(language, prompts, choosers);
        window->setValues(values);
        return window;
    }
    // Shows page `page` by clicking its node in the tree.
    static void ShowPage(T_Options& window, int page) {
        auto* tree = Child<QTreeWidget>(window, "tvOptions");
        QTreeWidgetItem* node = window.pageNode(page);
        ASSERT_NE(node, nullptr);
        tree->scrollToItem(node);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(node).center());
        ASSERT_EQ(window.currentPage(), page);
        EXPECT_TRUE(Child<QStackedWidget>(window, "pcOptions")->currentWidget()->isVisible());
    }

    TempFolder folder;
    tLang& lang = settings.Lang;
    TSettings settings;
    TzelLanguage language{folder.path(), settings.Lang};
    std::vector<QString> chooserStarts;
    TOptionsChoosers choosers = FakeChoosers();
    TDialogPrompts prompts{language, nullptr, choosers};
};

TEST_F(OptionsDialogTest, OkSavesAChangeMadeOnEveryPage) {
    WriteFile(folder.file("de.lng"),
              "[Translations]\r\nT_Options.cbLangOn.Caption=Lokalisierung\r\n");
    Load();
    WhenModal<T_Options>([this](T_Options& w) {
        EXPECT_EQ(w.windowTitle(), "Program Options");
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
        Click(w, "bIniPath");
        Click(w, "bFont");

        ShowPage(w, 6);
        Click(w, "cbLangOn");
        auto* list = Child<QComboBox>(w, "cbLangFile");
        ASSERT_EQ(list->count(), 1);
        list->setCurrentIndex(0);
        EXPECT_EQ(settings.Lang.LangFile, "language"); // stored only on OK
        Click(w, "bbOK");
    });
    EXPECT_EQ(EditOptions(prompts, folder.path(), settings), TEditResult::Saved);

    const std::string saved = ReadFile(path());
    for (const char* line :
         {"\r\nMailAno=1\r\n", "\r\nAnonymous=me@example.org\r\n", "\r\nTransferMode=1\r\n",
          "\r\nExt=html\r\n", "\r\nLog=1\r\n", "\r\nLogFile=/var/log/corvane.log\r\n",
          "\r\nKeep=1\r\n", "\r\nStartKeep=30\r\n", "\r\nCmdKeep=\"\"SITE IDLE\"\"\r\n",
          "\r\nConnectionType=4\r\n", "[Socks]\r\nServer=socks.lan\r\n", "\r\nDefPrompt=2\r\n",
          "\r\nIniPath=/srv/ftp\r\n", "\r\nFontName=DejaVu Serif\r\n", "\r\nFontSize=12\r\n",
          "\r\nLangOn=1\r\n", "\r\nLangFile=de\r\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << line;
    EXPECT_EQ(chooserStarts,
              (std::vector<QString>{QString::fromStdString(folder.file("corvane.log")),
                                    QString::fromStdString(folder.path())}));
}

TEST_F(OptionsDialogTest, CancelLeavesTheFileAsItWas) {
    Load("TimeOut=30\r\n");
    const std::string before = ReadFile(path());
    WhenModal<T_Options>([this](T_Options& w) {
        for (int page = 0; page < T_Options::PageCount; ++page)
            ShowPage(w, page);
        Child<QSpinBox>(w, "seTimeOut")->setValue(60);
        Click(w, "rbProxy");
        Click(w, "bbCancel");
    });
    EXPECT_EQ(EditOptions(prompts, folder.path(), settings), TEditResult::Cancelled);
    EXPECT_EQ(ReadFile(path()), before);
    EXPECT_EQ(settings.Options.TimeOut, 30);
}

TEST_F(OptionsDialogTest, ValuesOutOfRangeShowTheFirstChoice) {
    Load("TransferMode=7\r\nDefPrompt=5\r\nDateType=3\r\nTimeOut=5\r\nConnectionType=3\r\n");
    auto w = Window();
    EXPECT_TRUE(Child<QRadioButton>(*w, "rbAutoDetect")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(*w, "rbSkip")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(*w, "rbEurope")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(*w, "rbSocks4A")->isChecked());
    EXPECT_EQ(Child<QSpinBox>(*w, "seTimeOut")->value(), 10);
    const TOptionsValues back = w->values();
    EXPECT_EQ(back.Options.TransferMode, 0);
    EXPECT_EQ(back.Options.DefPrompt, 0);
    EXPECT_EQ(back.Options.DateType, 0);
}

TEST_F(OptionsDialogTest, EveryValueShownComesBackUnchanged) {
    settings.Options = {.ConnectionType = 1,
                        .TransferMode = 2,
                        .ProxyServer = "proxy",
                        .ProxyPort = "8080",
                        .ProxyPsw = "pw",
                        .ProxyPswMask = true,
                        .SocksServer = "socks",
                        .SocksPort = "1080",
                        .SocksPsw = "spw",
                        .SocksUC = "uc",
                        .SocksPswMask = true,
                        .PassiveTransfer = true,
                        .Sync = true,
                        .Log = true,
                        .LogFile = "/l.log",
                        .TimeOut = 99,
                        .retry = 3,
                        .Ext = "html, \"my ext\"",
                        .Keep = true,
                        .StartKeep = 50,
                        .DurationKeep = 20,
                        .CmdKeep = "NOOP,PWD",
                        .MailAno = true,
                        .Anonymous = "a@b",
                        .fwHost = "fw",
                        .fwPort = "2121",
                        .fwID = "id",
                        .fwPsw = "fpw",
                        .fwSimbol = "#",
                        .fwType = 5,
                        .fwEnable = true,
                        .ListingFile = "/tmp/FTPDIR1.TXT",
                        .IniPath = "/srv",
                        .FontName = "Arial",
                        .FontSize = 11,
                        .FontColor = 255,
                        .PromptDownLoad = false,
                        .PromptUpLoad = false,
                        .DefPrompt = 1,
                        .DateType = 1,
                        .LogSize = 5000};
    settings.Lang = {true, true, "language"};
    auto w = Window();
    const TOptionsValues back = w->values();
    // Compared through the file, which holds every field.
    TSettings shown = settings;
    TSettings given = settings;
    shown.Options = ValuesForWindow(settings.Options, settings.Lang).Options;
    given.Options = back.Options;
    ASSERT_TRUE(SaveOptions(folder.file("shown-"), shown));
    ASSERT_TRUE(SaveOptions(folder.file("given-"), given));
    EXPECT_EQ(ReadFile(folder.file("shown-options.ftp")),
              ReadFile(folder.file("given-options.ftp")));
    EXPECT_EQ(back.Options.ListingFile, "/tmp/FTPDIR1.TXT");
    EXPECT_TRUE(back.Lang.LangOn);
    EXPECT_TRUE(back.Lang.LangInit);
    EXPECT_EQ(back.Lang.LangFile, ""); // nothing to choose: "&OK" keeps the default
}

TEST_F(OptionsDialogTest, ControlsAreEnabledAndWhiteByTheirBoxes) {
    Load();
    auto w = Window();
    auto* mail = Child<QCheckBox>(*w, "cbMailAno");
    auto* anonymous = Child<QLineEdit>(*w, "eAnonymous");
    EXPECT_FALSE(anonymous->isEnabled());
    EXPECT_FALSE(IsWhite(anonymous));
    mail->click();
    EXPECT_TRUE(anonymous->isEnabled());
    EXPECT_TRUE(IsWhite(anonymous));

    auto* extensions = Child<QListWidget>(*w, "lbExt");
    EXPECT_FALSE(IsWhite(extensions));
    Click(*w, "rbAscii");
    EXPECT_TRUE(IsWhite(extensions));
    Click(*w, "rbBinary");
    EXPECT_FALSE(IsWhite(extensions));

    auto* logFile = Child<QLineEdit>(*w, "eLogFile");
    EXPECT_FALSE(IsWhite(logFile));
    Click(*w, "cbLog");
    EXPECT_TRUE(IsWhite(logFile));

    const QWidget* keep[] = {Child<QListWidget>(*w, "lbCmdKeep"),
                             Child<QSpinBox>(*w, "seStartKeep"),
                             Child<QSpinBox>(*w, "seDurationKeep")};
    for (const QWidget* control : keep)
        EXPECT_FALSE(IsWhite(control)) << control->objectName().toStdString();
    Click(*w, "cbKeep");
    for (const QWidget* control : keep)
        EXPECT_TRUE(IsWhite(control)) << control->objectName().toStdString();

    auto* proxy = Child<QGroupBox>(*w, "gbProxy");
    auto* socks = Child<QGroupBox>(*w, "gbSocks");
    const std::pair<const char*, std::pair<bool, bool>> types[] = {{"rbProxy", {true, false}},
                                                                   {"rbSocks4", {false, true}},
                                                                   {"rbSocks4A", {false, true}},
                                                                   {"rbSocks5", {false, true}},
                                                                   {"rbDirect", {false, false}}};
    for (const auto& [button, enabled] : types) {
        SCOPED_TRACE(button);
        Click(*w, button);
        EXPECT_EQ(proxy->isEnabled(), enabled.first);
        EXPECT_EQ(IsWhite(Child<QLineEdit>(*w, "eProxyServer")), enabled.first);
        EXPECT_EQ(socks->isEnabled(), enabled.second);
        EXPECT_EQ(IsWhite(Child<QLineEdit>(*w, "eSocksUC")), enabled.second);
    }

    auto* languages = Child<QComboBox>(*w, "cbLangFile");
    EXPECT_FALSE(languages->isEnabled());
    EXPECT_FALSE(Child<QLabel>(*w, "lLangFile")->isEnabled());
    Click(*w, "cbLangOn");
    EXPECT_TRUE(languages->isEnabled());
    EXPECT_TRUE(Child<QLabel>(*w, "lLangFile")->isEnabled());
}

TEST_F(OptionsDialogTest, MaskedPasswordsShowStars) {
    Load();
    settings.Options.SocksPswMask = true;
    auto w = Window();
    auto* proxy = Child<QLineEdit>(*w, "eProxyPsw");
    auto* socks = Child<QLineEdit>(*w, "eSocksPsw");
    EXPECT_EQ(proxy->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(socks->echoMode(), QLineEdit::Password);
    Click(*w, "rbProxy");
    Click(*w, "cbProxyPswMask");
    Click(*w, "rbSocks4");
    Click(*w, "cbSocksPswMask");
    EXPECT_EQ(proxy->echoMode(), QLineEdit::Password);
    EXPECT_EQ(socks->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(proxy->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, proxy),
              '*');
}

TEST_F(OptionsDialogTest, ListsAreEditedThroughTheInputDialog) {
    Load("Ext=html,txt\r\nCmdKeep=NOOP\r\n");
    auto w = Window();
    auto* extensions = Child<QListWidget>(*w, "lbExt");
    const auto items = [](const QListWidget* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->item(i)->text();
        return texts.join(u',');
    };
    const auto ask = [](const QString& typed, QString* title, QString* prefill) {
        WhenModal<TInputForm>([=](TInputForm& form) {
            *title = form.windowTitle();
            *prefill = form.input()->text();
            form.input()->setText(typed);
            form.okButton()->click();
        });
    };
    QString title;
    QString prefill;

    ask("pl", &title, &prefill); // nothing selected: "Modify" adds
    Click(*w, "bModifyExt");
    EXPECT_EQ(title, "Add extention");
    EXPECT_EQ(prefill, "");
    EXPECT_EQ(items(extensions), "html,txt,pl");

    extensions->item(1)->setSelected(true);
    ask("text", &title, &prefill);
    Click(*w, "bModifyExt");
    EXPECT_EQ(title, "Edit extention");
    EXPECT_EQ(prefill, "txt");
    EXPECT_EQ(items(extensions), "html,text,pl");

    WhenModal<TInputForm>([](TInputForm& form) { form.cancelButton()->click(); });
    Click(*w, "bAddExt");
    EXPECT_EQ(items(extensions), "html,text,pl");

    Click(*w, "bRemoveExt");
    EXPECT_EQ(items(extensions), "html,pl");
    extensions->clearSelection();
    Click(*w, "bRemoveExt");
    EXPECT_EQ(items(extensions), "html,pl");

    auto* commands = Child<QListWidget>(*w, "lbCmdKeep");
    ask("PWD", &title, &prefill);
    Click(*w, "bAddCmd");
    EXPECT_EQ(title, "Add Command");
    EXPECT_EQ(items(commands), "NOOP,PWD");
    commands->item(0)->setSelected(true);
    Click(*w, "bDelCmd");
    EXPECT_EQ(items(commands), "PWD");
    EXPECT_EQ(w->values().Options.Ext, "html,pl");
    EXPECT_EQ(w->values().Options.CmdKeep, "PWD");
}

TEST_F(OptionsDialogTest, TheLanguageListShowsTheFilesAndTheStoredChoice) {
    Load();
    lang.LangOn = true;
    auto empty = Window();
    auto* list = Child<QComboBox>(*empty, "cbLangFile");
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(list->currentIndex(), -1);
    EXPECT_TRUE(Child<QCheckBox>(*empty, "cbLangOn")->isChecked());

    for (const char* name : {"fr.lng", "DE.lng", "language.lng"})
        WriteFile(folder.file(name), "");
    lang.LangFile = "fr";
    auto w = Window();
    list = Child<QComboBox>(*w, "cbLangFile");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), "de");
    EXPECT_EQ(list->currentText(), "fr");
}

TEST_F(OptionsDialogTest, ChoosingALanguagePreviewsItWhileLocalizationIsOn) {
    WriteFile(folder.file("de.lng"), "[Translations]\r\n"
                                     "T_Options.cbLog.Caption=Protokoll\r\n"
                                     "T_Options.tsLog.Caption=Protokolldatei\r\n");
    Load();
    auto w = Window();
    auto* list = Child<QComboBox>(*w, "cbLangFile");
    auto* logBox = Child<QCheckBox>(*w, "cbLog");
    emit list->activated(0); // localization off: no preview
    EXPECT_EQ(logBox->text(), "Enable Log");

    Click(*w, "cbLangOn");
    list->setCurrentIndex(0);
    emit list->activated(0);
    EXPECT_EQ(logBox->text(), "Protokoll");
    EXPECT_EQ(w->pageNode(2)->text(0), "Protokolldatei");
    EXPECT_EQ(lang.LangFile, "language");
    EXPECT_FALSE(lang.LangOn);
}

TEST_F(OptionsDialogTest, IsTranslatedWhenCreatedAndEachTimeShown) {
    WriteFile(folder.file("de.lng"), "[Translations]\r\nT_Options.bbCancel.Caption=&Abbrechen\r\n");
    lang = {true, false, "de"};
    T_Options w(language, prompts, choosers);
    auto* cancel = Child<QPushButton>(w, "bbCancel");
    EXPECT_EQ(cancel->text(), "&Abbrechen");
    WriteFile(folder.file("de.lng"), "[Translations]\r\nT_Options.bbCancel.Caption=Ab&bruch\r\n");
    w.show();
    EXPECT_EQ(cancel->text(), "Ab&bruch");
    w.hide();
}

TEST_F(OptionsDialogTest, HasNoTitleBarButtonsAndHiddenControlsStayHidden) {
    Load();
    auto w = Window();
    w->show();
    EXPECT_FALSE(w->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMinMaxButtonsHint);
    for (const char* hidden : {"cbPassive", "cbSync", "seLogSize", "cbLangInit"})
        EXPECT_FALSE(Child<QWidget>(*w, hidden)->isVisible()) << hidden;
    Child<QSpinBox>(*w, "seLogSize")->setValue(2000);
    EXPECT_EQ(w->values().Options.LogSize, 2000);
    w->hide();
}

} // namespace
