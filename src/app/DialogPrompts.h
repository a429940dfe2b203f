#pragma once

#include "prefs/Preferences_dialog.h"
#include "prefs/Prompts.h"

class QWidget;
class Translator;

// The program's answers to the logic's questions: its modal dialogs, each
// translated as it is created.
class DialogPrompts : public Prompts {
public:
    // `language` must outlive this object; `parent` (may be null) owns the
    // dialogs while they are open.
    DialogPrompts(Translator& language, QWidget* parent,
                  PreferencesChoosers choosers = QtChoosers());

    bool EditOptions(PreferencesValues& values) override;
    void ShowMessage(const std::string& caption, const std::string& text,
                     MessageIcon icon) override;
    bool AskYesNo(const std::string& caption, const std::string& text) override;
    bool EditSite(SiteForm& form) override;
    OverwriteAnswer AskOverwrite(std::string& path) override;
    CertificateAnswer AskCertificate(const CertificateQuestion& question) override;

protected:
    std::optional<std::string> InputLine(const InputRequest& request) override;

private:
    Translator& language_;
    QWidget* parent_;
    PreferencesChoosers choosers_;
};
