#pragma once

#include "prefs/Prompts.h"

#include <optional>
#include <string>

// Answers every question the same way without a window: the benches measure
// work, never a user.
class FixedPrompts : public Prompts {
public:
    FixedPrompts(bool yes, OverwriteAnswer overwrite) : yes_(yes), overwrite_(overwrite) {}

    bool EditOptions(PreferencesValues&) override { return false; }
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return yes_; }
    bool EditSite(SiteForm&) override { return false; }
    OverwriteAnswer AskOverwrite(std::string&) override { return overwrite_; }
    CertificateAnswer AskCertificate(const CertificateQuestion&) override {
        return CertificateAnswer::Refuse;
    }

protected:
    std::optional<std::string> InputLine(const InputRequest&) override { return std::nullopt; }

private:
    bool yes_;
    OverwriteAnswer overwrite_;
};
