#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// The socket layer reports errors with the Windows Sockets numbers and texts
// (10061 "Connection refused", 11001 "Host not found" ...) so that every message
// the user sees names errors the same way on every platform.
namespace wsock {

inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;

// The Windows Sockets number for a POSIX errno value (0 stays 0).
int FromErrno(int posixErrno);
// The Windows Sockets number for a getaddrinfo() result (0 stays 0).
int FromGaiError(int gaiError);
// "Connection refused" for 10061; "Not a WinSock error" for unknown numbers.
const char* Description(int error);
// "Error <n> in function <func>\r\n<description>"
std::string ErrorText(int error, const std::string& func);

} // namespace wsock

class SocketException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
