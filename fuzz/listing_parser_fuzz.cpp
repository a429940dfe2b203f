// The listing parser over any bytes, in every layout; the first byte picks the
// site's answer code. What it looks for is a crash or undefined behaviour.
#include "remote/ListingParser.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    using namespace std::chrono_literals;
    // "6" picks a layout; for the custom layout the next six bytes name its columns.
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string answer = std::string(1, static_cast<char>('0' + data[0] % 10)) +
                               std::string(bytes.substr(1, std::min<std::size_t>(6, size - 1)));
    const remote::ListingStyle style = remote::ListingStyleFromAnswer(answer);
    const std::vector<std::string_view> lines = remote::SplitListingLines(bytes.substr(1));
    static_cast<void>(
        remote::ParseListing(lines, style, std::chrono::year_month_day{2024y / 2 / 29}));
    return 0;
}
