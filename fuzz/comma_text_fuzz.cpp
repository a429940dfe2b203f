// The comma text of the options file: whatever list a text gives, joining it
// and reading it again gives the same list.
#include "prefs/CommaText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> items = SplitCommaText(text);
    if (SplitCommaText(JoinCommaText(items)) != items)
        std::abort();
    return 0;
}
