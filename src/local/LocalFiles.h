#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The local file system as the local pane sees it: folder listings, and the
// make, rename, delete and case operations on plain paths ("/" separated).
namespace local {

enum class LocalKind { File, Folder, LinkToFile, LinkToFolder };

struct LocalEntry {
    std::string name;
    LocalKind kind = LocalKind::File;
    std::int64_t size = 0;  // of the file, or of a link's target file
    std::time_t modified{}; // last write, of the link's target for a link

    // Shown and entered as a folder (links to folders too).
    bool IsFolder() const { return kind == LocalKind::Folder || kind == LocalKind::LinkToFolder; }
};

// Every entry of `folder` but "." and "..", hidden ones too, in directory
// order. Returns the reason when the folder cannot be read, else "".
std::string ListFolder(const std::string& folder, std::vector<LocalEntry>& entries);

// `folder` with a "/" at its end.
std::string WithSlash(std::string_view folder);
// The folder above `folder` ("/" stays "/"), without a final "/".
std::string ParentFolder(std::string_view folder);
// The part after the last "/".
std::string_view FileNamePart(std::string_view path);

// Receives "Error <path>: <reason>" lines.
using ErrorLog = std::function<void(const std::string&)>;

// What a delete removes: files (and links, removed as links) in order, then
// folders from the last to the first, so sub-folders go before their parents.
struct DeletePlan {
    std::vector<std::string> files;
    std::vector<std::string> folders;

    // "Do you wish to remove 2 file(s) and 2 folder(es)"
    std::string Question() const;
};

// Walks `folders` (growing the plan as it goes) without following links: a
// link inside is planned as a file, so what it points at is never touched.
// A folder that cannot be read is logged and the walk goes on.
DeletePlan PlanDelete(std::vector<std::string> files, std::vector<std::string> folders,
                      const ErrorLog& log);
// Carries the plan out; each failure is logged and the rest goes on.
// Returns the number of failures.
int ExecuteDelete(const DeletePlan& plan, const ErrorLog& log);

// Renames `from` to `to`, replacing a file `to` in one step. "" or the reason.
std::string RenamePath(const std::string& from, const std::string& to);
// Creates the folder. "" or the reason.
std::string MakeFolder(const std::string& path);

// The letter-case modes of "Change Case".
enum class CaseMode { Upper = 0, Lower = 1, Sentence = 2 };
// ASCII letters only; Sentence is lower case with the first character upper.
std::string ChangeCase(std::string_view name, CaseMode mode);

// "dd.mm.yyyy" (or "mm.dd.yyyy" when `monthFirst`) and "hh:mm", local time.
struct DateTimeText {
    std::string date;
    std::string time;
};
DateTimeText FormatModified(std::time_t modified, bool monthFirst);

// The first `limit` bytes of a file, for the text viewer.
struct TextHead {
    std::string text;
    bool cut = false; // the file holds more
    std::string error;
};
TextHead ReadTextHead(const std::string& path, std::size_t limit);

} // namespace local
