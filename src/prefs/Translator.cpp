#include "prefs/Translator.h"

#include "prefs/IniFile.h"
#include "prefs/TextFile.h"
#include "text/TextFields.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <unordered_map>

namespace {

constexpr std::string_view LanguageExtension = ".lng";
constexpr std::string_view LineBreakMark = "~~";
constexpr const char* TranslationsSection = "Translations";
// Language files are shared with translators.
constexpr mode_t LanguageFileMode = 0644;

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    for (std::size_t pos = 0;;) {
        const std::size_t found = text.find(from, pos);
        out.append(text.substr(pos, found - pos));
        if (found == std::string_view::npos)
            return out;
        out.append(to);
        pos = found + from.size();
    }
}

bool IsLanguageFile(const std::string& name) {
    return name.size() >= LanguageExtension.size() &&
           text::EqualsNoCase(name.substr(name.size() - LanguageExtension.size()),
                              LanguageExtension);
}

// The names of the language files in `folder`, sorted.
std::vector<std::string> LanguageFileNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::string name = it->path().filename().string();
        if (IsLanguageFile(name) && it->is_regular_file(error))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

std::optional<LanguageEntry> ParseLanguageLine(std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    const std::string_view key = line.substr(0, equals);
    const std::size_t firstDot = key.find('.');
    const std::size_t secondDot =
        firstDot == std::string_view::npos ? firstDot : key.find('.', firstDot + 1);
    if (secondDot == std::string_view::npos)
        return std::nullopt;
    return LanguageEntry{std::string(key.substr(0, firstDot)),
                         std::string(key.substr(firstDot + 1, secondDot - firstDot - 1)),
                         std::string(key.substr(secondDot + 1)),
                         ReplaceAll(line.substr(equals + 1), LineBreakMark, "\r\n")};
}

std::string EncodeLanguageValue(std::string_view text) {
    return ReplaceAll(ReplaceAll(text, "\r\n", "\n"), "\n", LineBreakMark);
}

Translator::Translator(std::string folder, LanguageSettings& lang)
    : folder_(std::move(folder)), lang_(lang) {}

void Translator::ApplyLanguage(TranslatableWindow& window) {
    if (!lang_.LangOn)
        return;
    if (lang_.LangInit)
        WriteLanguageFile(window, LanguageFilePath(DefaultLanguage));
    ReadLanguageFile(window, LanguageFilePath(lang_.LangFile));
    lang_.LangOn = lang_.LangFile != DefaultLanguage;
}

void Translator::PreviewLanguage(TranslatableWindow& window, const std::string& stem) const {
    LanguageSettings chosen = lang_;
    chosen.LangOn = true;
    chosen.LangFile = stem;
    Translator(folder_, chosen).ApplyLanguage(window);
}

void Translator::ReadLanguageFile(TranslatableWindow& window, const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        std::error_code error;
        if (!std::filesystem::exists(fileName, error) && !error)
            std::ofstream{fileName, std::ios::binary};
        return;
    }
    const std::string windowName = window.WindowName();
    std::unordered_map<std::string, std::string> controls; // lower case -> as named
    for (const std::string& name : window.ControlNames())
        controls.try_emplace(text::AsciiLowerCopy(name), name);

    std::string line;
    ReadTextLine(in, line); // the section header
    while (ReadTextLine(in, line)) {
        const std::optional<LanguageEntry> entry = ParseLanguageLine(ToUtf8(line));
        if (!entry || entry->Window != windowName)
            continue;
        const auto control = controls.find(text::AsciiLowerCopy(entry->Control));
        if (control == controls.end())
            continue;
        const std::optional<std::string> now = window.Text(control->second, entry->Property);
        if (now && !now->empty())
            window.SetText(control->second, entry->Property, entry->Value);
    }
}

void Translator::WriteLanguageFile(const TranslatableWindow& window, const std::string& fileName) {
    IniFile file(fileName, LanguageFileMode);
    const std::string windowName = window.WindowName();
    for (const std::string& control : window.ControlNames()) {
        for (const char* property : {"Caption", "Hint", "Text"}) {
            const std::optional<std::string> text = window.Text(control, property);
            if (!text || text->empty() || (*text == "-" && property == std::string("Caption")))
                continue;
            file.WriteRawString(TranslationsSection, windowName + '.' + control + '.' + property,
                                EncodeLanguageValue(*text));
        }
    }
    file.UpdateFile();
}

std::vector<std::string> Translator::ListLanguages() const {
    std::vector<std::string> stems;
    for (const std::string& name : LanguageFileNames(folder_)) {
        std::string stem =
            text::AsciiLowerCopy(name.substr(0, name.size() - LanguageExtension.size()));
        if (!stem.empty() && stem != DefaultLanguage)
            stems.push_back(std::move(stem));
    }
    std::sort(stems.begin(), stems.end());
    stems.erase(std::unique(stems.begin(), stems.end()), stems.end());
    return stems;
}

std::string Translator::LanguageFilePath(const std::string& stem) const {
    const std::string exact = stem + std::string(LanguageExtension);
    std::error_code error;
    if (std::filesystem::exists(folder_ + exact, error))
        return folder_ + exact;
    for (const std::string& name : LanguageFileNames(folder_)) {
        if (text::EqualsNoCase(name, exact))
            return folder_ + name;
    }
    return folder_ + exact;
}

LanguageMenu Translator::BuildLanguageMenu(TranslatableWindow& mainWindow) {
    LanguageMenu menu{ListLanguages(), -1};
    for (std::size_t i = 0; i < menu.Names.size() && menu.Checked < 0; ++i) {
        if (text::EqualsNoCase(menu.Names[i], lang_.LangFile))
            menu.Checked = static_cast<int>(i);
    }
    // Only a language with a file is listed, and never the default one.
    if (menu.Checked < 0) {
        lang_.LangFile = DefaultLanguage;
        lang_.LangOn = false;
    } else {
        lang_.LangFile = menu.Names[static_cast<std::size_t>(menu.Checked)];
    }
    if (lang_.LangOn)
        ApplyLanguage(mainWindow);
    return menu;
}

void Translator::ChooseLanguage(const LanguageMenu& menu, int entry,
                                TranslatableWindow& mainWindow) {
    if (entry >= 0 && static_cast<std::size_t>(entry) < menu.Names.size()) {
        lang_.LangFile = menu.Names[static_cast<std::size_t>(entry)];
        lang_.LangOn = true;
    } else {
        lang_.LangFile = DefaultLanguage;
    }
    ApplyLanguage(mainWindow);
}
