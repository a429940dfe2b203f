#include "app/WindowLayout.h"

#include <QHeaderView>
#include <QMainWindow>
#include <QSplitter>
#include <QString>
#include <QTreeView>

namespace {

// "450,450": sizes or widths as the layout section keeps them.
std::string SizesText(const QList<int>& sizes) {
    std::string text;
    for (const int size : sizes)
        text += (text.empty() ? "" : ",") + std::to_string(size);
    return text;
}

// Nothing when the text is not as many positive numbers as `count`.
QList<int> SizesFromText(const std::string& text, qsizetype count) {
    QList<int> sizes;
    for (const QString& part : QString::fromStdString(text).split(',')) {
        bool ok = false;
        const int size = part.toInt(&ok);
        if (!ok || size <= 0)
            return {};
        sizes.push_back(size);
    }
    return sizes.size() == count ? sizes : QList<int>{};
}

QList<int> ColumnWidths(const QTreeView* list) {
    QList<int> widths;
    for (int column = 0; column < list->header()->count(); ++column)
        widths.push_back(list->columnWidth(column));
    return widths;
}

void SetColumnWidths(QTreeView* list, const std::string& text) {
    const QList<int> widths = SizesFromText(text, list->header()->count());
    for (qsizetype column = 0; column < widths.size(); ++column)
        list->setColumnWidth(static_cast<int>(column), widths[column]);
}

void SetSizes(QSplitter* splitter, const std::string& text) {
    if (const QList<int> sizes = SizesFromText(text, splitter->count()); !sizes.isEmpty())
        splitter->setSizes(sizes);
}

} // namespace

void RestoreWindowLayout(const LayoutParts& parts, const WindowLayout& layout) {
    if (!layout.Geometry.empty())
        parts.window->restoreGeometry(
            QByteArray::fromBase64(QByteArray::fromStdString(layout.Geometry)));
    SetSizes(parts.panes, layout.Panes);
    SetSizes(parts.log, layout.Log);
    SetColumnWidths(parts.localList, layout.LocalColumns);
    SetColumnWidths(parts.remoteList, layout.RemoteColumns);
}

void KeepWindowLayout(const LayoutParts& parts, WindowLayout& layout) {
    layout.Geometry = parts.window->saveGeometry().toBase64().toStdString();
    layout.Panes = SizesText(parts.panes->sizes());
    layout.Log = SizesText(parts.log->sizes());
    layout.LocalColumns = SizesText(ColumnWidths(parts.localList));
    // The remote list's columns exist only once a folder was shown.
    if (parts.remoteList->header()->count() > 0)
        layout.RemoteColumns = SizesText(ColumnWidths(parts.remoteList));
}
