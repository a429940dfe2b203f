#include "prefs/Prompts_widgets.h"

#include "prefs/look_widgets.h"
#include "prefs/zelLanguage.h"
#include "sites/Ftpinput_dialog.h"
#include "sites/ftpbase_dialog.h"

#include <QMessageBox>

TDialogPrompts::TDialogPrompts(TzelLanguage& language, QWidget* parent, TOptionsChoosers choosers)
    : language_(language), parent_(parent), choosers_(std::move(choosers)) {}

std::optional<std::string> TDialogPrompts::InputLine(const TInputRequest& request) {
    TInputForm form(language_, parent_);
    form.setValues(request);
    if (form.exec() != QDialog::Accepted)
        return std::nullopt;
    return form.values().Text;
}

bool TDialogPrompts::EditOptions(TOptionsValues& values) {
    T_Options window(language_, *this, choosers_, parent_);
    window.setValues(values);
    if (window.exec() != QDialog::Accepted)
        return false;
    values = window.values();
    return true;
}

void TDialogPrompts::ShowMessage(const std::string& caption, const std::string& text,
                                 TMessageIcon icon) {
    QMessageBox::Icon shown = QMessageBox::Information;
    switch (icon) {
    case TMessageIcon::Information:
        break;
    case TMessageIcon::Warning:
        shown = QMessageBox::Warning;
        break;
    case TMessageIcon::Stop:
        shown = QMessageBox::Critical;
        break;
    }
    QMessageBox box(shown, ShownText(caption), ShownText(text), QMessageBox::Ok, parent_);
    box.exec();
}

bool TDialogPrompts::AskYesNo(const std::string& caption, const std::string& text) {
    QMessageBox box(QMessageBox::Question, ShownText(caption), ShownText(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setObjectName(QStringLiteral("Question"));
    // Modal to the whole program, as a quit question must be.
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

bool TDialogPrompts::EditSite(TSiteForm& form) {
    TFFtpBase window(language_, *this, choosers_.Directory, language_.Folder(), parent_);
    window.setValues(form);
    const bool saved = window.exec() == QDialog::Accepted;
    const TSiteForm shown = window.values();
    if (saved)
        form = shown;
    else
        form.CustomTypes = shown.CustomTypes;
    return saved;
}
