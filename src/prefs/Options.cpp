#include "prefs/Options.h"

#include "prefs/IniFile.h"
#include "prefs/TextFile.h"

#include <type_traits>
#include <unistd.h>
#include <variant>
#include <vector>

namespace {

using Field = std::variant<std::string*, int*, bool*>;

struct Binding {
    const char* section;
    const char* key;
    Field field;
    // A key that older files lack: written only when it holds something
    // other than its default or the file has it already, so an older file
    // saves back as it was.
    bool added = false;
};

constexpr const char* Common = "Common";
constexpr const char* DefaultLogName = "corvane.log";

void AddFontBindings(std::vector<Binding>& list, const char* section, StoredFont& font) {
    list.insert(list.end(), {{section, "Name", &font.Name},
                             {section, "CharSet", &font.CharSet},
                             {section, "Color", &font.Color},
                             {section, "Style_Bold", &font.Bold},
                             {section, "Style_Italic", &font.Italic},
                             {section, "Style_UnderLine", &font.UnderLine},
                             {section, "Style_StrikeOut", &font.StrikeOut}});
}

// Every stored key, in the order the file is written. The connection type is
// a byte in the record and an integer in the file, so it goes through `type`.
constexpr const char* WindowSection = "Window";

std::vector<Binding> Bindings(Settings& s, int& type) {
    Options& o = s.Options;
    std::vector<Binding> list = {
        {Common, "ConnectionType", &type},
        {Common, "TransferMode", &o.TransferMode},
        {"Proxy", "Server", &o.ProxyServer},
        {"Proxy", "Port", &o.ProxyPort},
        {"Proxy", "Psw", &o.ProxyPsw},
        {"Proxy", "PswMask", &o.ProxyPswMask},
        {"Socks", "Server", &o.SocksServer},
        {"Socks", "Port", &o.SocksPort},
        {"Socks", "Psw", &o.SocksPsw},
        {"Socks", "UC", &o.SocksUC},
        {"Socks", "PswMask", &o.SocksPswMask},
        {Common, "PassiveTransfer", &o.PassiveTransfer},
        {Common, "Sync", &o.Sync},
        {Common, "Log", &o.Log},
        {Common, "LogFile", &o.LogFile},
        {Common, "LogSize", &o.LogSize},
        {Common, "LogFileSize", &o.LogFileSize},
        {Common, "TimeOut", &o.TimeOut},
        {Common, "retry", &o.retry},
        {Common, "Keep", &o.Keep},
        {Common, "StartKeep", &o.StartKeep},
        {Common, "DurationKeep", &o.DurationKeep},
        {Common, "CmdKeep", &o.CmdKeep},
        {Common, "Ext", &o.Ext},
        {Common, "Anonymous", &o.Anonymous},
        {Common, "MailAno", &o.MailAno},
        {Common, "fwHost", &o.fwHost},
        {Common, "fwPort", &o.fwPort},
        {Common, "fwID", &o.fwID},
        {Common, "fwPsw", &o.fwPsw},
        {Common, "fwType", &o.fwType},
        {Common, "fwSimbol", &o.fwSimbol},
        {Common, "fwEnable", &o.fwEnable},
        {Common, "IniPath", &o.IniPath},
        {Common, "FontName", &o.FontName},
        {Common, "FontSize", &o.FontSize},
        {Common, "FontColor", &o.FontColor},
        {Common, "PromptDownLoad", &o.PromptDownLoad},
        {Common, "PromptUpLoad", &o.PromptUpLoad},
        {Common, "DefPrompt", &o.DefPrompt},
        {Common, "DateType", &o.DateType},
        {Common, "KeepFileTimes", &o.KeepFileTimes, true},
        {"Language", "LangOn", &s.Lang.LangOn},
        {"Language", "LangInit", &s.Lang.LangInit},
        {"Language", "LangFile", &s.Lang.LangFile},
    };
    AddFontBindings(list, "Font Right", s.FontRight);
    AddFontBindings(list, "Font Left", s.FontLeft);
    WindowLayout& w = s.Layout;
    list.insert(list.end(), {{WindowSection, "Geometry", &w.Geometry},
                             {WindowSection, "Panes", &w.Panes},
                             {WindowSection, "Log", &w.Log},
                             {WindowSection, "LocalColumns", &w.LocalColumns},
                             {WindowSection, "RemoteColumns", &w.RemoteColumns},
                             {WindowSection, "LocalFolder", &w.LocalFolder}});
    return list;
}

// The rules that keep loaded values usable: ranges, known codes, one symbol.
void Normalize(Options& o, int type, const Options& defaults) {
    o.ConnectionType = static_cast<std::uint8_t>(type >= 0 && type <= 4 ? type : 0);
    if (o.LogFile.empty())
        o.LogFile = defaults.LogFile;
    ClampToRanges(o);
    o.fwSimbol = std::string(Utf8Left(o.fwSimbol, 1));
    if (o.fwSimbol.empty())
        o.fwSimbol = defaults.fwSimbol;
}

} // namespace

