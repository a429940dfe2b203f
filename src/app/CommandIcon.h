#pragma once

#include <QApplication>
#include <QIcon>
#include <QStyle>

// A command's icon from the desktop's theme, or the toolkit's own picture
// where the theme has none.
inline QIcon CommandIcon(const char* themeName, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QString::fromLatin1(themeName),
                            QApplication::style()->standardIcon(fallback));
}
