// The help page: found beside the program, in the installed share folder or
// built in.
#include "app/HelpWindow.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

TEST(HelpPage, IsFoundBesideTheProgramThenInstalledThenBuiltIn) {
    const struct {
        const char* name;
        std::vector<const char*> present; // relative to a temporary root
        const char* found;                // relative; nullptr: the built-in copy
    } rows[] = {
        {"beside the program (build tree)",
         {"bin/corvane-help.html", "share/corvane/corvane-help.html"},
         "bin/corvane-help.html"},
        {"installed under share",
         {"share/corvane/corvane-help.html"},
         "share/corvane/corvane-help.html"},
        {"nothing on disk: the built-in copy", {}, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir root;
        QDir(root.path()).mkpath(QStringLiteral("bin"));
        for (const char* file : row.present)
            Touch(root.filePath(QString::fromLatin1(file)));
        const QString found = FindHelpPage(root.filePath(QStringLiteral("bin")));
        if (row.found != nullptr)
            EXPECT_EQ(found, QDir::cleanPath(root.filePath(QString::fromLatin1(row.found))));
        else
            EXPECT_EQ(found, QStringLiteral(":/help/corvane-help.html"));
    }
}

} // namespace
