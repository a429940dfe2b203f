#pragma once

#include <string>
#include <string_view>
#include <vector>

class Prompts;

// The "Select ..." commands, shared by both panes: they work on the captions
// and selected flags of any pane's items.
namespace local {

enum class SelectCommand { All = 1, Unselect = 2, Mask = 3, Invert = 4 };

// Whether the command asks for a mask first.
constexpr bool NeedsMask(SelectCommand command) {
    return command == SelectCommand::Unselect || command == SelectCommand::Mask;
}

// Asks for the mask in the "Local Filter" or "FTP Filter" window, prefilled
// with `filter`. On OK `filter` becomes the typed mask (it is also the pane's
// next filter) and the result is true; on Cancel both stay.
bool AskSelectMask(Prompts& prompts, bool localPane, std::string& filter);

// The selection after the command: Unselect and Mask change only the
// entries whose caption matches `mask`, the others keep their state.
void ApplySelectCommand(SelectCommand command, const std::vector<std::string_view>& captions,
                        std::string_view mask, std::vector<bool>& selected);

inline constexpr const char* LocalFilterCaption = "Local Filter";
inline constexpr const char* RemoteFilterCaption = "FTP Filter";
inline constexpr const char* MaskPrompt = "Mask";

} // namespace local
