#include "session/SessionStatus.h"

#include "net/SocketErrors.h"
#include "text/TextFields.h"

namespace session {

namespace {

std::string ConnectFailureText(const EndReport& r) {
    const std::string port = r.Port.empty() ? "21" : r.Port;
    switch (r.Error) {
    case wsock::WSAECONNREFUSED:
        return "Nothing answers on port " + port + " of " + r.Host +
               ": the connection was refused. Check the port, or whether the server runs.";
    case wsock::WSAHOST_NOT_FOUND:
    case wsock::WSATRY_AGAIN:
    case wsock::WSANO_RECOVERY:
    case wsock::WSANO_DATA:
        return "The host \"" + r.Host + "\" is unknown. Check how its name is written.";
    case wsock::WSAETIMEDOUT:
        return r.Host + " did not answer in time.";
    case 10051: // network unreachable
    case 10065: // no route to host
        return r.Host + " cannot be reached from this computer.";
    default:
        break;
    }
    // Refused before the login: a 421 greeting and the like.
    std::string reason(text::TrimBlanks(r.Reply));
    return "Could not connect to " + r.Host + (reason.empty() ? "." : ": " + reason);
}

} // namespace

std::optional<FailureNotice> NoticeFor(const EndReport& r) {
    switch (r.End) {
    case SessionEnd::None:
    case SessionEnd::Disconnected:
        return std::nullopt;
    case SessionEnd::ConnectFailed:
        return FailureNotice{ConnectFailureText(r), false};
    case SessionEnd::LoginFailed:
        if (r.Error == 530)
            return FailureNotice{r.Host + " did not accept the user name or the password.",
                                 r.PasswordTyped};
        return FailureNotice{
            "The login to " + r.Host + " failed: " + std::string(text::TrimBlanks(r.Reply)), false};
    case SessionEnd::ConnectionLost:
        return FailureNotice{"The connection to " + r.Host + " was lost.", false};
    }
    return std::nullopt;
}

} // namespace session
