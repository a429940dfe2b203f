#pragma once

#include <cstddef>
#include <string>

class QWidget;

namespace local {

// "View as Text File": a read-only window of its own showing at most the
// first `limit` bytes of the file; closes and frees itself.
void ShowTextFile(const std::string& path, std::size_t limit, QWidget* parent);

} // namespace local
