#include "remote/FileIcons_widgets.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QStyle>

namespace {

QIcon BuiltIn(QStyle::StandardPixmap pixmap) {
    return QApplication::style()->standardIcon(pixmap);
}

} // namespace

QIcon FileTypeIcon(const QString& name, FileIconKind kind) {
    switch (kind) {
    case FileIconKind::Folder:
        return QIcon::fromTheme(QStringLiteral("folder"), BuiltIn(QStyle::SP_DirIcon));
    // A link keeps the toolkit's arrow, so it is told from what it points to.
    case FileIconKind::LinkToFolder:
        return BuiltIn(QStyle::SP_DirLinkIcon);
    case FileIconKind::LinkToFile:
        return BuiltIn(QStyle::SP_FileLinkIcon);
    case FileIconKind::File:
        break;
    }
    // By the name alone: a remote file cannot be read, a local one need not be.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    const QIcon generic = QIcon::fromTheme(type.genericIconName(), BuiltIn(QStyle::SP_FileIcon));
    return QIcon::fromTheme(type.iconName(), generic);
}
