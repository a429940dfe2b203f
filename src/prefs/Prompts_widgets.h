#pragma once

#include "prefs/Prompts.h"
#include "prefs/options_dialog.h"

class QWidget;
class TzelLanguage;

// The program's answers to the logic's questions: its modal dialogs, each
// translated as it is created.
class TDialogPrompts : public Prompts {
public:
    // `language` must outlive this object; `parent` (may be null) owns the
    // dialogs while they are open.
    TDialogPrompts(TzelLanguage& language, QWidget* parent,
                   TOptionsChoosers choosers = QtChoosers());

    bool EditOptions(TOptionsValues& values) override;
    void ShowMessage(const std::string& caption, const std::string& text,
                     TMessageIcon icon) override;
    bool AskYesNo(const std::string& caption, const std::string& text) override;
    bool EditSite(TSiteForm& form) override;

protected:
    std::optional<std::string> InputLine(const TInputRequest& request) override;

private:
    TzelLanguage& language_;
    QWidget* parent_;
    TOptionsChoosers choosers_;
};
