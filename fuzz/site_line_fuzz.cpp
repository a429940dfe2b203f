// A line of a site list: whatever it holds, the line written from its record
// reads back, and after that one save the line no longer changes. (The first
// save may change it: an empty "Port=" is left out and reads as 21.)
#include "prefs/Options.h"
#include "sites/Site.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    IsCommentLine(line);
    Site record = EmptySiteRecord();
    if (!ParseSiteLine(line, record))
        return 0;
    const Site stored = StoredSite(record);
    Site again = EmptySiteRecord();
    if (!ParseSiteLine(FormatSiteLine(stored), again))
        std::abort();
    const std::string saved = FormatSiteLine(StoredSite(again));
    Site third = EmptySiteRecord();
    if (!ParseSiteLine(saved, third) || FormatSiteLine(StoredSite(third)) != saved)
        std::abort();
    return 0;
}
