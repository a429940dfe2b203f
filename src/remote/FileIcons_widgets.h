#pragma once

#include <QIcon>
#include <QString>

// What a pane's row shows, for its icon.
enum class FileIconKind { File, Folder, LinkToFile, LinkToFolder };

// The desktop's icon for a file of that name (its type found by the name's
// extension), a folder or a link, from the icon theme; the toolkit's own
// pictures where the theme has none. Both panes show these.
QIcon FileTypeIcon(const QString& name, FileIconKind kind);
