#include "prefs/Prompts_widgets.h"

#include "sites/Ftpinput_dialog.h"

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
