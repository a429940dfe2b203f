#include "prefs/ProgramFolder.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string HomeFolder() {
    std::string home = Environment("HOME");
    if (home.empty()) {
        if (const passwd* user = ::getpwuid(::getuid()))
            home = user->pw_dir ? user->pw_dir : "";
    }
    return home;
}

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace

std::string ChooseProgramFolder(const std::string& executableFolder, const std::string& configHome,
                                const std::string& home) {
    // An installed program shares its "bin" folder with others, even where
    // root may write into it; only a build or a copy of its own keeps its files.
    const bool installed =
        std::filesystem::path(WithSlash(executableFolder)).parent_path().filename() == "bin";
    if (!executableFolder.empty() && !installed &&
        ::access(executableFolder.c_str(), W_OK | X_OK) == 0)
        return WithSlash(executableFolder);
    // The XDG base directory rules ignore a relative $XDG_CONFIG_HOME.
    const std::filesystem::path base = !configHome.empty() && configHome.front() == '/'
                                           ? std::filesystem::path(configHome)
                                           : std::filesystem::path(home) / ".config";
    const std::filesystem::path folder = base / "corvane";
    std::error_code error;
    if (std::filesystem::create_directories(folder, error))
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, error);
    return WithSlash(folder.string());
}

std::string ProgramFolder() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return ChooseProgramFolder(error ? std::string() : executable.parent_path().string(),
                               Environment("XDG_CONFIG_HOME"), HomeFolder());
}
