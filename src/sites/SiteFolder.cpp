#include "sites/SiteFolder.h"

#include "prefs/TextFile.h"
#include "text/TextFields.h"

#include <cerrno>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>

namespace {

constexpr std::string_view FolderLinePrefix = "DIR=";

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// The name of a directory in `directory` that matches `name` without regard
// to case and around blanks; the first in byte order when several do.
std::optional<std::string> MatchingDirectory(const std::string& directory, std::string_view name) {
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(directory.c_str()));
    if (!dir)
        return std::nullopt;
    const std::string wanted = FolderNameKey(name);
    std::optional<std::string> found;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view candidate = entry->d_name;
        if (!IsSafeFolderName(candidate) || FolderNameKey(candidate) != wanted)
            continue;
        if ((!found || candidate < *found) &&
            IsExistingDirectory(directory + std::string(candidate)))
            found = std::string(candidate);
    }
    return found;
}

} // namespace

bool IsExistingDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsSafeFolderName(std::string_view name) {
    const std::string_view trimmed = text::TrimBlanks(name);
    return !trimmed.empty() && trimmed != "." && trimmed != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::string FolderNameKey(std::string_view name) {
    return text::AsciiLowerCopy(text::TrimBlanks(name));
}

std::optional<std::vector<std::string>> SplitFolderPath(std::string_view path) {
    std::vector<std::string_view> parts;
    text::SplitFields('/', path, parts);
    std::vector<std::string> names;
    for (const std::string_view part : parts) {
        if (!IsSafeFolderName(part))
            return std::nullopt;
        names.emplace_back(part);
    }
    return names;
}

std::string JoinFolderPath(const std::vector<std::string>& names, std::size_t count) {
    std::string path;
    for (std::size_t i = 0; i < names.size() && i < count; ++i)
        path += names[i] + '/';
    return path;
}

std::string SubfolderDirectory(const std::string& directory, std::string_view name) {
    std::string exact = directory + std::string(name);
    if (Exists(exact))
        return exact + '/';
    if (std::optional<std::string> match = MatchingDirectory(directory, name))
        return directory + *match + '/';
    return exact + '/';
}

std::string SiteFolderDirectory(const std::string& programFolder,
                                const std::vector<std::string>& names) {
    std::string directory = programFolder;
    for (const std::string& name : names)
        directory = SubfolderDirectory(directory, name);
    return directory;
}

bool MakeDirectories(const std::string& directory) {
    if (IsExistingDirectory(directory))
        return true;
    std::string path;
    for (std::size_t i = 0; i <= directory.size(); ++i) {
        if (i < directory.size() && directory[i] != '/') {
            path += directory[i];
            continue;
        }
        if (!path.empty() && ::mkdir(path.c_str(), SiteFolderMode) != 0 && errno != EEXIST)
            return false;
        path += '/';
    }
    return IsExistingDirectory(directory);
}

ListRead ReadListLines(const std::string& file, std::vector<std::string>& lines,
                       std::vector<std::string>* endings) {
    lines.clear();
    if (endings)
        endings->clear();
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return Exists(file) ? ListRead::Failed : ListRead::Missing;
    std::string line;
    std::string ending;
    while (ReadTextLine(in, line, &ending)) {
        lines.push_back(std::move(line));
        if (endings)
            endings->push_back(ending);
    }
    return in.bad() ? ListRead::Failed : ListRead::Read;
}

bool WriteListLines(const std::string& file, const std::vector<std::string>& lines,
                    const std::vector<std::string>* endings, mode_t mode) {
    ReplacementFile out(file, mode);
    if (!out.IsOpen())
        return false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (endings && i < endings->size())
            out.WriteLine(lines[i], (*endings)[i]);
        else
            out.WriteLine(lines[i]);
    }
    return out.Commit();
}

std::optional<std::string_view> FolderLineName(std::string_view line) {
    if (!text::StartsWithNoCase(line, FolderLinePrefix))
        return std::nullopt;
    return line.substr(FolderLinePrefix.size());
}

std::string FolderLine(std::string_view name) {
    return std::string(FolderLinePrefix) + std::string(name);
}
