#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// Site folders on disk: the program folder is the root, every site folder a
// directory below it holding its own list file.

inline constexpr const char* SiteListFileName = "ftplist.TXT";
// List files hold scrambled passwords: readable by their owner only.
inline constexpr mode_t SiteListMode = 0600;
inline constexpr mode_t SiteFolderMode = 0700;

// A folder name that stays inside the folder that holds it: trimmed, it is
// not empty, "." or "..", and it holds no "/" (nor NUL).
bool IsSafeFolderName(std::string_view name);
// The form in which folder names compare and the path list shows them:
// trimmed and in lower case (ASCII).
std::string FolderNameKey(std::string_view name);

// The trimmed names of a folder path ("work/clients/"), or nothing when one
// of them is not a safe folder name. The empty path is the root.
std::optional<std::vector<std::string>> SplitFolderPath(std::string_view path);
// The first `count` names, each followed by "/".
std::string JoinFolderPath(const std::vector<std::string>& names,
                           std::size_t count = std::string::npos);

// The directory of `name` inside `directory` (which ends in "/"), ending in
// "/": the entry of exactly that name when there is one, otherwise a
// directory whose name matches without regard to case (ASCII) and around
// blanks, as folder names in the path list are lower case; otherwise the name
// as given. `name` must be a safe folder name.
std::string SubfolderDirectory(const std::string& directory, std::string_view name);
// The directory of a site folder: the program folder, then each name in turn.
std::string SiteFolderDirectory(const std::string& programFolder,
                                const std::vector<std::string>& names);

bool IsExistingDirectory(const std::string& path);
// Creates `directory` and the missing ones above it. True when it is a
// directory afterwards, also when it was one before.
bool MakeDirectories(const std::string& directory);

enum class ListRead {
    Read,
    Missing, // no file: an empty list
    Failed,  // a file that cannot be read
};
// The lines of a list file, without their ends. `endings` (may be null)
// receives each line's own end.
ListRead ReadListLines(const std::string& file, std::vector<std::string>& lines,
                       std::vector<std::string>* endings = nullptr);
// Replaces the file with `lines`, each ended by CR LF (or by its entry in
// `endings` when given), with the mode `mode`. False, and the old file
// untouched, when it cannot be written.
bool WriteListLines(const std::string& file, const std::vector<std::string>& lines,
                    const std::vector<std::string>* endings = nullptr, mode_t mode = SiteListMode);

// The folder name of a folder line ("DIR=" without regard to case).
std::optional<std::string_view> FolderLineName(std::string_view line);
std::string FolderLine(std::string_view name);
