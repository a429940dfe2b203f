#include "transfer/CustomCommands.h"

#include "prefs/CommaText.h"
#include "prefs/TextFile.h"

#include <fstream>
#include <sys/stat.h>

namespace transfer {

CommandLibrary LoadCommands(const std::string& programFolder) {
    std::ifstream in(programFolder + CommandsFileName, std::ios::binary);
    std::string labels;
    std::string commands;
    if (!in || !ReadTextLine(in, labels) || !ReadTextLine(in, commands))
        return {};
    CommandLibrary library{SplitCommaText(WithoutBom(labels)), SplitCommaText(commands)};
    // The two lists go together entry by entry; a file edited by hand may not.
    library.Commands.resize(library.Labels.size());
    return library;
}

bool SaveCommands(const std::string& programFolder, const CommandLibrary& library) {
    const std::string target = ResolveLink(programFolder + CommandsFileName);
    struct stat info {};
    const bool exists = ::stat(target.c_str(), &info) == 0;
    ReplacementFile out(target, exists ? (info.st_mode & 07777) : 0644);
    if (!out.IsOpen())
        return false;
    out.WriteLine(JoinCommaText(library.Labels));
    out.WriteLine(JoinCommaText(library.Commands));
    return out.Commit();
}

std::optional<std::string> TakeCommand(CommandBox& box, const std::string& text) {
    if (text.empty())
        return std::nullopt;
    const bool selected = box.Selected >= 0 && box.Selected < static_cast<int>(box.Items.size());
    if (!selected || box.Items[static_cast<std::size_t>(box.Selected)] != text) {
        box.Items.push_back(text);
        box.Selected = static_cast<int>(box.Items.size()) - 1;
    }
    return text;
}

std::string CommandEditor::Label() const {
    return ReadOnly() ? std::string() : library_.Labels[static_cast<std::size_t>(selected_)];
}

std::string CommandEditor::Command() const {
    return ReadOnly() ? std::string() : library_.Commands[static_cast<std::size_t>(selected_)];
}

void CommandEditor::Select(int index) {
    selected_ = index >= 0 && index < static_cast<int>(library_.Labels.size()) ? index : -1;
}

void CommandEditor::Add() {
    library_.Labels.emplace_back();
    library_.Commands.emplace_back();
    selected_ = static_cast<int>(library_.Labels.size()) - 1;
}

void CommandEditor::Remove() {
    if (ReadOnly())
        return;
    library_.Labels.erase(library_.Labels.begin() + selected_);
    library_.Commands.erase(library_.Commands.begin() + selected_);
    selected_ = -1;
}

void CommandEditor::SetLabel(const std::string& text) {
    if (!ReadOnly())
        library_.Labels[static_cast<std::size_t>(selected_)] = text;
}

void CommandEditor::SetCommand(const std::string& text) {
    if (!ReadOnly())
        library_.Commands[static_cast<std::size_t>(selected_)] = text;
}

std::string CommandEditor::Chosen() const {
    return Command();
}

} // namespace transfer
