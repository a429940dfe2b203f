#pragma once

#include "prefs/Prompts.h"

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
        std::function<void(TOptionsValues&)> edit;
        bool ok = true;
    };
    std::deque<OptionsAnswer> options;

    std::vector<TInputRequest> asked;
    std::vector<TOptionsValues> shown;

    bool EditOptions(TOptionsValues& values) override {
        shown.push_back(values);
        if (options.empty()) {
            ADD_FAILURE() << "the preferences window was not expected";
            return false;
        }
        OptionsAnswer answer = std::move(options.front());
        options.pop_front();
        TOptionsValues edited = values;
        if (answer.edit)
            answer.edit(edited);
        if (answer.ok)
            values = edited;
        return answer.ok;
    }

protected:
    std::optional<std::string> InputLine(const TInputRequest& request) override {
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
