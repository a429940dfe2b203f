#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct Options;

// A field of a site line that this version does not know (one a newer version
// added), kept as read so a save gives it back.
struct UnknownSiteField {
    std::string After; // the known key it followed in the line ("Port="), "" at the start
    std::string Text;  // "Key=value", without its ";"

    bool operator==(const UnknownSiteField&) const = default;
};

// One saved site. Texts hold what the list file holds (UTF-8, or the 8-bit
// code page of files from older installations); capacities count characters
// and a longer text is cut when stored. Flags are bytes: the file may give 2.
// Every member has an initializer, so a designated initializer may name only
// the fields that differ.
struct Site {
    std::string Name{};     // shown in the list; at most 50
    std::string Server{};   // host name or address
    std::string Password{}; // plain here, scrambled only in the file
    std::string User = "anonymous";
    std::string Account{};
    std::string Description{};  // single line, no editor field; at most 200
    std::string LocalDir{};     // local folder after connecting; at most 255
    std::string InitialDir{};   // remote folder after connecting; at most 255
    std::string ModifiedDate{}; // kept as read; at most 80
    std::string EMail{};        // the password of anonymous logins; at most 60
    std::uint8_t Anonymous = 0;
    std::uint8_t SavePassword = 1; // clear: ask for the password at each connection
    std::string Port = "21";
    std::uint8_t Pasv = 0;
    std::string Desc{};                 // lines joined by "`"
    std::string Answer = "0957681";     // listing layout code; at most 7
    std::string AnswerName = "Default"; // host type name; at most 255
    std::uint8_t CheckPSW = 1;          // the editor masks the password
    std::uint8_t CheckVHost = 0;        // a shared virtual host
    // Below: fields that older lists lack, which must then mean what the
    // program did before them. Empty texts are not written.
    std::string Encryption{};     // "" plain FTP, "auto", "explicit" or "implicit" (TLS)
    std::string TlsFingerprint{}; // SHA-256 of a certificate the user trusts always
    std::string ListingCommand{}; // "" MLSD when the server offers it, "LIST" never MLSD
    std::vector<UnknownSiteField> UnknownFields{};

    bool operator==(const Site&) const = default;
};

inline constexpr std::size_t MaxSiteName = 50;
inline constexpr std::size_t MaxSiteDescription = 200;
inline constexpr std::size_t MaxSiteDir = 255;
inline constexpr std::size_t MaxSiteModifiedDate = 80;
inline constexpr std::size_t MaxSiteEMail = 60;
inline constexpr std::size_t MaxSiteAnswer = 7;
inline constexpr std::size_t MaxSiteAnswerName = 255;
inline constexpr std::string_view DefaultAnswer = "0957681";

enum class SiteEncryption : std::uint8_t {
    Plain,             // "Only plain FTP (insecure)"
    ExplicitIfOffered, // "Use explicit FTP over TLS if available"
    Explicit,          // "Require explicit FTP over TLS"
    Implicit,          // "Require implicit FTP over TLS" (port 990)
};
// A value this version does not know asks for TLS: a site is never taken to
// be plain unless it says so.
SiteEncryption EncryptionOf(const Site& site);
std::string_view EncryptionText(SiteEncryption encryption);

// The ListingCommand of a site that keeps to LIST even where MLSD is offered.
inline constexpr std::string_view ListOnlyCommand = "LIST";
// Whether the site keeps to LIST, the text read as the session reads it.
bool ListsOnly(const Site& site);

// A new site: the defaults above but passive, explicit TLS when the server
// offers it, and the anonymous e-mail address of the settings when their
// MailAno flag is set.
Site NewSiteRecord(const Options& options);
// Every text empty and every flag clear.
Site EmptySiteRecord();

// The first `capacity` characters of `text`: UTF-8 characters when it is
// UTF-8, bytes otherwise.
std::string CutText(std::string_view text, std::size_t capacity);

// Every byte exclusive-or the key; its own inverse. The key has its high bit
// set, so no ASCII byte becomes ";", CR or LF, and the three bytes that do
// (0xCD, 0xFB, 0xFC) are rare (0xCD) or impossible (0xFB, 0xFC) in UTF-8.
inline constexpr unsigned char PasswordKey = 0xF6;
std::string ScramblePassword(std::string_view password);

// A line that only a person reads: its first non-blank character is "#" or
// ";" (a site commented out stays out).
bool IsCommentLine(std::string_view line);
// Reads a site line ("Name=x;Server=y;...") into `record`, which starts from
// the defaults of a new site without an e-mail address; fields of unknown
// keys go to its UnknownFields. False, with `record` untouched, for a line
// that holds no known key (blank, a comment, a line of a newer version), so
// such a line never becomes a nameless site.
bool ParseSiteLine(std::string_view line, Site& record);
// The line of a site: texts when not empty, flags always, the password
// scrambled. A value ends at its first ";", CR or LF, which is where reading
// would end it, so no value can start another field or line. A password whose
// scrambled form holds one of those bytes goes into "PasswordHex=" instead.
// Unknown fields follow the known field they followed when read, so a line
// of a newer version comes back as it was.
std::string FormatSiteLine(const Site& record);
// The record with its texts as the list file keeps them: cut at the first
// ";", CR or LF and to their capacity. (Reading also gives an empty text that
// has a default, such as User, its default.)
Site StoredSite(Site record);
