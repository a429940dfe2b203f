#pragma once

#include <string>
#include <string_view>
#include <vector>

// What a server says it can do in its answer to FEAT. A server without FEAT,
// or an answer that is no 211, offers nothing: the client then speaks as it
// always has.
namespace ftpfeatures {

struct ServerFeatures {
    bool machineListing = false; // MLST, hence MLSD
    // The facts MLST names, lower case, the "*" of the ones it sends by
    // default dropped.
    std::vector<std::string> listingFacts{};
    bool extendedPassive = false; // EPSV
    bool extendedPort = false;    // EPRT
    bool utf8 = false;
    bool modificationTime = false;    // MDTM
    bool setModificationTime = false; // MFMT
    bool size = false;
    bool restartStream = false; // REST STREAM

    bool Offers(std::string_view fact) const;
    bool operator==(const ServerFeatures&) const = default;
};

// The whole reply as the server sent it, lines ended by CR LF or LF. Feature
// lines begin with a blank; lines that are not (the server's own words, junk)
// are passed over.
ServerFeatures ParseFeatures(std::string_view reply);

// "OPTS MLST type;size;modify;" asking for the facts the pane uses, of those
// the server offers; empty when it offers none of them.
std::string ListingFactsCommand(const ServerFeatures& features);

} // namespace ftpfeatures
