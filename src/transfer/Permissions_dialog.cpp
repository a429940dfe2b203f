#include "transfer/Permissions_dialog.h"

#include "prefs/Translator_widgets.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

PermissionsDialog::PermissionsDialog(Translator& language, transfer::PermissionForm& form,
                                     QWidget* parent)
    : QDialog(parent), form_(form) {
    setObjectName(QStringLiteral("T_ChMod"));
    setWindowTitle(tr("Change File Attributes"));
    setModal(true);
    setMinimumWidth(360); // the caption is read in full

    auto* layout = new QVBoxLayout(this);
    const QString rows[] = {tr("Owner Permissions"), tr("Group Permissions"),
                            tr("Public Permissions")};
    const QString columns[] = {tr("Read"), tr("Write"), tr("Execute")};
    for (int row = 0; row < 3; ++row) {
        auto* group = new QGroupBox(rows[row], this);
        group->setObjectName(QStringLiteral("GroupBox%1").arg(row + 1));
        auto* line = new QHBoxLayout(group);
        for (int column = 0; column < 3; ++column) {
            const int index = row * 3 + column;
            auto* box = new QCheckBox(columns[column], group);
            box->setObjectName(QStringLiteral("cb%1").arg(index + 1));
            line->addWidget(box);
            boxes_[static_cast<std::size_t>(index)] = box;
            // A click toggles between checked and unchecked only; the grayed
            // state is shown, never chosen.
            connect(box, &QCheckBox::clicked, this, [this, index] {
                if (showing_)
                    return;
                form_.ClickBox(index);
                ShowForm(true);
            });
        }
        layout->addWidget(group);
    }

    auto* manualRow = new QHBoxLayout;
    auto* label = new QLabel(tr("Manual"), this);
    label->setObjectName(QStringLiteral("Label1"));
    manual_ = new QLineEdit(this);
    manual_->setObjectName(QStringLiteral("Edit1"));
    manual_->setMaxLength(3);
    manual_->installEventFilter(this);
    label->setBuddy(manual_);
    manualRow->addWidget(label);
    manualRow->addWidget(manual_, 1);
    layout->addLayout(manualRow);
    connect(manual_, &QLineEdit::textEdited, this, [this](const QString& text) {
        form_.TypeManual(text.toStdString());
        ShowForm(false);
    });

    auto* buttons = new QHBoxLayout;
    ok_ = new QPushButton(tr("Ok"), this);
    ok_->setObjectName(QStringLiteral("SpeedButton1"));
    ok_->setDefault(true);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("SpeedButton2"));
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    ShowForm(true);
    ApplyLanguage(language, *this);
}

void PermissionsDialog::ShowForm(bool withText) {
    showing_ = true;
    for (std::size_t i = 0; i < boxes_.size(); ++i) {
        const transfer::PermissionForm::Box state = form_.Boxes()[i];
        boxes_[i]->setTristate(state == transfer::PermissionForm::Box::Grayed);
        boxes_[i]->setCheckState(state == transfer::PermissionForm::Box::Grayed
                                     ? Qt::PartiallyChecked
                                 : state == transfer::PermissionForm::Box::Checked ? Qt::Checked
                                                                                   : Qt::Unchecked);
    }
    if (withText)
        manual_->setText(QString::fromStdString(form_.Manual()));
    showing_ = false;
}

bool PermissionsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == manual_ && event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent*>(event)->text();
        for (const QChar c : text) {
            if (!transfer::ManualKeyAccepted(c.unicode()))
                return true; // only octal digits are typed
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool DialogPermissionEditor::Edit(transfer::PermissionForm& form) {
    PermissionsDialog dialog(language_, form, parent_);
    return dialog.exec() == QDialog::Accepted;
}
