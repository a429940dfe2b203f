#pragma once

#include <string>
#include <string_view>
#include <vector>

// The comma-text form in which "options.ftp" keeps its lists ("Ext",
// "CmdKeep"): items joined by ",", an item quoted with '"' (inner quotes
// doubled) when it holds a blank, a comma or a quote. Reading also cuts
// unquoted items at blanks, so "NOOP, PWD" and "NOOP,PWD" are the same list.
std::vector<std::string> SplitCommaText(std::string_view text);
std::string JoinCommaText(const std::vector<std::string>& items);
