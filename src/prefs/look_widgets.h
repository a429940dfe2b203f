#pragma once

#include <QColor>
#include <QCoreApplication>
#include <QDialog>
#include <QFont>
#include <QHBoxLayout>
#include <QPushButton>
#include <cstddef>
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

// One button of a question's answer row.
template <typename Answer>
struct AnswerButton {
    Answer answer;
    const char* name;    // the object name
    const char* caption; // translated in the dialog's own context
};

// The answer buttons, left to right, in a row of their own; none is an
// automatic default, so Enter means only what the dialog makes default.
// `made` is indexed by answer.
template <typename Answer, std::size_t N, typename Choose>
QHBoxLayout* AddAnswerRow(QDialog& dialog, const AnswerButton<Answer> (&buttons)[N],
                          QPushButton* (&made)[N], Choose choose) {
    auto* row = new QHBoxLayout;
    for (const AnswerButton<Answer>& entry : buttons) {
        auto* button = new QPushButton(
            QCoreApplication::translate(dialog.metaObject()->className(), entry.caption), &dialog);
        button->setObjectName(QString::fromLatin1(entry.name));
        button->setAutoDefault(false);
        QObject::connect(button, &QPushButton::clicked, &dialog,
                         [choose, answer = entry.answer] { choose(answer); });
        made[static_cast<std::size_t>(entry.answer)] = button;
        row->addWidget(button);
    }
    return row;
}
