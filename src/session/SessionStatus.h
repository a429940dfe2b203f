#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace session {

// How the last connect or session ended, as the notice above the right pane
// needs it.
enum class SessionEnd {
    None,          // still running, or never started
    Disconnected,  // the user ended it
    ConnectFailed, // no greeting: refused, unknown host, timed out ...
    LoginFailed,   // greeted, then the login was refused
    ConnectionLost,
};

struct EndReport {
    SessionEnd End = SessionEnd::None;
    std::uint16_t Error = 0; // reply code or socket error number of the failure
    std::string Reply;       // the server's reply or the engine's error text
    std::string Host;
    std::string Port;
    bool PasswordTyped = false; // the password came from a prompt, not the site
};

// What the notice says, in plain words.
struct FailureNotice {
    std::string Text;
    // A 530 to a password typed at the prompt: it may have been mistyped.
    bool OfferPassword = false;
};

// Asked before a disconnect would cut a transfer or a chain short.
inline constexpr const char* DisconnectWhileBusyQuestion =
    "A transfer or another job is under way on the server. Disconnect anyway?";

// Nothing for an end the user asked for or a session still running.
std::optional<FailureNotice> NoticeFor(const EndReport& report);

} // namespace session
