#include "prefs/PrefsTestSupport.h"
#include "prefs/WidgetTestSupport.h"
#include "prefs/options_dialog.h"
#include "prefs/zelLanguage_widgets.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
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
#include <QRegularExpression>
#include <QSpinBox>
#include <QTreeWidget>
#include <functional>
#include <sstream>

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
        setCentralWidget(central);
        button = Make<QPushButton>(central, "bGo");
        button->setText(QStringLiteral("&Go"));
        button->setToolTip(QStringLiteral("Go there"));
        label = Make<QLabel>(central, "lName");
        label->setText(QStringLiteral("Line one\nline two"));
        box = Make<QGroupBox>(central, "gbPanel");
        box->setTitle(QStringLiteral("Panel"));
        edit = Make<QLineEdit>(central, "eHost");
        edit->setText(QStringLiteral("host"));
        edit->setPlaceholderText(QStringLiteral("name or address"));
        secret = Make<QLineEdit>(central, "ePassword");
        secret->setText(QStringLiteral("secret"));
        MarkAsUserData(secret);
        combo = Make<QComboBox>(central, "cbMode");
        combo->setEditable(true);
        combo->setEditText(QStringLiteral("auto"));
        memo = Make<QPlainTextEdit>(central, "mNotes");
        memo->setPlainText(QStringLiteral("a\nb"));
        spin = Make<QSpinBox>(central, "seCount"); // its inner edit is Qt's
        page = Make<QWidget>(central, "tsPage");
        page->setWindowTitle(QStringLiteral("Page"));
        menu = menuBar()->addMenu(QStringLiteral("&File"));
        menu->setObjectName(QStringLiteral("mFile"));
        action = menu->addAction(QStringLiteral("&Exit..."));
        action->setObjectName(QStringLiteral("miExit"));
        separator = menu->addSeparator();
        separator->setObjectName(QStringLiteral("N1"));
        separator->setText(QStringLiteral("-"));
        other = new QDialog(this); // a window of its own
        other->setObjectName(QStringLiteral("TOther"));
        Make<QPushButton>(other, "bOtherButton")->setText(QStringLiteral("Other"));
    }

    QPushButton* button;
    QLabel* label;
    QGroupBox* box;
    QLineEdit* edit;
    QLineEdit* secret;
    QComboBox* combo;
    QPlainTextEdit* memo;
    QSpinBox* spin;
    QWidget* page;
    QMenu* menu;
    QAction* action;
    QAction* separator;
    QDialog* other;
};

