#pragma once

#include "remote/ListingParser.h"
#include "sites/Site.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Prompts;

// The rules of the site properties window ("Server Properties") and the
// custom host types it keeps in "Answer.txt".

// The "Response Type" list; the position is the listing layout number.
inline constexpr std::array<const char*, 10> HostTypeNames = {"Default",
                                                              "Text",
                                                              "Microsoft FTP-v.4.0.",
                                                              "Mac",
                                                              "Custom",
                                                              "VMS",
                                                              "Microsoft FTP-v.5.0.",
                                                              "UNIX,BSD,WU-FTP server",
                                                              "Windows 2000 Advanced Server",
                                                              "WU-FTP-2 server"};
inline constexpr int CustomHostType = static_cast<int>(remote::ListingLayout::Custom);
inline constexpr const char* HostTypesFileName = "Answer.txt";
inline constexpr const char* DefaultHostTypeName = "Default";
// Name, size, month, day, time and attributes.
inline constexpr std::size_t ColumnCount = 6;
inline constexpr int MaxColumn = 15;
inline constexpr std::string_view ColumnDigits = remote::AnswerColumnDigits;

struct HostType {
    std::string Name;
    std::string Code; // an Answer code, 7 characters
    bool operator==(const HostType&) const = default;
};
using HostTypeList = std::vector<HostType>;

// The custom host types of "Answer.txt" in `folder`: one line each, the name
// and the code as comma text; a line with a name only gets the default code,
// an empty line is skipped. The first entry always has the default code. A
// missing, unreadable or empty file gives "Default" alone.
HostTypeList ReadHostTypes(const std::string& folder);
// Each type as the name in double quotes (inner quotes doubled), a comma and
// the code, CR LF after each line.
bool WriteHostTypes(const std::string& folder, const HostTypeList& types);

// The columns of a code, characters 2 to 7: each one's position in
// ColumnDigits, 0 when it is not there (or the code is short).
std::array<int, ColumnCount> CodeColumns(std::string_view code);

// What the window shows.
struct SiteForm {
    std::string Name;
    std::string Server;
    std::string Port;
    bool Anonymous = false;
    std::string User;
    std::string Password;
    std::string Account;
    std::string InitialDir; // on the FTP server
    bool Slash = false;     // the box Add "/"
    std::string LocalDir;
    std::string EMail;
    bool SavePassword = false;
    bool Pasv = false;
    bool MaskPassword = false;
    bool VirtualHost = false;
    int HostType = 0;                             // position in HostTypeNames
    HostTypeList CustomTypes;                     // the first is the fixed base entry
    int CustomType = -1;                          // the selected custom type, -1 for none
    std::array<std::string, ColumnCount> Columns; // the boxes as typed
    std::vector<std::string> DescLines;
    SiteEncryption Encryption = SiteEncryption::Plain;
    bool UseMlsd = true;        // "Use MLSD when offered"
    std::string TlsFingerprint; // of the certificate trusted always; "Forget" clears it
};

// The encryption choices in the order the window lists them.
struct EncryptionChoice {
    SiteEncryption Encryption;
    const char* Text;
};
inline constexpr std::array<EncryptionChoice, 4> EncryptionChoices = {{
    {SiteEncryption::Explicit, "Require explicit FTP over TLS"},
    {SiteEncryption::Implicit, "Require implicit FTP over TLS"},
    {SiteEncryption::ExplicitIfOffered, "Use explicit FTP over TLS if available"},
    {SiteEncryption::Plain, "Only plain FTP (insecure)"},
}};
int EncryptionChoiceIndex(SiteEncryption encryption);
inline constexpr const char* DefaultFtpPort = "21";
inline constexpr const char* ImplicitTlsPort = "990";

// Another encryption chosen: implicit TLS moves the default port (or none)
// to 990, leaving it moves 990 back to 21; a port the user typed stays.
void ChooseEncryption(SiteForm& form, SiteEncryption chosen);

// Fills the window from a site and the custom host types: an Answer that is
// not 7 characters long or has layout 0 becomes the default code (and the
// name "Default"); with "Custom" the type named AnswerName is selected and
// its stored code used, else the first type with the default code.
SiteForm FormForSite(const Site& site, HostTypeList customTypes);

// The message that keeps the window open on "Save", if any.
std::optional<std::string> SaveProblem(const SiteForm& form);
inline constexpr const char* ServerNameMissing = "FTP Server Name must be defined";

// The code the window shows: the host type's digit, then one character per
// column box ("0" for an empty box or a number above 15).
std::string AnswerCode(const SiteForm& form);
// The rules of "Save": copies the form into `site` (texts trimmed and cut),
// and gives the selected custom type, when not the first, the new code.
void AcceptSiteForm(SiteForm& form, Site& site);

// Which controls the window enables and shows for what it shows now.
struct SiteEditorLook {
    bool EMailEnabled = false;
    bool LoginEnabled = false; // "User ID", "Password" and "Account"
    bool CustomPanelVisible = false;
    bool ColumnsEnabled = false; // a custom type other than the first is selected
};
SiteEditorLook SiteLook(const SiteForm& form);

// The remote directory after a click on the slash box.
std::string SlashedDir(std::string_view dir, bool slash);

// Selects custom type `index` (-1 for none): the boxes are first stored, as a
// code, for the type selected before, then show the new type's code.
void SelectCustomType(SiteForm& form, int index);
// "add": asks for a name, appends it with the default code and selects it.
void AddCustomType(Prompts& prompts, SiteForm& form);
// "edit": asks for a new name of the selected type; "add" for the first or none.
void EditCustomType(Prompts& prompts, SiteForm& form);
// "delete": removes the selected type unless it is the first.
void DeleteCustomType(SiteForm& form);

// Where "Browse" starts: the local directory when it exists, else `folder`.
std::string BrowseStart(const std::string& localDir, const std::string& folder);

// The lines of a text cut at `separator`, as a multi-line edit holds them: a
// separator at the very end starts no line of its own.
std::vector<std::string> TextLines(std::string_view text, char separator);
// The stored description: its lines with "`" between them.
inline constexpr char DescSeparator = '`';
std::string JoinDescLines(const std::vector<std::string>& lines);

// Runs the window on a copy of `site`; when it is saved the copy is written
// back and the result is true. "Answer.txt" in `folder` keeps the window's
// host types in both cases.
bool EditSite(Prompts& prompts, const std::string& folder, Site& site);
