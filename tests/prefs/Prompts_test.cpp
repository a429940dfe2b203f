#include "support/ScriptedPrompts.h"

#include <gtest/gtest.h>

namespace {

TEST(AskInputTest, TheAnswerIsCutTo255AndThenToTheCallersLength) {
    const std::string sixty(60, 'x');
    const std::string threeHundred(300, 'y');
    ScriptedPrompts prompts;
    // "é" is two bytes and one character.
    std::string accented;
    for (int i = 0; i < 60; ++i)
        accented += "\xC3\xA9";
    struct Row {
        std::optional<std::string> typed; // nothing: "&Cancel"
        int maxLength;
        std::string expected;
    } rows[] = {
        {sixty, 50, std::string(50, 'x')},
        {threeHundred, 1000, std::string(255, 'y')},
        {accented, 50, accented.substr(0, 100)},
        {"abc", -3, ""},
        {std::nullopt, 50, "before"}, // the text stays as it was
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.maxLength);
        prompts.inputs.push_back(row.typed);
        std::string text = "before";
        EXPECT_EQ(prompts.AskInput("Rename", "New name", text, true, row.maxLength),
                  row.typed.has_value());
        EXPECT_EQ(text, row.expected);
    }
    // The question shows the caller's caption, prompt, text and mask.
    const InputRequest& asked = prompts.asked.at(0);
    EXPECT_EQ(asked.Caption + '|' + asked.Prompt + '|' + asked.Text, "Rename|New name|before");
    EXPECT_TRUE(asked.Mask);
}

} // namespace
