#pragma once

#include <string>
#include <string_view>

// Directories as the transfers and the session keep them: ending in their
// separator, so a name can be appended directly.

// `dir` with "/" appended unless it already ends with one (an empty text
// becomes "/").
std::string NormalizeLocalDir(std::string_view dir);
// The same for a remote directory; on a shared virtual host (`virtualHost`)
// paths are relative to the account's home, so a leading "/" is dropped.
std::string NormalizeRemoteDir(std::string_view dir, bool virtualHost);
