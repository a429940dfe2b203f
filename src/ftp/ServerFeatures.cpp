#include "ftp/ServerFeatures.h"

#include "text/TextFields.h"

#include <algorithm>
#include <array>

namespace ftpfeatures {
namespace {

// The facts of "MLST type*;size*;modify*;perm;": which it names, and which it
// already sends by default.
void ReadListingFacts(std::string_view facts, ServerFeatures& features) {
    while (!facts.empty()) {
        const std::size_t end = std::min(facts.find(';'), facts.size());
        std::string fact = text::AsciiLowerCopy(text::TrimBlanks(facts.substr(0, end)));
        if (!fact.empty() && fact.back() == '*')
            fact.pop_back();
        if (!fact.empty() && !features.Offers(fact))
            features.listingFacts.push_back(std::move(fact));
        facts.remove_prefix(std::min(end + 1, facts.size()));
    }
}

} // namespace

bool ServerFeatures::Offers(std::string_view fact) const {
    return std::find(listingFacts.begin(), listingFacts.end(), text::AsciiLowerCopy(fact)) !=
           listingFacts.end();
}

ServerFeatures ParseFeatures(std::string_view reply) {
    ServerFeatures features;
    if (!reply.starts_with("211"))
        return features;
    while (!reply.empty()) {
        const std::size_t end = std::min(reply.find('\n'), reply.size());
        const std::string_view line = reply.substr(0, end);
        reply.remove_prefix(std::min(end + 1, reply.size()));
        if (!line.starts_with(' '))
            continue;
        const std::string_view feature = text::TrimBlanks(line);
        const std::size_t blank = std::min(feature.find(' '), feature.size());
        const std::string name = text::AsciiLowerCopy(feature.substr(0, blank));
        const std::string_view rest = text::TrimBlanks(feature.substr(blank));
        if (name == "mlst") {
            features.machineListing = true;
            ReadListingFacts(rest, features);
        } else if (name == "epsv") {
            features.extendedPassive = true;
        } else if (name == "eprt") {
            features.extendedPort = true;
        } else if (name == "utf8") {
            features.utf8 = true;
        } else if (name == "mdtm") {
            features.modificationTime = true;
        } else if (name == "mfmt") {
            features.setModificationTime = true;
        } else if (name == "size") {
            features.size = true;
        } else if (name == "rest") {
            features.restartStream = text::AsciiLowerCopy(rest) == "stream";
        }
    }
    return features;
}

std::string ListingFactsCommand(const ServerFeatures& features) {
    constexpr std::array<std::string_view, 5> wanted{"type", "size", "modify", "perm", "unix.mode"};
    std::string command;
    for (const std::string_view fact : wanted)
        if (features.Offers(fact))
            command += std::string(fact) + ";";
    return command.empty() ? command : "OPTS MLST " + command;
}

} // namespace ftpfeatures
