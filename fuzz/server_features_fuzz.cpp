// The parsers of what a server of today sends: the FEAT answer, MLSD lines
// (alone and through the pane's reader, cut anywhere), the EPSV reply and the
// time of MDTM and "modify". The first byte picks the chunk size.
#include "ftp/ServerFeatures.h"
#include "ftp/TransferFormat.h"
#include "remote/ListingParser.h"
#include "remote/MachineListing.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::size_t chunk = 1 + data[0];
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

    const ftpfeatures::ServerFeatures features = ftpfeatures::ParseFeatures(text);
    const std::string facts = ftpfeatures::ListingFactsCommand(features);
    if (facts.find_first_of("\r\n") != std::string::npos)
        std::abort(); // would end the command early
    if (const auto port = ftptransfer::ParseExtendedPassivePort(text); port && *port == 0)
        std::abort();
    if (const auto time = ftptransfer::ParseFactTime(text);
        time && ftptransfer::ParseFactTime(ftptransfer::FactTime(*time)) != time)
        std::abort();

    remote::ListingStyle style;
    style.machine = true;
    std::size_t entries = 0;
    remote::ListingReader reader(style, {}, [&](remote::RemoteEntry& entry) {
        if (entry.name.empty() || entry.name == "." || entry.name == "..")
            std::abort();
        ++entries;
    });
    for (std::size_t at = 0; at < text.size(); at += chunk)
        reader.Feed(text.substr(at, chunk));
    reader.Finish();
    const std::vector<std::string_view> lines = remote::SplitListingLines(text);
    const remote::ParsedListing whole = remote::ParseMachineListing(lines);
    if (whole.entries.size() != entries)
        std::abort(); // the reader and the whole-listing parse must agree
    return 0;
}
