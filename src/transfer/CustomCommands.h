#pragma once

#include <optional>
#include <string>
#include <vector>

namespace transfer {

inline constexpr const char* CommandsFileName = "commands.txt";

// The saved custom commands: a label and a command line each, in order.
struct CommandLibrary {
    std::vector<std::string> Labels;
    std::vector<std::string> Commands; // as long as Labels

    bool operator==(const CommandLibrary&) const = default;
};

// "commands.txt" in `programFolder`: the labels on the first line, the
// command lines on the second, each in comma-text form. A missing file or
// one with fewer than two lines gives no commands; lines after the second
// are ignored.
CommandLibrary LoadCommands(const std::string& programFolder);
// Writes the two lines (CR LF) to a new file put in place of the old in one
// step, so an interrupted save leaves the old file. False when it could not.
bool SaveCommands(const std::string& programFolder, const CommandLibrary& library);

// The command box of the "Custom Command" bar: its items and the selected one.
struct CommandBox {
    std::vector<std::string> Items;
    int Selected = -1;
};
// "Do It" with `text` in the box: the text becomes the selected item unless
// it already is; the command line to send, or nothing for an empty text.
std::optional<std::string> TakeCommand(CommandBox& box, const std::string& text);

// The "Commands" window's working copy: a label list with one selected (or
// none) and the command line of each label. The two edits are read-only
// while no label is selected.
class CommandEditor {
public:
    explicit CommandEditor(CommandLibrary library) : library_(std::move(library)) {}

    const CommandLibrary& Library() const { return library_; }
    int Selected() const { return selected_; }
    bool ReadOnly() const { return selected_ < 0; }
    // The edits' texts for the selected label; empty without one.
    std::string Label() const;
    std::string Command() const;

    void Select(int index); // out of range: no selection
    void Add();             // an empty label and command, selected
    void Remove();          // the selected one; then nothing is selected
    void SetLabel(const std::string& text);
    void SetCommand(const std::string& text);
    // What "Select" (or Enter, or a double click) chooses: the selected
    // label's command line; empty without a selection.
    std::string Chosen() const;

private:
    CommandLibrary library_;
    int selected_ = -1;
};

} // namespace transfer
