#pragma once

#include <string_view>
#include <vector>

// Marks the entries of two directory listings that have no counterpart of the
// same name and the same size text on the other side.
namespace compare {

// What the comparison reads of a pane entry: its name and its displayed size
// text (empty for folders and entries without one). Both exact.
struct CompareEntry {
    std::string_view name;
    std::string_view size;
};

struct CompareResult {
    std::vector<bool> localSelected;
    std::vector<bool> remoteSelected;
};

// An entry is selected when the other side has no entry of equal name and
// size text, unselected otherwise; the same outcome as scanning the other
// list for the first match, found through a hash index instead.
CompareResult CompareDirectories(const std::vector<CompareEntry>& local,
                                 const std::vector<CompareEntry>& remote);

} // namespace compare
