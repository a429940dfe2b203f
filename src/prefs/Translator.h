#pragma once

#include "prefs/Options.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the translation engine needs of a window; the widget layer adapts a
// Qt window to it, tests use a table.
class TranslatableWindow {
public:
    virtual ~TranslatableWindow() = default;
    // The window's name in language files ("T_Main", "T_Options", "TInputForm"),
    // which existing language files use.
    virtual std::string WindowName() const = 0;
    // The names of the controls the window owns, in creation order; not the
    // window itself.
    virtual std::vector<std::string> ControlNames() const = 0;
    // A text property of the control named exactly `control`, or nothing when
    // it has no text property of that name. Property names ("Caption",
    // "Hint", "Text" and any other) match without regard to case; line
    // breaks are CR LF.
    virtual std::optional<std::string> Text(const std::string& control,
                                            const std::string& property) const = 0;
    virtual void SetText(const std::string& control, const std::string& property,
                         const std::string& value) = 0;
};

// One line of a language file: window name "." control "." property "=" value.
struct LanguageEntry {
    std::string Window;
    std::string Control;
    std::string Property;
    std::string Value; // "~~" already turned into CR LF
};

// The entry of one line, or nothing for a line without that shape. The value
// is everything after the first "=".
std::optional<LanguageEntry> ParseLanguageLine(std::string_view line);
// A text as a language file keeps it: each line break (CR LF or LF) as "~~".
std::string EncodeLanguageValue(std::string_view text);

// The names the language menu offers and the entry that is checked.
struct LanguageMenu {
    std::vector<std::string> Names;
    int Checked = -1; // -1: "Default (English)"
};

// The translation engine: language files in the program folder, the language
// choice of the settings, and the rules that tie them together.
class Translator {
public:
    // `lang` is the settings' language record; it must outlive the engine.
    Translator(std::string folder, LanguageSettings& lang);

    const std::string& Folder() const { return folder_; }

    // Translates `window` when localization is on (writing its texts into the
    // default language file first when LangInit is set). Afterwards
    // localization stays on only for a language other than the default, so
    // the English texts of "language.lng" are applied once.
    void ApplyLanguage(TranslatableWindow& window);
    // Translates `window` into `stem` at once, the stored choice unchanged.
    void PreviewLanguage(TranslatableWindow& window, const std::string& stem) const;

    // Sets every text that the file names for `window` and that is not empty
    // now. A missing file is created empty.
    static void ReadLanguageFile(TranslatableWindow& window, const std::string& fileName);
    // Writes the window's captions (not "-"), hints and texts that are not
    // empty into section "Translations" of the file; other keys stay.
    static void WriteLanguageFile(const TranslatableWindow& window, const std::string& fileName);

    // The stems of the "*.lng" files of the folder but "language.lng", in
    // lower case, sorted, each once.
    std::vector<std::string> ListLanguages() const;
    // The file of a stem; an existing file whose name differs only in case
    // counts, as language files come from systems that ignore case.
    std::string LanguageFilePath(const std::string& stem) const;

    // The entries of the language menu. A stored language that has no file
    // or no entry falls back to the default; then `mainWindow` is translated
    // when localization is on.
    LanguageMenu BuildLanguageMenu(TranslatableWindow& mainWindow);
    // A click on entry `entry` of `menu` (-1: "Default (English)").
    void ChooseLanguage(const LanguageMenu& menu, int entry, TranslatableWindow& mainWindow);

private:
    std::string folder_;
    LanguageSettings& lang_;
};
