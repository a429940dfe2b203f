#pragma once

class QWidget;

// The usual keys on the main window's actions, shown in the menus: the
// window's own (quit, new site, preferences, help) act anywhere, a pane's
// (refresh, rename, delete, parent, select all) only while the focus is in
// `localPane` or `remotePane`, so each acts on the pane that has it.
void AssignStandardKeys(QWidget& window, QWidget* localPane, QWidget* remotePane);
