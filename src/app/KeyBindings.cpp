#include "app/KeyBindings.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

void AssignStandardKeys(QWidget& window, QWidget* localPane, QWidget* remotePane) {
    const QList<QKeySequence> parent = {Qt::Key_Backspace, QKeySequence(Qt::ALT | Qt::Key_Up)};
    // Where a key acts: anywhere in the window, in one pane's list, or
    // nowhere (an action that only shows the key its twin takes).
    enum class Reach { Window, LocalPane, RemotePane, Shown };
    const struct {
        const char* action;
        QList<QKeySequence> keys;
        Reach reach;
    } rows[] = {
        {"Exit1", {QKeySequence(Qt::CTRL | Qt::Key_Q)}, Reach::Window},
        {"miNewServer", {QKeySequence(Qt::CTRL | Qt::Key_N)}, Reach::Window},
        {"Preferences1", {QKeySequence(Qt::CTRL | Qt::Key_Comma)}, Reach::Window},
        {"Contents1", {QKeySequence::HelpContents}, Reach::Window},
        {"Refresh1", {Qt::Key_F5}, Reach::LocalPane},
        {"SpeedButton4", parent, Reach::LocalPane},
        {"Rename1", {Qt::Key_F2}, Reach::LocalPane},
        // The pop-up's twin takes the key: it acts on any selection.
        {"Delete1", {QKeySequence(Qt::Key_Delete)}, Reach::Shown},
        {"Delete2", {QKeySequence(Qt::Key_Delete)}, Reach::LocalPane},
        {"All1", {QKeySequence::SelectAll}, Reach::LocalPane},
        {"Refresh2", {Qt::Key_F5}, Reach::RemotePane},
        {"Refresh3", {Qt::Key_F5}, Reach::Shown},
        {"Rename2", {Qt::Key_F2}, Reach::RemotePane},
        {"Rename3", {Qt::Key_F2}, Reach::Shown},
        {"DeleteServerDirFile2", {QKeySequence(Qt::Key_Delete)}, Reach::RemotePane},
        {"DeleteServerDirFile3", {QKeySequence(Qt::Key_Delete)}, Reach::Shown},
        {"All4", {QKeySequence::SelectAll}, Reach::RemotePane},
        {"All5", {QKeySequence::SelectAll}, Reach::Shown},
        {"RemoteUpKey", parent, Reach::RemotePane},
    };
    for (const auto& row : rows) {
        auto* action = window.findChild<QAction*>(QString::fromLatin1(row.action));
        if (action == nullptr)
            continue;
        action->setShortcuts(row.keys);
        if (row.reach == Reach::Window)
            continue;
        // A pane's own list takes its keys; a menu only shows them.
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        QWidget* pane = row.reach == Reach::LocalPane    ? localPane
                        : row.reach == Reach::RemotePane ? remotePane
                                                         : nullptr;
        for (QObject* owner : action->associatedObjects()) {
            auto* widget = qobject_cast<QWidget*>(owner);
            if (widget != nullptr && qobject_cast<QMenu*>(widget) == nullptr && widget != pane)
                widget->removeAction(action);
        }
        if (pane != nullptr)
            pane->addAction(action);
    }
}
