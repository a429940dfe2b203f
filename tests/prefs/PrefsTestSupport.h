#pragma once

#include "support/TestFiles.h"

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

using testsupport::ReadFile;
using testsupport::WriteFile;

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
