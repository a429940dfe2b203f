#pragma once

#include "transfer/Permissions.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QLineEdit;
class QPushButton;
class Translator;

// "Change File Attributes": nine boxes (owner, group, public by read, write,
// execute) and the "Manual" field, both showing one `PermissionForm`. A box
// that differs among the entries shows grayed until it is clicked.
class PermissionsDialog : public QDialog {
    Q_OBJECT

public:
    PermissionsDialog(Translator& language, transfer::PermissionForm& form,
                      QWidget* parent = nullptr);

    QCheckBox* Box(int index) const { return boxes_[static_cast<std::size_t>(index)]; }
    QLineEdit* Manual() const { return manual_; }
    QPushButton* OkButton() const { return ok_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Shows the form; the field only when the user is not typing in it.
    void ShowForm(bool withText);

    transfer::PermissionForm& form_;
    std::array<QCheckBox*, 9> boxes_{};
    QLineEdit* manual_ = nullptr;
    QPushButton* ok_ = nullptr;
    bool showing_ = false; // the program sets the controls, not the user
};

// The permission editor of the program: the window above, modal.
class DialogPermissionEditor : public transfer::PermissionEditor {
public:
    DialogPermissionEditor(Translator& language, QWidget* parent)
        : language_(language), parent_(parent) {}
    bool Edit(transfer::PermissionForm& form) override;

private:
    Translator& language_;
    QWidget* parent_;
};
