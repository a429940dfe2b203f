#include "local/PaneSelection.h"

#include "prefs/Prompts.h"
#include "remote/RemoteRules.h"

namespace local {

bool AskSelectMask(Prompts& prompts, bool localPane, std::string& filter) {
    return prompts.AskInput(localPane ? LocalFilterCaption : RemoteFilterCaption, MaskPrompt,
                            filter, false, MaxInputLength);
}

void ApplySelectCommand(SelectCommand command, const std::vector<std::string_view>& captions,
                        std::string_view mask, std::vector<bool>& selected) {
    selected.resize(captions.size(), false);
    for (std::size_t i = 0; i < captions.size(); ++i) {
        switch (command) {
        case SelectCommand::All:
            selected[i] = true;
            break;
        case SelectCommand::Unselect:
        case SelectCommand::Mask:
            if (remote::MatchesMask(captions[i], mask))
                selected[i] = command == SelectCommand::Mask;
            break;
        case SelectCommand::Invert:
            selected[i] = !selected[i];
            break;
        }
    }
}

} // namespace local
