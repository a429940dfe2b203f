#include "transfer/TransferPaths.h"

#include <algorithm>
#include <vector>

namespace {

std::string WithTrailing(std::string_view dir, char separator) {
    std::string result(dir);
    if (result.empty() || result.back() != separator)
        result += separator;
    return result;
}

std::vector<std::string_view> Components(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t slash = std::min(path.find('/'), path.size());
        if (slash > 0)
            parts.push_back(path.substr(0, slash));
        path.remove_prefix(std::min(slash + 1, path.size()));
    }
    return parts;
}

} // namespace

std::string NormalizeLocalDir(std::string_view dir) {
    return WithTrailing(dir, '/');
}

std::string NormalizeRemoteDir(std::string_view dir, bool virtualHost) {
    std::string result = WithTrailing(dir, '/');
    if (virtualHost && result.starts_with('/'))
        result.erase(0, 1);
    return result;
}

std::string RemotePathFrom(std::string_view at, std::string_view to) {
    if (to.starts_with('/'))
        return std::string(to);
    const std::vector<std::string_view> from = Components(at);
    const std::vector<std::string_view> into = Components(to);
    std::size_t same = 0;
    while (same < from.size() && same < into.size() && from[same] == into[same])
        ++same;
    std::string path;
    for (std::size_t i = same; i < from.size(); ++i)
        path += "../";
    for (std::size_t i = same; i < into.size(); ++i)
        (path += into[i]) += '/';
    if (path.empty())
        return ".";
    path.pop_back();
    return path;
}
