#pragma once

#include <string>
#include <string_view>

// A file moved as text (TYPE A) has CR LF line ends on the wire and LF ones
// on this system. Both directions take the data in blocks split anywhere,
// also between the CR and the LF of one line end.
namespace ftptransfer {

// Wire to local: each CR LF becomes LF; a CR not followed by LF stays.
class TextFromNetwork {
public:
    // Appends the local form of `block` to `out`; a CR at its end waits for
    // the next block.
    void Convert(std::string_view block, std::string& out);
    // Appends what still waits (a last CR) at the end of the data.
    void Finish(std::string& out);

private:
    bool heldCR_ = false;
};

// Local to wire: each LF that no CR precedes becomes CR LF, so a file that
// already has CR LF line ends goes out unchanged.
class TextToNetwork {
public:
    void Convert(std::string_view block, std::string& out);

private:
    bool afterCR_ = false;
};

} // namespace ftptransfer
