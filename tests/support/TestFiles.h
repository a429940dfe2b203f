#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// Whole files, byte for byte, for the tests of every area.
namespace testsupport {

// Empty when the file cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Replaces the file, making its folder first.
inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace testsupport
