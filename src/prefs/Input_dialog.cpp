#include "prefs/Input_dialog.h"

#include "prefs/Translator_widgets.h"
#include "prefs/look_widgets.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int MinimumWidth = 340;

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

InputDialog::InputDialog(Translator& language, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TInputForm"));
    setModal(true);
    setMinimumWidth(MinimumWidth);

    Prompt = new QLabel(this);
    Prompt->setObjectName(QStringLiteral("Prompt"));
    Input = new QLineEdit(this);
    Input->setObjectName(QStringLiteral("Input"));
    MarkAsUserData(Input);
    Prompt->setBuddy(Input);
    chbMask = new QCheckBox(tr("Mask password"), this);
    chbMask->setObjectName(QStringLiteral("chbMask"));
    bbOk = new QPushButton(tr("&Ok"), this);
    bbOk->setObjectName(QStringLiteral("bbOk"));
    bbCancel = new QPushButton(tr("&Cancel"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    // Enter and Escape act on release in the line; no button takes the press.
    for (QPushButton* button : {bbOk, bbCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(chbMask);
    buttons->addStretch();
    buttons->addWidget(bbOk);
    buttons->addWidget(bbCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Prompt);
    layout->addWidget(Input);
    layout->addLayout(buttons);

    connect(bbOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(bbCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(chbMask, &QCheckBox::toggled, this, &InputDialog::UpdateMasking);
    Input->installEventFilter(this);
    SetPasswordMask(Input, false);

    ApplyLanguage(language, *this);
}

void InputDialog::SetValues(const InputRequest& request) {
    request_ = request;
    setWindowTitle(ShownText(request.Caption));
    Prompt->setText(ShownText(request.Prompt));
    Input->setText(ShownText(request.Text));
    chbMask->setVisible(request.Mask);
    chbMask->setChecked(request.Mask);
    UpdateMasking();
}

InputRequest InputDialog::Values() const {
    return {StoredText(request_.Caption, windowTitle()),
            StoredText(request_.Prompt, Prompt->text()), StoredText(request_.Text, Input->text()),
            chbMask->isChecked()};
}

void InputDialog::UpdateMasking() {
    SetPasswordMask(Input, chbMask->isChecked());
}

bool InputDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Input ||
        (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease))
        return QDialog::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (!IsEnter(key->key()) && key->key() != Qt::Key_Escape)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyRelease && !key->isAutoRepeat())
        (IsEnter(key->key()) ? bbOk : bbCancel)->click();
    return true; // the press must not reach the dialog, which would act at once
}
