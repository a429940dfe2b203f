#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

// A settings file in the Windows INI style: "[Section]" headers, then
// "key=value" lines. Section and key names match without regard to case and
// around blanks; the first block of a section and the first line of a key
// count, as the Windows reader has it.
//
// Writes are kept until UpdateFile, which merges them into the file as it is
// on disk then: an existing key is rewritten in place, a new key goes after
// the last non-blank line of its section, a new section goes at the end.
// Every other line (foreign keys and sections, comments, junk, duplicate
// sections) is copied byte for byte with its own line end, so a file is never
// made worse by a save; lines written end in CR LF. The file is streamed,
// never held whole.
class IniFile {
public:
    // Reads the file now; a missing or unreadable file reads as empty.
    // `newFileMode` is the mode of a file that UpdateFile creates; a file that
    // exists keeps its own.
    explicit IniFile(std::string path, mode_t newFileMode = 0600);

    // The value with blanks around it removed and one pair of enclosing quotes
    // (" or ') taken off; `fallback` when the key is absent.
    std::string ReadString(std::string_view section, std::string_view key,
                           const std::string& fallback) const;
    // A decimal integer within the 32-bit range, or `fallback`.
    int ReadInteger(std::string_view section, std::string_view key, int fallback) const;
    // An integer that is not 0; `fallback` when the value is not an integer.
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

    // Stores `value` so that ReadString gives it back exactly: quoted when it
    // begins or ends with a blank or a quote. A line break ends the value.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    // Stores the text after "=" as given (a line break still ends it), for
    // files whose readers take the value raw.
    void WriteRawString(std::string_view section, std::string_view key, std::string_view value);

    // Merges every write into the file through a temporary file that replaces
    // it. False (and the file untouched) when it cannot be read or written.
    bool UpdateFile();

    // One stored write.
    struct Write {
        std::string key;   // as the writer spelled it
        std::string value; // what ReadString gives back
        std::string text;  // what goes after "=" in the file
    };

private:
    struct SectionWrites {
        std::string name;
        std::vector<Write> writes; // in the order first written
    };

    void Load();
    void Store(std::string_view section, std::string_view key, std::string value, std::string text);
    const std::string* Written(std::string_view section, std::string_view key) const;

    std::string path_;
    mode_t newFileMode_;
    // Values read, by IndexKey(section, key); the first occurrence only.
    std::unordered_map<std::string, std::string> values_;
    // Pending writes, sections in the order first written.
    std::vector<SectionWrites> writes_;
};
