#pragma once

#include "prefs/Prompts.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TzelLanguage;

// The small modal window through which the program asks for one line of
// text: a prompt, the line, "Mask password" (shown for passwords only),
// "&Ok" and "&Cancel". Enter and Escape act when released in the line.
class TInputForm : public QDialog {
    Q_OBJECT

public:
    explicit TInputForm(TzelLanguage& language, QWidget* parent = nullptr);

    void setValues(const TInputRequest& request);
    // The caption and prompt shown, the line as typed, the mask state.
    TInputRequest values() const;

    QLineEdit* input() const { return Input; }
    QCheckBox* maskBox() const { return chbMask; }
    QPushButton* okButton() const { return bbOk; }
    QPushButton* cancelButton() const { return bbCancel; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chbMaskClick();

    TInputRequest request_;
    QLabel* Prompt = nullptr;
    QLineEdit* Input = nullptr;
    QCheckBox* chbMask = nullptr;
    QPushButton* bbOk = nullptr;
    QPushButton* bbCancel = nullptr;
};
