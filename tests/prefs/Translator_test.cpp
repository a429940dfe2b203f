#include "prefs/PrefsTestSupport.h"
#include "prefs/Translator.h"
#include "text/TextFields.h"

#include <map>
#include <sys/stat.h>

namespace {

// A window as a table of {"control.property", text}, the property in lower
// case, the controls in creation order. Setting a text it lacks fails the test.
class FakeWindow : public TranslatableWindow {
public:
    using Texts = std::vector<std::pair<std::string, std::string>>;

    FakeWindow(std::string name, const Texts& texts) : name_(std::move(name)) {
        for (const auto& [key, text] : texts) {
            const std::string control = key.substr(0, key.find('.'));
            if (names_.empty() || names_.back() != control)
                names_.push_back(control);
            texts_[key] = text;
        }
    }
    std::string WindowName() const override { return name_; }
    std::vector<std::string> ControlNames() const override { return names_; }
    std::optional<std::string> Text(const std::string& control,
                                    const std::string& property) const override {
        const auto found = texts_.find(control + '.' + text::AsciiLowerCopy(property));
        return found == texts_.end() ? std::nullopt : std::optional(found->second);
    }
    void SetText(const std::string& control, const std::string& property,
                 const std::string& value) override {
        const auto found = texts_.find(control + '.' + text::AsciiLowerCopy(property));
        ASSERT_NE(found, texts_.end()) << control << '.' << property;
        found->second = value;
    }
    // Each {"control.property", text} as the window holds it now.
    void Expect(const Texts& expected) const {
        for (const auto& [key, text] : expected)
            EXPECT_EQ(texts_.at(key), text) << key;
    }

private:
    std::string name_;
    std::vector<std::string> names_;
    std::map<std::string, std::string> texts_;
};

FakeWindow MainWindow() {
    return FakeWindow("T_Main", {{"sbConnect.caption", "&Connect"},
                                 {"sbConnect.hint", "Connect"},
                                 {"lEmpty.caption", ""},
                                 {"N1.caption", "-"},
                                 {"ePath.text", "C:\\"},
                                 {"ePath.hint", ""},
                                 {"mNote.text", "two\r\nlines"},
                                 {"lLatin.caption", "x"},
                                 {"lTitle.caption", "Local computer"}});
}

TEST(LanguageLineTest, IsCutAtTheFirstEqualsSignAndTheFirstTwoDots) {
    const std::pair<const char*, const char*> rows[] = {
        {"T_Main.sbConnect.Caption=&Connect", "T_Main|sbConnect|Caption|&Connect"},
        {"T_Main.e.Text=a=b=c", "T_Main|e|Text|a=b=c"},
        {"T_Main.l.Caption=one~~two~~~", "T_Main|l|Caption|one\r\ntwo\r\n~"},
        {"T_Main.l.Font.Name=Arial", "T_Main|l|Font.Name|Arial"},
        {"T_Main.Caption=x", "<none>"},
        {"[Translations]", "<none>"},
    };
    for (const auto& [line, expected] : rows) {
        const std::optional<LanguageEntry> e = ParseLanguageLine(line);
        EXPECT_EQ(e ? e->Window + '|' + e->Control + '|' + e->Property + '|' + e->Value : "<none>",
                  expected)
            << line;
    }
    EXPECT_EQ(EncodeLanguageValue("a\r\nb\nc"), "a~~b~~c");
}

class LanguageTest : public testing::Test {
protected:
    std::string File(const std::string& name) const { return folder.file(name); }
    void Write(const std::string& name, const std::string& entries) {
        WriteFile(File(name), "[Translations]\r\n" + entries);
    }

