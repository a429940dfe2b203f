#include "sites/QuickConnect.h"

#include "prefs/IniFile.h"
#include "prefs/Options.h"
#include "text/TextFields.h"

#include <QByteArray>
#include <charconv>

namespace {

constexpr const char* HostKey = "Host";
constexpr const char* UserKey = "User";
constexpr const char* PortKey = "Port";
constexpr const char* RememberKey = "RememberPassword";
// Scrambled, then hexadecimal, so no byte of it can end the line.
constexpr const char* PasswordHexKey = "PasswordHex";

std::string Trimmed(const std::string& text) {
    return std::string(text::TrimBlanks(text));
}

} // namespace

std::string QuickConnectProblem(const QuickConnectEntries& entries) {
    if (Trimmed(entries.Host).empty())
        return "Enter the host to connect to.";
    const std::string port = Trimmed(entries.Port);
    if (port.empty())
        return {};
    int number = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (error != std::errc() || end != port.data() + port.size() || number < 1 || number > 65535)
        return "The port must be a number from 1 to 65535.";
    return {};
}

Site QuickConnectSite(const QuickConnectEntries& entries, const Options& options) {
    Site site = NewSiteRecord(options);
    site.Server = Trimmed(entries.Host);
    site.Name = CutText(site.Server, MaxSiteName);
    const std::string port = Trimmed(entries.Port);
    site.Port = port.empty() ? "21" : port;
    site.User = Trimmed(entries.User);
    site.Password = entries.Password;
    if (site.User.empty()) {
        site.User = "anonymous";
        site.Anonymous = 1;
        site.EMail = !entries.Password.empty() ? entries.Password : options.Anonymous;
    }
    site.SavePassword = site.Anonymous != 0 || !entries.Password.empty() ? 1 : 0;
    return site;
}

QuickConnectEntries LoadQuickConnect(const std::string& programFolder) {
    const IniFile file(programFolder + OptionsFileName);
    QuickConnectEntries entries;
    entries.Host = file.ReadString(QuickConnectSection, HostKey, "");
    entries.User = file.ReadString(QuickConnectSection, UserKey, "");
    entries.Port = file.ReadString(QuickConnectSection, PortKey, "");
    entries.RememberPassword = file.ReadBool(QuickConnectSection, RememberKey, false);
    if (entries.RememberPassword) {
        const QByteArray hex =
            QByteArray::fromStdString(file.ReadString(QuickConnectSection, PasswordHexKey, ""));
        entries.Password = ScramblePassword(QByteArray::fromHex(hex).toStdString());
    }
    return entries;
}

bool SaveQuickConnect(const std::string& programFolder, const QuickConnectEntries& entries) {
    IniFile file(programFolder + OptionsFileName);
    file.WriteString(QuickConnectSection, HostKey, Trimmed(entries.Host));
    file.WriteString(QuickConnectSection, UserKey, Trimmed(entries.User));
    file.WriteString(QuickConnectSection, PortKey, Trimmed(entries.Port));
    file.WriteBool(QuickConnectSection, RememberKey, entries.RememberPassword);
    // A password once kept is wiped when the user no longer asks for it.
    const std::string password = entries.RememberPassword ? entries.Password : std::string();
    file.WriteString(QuickConnectSection, PasswordHexKey,
                     QByteArray::fromStdString(ScramblePassword(password)).toHex().toStdString());
    return file.UpdateFile();
}
