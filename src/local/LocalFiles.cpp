#include "local/LocalFiles.h"

#include "text/TextFields.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace local {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string Reason(int error) {
    return std::strerror(error);
}

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Opens a folder for reading without passing through a link at its end.
DirHandle OpenFolder(const std::string& folder, bool followLink) {
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    const int fd = open(folder.c_str(), flags);
    if (fd < 0)
        return nullptr;
    DirHandle dir(fdopendir(fd));
    if (!dir)
        close(fd);
    return dir;
}

} // namespace

namespace {

// Kind, size and time of each entry, looked up relative to the open folder.
void ReadAttributes(int fd, LocalEntry* first, LocalEntry* last) {
    for (LocalEntry* entry = first; entry != last; ++entry) {
        struct stat info {};
        if (fstatat(fd, entry->name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISLNK(info.st_mode)) {
            struct stat target {};
            const bool reached = fstatat(fd, entry->name.c_str(), &target, 0) == 0;
            entry->kind = reached && S_ISDIR(target.st_mode) ? LocalKind::LinkToFolder
                                                             : LocalKind::LinkToFile;
            if (reached)
                info = target;
        } else {
            entry->kind = S_ISDIR(info.st_mode) ? LocalKind::Folder : LocalKind::File;
        }
        entry->size = entry->IsFolder() ? 0 : static_cast<std::int64_t>(info.st_size);
        entry->modified = info.st_mtime;
    }
}

// Above this many entries a second thread looks up half of the attributes.
constexpr std::size_t SharedLookUp = 8192;

} // namespace

std::string ListFolder(const std::string& folder, std::vector<LocalEntry>& entries) {
    entries.clear();
    const DirHandle dir = OpenFolder(folder, true);
    if (!dir)
        return Reason(errno);
    errno = 0;
    while (const dirent* found = readdir(dir.get())) {
        if (!IsDotOrDotDot(found->d_name))
            entries.push_back({found->d_name});
        errno = 0;
    }
    const std::string error = errno == 0 ? std::string() : Reason(errno);
    const int fd = dirfd(dir.get());
    LocalEntry* first = entries.data();
    LocalEntry* last = first + entries.size();
    if (entries.size() < SharedLookUp) {
        ReadAttributes(fd, first, last);
    } else {
        LocalEntry* middle = first + entries.size() / 2;
        std::thread helper(ReadAttributes, fd, first, middle);
        ReadAttributes(fd, middle, last);
        helper.join();
    }
    return error;
}

std::string WithSlash(std::string_view folder) {
    std::string path(folder);
    if (!path.ends_with('/'))
        path += '/';
    return path;
}

std::string ParentFolder(std::string_view folder) {
    while (folder.size() > 1 && folder.ends_with('/'))
        folder.remove_suffix(1);
    const std::size_t slash = folder.rfind('/');
    if (slash == std::string_view::npos || slash == 0)
        return "/";
    return std::string(folder.substr(0, slash));
}

std::string_view FileNamePart(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string DeletePlan::Question() const {
    std::string question = "Do you wish to remove " + std::to_string(files.size()) + " file(s)";
    if (!folders.empty())
        question += " and " + std::to_string(folders.size()) + " folder(es)";
    return question;
}

DeletePlan PlanDelete(std::vector<std::string> files, std::vector<std::string> folders,
                      const ErrorLog& log) {
    DeletePlan plan{std::move(files), {}};
    for (std::string& folder : folders) {
        struct stat info {};
        // A selected link to a folder goes as a link.
        if (lstat(folder.c_str(), &info) == 0 && !S_ISDIR(info.st_mode))
            plan.files.push_back(std::move(folder));
        else
            plan.folders.push_back(std::move(folder));
    }
    for (std::size_t i = 0; i < plan.folders.size(); ++i) {
        const std::string folder = WithSlash(plan.folders[i]);
        const DirHandle dir = OpenFolder(plan.folders[i], false);
        if (!dir) {
            log("Error " + plan.folders[i] + ": " + Reason(errno));
            continue;
        }
        const int fd = dirfd(dir.get());
        while (const dirent* found = readdir(dir.get())) {
            if (IsDotOrDotDot(found->d_name))
                continue;
            struct stat info {};
            const bool isFolder = fstatat(fd, found->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                                  S_ISDIR(info.st_mode);
            (isFolder ? plan.folders : plan.files).push_back(folder + found->d_name);
        }
    }
    return plan;
}

int ExecuteDelete(const DeletePlan& plan, const ErrorLog& log) {
    int failures = 0;
    for (const std::string& file : plan.files) {
        if (unlink(file.c_str()) != 0) {
            log("Error " + file + ": " + Reason(errno));
            ++failures;
        }
    }
    for (auto folder = plan.folders.rbegin(); folder != plan.folders.rend(); ++folder) {
        if (rmdir(folder->c_str()) != 0) {
            log("Error " + *folder + ": " + Reason(errno));
            ++failures;
        }
    }
    return failures;
}

std::string RenamePath(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0 ? std::string() : Reason(errno);
}

std::string MakeFolder(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0 ? std::string() : Reason(errno);
}

std::string ChangeCase(std::string_view name, CaseMode mode) {
    std::string changed(name);
    for (std::size_t i = 0; i < changed.size(); ++i) {
        const bool upper = mode == CaseMode::Upper || (mode == CaseMode::Sentence && i == 0);
        changed[i] = upper ? text::AsciiUpper(changed[i]) : text::AsciiLower(changed[i]);
    }
    return changed;
}

namespace {

void PutTwoDigits(char* at, int value) {
    at[0] = static_cast<char>('0' + value / 10 % 10);
    at[1] = static_cast<char>('0' + value % 10);
}

} // namespace

DateTimeText FormatModified(std::time_t modified, bool monthFirst) {
    std::tm local{};
    localtime_r(&modified, &local);
    const int first = monthFirst ? local.tm_mon + 1 : local.tm_mday;
    const int second = monthFirst ? local.tm_mday : local.tm_mon + 1;
    const int year = local.tm_year + 1900;
    DateTimeText text{std::string("00.00.0000"), std::string("00:00")};
    PutTwoDigits(&text.date[0], first);
    PutTwoDigits(&text.date[3], second);
    PutTwoDigits(&text.date[6], year / 100);
    PutTwoDigits(&text.date[8], year % 100);
    PutTwoDigits(&text.time[0], local.tm_hour);
    PutTwoDigits(&text.time[3], local.tm_min);
    return text;
}

TextHead ReadTextHead(const std::string& path, std::size_t limit) {
    TextHead head;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        head.error = Reason(errno);
        return head;
    }
    head.text.resize(limit);
    const std::size_t got = std::fread(head.text.data(), 1, limit, file.get());
    if (std::ferror(file.get())) {
        head.error = Reason(errno);
        head.text.clear();
        return head;
    }
    head.text.resize(got);
    head.cut = got == limit && std::fgetc(file.get()) != EOF;
    return head;
}

} // namespace local