TEST(WidgetLanguageWindowTest, NamesTheControlsBelowTheWindowOnly) {
    KindsWindow window;
    const TWidgetLanguageWindow target(window);
    EXPECT_EQ(target.WindowName(), "T_Kinds");
    const std::vector<std::string> names = target.ControlNames();
    for (const char* name : {"pnMain", "bGo", "lName", "gbPanel", "eHost", "ePassword", "cbMode",
                             "mNotes", "seCount", "tsPage", "mFile", "miExit", "N1"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    for (const std::string& name : names) {
        EXPECT_NE(name.rfind("qt_", 0), 0u) << name;
        EXPECT_NE(name, "bOtherButton");
        EXPECT_NE(name, "TOther");
    }
}

TEST(WidgetLanguageWindowTest, MapsCaptionHintAndTextOntoWhatTheControlsShow) {
    KindsWindow window;
    TWidgetLanguageWindow target(window);
    struct Row {
        const char* control;
        const char* property;
        std::optional<std::string> now;
    } rows[] = {
        {"bGo", "Caption", "&Go"},
        {"bGo", "HINT", "Go there"},
        {"lName", "caption", "Line one\r\nline two"},
        {"gbPanel", "Caption", "Panel"},
        {"tsPage", "Caption", "Page"},
        {"mFile", "Caption", "&File"},
        {"miExit", "Caption", "&Exit..."},
        {"miExit", "Hint", ""}, // Qt's tool tip made from the text is no hint
        {"N1", "Caption", "-"},
        {"eHost", "Text", "host"},
        {"eHost", "PlaceholderText", "name or address"},
        {"eHost", "Caption", ""},
        {"ePassword", "Text", std::nullopt}, // the user's data
        {"cbMode", "Text", "auto"},
        {"mNotes", "Text", "a\r\nb"},
        {"seCount", "Text", std::nullopt},
        {"bGo", "NoSuchProperty", std::nullopt},
        {"bGo", "objectName", "bGo"},
        {"nothing", "Caption", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.control) + "." + row.property);
        EXPECT_EQ(target.Text(row.control, row.property), row.now);
    }

    // What a translation sets, and where it shows.
    struct Change {
        const char* control;
        const char* property;
        const char* value;
        std::function<QString()> shown;
        const char* expected;
    };
    const KindsWindow& w = window;
    const Change changes[] = {
        {"bGo", "caption", "&Los", [&] { return w.button->text(); }, "&Los"},
        {"bGo", "Hint", "Dorthin", [&] { return w.button->toolTip(); }, "Dorthin"},
        {"lName", "Caption", "eins\r\nzwei", [&] { return w.label->text(); }, "eins\nzwei"},
        {"gbPanel", "Caption", "Feld", [&] { return w.box->title(); }, "Feld"},
        {"tsPage", "Caption", "Seite", [&] { return w.page->windowTitle(); }, "Seite"},
        {"mFile", "Caption", "&Datei", [&] { return w.menu->title(); }, "&Datei"},
        {"miExit", "Caption", "&Beenden", [&] { return w.action->text(); }, "&Beenden"},
        {"miExit", "Hint", "Beenden", [&] { return w.action->toolTip(); }, "Beenden"},
        {"eHost", "Text", "rechner", [&] { return w.edit->text(); }, "rechner"},
        {"eHost", "placeholdertext", "Name", [&] { return w.edit->placeholderText(); }, "Name"},
        {"ePassword", "Text", "leaked", [&] { return w.secret->text(); }, "secret"},
        {"cbMode", "Text", "automatisch", [&] { return w.combo->currentText(); }, "automatisch"},
        {"mNotes", "Text", "x\r\ny", [&] { return w.memo->toPlainText(); }, "x\ny"},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(std::string(change.control) + "." + change.property);
        target.SetText(change.control, change.property, change.value);
        EXPECT_EQ(change.shown(), change.expected);
    }
    EXPECT_EQ(window.windowTitle(), "Own caption");
}

class WidgetLanguageTest : public testing::Test {
protected:
    TempFolder folder;
    tLang lang;
    TzelLanguage language{folder.path(), lang};
    ScriptedPrompts prompts;
};

// Every text of the template, prefixed, read back into a fresh window.
TEST_F(WidgetLanguageTest, TheTemplateOfThePreferencesWindowReadsBack) {
    T_Options original(language, prompts, {});
    TOptionsValues values;
    values.Options.ProxyPsw = "secret-password";
    values.Options.Anonymous = "me@example.org";
    original.setValues(values);
    const std::string file = folder.file("language.lng");
    TWidgetLanguageWindow written(original);
    TzelLanguage::WriteLanguageFile(written, file);

    const std::string text = ReadFile(file);
    for (const char* line : {"[Translations]\r\n", "\r\nT_Options.bbOK.Caption=&OK\r\n",
                             "\r\nT_Options.bbCancel.Caption=&Cancel\r\n",
                             "\r\nT_Options.tsProxy.Caption=Proxy / Firewall \r\n",
                             "\r\nT_Options.rgDefPrompt.Caption=Default Action :\r\n",
                             "\r\nT_Options.cbLangOn.Caption=Use localization\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(text.find("secret-password"), std::string::npos);
    EXPECT_EQ(text.find("me@example.org"), std::string::npos);
    EXPECT_EQ(text.find("qt_"), std::string::npos);

    // "X:" before every value.
    std::string translated;
    std::istringstream lines(text);
    int entries = 0;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            line.insert(equals + 1, "X:");
            ++entries;
        }
        translated += line + '\n';
    }
    WriteFile(folder.file("xx.lng"), translated);

    T_Options fresh(language, prompts, {});
    TWidgetLanguageWindow target(fresh);
    TzelLanguage::ReadLanguageFile(target, folder.file("xx.lng"));
    int checked = 0;
    for (const std::string& control : written.ControlNames()) {
        for (const char* property : {"Caption", "Hint", "Text"}) {
            const std::optional<std::string> before = written.Text(control, property);
            if (!before || before->empty())
                continue;
            ++checked;
            SCOPED_TRACE(control + "." + property);
            EXPECT_EQ(target.Text(control, property), "X:" + *before);
        }
    }
    EXPECT_EQ(fresh.pageNode(4)->text(0), "X:Proxy / Firewall ");
    EXPECT_EQ(entries, checked);
}

TEST_F(WidgetLanguageTest, TheLanguageMenuChoosesAndTranslatesTheMainWindow) {
    WriteFile(folder.file("fr.lng"),
              "[Translations]\r\nT_Main.lTitle.Caption=Ordinateur local\r\n");
    WriteFile(folder.file("De.lng"), "[Translations]\r\nT_Main.lTitle.Caption=Lokaler Rechner\r\n");
    WriteFile(folder.file("language.lng"),
              "[Translations]\r\nT_Main.lTitle.Caption=Local computer\r\n");
    QMainWindow main;
    main.setObjectName(QStringLiteral("T_Main"));
    auto* title = Make<QLabel>(&main, "lTitle");
    title->setText(QStringLiteral("Local computer"));
    QMenu* menu = main.menuBar()->addMenu(QStringLiteral("Language"));
    QAction* english = menu->addAction(QStringLiteral("Default (English)"));
    menu->addSeparator();
    menu->addAction(QStringLiteral("stale entry"));

    lang = {true, false, "fr"};
    BuildLanguageMenu(*menu, language, main);
    const auto captions = [menu] {
        QStringList list;
        for (QAction* action : menu->actions())
            list << (action->isSeparator() ? QStringLiteral("-") : action->text()) +
                        (action->isChecked() ? QStringLiteral("*") : QString());
        return list.join(u'|');
    };
    EXPECT_EQ(captions(), "Default (English)|-|de|fr*");
    EXPECT_EQ(menu->defaultAction(), english);
    EXPECT_EQ(title->text(), "Ordinateur local");
    EXPECT_TRUE(lang.LangOn);

    menu->actions().at(2)->trigger();
    EXPECT_EQ(captions(), "Default (English)|-|de*|fr");
    EXPECT_EQ(lang.LangFile, "de");
    EXPECT_EQ(title->text(), "Lokaler Rechner");

    english->trigger();
    EXPECT_EQ(captions(), "Default (English)*|-|de|fr");
    EXPECT_EQ(lang.LangFile, "language");
    EXPECT_FALSE(lang.LangOn);
    EXPECT_EQ(title->text(), "Local computer");
}

TEST_F(WidgetLanguageTest, AnEmptyMenuGetsItsDefaultEntry) {
    QMainWindow main;
    main.setObjectName(QStringLiteral("T_Main"));
    QMenu menu;
    lang = {true, false, "fr"}; // no such file
    BuildLanguageMenu(menu, language, main);
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_EQ(menu.actions().at(0)->text(), "Default (English)");
    EXPECT_TRUE(menu.actions().at(0)->isChecked());
    EXPECT_TRUE(menu.actions().at(1)->isSeparator());
    EXPECT_EQ(lang.LangFile, "language");
    EXPECT_FALSE(lang.LangOn);
}

} // namespace
