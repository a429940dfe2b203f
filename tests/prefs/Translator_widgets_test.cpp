#include "prefs/Preferences_dialog.h"
#include "prefs/PrefsTestSupport.h"
#include "prefs/Translator_widgets.h"
#include "prefs/WidgetTestSupport.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

namespace {

template <class W>
W* Make(QWidget* parent, const char* name) {
    W* widget = new W(parent);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// A window with one control of every kind the engine knows.
class KindsWindow : public QMainWindow {
public:
    KindsWindow() {
        setObjectName(QStringLiteral("T_Kinds"));
        setWindowTitle(QStringLiteral("Own caption"));
        auto* central = Make<QWidget>(this, "pnMain");
        central->setWindowTitle(QStringLiteral("Page"));
        setCentralWidget(central);
        Make<QGroupBox>(central, "gbProxy")->setTitle(QStringLiteral("Proxy"));
        auto* button = Make<QPushButton>(central, "bGo");
        button->setText(QStringLiteral("&Go"));
        button->setToolTip(QStringLiteral("Go there"));
        Make<QLabel>(central, "lName")->setText(QStringLiteral("Line one\nline two"));
        auto* edit = Make<QLineEdit>(central, "eHost");
        edit->setText(QStringLiteral("host"));
        edit->setPlaceholderText(QStringLiteral("name or address"));
        secret = Make<QLineEdit>(central, "ePassword");
        secret->setText(QStringLiteral("secret"));
        MarkAsUserData(secret);
        auto* combo = Make<QComboBox>(central, "cbMode");
        combo->setEditable(true);
        combo->setEditText(QStringLiteral("auto"));
        Make<QPlainTextEdit>(central, "mNotes")->setPlainText(QStringLiteral("a\nb"));
        Make<QSpinBox>(central, "seCount"); // its inner edit is Qt's
        QMenu* menu = menuBar()->addMenu(QStringLiteral("&File"));
        menu->setObjectName(QStringLiteral("mFile"));
        menu->addAction(QStringLiteral("&Exit..."))->setObjectName(QStringLiteral("miExit"));
        QAction* separator = menu->addSeparator();
        separator->setObjectName(QStringLiteral("N1"));
        separator->setText(QStringLiteral("-"));
        auto* other = new QDialog(this); // a window of its own
        other->setObjectName(QStringLiteral("TOther"));
        Make<QPushButton>(other, "bOtherButton")->setText(QStringLiteral("Other"));
    }

    QLineEdit* secret;
};

// The controls below the window, not Qt's inner ones nor another window's.
// Each row: a text the window has now, and one a translation sets, read back
// the same way.
TEST(WidgetLanguageWindowTest, MapsCaptionHintAndTextOntoWhatTheControlsShow) {
    KindsWindow window;
    WidgetTranslatableWindow target(window);
    EXPECT_EQ(target.WindowName(), "T_Kinds");
    const std::vector<std::string> names = target.ControlNames();
    for (const char* name : {"pnMain", "gbProxy", "bGo", "lName", "eHost", "ePassword", "cbMode",
                             "mNotes", "seCount", "mFile", "miExit", "N1"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    for (const std::string& name : names) {
        EXPECT_NE(name.rfind("qt_", 0), 0u) << name;
        EXPECT_NE(name, "bOtherButton");
        EXPECT_NE(name, "TOther");
    }
    struct Row {
        const char* control;
        const char* property;
        std::optional<std::string> now;
        const char* set = nullptr;
    } rows[] = {
        {"pnMain", "Caption", "Page", "Seite"}, // a page's title names its tree node
        {"gbProxy", "Caption", "Proxy", "Vermittler"},
        {"bGo", "Caption", "&Go", "&Los"},
        {"bGo", "HINT", "Go there", "Dorthin"},
        {"lName", "caption", "Line one\r\nline two", "eins\r\nzwei"},
        {"mFile", "Caption", "&File", "&Datei"},
        {"miExit", "Caption", "&Exit...", "&Beenden"},
        {"miExit", "Hint", "", "Programm beenden"}, // Qt's tool tip made from the text is no hint
        {"N1", "Caption", "-"},
        {"eHost", "Text", "host", "rechner"},
        {"eHost", "PlaceholderText", "name or address", "Name"},
        {"ePassword", "Text", std::nullopt, "leaked"}, // the user's data
        {"cbMode", "Text", "auto", "automatisch"},
        {"mNotes", "Text", "a\r\nb", "x\r\ny"},
        {"bGo", "NoSuchProperty", std::nullopt},
        {"nothing", "Caption", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.control) + "." + row.property);
        EXPECT_EQ(target.Text(row.control, row.property), row.now);
        if (!row.set)
            continue;
        target.SetText(row.control, row.property, row.set);
        EXPECT_EQ(target.Text(row.control, row.property),
                  row.now ? std::optional<std::string>(row.set) : std::nullopt);
    }
    EXPECT_EQ(window.secret->text(), "secret");
    EXPECT_EQ(window.windowTitle(), "Own caption");
}

// The menu's entries, "-" for a separator and "*" after the checked one.
QString Captions(const QMenu& menu) {
    QStringList list;
    for (const QAction* action : menu.actions())
        list << (action->isSeparator() ? QStringLiteral("-") : action->text()) +
                    (action->isChecked() ? QStringLiteral("*") : QString());
    return list.join(u'|');
}

class WidgetLanguageTest : public testing::Test {
protected:
    void Translate(const char* file, const char* title) {
        WriteFile(folder.file(file),
                  std::string("[Translations]\r\nT_Main.lTitle.Caption=") + title + "\r\n");
    }

    TempFolder folder;
    LanguageSettings lang;
    Translator language{folder.path(), lang};
    ScriptedPrompts prompts;
};

// The template is shared with translators: the user's data stays out of it.
TEST_F(WidgetLanguageTest, TheTemplateOfThePreferencesWindowHoldsNoUserData) {
    PreferencesDialog original(language, prompts, {});
    PreferencesValues values;
    values.Options.ProxyPsw = "secret-password";
    values.Options.Anonymous = "me@example.org";
    original.SetValues(values);
    const std::string file = folder.file("language.lng");
    WidgetTranslatableWindow written(original);
    Translator::WriteLanguageFile(written, file);

    const std::string text = ReadFile(file);
    EXPECT_EQ(text.find("secret-password"), std::string::npos);
    EXPECT_EQ(text.find("me@example.org"), std::string::npos);
    EXPECT_EQ(text.find("qt_"), std::string::npos);
}

TEST_F(WidgetLanguageTest, TheLanguageMenuChoosesAndTranslatesTheMainWindow) {
    Translate("fr.lng", "Ordinateur local");
    Translate("De.lng", "Lokaler Rechner");
    Translate("language.lng", "Local computer");
    QMainWindow main;
    main.setObjectName(QStringLiteral("T_Main"));
    auto* title = Make<QLabel>(&main, "lTitle");
    title->setText(QStringLiteral("Local computer"));
    QMenu* menu = main.menuBar()->addMenu(QStringLiteral("Language"));
    QAction* english = menu->addAction(QStringLiteral("Default (English)"));
    menu->addSeparator();
    menu->addAction(QStringLiteral("stale entry"));

    lang = {false, false, "FR"}; // listed in another spelling, localization off
    BuildLanguageMenu(*menu, language, main);
    EXPECT_EQ(Captions(*menu), "Default (English)|-|de|fr*");
    EXPECT_EQ(menu->defaultAction(), english);
    EXPECT_EQ(title->text(), "Local computer");
    lang.LangOn = true;
    BuildLanguageMenu(*menu, language, main);
    EXPECT_EQ(Captions(*menu), "Default (English)|-|de|fr*");
    EXPECT_EQ(title->text(), "Ordinateur local");

    menu->actions().at(2)->trigger();
    EXPECT_EQ(Captions(*menu), "Default (English)|-|de*|fr");
    EXPECT_EQ(title->text(), "Lokaler Rechner");

    english->trigger();
    EXPECT_EQ(Captions(*menu), "Default (English)*|-|de|fr");
    EXPECT_EQ(title->text(), "Local computer");
    EXPECT_FALSE(lang.LangOn) << "English is read from its file once";

    lang = {true, false, "es"}; // no file: English
    QMenu empty;                // gets its default entry
    BuildLanguageMenu(empty, language, main);
    EXPECT_EQ(Captions(empty), "Default (English)*|-|de|fr");
    EXPECT_EQ(lang.LangFile, "language");
}

} // namespace
