#include "prefs/Prompts.h"

#include "prefs/TextFile.h"

#include <algorithm>

bool Prompts::AskInput(const std::string& caption, const std::string& prompt, std::string& text,
                       bool mask, int maxLength) {
    const std::optional<std::string> answer = InputLine({caption, prompt, text, mask});
    if (!answer)
        return false;
    const auto length = static_cast<std::size_t>(std::clamp(maxLength, 0, MaxInputLength));
    text = std::string(Utf8Left(*answer, length));
    return true;
}
