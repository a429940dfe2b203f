#pragma once

#include "prefs/Prompts.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class Translator;

// The small modal window through which the program asks for one line of
// text: a prompt, the line, "Mask password" (shown for passwords only),
// "&Ok" and "&Cancel". Enter and Escape act when released in the line.
class InputDialog : public QDialog {
    Q_OBJECT

public:
    explicit InputDialog(Translator& language, QWidget* parent = nullptr);

    void SetValues(const InputRequest& request);
    // The caption and prompt shown, the line as typed, the mask state.
    InputRequest Values() const;

    QLineEdit* InputLine() const { return Input; }
    QCheckBox* MaskBox() const { return chbMask; }
    QPushButton* OkButton() const { return bbOk; }
    QPushButton* CancelButton() const { return bbCancel; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateMasking();

    InputRequest request_;
    QLabel* Prompt = nullptr;
    QLineEdit* Input = nullptr;
    QCheckBox* chbMask = nullptr;
    QPushButton* bbOk = nullptr;
    QPushButton* bbCancel = nullptr;
};
