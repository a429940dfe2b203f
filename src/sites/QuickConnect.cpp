#include "sites/QuickConnect.h"

#include "net/HostAddress.h"
#include "prefs/IniFile.h"
#include "prefs/Options.h"
#include "sites/SiteForm.h"
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

constexpr AddressScheme Schemes[] = {
    {"ftp://", SiteEncryption::ExplicitIfOffered, DefaultFtpPort},
    {"ftpes://", SiteEncryption::Explicit, DefaultFtpPort},
    {"ftps://", SiteEncryption::Implicit, ImplicitTlsPort},
};

} // namespace

const AddressScheme* SchemeOf(std::string_view address) {
    for (const AddressScheme& scheme : Schemes) {
        if (text::StartsWithNoCase(address, scheme.Prefix))
            return &scheme;
    }
    return nullptr;
}

std::optional<QuickConnectAddress> ReadQuickConnectAddress(std::string_view typed,
                                                           std::string& problem) {
    std::string_view rest = text::TrimBlanks(typed);
    QuickConnectAddress address;
    std::string defaultPort = DefaultFtpPort;
    if (const AddressScheme* scheme = SchemeOf(rest)) {
        rest.remove_prefix(scheme->Prefix.size());
        address.Encryption = scheme->Encryption;
        defaultPort = scheme->Port;
    }
    if (rest.find("://") != std::string_view::npos) {
        problem = "Only ftp://, ftps:// and ftpes:// addresses can be opened.";
        return std::nullopt;
    }
    if (const std::size_t slash = rest.find('/'); slash != std::string_view::npos) {
        address.Dir = rest.substr(slash);
        rest = rest.substr(0, slash);
    }
    // A password may hold "@"; the host never does.
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
        const std::string_view userInfo = rest.substr(0, at);
        const std::size_t colon = userInfo.find(':');
        address.User = userInfo.substr(0, colon);
        if (colon != std::string_view::npos)
            address.Password = std::string(userInfo.substr(colon + 1));
        rest = rest.substr(at + 1);
    }
    const std::optional<net::HostAndPort> host = net::SplitHostAndPort(rest);
    if (!host) {
        problem = rest.empty() ? "Enter the host to connect to."
                               : "The host is not a name or address we can connect to.";
        return std::nullopt;
    }
    address.Host = host->host;
    address.Port = host->port.empty() ? defaultPort : host->port;
    return address;
}

std::string QuickConnectProblem(const QuickConnectEntries& entries) {
    if (Trimmed(entries.Host).empty())
        return "Enter the host to connect to.";
    std::string problem;
    if (!ReadQuickConnectAddress(entries.Host, problem))
        return problem;
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
    std::string problem;
    QuickConnectAddress address;
    if (std::optional<QuickConnectAddress> read = ReadQuickConnectAddress(entries.Host, problem)) {
        address = std::move(*read);
    } else { // QuickConnectProblem turns it down first; taken as typed all the same
        address.Host = Trimmed(entries.Host);
        address.Port = DefaultFtpPort;
    }
    Site site = NewSiteRecord(options);
    site.Encryption = EncryptionText(address.Encryption);
    site.Server = address.Host;
    site.Name = CutText(site.Server, MaxSiteName);
    const std::string port = Trimmed(entries.Port);
    site.Port = port.empty() ? address.Port : port;
    site.InitialDir = address.Dir;
    site.User = Trimmed(entries.User);
    if (site.User.empty())
        site.User = address.User;
    const std::string password =
        entries.Password.empty() ? address.Password.value_or("") : entries.Password;
    site.Password = password;
    if (site.User.empty()) {
        site.User = "anonymous";
        site.Anonymous = 1;
        site.EMail = !password.empty() ? password : options.Anonymous;
    }
    site.SavePassword = site.Anonymous != 0 || !password.empty() ? 1 : 0;
    return site;
}

std::string QuickConnectDefaultPort(std::string_view host) {
    std::string problem;
    const std::optional<QuickConnectAddress> address = ReadQuickConnectAddress(host, problem);
    return address ? address->Port : DefaultFtpPort;
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
