#include "support/ScriptedPrompts.h"

#include <gtest/gtest.h>

namespace {

TEST(AskInputTest, TheAnswerIsCutTo255AndThenToTheCallersLength) {
    const std::string sixty(60, 'x');
    const std::string threeHundred(300, 'y');
    // "é" is two bytes and one character.
    std::string accented;
    for (int i = 0; i < 60; ++i)
        accented += "\xC3\xA9";
    struct Row {
        std::string typed;
        int maxLength;
        std::string expected;
    } rows[] = {
        {sixty, 50, std::string(50, 'x')},
        {sixty, 60, sixty},
        {threeHundred, 1000, std::string(255, 'y')},
        {threeHundred, 255, std::string(255, 'y')},
        {accented, 50, accented.substr(0, 100)},
        {"abc", 0, ""},
        {"abc", -3, ""},
        {"", 10, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.maxLength);
        ScriptedPrompts prompts;
        prompts.inputs.push_back(row.typed);
        std::string text = "before";
        EXPECT_TRUE(prompts.AskInput("Caption", "Prompt", text, false, row.maxLength));
        EXPECT_EQ(text, row.expected);
    }
}

TEST(AskInputTest, CancelLeavesTheTextAsItWas) {
    ScriptedPrompts prompts;
    prompts.inputs.push_back(std::nullopt);
    std::string text = "keep me";
    EXPECT_FALSE(prompts.AskInput("Rename", "New name", text, true, 50));
    EXPECT_EQ(text, "keep me");
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].Caption, "Rename");
    EXPECT_EQ(prompts.asked[0].Prompt, "New name");
    EXPECT_EQ(prompts.asked[0].Text, "keep me");
    EXPECT_TRUE(prompts.asked[0].Mask);
}

} // namespace
