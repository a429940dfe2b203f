#include "transfer/TransferPaths.h"

namespace {

std::string WithTrailing(std::string_view dir, char separator) {
    std::string result(dir);
    if (result.empty() || result.back() != separator)
        result += separator;
    return result;
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
