#pragma once

#include <QColor>
#include <QFont>
#include <string>

class QLineEdit;
class QWidget;

// Shared looks of the program's windows.

// An input control drawn white (its text area) or grey like the window.
void PaintWhite(QWidget* control, bool white);
// A password edit shows "*" for each character while masked.
void SetPasswordMask(QLineEdit* edit, bool masked);

// A colour as the settings store it: 0x00BBGGRR, or a negative system colour,
// which is the palette's text colour here.
QColor ColorFromStored(int stored, const QColor& systemText);
// A stored font name and point size (a size below 1 keeps the default size).
QFont FontFromStored(const std::string& name, int pointSize);

// A text of the settings in a control and back. The text comes back as stored
// when the control still shows it, so bytes that are not UTF-8 survive.
QString ShownText(const std::string& stored);
std::string StoredText(const std::string& before, const QString& shown);