    TempFolder folder;
    LanguageSettings lang;
    Translator language{folder.path(), lang};
};

TEST_F(LanguageTest, ReadingSetsTheNamedTextsThatAreNotEmpty) {
    WriteFile(File("de.lng"),
              "T_Main.lTitle.Caption=the first line is never an entry\r\n"
              "T_Main.sbConnect.Caption=&Verbinden\r\n"
              "T_Main.SBCONNECT.hint=Verbinden mit D\xC3\xA9j\xC3\xA0\r\n" // names ignore case
              "t_main.sbConnect.Caption=wrong window\r\n"                  // windows do not
              "T_Options.sbConnect.Caption=other window\r\n"
              "T_Main.lEmpty.Caption=Leer\r\n" // empty by design
              "T_Main.ePath.Hint=Pfad\r\n"     // empty now
              "T_Main.mNote.Text=a=b~~c\r\n"
              "T_Main.lLatin.Caption=\xE9t\xE9 \x80\r\n" // older files are Windows-1252
              "T_Main.lTitle.Color=clRed\r\n"            // not a text
              "T_Main.nothing.Caption=x\r\n"
              "malformed line\r\n"
              "T_Main.ePath.Text=D:\\\n");
    FakeWindow window = MainWindow();
    Translator::ReadLanguageFile(window, File("de.lng"));
    window.Expect({{"sbConnect.caption", "&Verbinden"},
                   {"sbConnect.hint", "Verbinden mit D\xC3\xA9j\xC3\xA0"},
                   {"lEmpty.caption", ""},
                   {"ePath.hint", ""},
                   {"ePath.text", "D:\\"},
                   {"mNote.text", "a=b\r\nc"},
                   {"lLatin.caption", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"},
                   {"lTitle.caption", "Local computer"}});
}

TEST_F(LanguageTest, TheTemplateHoldsCaptionsHintsAndTexts) {
    Write("language.lng", "Other.x.Caption=kept\r\nT_Main.sbConnect.Caption=old\r\n");
    Translator::WriteLanguageFile(MainWindow(), File("language.lng"));
    EXPECT_EQ(ReadFile(File("language.lng")), "[Translations]\r\n"
                                              "Other.x.Caption=kept\r\n"
                                              "T_Main.sbConnect.Caption=&Connect\r\n"
                                              "T_Main.sbConnect.Hint=Connect\r\n"
                                              "T_Main.ePath.Text=C:\\\r\n"
                                              "T_Main.mNote.Text=two~~lines\r\n"
                                              "T_Main.lLatin.Caption=x\r\n"
                                              "T_Main.lTitle.Caption=Local computer\r\n");
}

TEST_F(LanguageTest, ListsEachLanguageOnceInLowerCase) {
    EXPECT_TRUE(language.ListLanguages().empty());
    EXPECT_TRUE(Translator(folder.file("missing/"), lang).ListLanguages().empty());
    for (const char* name : {"Fr.lng", "fr.lng", "de.LNG", "language.lng", "LANGUAGE.LNG",
                             "notes.txt", ".lng", "Zulu.lng"})
        WriteFile(File(name), "");
    ASSERT_EQ(::mkdir(File("folder.lng").c_str(), 0700), 0);
    EXPECT_EQ(language.ListLanguages(), (std::vector<std::string>{"de", "fr", "zulu"}));
    EXPECT_EQ(language.LanguageFilePath("fr"), File("fr.lng"));
    EXPECT_EQ(language.LanguageFilePath("zulu"), File("Zulu.lng"));
    EXPECT_EQ(language.LanguageFilePath("es"), File("es.lng"));
}

TEST_F(LanguageTest, LangInitWritesTheTemplateBeforeTranslating) {
    Write("de.lng", "T_Main.lTitle.Caption=Lokaler Rechner\r\n");
    lang = {true, true, "de"};
    FakeWindow window = MainWindow();
    language.ApplyLanguage(window);
    window.Expect({{"lTitle.caption", "Lokaler Rechner"}});
    const std::string written = ReadFile(File("language.lng"));
    EXPECT_NE(written.find("T_Main.lTitle.Caption=Local computer\r\n"), std::string::npos);
    EXPECT_EQ(FileMode(File("language.lng")), 0644u); // for translators to share
}

} // namespace
