#pragma once

#include "prefs/Options.h"

class QMainWindow;
class QSplitter;
class QTreeView;

// The parts of the main window whose sizes are kept between runs.
struct LayoutParts {
    QMainWindow* window;
    QSplitter* panes; // local | remote
    QSplitter* log;   // panes over the log
    QTreeView* localList;
    QTreeView* remoteList;
};

// Brings back the geometry, the splitters and the column widths; a stored
// text that does not fit (wrong count, not positive numbers) leaves that part
// as built. The local folder is the caller's.
void RestoreWindowLayout(const LayoutParts& parts, const WindowLayout& layout);
// Stores what RestoreWindowLayout brings back.
void KeepWindowLayout(const LayoutParts& parts, WindowLayout& layout);
