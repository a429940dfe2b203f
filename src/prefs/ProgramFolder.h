#pragma once

#include <string>

// The folder that holds every file of the program ("options.ftp", the site
// folders, the language files, the listing file, the log), ending in "/".
// It is the folder of the running executable when that folder is writable
// and not a "bin" folder (an installation's, shared with other programs),
// otherwise $XDG_CONFIG_HOME/corvane (by default ~/.config/corvane), created
// on first use. Asked once by the composition root and passed on.
std::string ProgramFolder();

// The rule itself, with the places given: `executableFolder` when writable
// and not named "bin", otherwise "corvane" in `configHome` (an absolute $XDG_CONFIG_HOME) or in
// `home` + "/.config", created readable by its owner only.
std::string ChooseProgramFolder(const std::string& executableFolder, const std::string& configHome,
                                const std::string& home);