void ClampToRanges(Options& o) {
    o.TimeOut = TimeOutRange.Clamp(o.TimeOut);
    o.retry = RetryRange.Clamp(o.retry);
    o.LogSize = LogSizeRange.Clamp(o.LogSize);
    o.LogFileSize = LogFileSizeRange.Clamp(o.LogFileSize);
    o.StartKeep = StartKeepRange.Clamp(o.StartKeep);
    o.DurationKeep = DurationKeepRange.Clamp(o.DurationKeep);
    if (o.DefPrompt < 0 || o.DefPrompt > 2)
        o.DefPrompt = 0;
}

std::string ListingFilePath(const std::string& folder, pid_t processId) {
    return folder + "FTPDIR" + std::to_string(processId) + ".TXT";
}

Options DefaultOptions(const std::string& folder, pid_t processId) {
    Options o;
    o.LogFile = folder + DefaultLogName;
    o.ListingFile = ListingFilePath(folder, processId);
    o.IniPath = folder;
    return o;
}

std::string LogFilePath(const Options& options, const std::string& folder) {
    if (options.LogFile.empty())
        return folder + DefaultLogName;
    return options.LogFile.front() == '/' ? options.LogFile : folder + options.LogFile;
}

void LoadOptions(const std::string& folder, Settings& settings) {
    LoadOptions(folder, settings, ::getpid());
}

void LoadOptions(const std::string& folder, Settings& settings, pid_t processId) {
    const Options defaults = DefaultOptions(folder, processId);
    settings.Options = defaults;
    settings.Lang = LanguageSettings{};
    settings.Layout = WindowLayout{};
    int type = settings.Options.ConnectionType;
    const IniFile file(folder + OptionsFileName);
    for (const Binding& b : Bindings(settings, type)) {
        std::visit(
            [&](auto* field) {
                using T = std::remove_pointer_t<decltype(field)>;
                if constexpr (std::is_same_v<T, std::string>)
                    *field = file.ReadString(b.section, b.key, *field);
                else if constexpr (std::is_same_v<T, int>)
                    *field = file.ReadInteger(b.section, b.key, *field);
                else
                    *field = file.ReadBool(b.section, b.key, *field);
            },
            b.field);
    }
    Normalize(settings.Options, type, defaults);
}

bool SaveOptions(const std::string& folder, const Settings& settings) {
    Settings copy = settings;
    int type = copy.Options.ConnectionType;
    Settings defaults;
    int defaultType = defaults.Options.ConnectionType;
    const std::vector<Binding> defaultBindings = Bindings(defaults, defaultType);
    IniFile file(folder + OptionsFileName);
    const std::vector<Binding> bindings = Bindings(copy, type);
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        const Binding& b = bindings[i];
        std::visit(
            [&](auto* field) {
                using T = std::remove_pointer_t<decltype(field)>;
                if (b.added && *field == *std::get<T*>(defaultBindings[i].field) &&
                    file.ReadString(b.section, b.key, "\n") == "\n")
                    return;
                // A window never shown leaves no section: files stay as they were.
                if constexpr (std::is_same_v<T, std::string>) {
                    if (b.section == std::string_view(WindowSection) && field->empty())
                        return;
                }
                if constexpr (std::is_same_v<T, std::string>)
                    file.WriteString(b.section, b.key, *field);
                else if constexpr (std::is_same_v<T, int>)
                    file.WriteInteger(b.section, b.key, *field);
                else
                    file.WriteBool(b.section, b.key, *field);
            },
            b.field);
    }
    return file.UpdateFile();
}
