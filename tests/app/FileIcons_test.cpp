// Both panes show the desktop theme's icon for a file's type, and the
// toolkit's own pictures where the theme has none.
#include "remote/FileIcons_widgets.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A theme of two icons, made here, so the test does not depend on what the
// machine has installed.
class TestTheme {
public:
    TestTheme() : searchPaths_(QIcon::themeSearchPaths()), name_(QIcon::themeName()) {
        const QString theme = dir_.filePath(QStringLiteral("corvanetest"));
        QDir().mkpath(theme + QStringLiteral("/16"));
        QFile index(theme + QStringLiteral("/index.theme"));
        if (index.open(QIODevice::WriteOnly))
            index.write("[Icon Theme]\nName=corvanetest\nDirectories=16\n\n[16]\nSize=16\n");
        index.close();
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::red);
        for (const char* icon : {"text-plain", "folder"})
            image.save(theme + QStringLiteral("/16/") + QString::fromLatin1(icon) + ".png");
        QIcon::setThemeSearchPaths({dir_.path()});
        QIcon::setThemeName(QStringLiteral("corvanetest"));
    }
    ~TestTheme() {
        QIcon::setThemeSearchPaths(searchPaths_);
        QIcon::setThemeName(name_);
    }

private:
    QTemporaryDir dir_;
    QStringList searchPaths_;
    QString name_;
};

TEST(FileIcons, TheThemeNamesEachTypeWithABuiltInFallback) {
    const TestTheme theme;
    const struct {
        const char* name;
        FileIconKind kind;
        const char* themed; // the theme's icon name; empty: the built-in picture
    } rows[] = {
        {"notes.txt", FileIconKind::File, "text-plain"},
        {"a folder.png", FileIconKind::Folder, "folder"},
        {"program.unknownextension", FileIconKind::File, ""},
        {"notes.txt", FileIconKind::LinkToFile, ""},
        {"pub", FileIconKind::LinkToFolder, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " " + std::to_string(static_cast<int>(row.kind)));
        const QIcon icon = FileTypeIcon(QString::fromUtf8(row.name), row.kind);
        EXPECT_FALSE(icon.isNull());
        EXPECT_FALSE(icon.pixmap(16, 16).isNull());
        EXPECT_EQ(icon.name().toStdString(), row.themed);
    }
}

} // namespace
