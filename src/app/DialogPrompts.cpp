#include "app/DialogPrompts.h"

#include "prefs/Input_dialog.h"
#include "prefs/Translator.h"
#include "prefs/look_widgets.h"
#include "sites/Certificate_dialog.h"
#include "sites/SiteEditor_dialog.h"
#include "transfer/OverwritePrompt_dialog.h"

#include <QMessageBox>

DialogPrompts::DialogPrompts(Translator& language, QWidget* parent, PreferencesChoosers choosers)
    : language_(language), parent_(parent), choosers_(std::move(choosers)) {}

std::optional<std::string> DialogPrompts::InputLine(const InputRequest& request) {
    InputDialog form(language_, parent_);
    form.SetValues(request);
    if (form.exec() != QDialog::Accepted)
        return std::nullopt;
    return form.Values().Text;
}

bool DialogPrompts::EditOptions(PreferencesValues& values) {
    PreferencesDialog window(language_, *this, choosers_, parent_);
    window.SetValues(values);
    if (window.exec() != QDialog::Accepted)
        return false;
    values = window.Values();
    return true;
}

void DialogPrompts::ShowMessage(const std::string& caption, const std::string& text,
                                MessageIcon icon) {
    QMessageBox::Icon shown = QMessageBox::Information;
    switch (icon) {
    case MessageIcon::Information:
        break;
    case MessageIcon::Warning:
        shown = QMessageBox::Warning;
        break;
    case MessageIcon::Stop:
        shown = QMessageBox::Critical;
        break;
    }
    QMessageBox box(shown, ShownText(caption), ShownText(text), QMessageBox::Ok, parent_);
    box.exec();
}

bool DialogPrompts::AskYesNo(const std::string& caption, const std::string& text) {
    QMessageBox box(QMessageBox::Question, ShownText(caption), ShownText(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setObjectName(QStringLiteral("Question"));
    // Modal to the whole program, as a quit question must be.
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

bool DialogPrompts::EditSite(SiteForm& form) {
    SiteEditor window(language_, *this, choosers_.Directory, language_.Folder(), parent_);
    window.SetValues(form);
    const bool saved = window.exec() == QDialog::Accepted;
    const SiteForm shown = window.Values();
    if (saved)
        form = shown;
    else
        form.CustomTypes = shown.CustomTypes;
    return saved;
}

OverwriteAnswer DialogPrompts::AskOverwrite(std::string& path) {
    OverwritePromptDialog window(
        language_, path,
        [this](const std::string& shown) {
            // A path may be longer than a typed line's usual limit.
            return InputLine({"Save as ...", "New Path", shown, false});
        },
        parent_);
    window.exec();
    if (window.Answer() == OverwriteAnswer::SaveAs)
        path = window.Path();
    return window.Answer();
}

CertificateAnswer DialogPrompts::AskCertificate(const CertificateQuestion& question) {
    CertificateDialog window(language_, question, parent_);
    window.exec();
    return window.Answer();
}
