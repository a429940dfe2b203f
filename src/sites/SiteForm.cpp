#include "sites/SiteForm.h"

#include "prefs/CommaText.h"
#include "prefs/Prompts.h"
#include "sites/SiteFolder.h"
#include "text/TextFields.h"

namespace {

constexpr mode_t HostTypesMode = 0644;

std::string Trimmed(std::string_view text) {
    return std::string(text::TrimBlanks(text));
}

bool IsCustomType(const SiteForm& form, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < form.CustomTypes.size();
}

// The base entry cannot be given other columns.
bool HasOwnColumns(const SiteForm& form, int index) {
    return index > 0 && IsCustomType(form, index);
}

void ShowColumns(SiteForm& form, std::string_view code) {
    const std::array<int, ColumnCount> columns = CodeColumns(code);
    for (std::size_t i = 0; i < ColumnCount; ++i)
        form.Columns[i] = std::to_string(columns[i]);
}

char ColumnCharacter(std::string_view box) {
    const std::optional<std::int64_t> n = text::ParseInteger(text::TrimBlanks(box));
    return n && *n >= 0 && *n <= MaxColumn ? ColumnDigits[static_cast<std::size_t>(*n)] : '0';
}

std::string HostTypeLine(const HostType& type) {
    std::string line = "\"";
    for (const char c : type.Name) {
        line += c;
        if (c == '"')
            line += c;
    }
    return line + "\"," + type.Code;
}

} // namespace

HostTypeList ReadHostTypes(const std::string& folder) {
    std::vector<std::string> lines;
    ReadListLines(folder + HostTypesFileName, lines);
    HostTypeList types;
    for (const std::string& line : lines) {
        const std::vector<std::string> items = SplitCommaText(line);
        if (items.empty())
            continue;
        const bool hasCode = items.size() > 1 && !items[1].empty();
        types.push_back({items[0], hasCode ? items[1] : std::string(DefaultAnswer)});
    }
    if (types.empty())
        types.push_back({DefaultHostTypeName, std::string(DefaultAnswer)});
    types.front().Code = DefaultAnswer;
    return types;
}

bool WriteHostTypes(const std::string& folder, const HostTypeList& types) {
    std::vector<std::string> lines;
    for (const HostType& type : types)
        lines.push_back(HostTypeLine(type));
    return WriteListLines(folder + HostTypesFileName, lines, nullptr, HostTypesMode);
}

std::array<int, ColumnCount> CodeColumns(std::string_view code) {
    std::array<int, ColumnCount> columns{};
    for (std::size_t i = 0; i < ColumnCount && i + 1 < code.size(); ++i) {
        const std::size_t position = ColumnDigits.find(code[i + 1]);
        columns[i] = position == std::string_view::npos ? 0 : static_cast<int>(position);
    }
    return columns;
}

SiteForm FormForSite(const Site& site, HostTypeList customTypes) {
    SiteForm form;
    form.Name = site.Name;
    form.Server = site.Server;
    form.Port = site.Port;
    form.Anonymous = site.Anonymous != 0;
    form.User = site.User;
    form.Password = site.Password;
    form.Account = site.Account;
    form.InitialDir = site.InitialDir;
    form.Slash = !site.InitialDir.empty() && site.InitialDir.front() == '/';
    form.LocalDir = site.LocalDir;
    form.EMail = site.EMail;
    form.SavePassword = site.SavePassword != 0;
    form.Pasv = site.Pasv != 0;
    form.MaskPassword = site.CheckPSW != 0;
    form.VirtualHost = site.CheckVHost != 0;
    form.CustomTypes = std::move(customTypes);
    if (form.CustomTypes.empty())
        form.CustomTypes.push_back({DefaultHostTypeName, std::string(DefaultAnswer)});

    std::string code = site.Answer;
    form.HostType = static_cast<int>(remote::ListingStyleFromAnswer(code).layout);
    if (code.size() != MaxSiteAnswer || form.HostType == 0)
        code = DefaultAnswer;
    if (form.HostType == CustomHostType) {
        form.CustomType = 0;
        code = DefaultAnswer;
        for (std::size_t i = 0; i < form.CustomTypes.size(); ++i) {
            if (text::EqualsNoCase(form.CustomTypes[i].Name, site.AnswerName)) {
                form.CustomType = static_cast<int>(i);
                code = i == 0 ? std::string(DefaultAnswer) : form.CustomTypes[i].Code;
                break;
            }
        }
    }
    ShowColumns(form, code);
    form.DescLines = TextLines(site.Desc, DescSeparator);
    form.Encryption = EncryptionOf(site);
    form.UseMlsd = !ListsOnly(site);
    form.TlsFingerprint = site.TlsFingerprint;
    return form;
}

int EncryptionChoiceIndex(SiteEncryption encryption) {
    for (std::size_t i = 0; i < EncryptionChoices.size(); ++i) {
        if (EncryptionChoices[i].Encryption == encryption)
            return static_cast<int>(i);
    }
    return 0;
}

void ChooseEncryption(SiteForm& form, SiteEncryption chosen) {
    const std::string_view port = text::TrimBlanks(form.Port);
    const bool implicitBefore = form.Encryption == SiteEncryption::Implicit;
    const bool implicitNow = chosen == SiteEncryption::Implicit;
    if (implicitNow && !implicitBefore && (port.empty() || port == DefaultFtpPort))
        form.Port = ImplicitTlsPort;
    else if (implicitBefore && !implicitNow && port == ImplicitTlsPort)
        form.Port = DefaultFtpPort;
    form.Encryption = chosen;
}

