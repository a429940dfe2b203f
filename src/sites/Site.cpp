#include "sites/Site.h"

#include "prefs/Options.h"
#include "prefs/TextFile.h"
#include "text/TextFields.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

enum class FieldKind { Text, Password, Flag };

struct SiteField {
    std::string_view key;
    FieldKind kind;
    std::string Site::*text = nullptr;
    std::size_t capacity = std::string::npos;
    std::uint8_t Site::*flag = nullptr;
    std::uint8_t fallback = 0; // a flag whose value is not an integer
};

constexpr SiteField Text(std::string_view key, std::string Site::*field,
                         std::size_t capacity = std::string::npos) {
    return {key, FieldKind::Text, field, capacity};
}

constexpr SiteField Flag(std::string_view key, std::uint8_t Site::*field, std::uint8_t fallback) {
    return {key, FieldKind::Flag, nullptr, 0, field, fallback};
}

// The fields of a site line in the order they are written.
constexpr std::array<SiteField, 22> Fields = {{
    Text("Name=", &Site::Name, MaxSiteName),
    Text("Server=", &Site::Server),
    Text("Port=", &Site::Port),
    {"Password=", FieldKind::Password, &Site::Password},
    Text("User=", &Site::User),
    Text("Account=", &Site::Account),
    Text("Description=", &Site::Description, MaxSiteDescription),
    Text("InitialDir=", &Site::InitialDir, MaxSiteDir),
    Flag("Anonymous=", &Site::Anonymous, 1),
    Flag("SavePassword=", &Site::SavePassword, 1),
    Text("ModifiedDate=", &Site::ModifiedDate, MaxSiteModifiedDate),
    Text("EMail=", &Site::EMail, MaxSiteEMail),
    Text("LocalDir=", &Site::LocalDir, MaxSiteDir),
    Flag("Pasv=", &Site::Pasv, 0),
    Text("Desc=", &Site::Desc),
    Text("Answer=", &Site::Answer, MaxSiteAnswer),
    Text("AnswerName=", &Site::AnswerName, MaxSiteAnswerName),
    Flag("CheckPSW=", &Site::CheckPSW, 1),
    Flag("CheckVHost=", &Site::CheckVHost, 0),
    Text("Encryption=", &Site::Encryption),
    Text("TlsFingerprint=", &Site::TlsFingerprint),
    Text("ListingCommand=", &Site::ListingCommand),
}};

constexpr std::array<std::string_view, 4> EncryptionTexts = {"", "auto", "explicit", "implicit"};

// Stands in for "Password=" when the scrambled password would hold a byte
// that ends a value or a line: the scrambled bytes in hexadecimal.
constexpr std::string_view PasswordHexKey = "PasswordHex=";
constexpr std::string_view ValueEnds = ";\r\n";
constexpr std::string_view HexDigits = "0123456789ABCDEF";

// The value of the field that begins with `key` at the start of the line or
// right after a ";", up to the next ";".
std::optional<std::string_view> FieldValue(std::string_view line, std::string_view key) {
    for (std::size_t start = 0;;) {
        if (line.substr(start, key.size()) == key) {
            const std::string_view value = line.substr(start + key.size());
            return value.substr(0, value.find(';'));
        }
        start = line.find(';', start);
        if (start == std::string_view::npos)
            return std::nullopt;
        ++start;
    }
}

std::uint8_t FlagValue(std::string_view value, std::uint8_t fallback) {
    const std::optional<std::int64_t> number = text::ParseInteger(value);
    if (!number)
        return fallback;
    // A byte; a number that does not fit one still says whether it is set.
    if (*number >= 0 && *number <= 255)
        return static_cast<std::uint8_t>(*number);
    return 1;
}

std::string ToHex(std::string_view bytes) {
    std::string hex;
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        hex += HexDigits[b >> 4];
        hex += HexDigits[b & 0x0F];
    }
    return hex;
}

std::optional<std::string> FromHex(std::string_view hex) {
    if (hex.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const std::size_t high = HexDigits.find(text::AsciiUpper(hex[i]));
        const std::size_t low = HexDigits.find(text::AsciiUpper(hex[i + 1]));
        if (high == std::string_view::npos || low == std::string_view::npos)
            return std::nullopt;
        bytes += static_cast<char>(high << 4 | low);
    }
    return bytes;
}

std::string ReadPassword(std::string_view line) {
    if (const std::optional<std::string_view> hex = FieldValue(line, PasswordHexKey)) {
        if (const std::optional<std::string> scrambled = FromHex(*hex))
            return ScramblePassword(*scrambled);
    }
    return ScramblePassword(FieldValue(line, "Password=").value_or(""));
}

void AppendField(std::string& line, std::string_view key, std::string_view value) {
    line += key;
    line += value;
    line += ';';
}

std::string_view UpToValueEnd(std::string_view value) {
    return value.substr(0, value.find_first_of(ValueEnds));
}

// The key of the known field that `field` ("Key=value") is, as unknown fields
// name it; nothing for a key this version does not know.
std::optional<std::string_view> KnownKey(std::string_view field) {
    if (field.starts_with(PasswordHexKey))
        return "Password="; // stands in for that field
    for (const SiteField& known : Fields) {
        if (field.starts_with(known.key))
            return known.key;
    }
    return std::nullopt;
}

