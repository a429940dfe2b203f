#pragma once

#include "prefs/Prompts.h"
#include "sites/SiteForm.h"

#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

// Answers the logic's questions from a script given up front, and records
// what was asked. A question the script does not expect fails the test.
class ScriptedPrompts : public Prompts {
public:
    // Lines typed into the next input questions; nothing means "&Cancel".
    std::deque<std::optional<std::string>> inputs;
    // Edits made in the preferences window, each followed by "&OK" (true) or
    // "&Cancel" (false).
    struct OptionsAnswer {
        std::function<void(PreferencesValues&)> edit;
        bool ok = true;
    };
    std::deque<OptionsAnswer> options;
    // Edits made in the site properties window, each followed by "Save"
    // (true) or "Cancel" (false). The edit may use the window's rules
    // (AddCustomType, SelectCustomType ...) as its buttons would.
    struct SiteAnswer {
        std::function<void(SiteForm&)> edit;
        bool save = true;
    };
    std::deque<SiteAnswer> sites;

    struct Message {
        std::string caption;
        std::string text;
        MessageIcon icon;
    };

    // Answers to the Yes/No questions, in order: true is Yes.
    std::deque<bool> yesNo;

    // Answers to the overwrite question; `newPath` is typed for SaveAs.
    struct OverwriteReply {
        OverwriteAnswer answer = OverwriteAnswer::Cancel;
        std::string newPath;
    };
    std::deque<OverwriteReply> overwrites;
    std::vector<std::string> overwriteAsked; // the existing paths, in order

    // Answers to the certificate window, in order.
    std::deque<CertificateAnswer> certificates;
    std::vector<CertificateQuestion> certificateAsked;

    std::vector<InputRequest> asked;
    std::vector<PreferencesValues> shown;
    std::vector<SiteForm> shownSites; // each as the window was filled
    std::vector<Message> messages;
    std::vector<Message> questions; // icon unused

    bool EditOptions(PreferencesValues& values) override {
        shown.push_back(values);
        const std::optional<OptionsAnswer> answer = Next(options, "the preferences window");
        if (!answer)
            return false;
        PreferencesValues edited = values;
        if (answer->edit)
            answer->edit(edited);
        if (answer->ok)
            values = edited;
        return answer->ok;
    }

    void ShowMessage(const std::string& caption, const std::string& text,
                     MessageIcon icon) override {
        messages.push_back({caption, text, icon});
    }

    bool AskYesNo(const std::string& caption, const std::string& text) override {
        questions.push_back({caption, text, MessageIcon::Information});
        const std::optional<bool> answer = Next(yesNo, "a Yes/No question");
        return answer.value_or(false);
    }

    bool EditSite(SiteForm& form) override {
        shownSites.push_back(form);
        const std::optional<SiteAnswer> answer = Next(sites, "the site properties window");
        if (!answer)
            return false;
        if (answer->edit)
            answer->edit(form);
        if (answer->save && SaveProblem(form)) {
            ADD_FAILURE() << "\"Save\" would keep the window open: " << *SaveProblem(form);
            return false;
        }
        return answer->save;
    }

    OverwriteAnswer AskOverwrite(std::string& path) override {
        overwriteAsked.push_back(path);
        const std::optional<OverwriteReply> reply = Next(overwrites, "the overwrite question");
        if (!reply)
            return OverwriteAnswer::Cancel;
        if (reply->answer == OverwriteAnswer::SaveAs)
            path = reply->newPath;
        return reply->answer;
    }

    CertificateAnswer AskCertificate(const CertificateQuestion& question) override {
        certificateAsked.push_back(question);
        return Next(certificates, "the certificate window").value_or(CertificateAnswer::Refuse);
    }

protected:
    // The next scripted answer; a window the script does not expect fails.
    template <class Answer>
    static std::optional<Answer> Next(std::deque<Answer>& script, const char* window) {
        if (script.empty()) {
            ADD_FAILURE() << window << " was not expected";
            return std::nullopt;
        }
        Answer answer = std::move(script.front());
        script.pop_front();
        return answer;
    }

    std::optional<std::string> InputLine(const InputRequest& request) override {
        asked.push_back(request);
        if (inputs.empty()) {
            ADD_FAILURE() << "no answer for \"" << request.Caption << "\"";
            return std::nullopt;
        }
        std::optional<std::string> answer = std::move(inputs.front());
        inputs.pop_front();
        return answer;
    }
};
