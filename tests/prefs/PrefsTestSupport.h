#pragma once

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <initializer_list>
#include <iterator>
#include <string>
#include <sys/stat.h>

// A program folder of its own for each test, removed afterwards.
class TempFolder {
public:
    TempFolder() { EXPECT_TRUE(dir_.isValid()); }
    // The folder, ending in "/".
    std::string path() const { return dir_.path().toStdString() + '/'; }
    std::string file(const std::string& name) const { return path() + name; }

private:
    QTemporaryDir dir_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

inline bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

inline mode_t FileMode(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

// The lines, each ended by CR LF as the program writes them.
inline std::string CrLf(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines)
        (text += line) += "\r\n";
    return text;
}