// The fields of a line this version does not know, each with the known key
// before it; nothing when the line holds no known key at all.
std::optional<std::vector<UnknownSiteField>> UnknownFieldsOf(std::string_view line) {
    std::vector<UnknownSiteField> unknown;
    std::string_view after;
    bool anyKnown = false;
    for (std::size_t start = 0; start <= line.size();) {
        const std::size_t end = std::min(line.find(';', start), line.size());
        const std::string_view field = line.substr(start, end - start);
        start = end + 1;
        if (text::TrimBlanks(field).empty())
            continue;
        if (const std::optional<std::string_view> key = KnownKey(field)) {
            after = *key;
            anyKnown = true;
        } else {
            unknown.push_back({std::string(after), std::string(field)});
        }
    }
    if (!anyKnown)
        return std::nullopt;
    return unknown;
}

void AppendUnknownFields(std::string& line, const Site& record, std::string_view after) {
    for (const UnknownSiteField& field : record.UnknownFields) {
        if (field.After == after)
            line += field.Text + ';';
    }
}

} // namespace

SiteEncryption EncryptionOf(const Site& site) {
    const auto* known = std::find(EncryptionTexts.begin(), EncryptionTexts.end(), site.Encryption);
    if (known == EncryptionTexts.end())
        return SiteEncryption::Explicit;
    return static_cast<SiteEncryption>(known - EncryptionTexts.begin());
}

std::string_view EncryptionText(SiteEncryption encryption) {
    return EncryptionTexts[static_cast<std::size_t>(encryption)];
}

bool ListsOnly(const Site& site) {
    return text::EqualsNoCase(site.ListingCommand, ListOnlyCommand);
}

Site NewSiteRecord(const Options& options) {
    Site record;
    // Active mode fails behind every home router. A stored site keeps the
    // mode its line gives, as reading starts from Site{}.
    record.Pasv = 1;
    record.Encryption = EncryptionText(SiteEncryption::ExplicitIfOffered);
    if (options.MailAno)
        record.EMail = CutText(options.Anonymous, MaxSiteEMail);
    return record;
}

Site EmptySiteRecord() {
    Site record;
    for (const SiteField& field : Fields) {
        if (field.flag)
            record.*field.flag = 0;
        else
            (record.*field.text).clear();
    }
    return record;
}

std::string CutText(std::string_view text, std::size_t capacity) {
    if (IsValidUtf8(text))
        return std::string(Utf8Left(text, capacity));
    return std::string(text.substr(0, capacity));
}

std::string ScramblePassword(std::string_view password) {
    std::string scrambled(password);
    for (char& byte : scrambled)
        byte = static_cast<char>(static_cast<unsigned char>(byte) ^ PasswordKey);
    return scrambled;
}

bool IsCommentLine(std::string_view line) {
    const std::string_view trimmed = text::TrimBlanks(line);
    return !trimmed.empty() && (trimmed.front() == '#' || trimmed.front() == ';');
}

bool ParseSiteLine(std::string_view line, Site& record) {
    if (IsCommentLine(line))
        return false;
    std::optional<std::vector<UnknownSiteField>> unknown = UnknownFieldsOf(line);
    if (!unknown)
        return false;
    record = Site{};
    record.UnknownFields = std::move(*unknown);
    for (const SiteField& field : Fields) {
        switch (field.kind) {
        case FieldKind::Password:
            record.Password = ReadPassword(line);
            break;
        case FieldKind::Text:
            if (const std::optional<std::string_view> value = FieldValue(line, field.key))
                record.*field.text = CutText(*value, field.capacity);
            break;
        case FieldKind::Flag:
            if (const std::optional<std::string_view> value = FieldValue(line, field.key))
                record.*field.flag = FlagValue(*value, field.fallback);
            break;
        }
    }
    return true;
}

std::string FormatSiteLine(const Site& record) {
    std::string line;
    AppendUnknownFields(line, record, "");
    for (const SiteField& field : Fields) {
        switch (field.kind) {
        case FieldKind::Password: {
            const std::string scrambled = ScramblePassword(record.Password);
            if (scrambled.empty())
                break;
            if (scrambled.find_first_of(ValueEnds) == std::string::npos)
                AppendField(line, field.key, scrambled);
            else
                AppendField(line, PasswordHexKey, ToHex(scrambled));
            break;
        }
        case FieldKind::Text: {
            const std::string_view value = UpToValueEnd(record.*field.text);
            if (!value.empty())
                AppendField(line, field.key, value);
            break;
        }
        case FieldKind::Flag:
            AppendField(line, field.key, std::to_string(record.*field.flag));
            break;
        }
        AppendUnknownFields(line, record, field.key);
    }
    return line;
}

Site StoredSite(Site record) {
    for (const SiteField& field : Fields) {
        if (field.kind == FieldKind::Text)
            record.*field.text = CutText(UpToValueEnd(record.*field.text), field.capacity);
    }
    return record;
}