std::optional<std::string> SaveProblem(const SiteForm& form) {
    if (text::TrimBlanks(form.Name).empty() || text::TrimBlanks(form.Server).empty())
        return ServerNameMissing;
    return std::nullopt;
}

std::string AnswerCode(const SiteForm& form) {
    std::string code(1, static_cast<char>('0' + form.HostType));
    for (const std::string& box : form.Columns)
        code += ColumnCharacter(box);
    return code;
}

void AcceptSiteForm(SiteForm& form, Site& site) {
    site.Name = CutText(text::TrimBlanks(form.Name), MaxSiteName);
    site.Server = Trimmed(form.Server);
    site.Port = Trimmed(form.Port);
    site.User = Trimmed(form.User);
    site.Password = Trimmed(form.Password);
    site.Account = Trimmed(form.Account);
    site.Anonymous = form.Anonymous;
    site.InitialDir = CutText(text::TrimBlanks(form.InitialDir), MaxSiteDir);
    site.LocalDir = CutText(text::TrimBlanks(form.LocalDir), MaxSiteDir);
    site.EMail = CutText(text::TrimBlanks(form.EMail), MaxSiteEMail);
    site.SavePassword = form.SavePassword;
    site.Pasv = form.Pasv;
    site.CheckPSW = form.MaskPassword;
    site.CheckVHost = form.VirtualHost;
    site.Answer = AnswerCode(form);
    if (HasOwnColumns(form, form.CustomType))
        form.CustomTypes[static_cast<std::size_t>(form.CustomType)].Code = site.Answer;
    site.AnswerName =
        IsCustomType(form, form.CustomType)
            ? CutText(form.CustomTypes[static_cast<std::size_t>(form.CustomType)].Name,
                      MaxSiteAnswerName)
            : std::string();
    site.Desc = JoinDescLines(form.DescLines);
    // An unchanged choice keeps the stored text, also one of a newer version.
    if (form.Encryption != EncryptionOf(site))
        site.Encryption = EncryptionText(form.Encryption);
    if (form.UseMlsd == ListsOnly(site))
        site.ListingCommand = form.UseMlsd ? "" : std::string(ListOnlyCommand);
    site.TlsFingerprint = form.TlsFingerprint;
}

SiteEditorLook SiteLook(const SiteForm& form) {
    SiteEditorLook look;
    look.EMailEnabled = form.Anonymous;
    look.LoginEnabled = !form.Anonymous;
    look.CustomPanelVisible = form.HostType == CustomHostType;
    look.ColumnsEnabled = HasOwnColumns(form, form.CustomType);
    return look;
}

std::string SlashedDir(std::string_view dir, bool slash) {
    if (slash) {
        const std::string trimmed = Trimmed(dir);
        return !trimmed.empty() && trimmed.front() == '/' ? trimmed : '/' + trimmed;
    }
    return std::string(!dir.empty() && dir.front() == '/' ? dir.substr(1) : dir);
}

void SelectCustomType(SiteForm& form, int index) {
    if (index == form.CustomType)
        return;
    if (HasOwnColumns(form, form.CustomType))
        form.CustomTypes[static_cast<std::size_t>(form.CustomType)].Code = AnswerCode(form);
    form.CustomType = IsCustomType(form, index) ? index : -1;
    if (form.CustomType == 0)
        ShowColumns(form, DefaultAnswer);
    else if (form.CustomType > 0)
        ShowColumns(form, form.CustomTypes[static_cast<std::size_t>(index)].Code);
}

void AddCustomType(Prompts& prompts, SiteForm& form) {
    std::string name;
    if (!prompts.AskInput("New Host Type", "Enter", name, false, MaxInputLength))
        return;
    form.CustomTypes.push_back({name, std::string(DefaultAnswer)});
    SelectCustomType(form, static_cast<int>(form.CustomTypes.size()) - 1);
}

void EditCustomType(Prompts& prompts, SiteForm& form) {
    if (!HasOwnColumns(form, form.CustomType)) {
        AddCustomType(prompts, form);
        return;
    }
    HostType& type = form.CustomTypes[static_cast<std::size_t>(form.CustomType)];
    std::string name = type.Name;
    if (prompts.AskInput("Edit Host Type", "Enter", name, false, MaxInputLength))
        type.Name = name;
}

void DeleteCustomType(SiteForm& form) {
    if (!HasOwnColumns(form, form.CustomType))
        return;
    form.CustomTypes.erase(form.CustomTypes.begin() + form.CustomType);
    form.CustomType = -1;
}

std::string BrowseStart(const std::string& localDir, const std::string& folder) {
    return !localDir.empty() && IsExistingDirectory(localDir) ? localDir : folder;
}

std::vector<std::string> TextLines(std::string_view text, char separator) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string JoinDescLines(const std::vector<std::string>& lines) {
    std::string desc;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            desc += DescSeparator;
        desc += lines[i];
    }
    return desc;
}

bool EditSite(Prompts& prompts, const std::string& folder, Site& site) {
    SiteForm form = FormForSite(site, ReadHostTypes(folder));
    const bool saved = prompts.EditSite(form);
    if (saved)
        AcceptSiteForm(form, site);
    WriteHostTypes(folder, form.CustomTypes);
    return saved;
}
