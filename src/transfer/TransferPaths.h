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
// What to send for remote folder `to` while the server stands in `at`, both
// named as the walks name them (from the remote start directory). An absolute
// `to` goes as it is. A relative one means "below the account's home", but a
// server resolves it from where it stands: it goes relative to `at`, up with
// ".." to the folders both share, and "." for `at` itself.
std::string RemotePathFrom(std::string_view at, std::string_view to);
