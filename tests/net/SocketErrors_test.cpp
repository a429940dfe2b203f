#include "net/SocketErrors.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <netdb.h>
#include <set>
#include <string>

namespace {

// What a user reads for the failures a transfer meets, from errno or the resolver.
TEST(SocketErrors, SystemErrorsBecomeTheNumberAndTextUsersRead) {
    const struct {
        const char* name;
        int number;
        const char* text;
    } rows[] = {
        {"no error", wsock::FromErrno(0), "No Error"},
        {"ECONNREFUSED", wsock::FromErrno(ECONNREFUSED), "Connection refused"},
        {"ECONNRESET", wsock::FromErrno(ECONNRESET), "Connection reset by peer"},
        {"EPIPE is a reset too", wsock::FromErrno(EPIPE), "Connection reset by peer"},
        {"ETIMEDOUT", wsock::FromErrno(ETIMEDOUT), "Connection timed out"},
        {"EWOULDBLOCK", wsock::FromErrno(EWOULDBLOCK), "Operation would block"},
        {"EAGAIN", wsock::FromErrno(EAGAIN), "Operation would block"},
        {"EINPROGRESS", wsock::FromErrno(EINPROGRESS), "Operation now in progress"},
        {"ENOTCONN", wsock::FromErrno(ENOTCONN), "Socket is not connected"},
        {"EADDRINUSE", wsock::FromErrno(EADDRINUSE), "Address already in use"},
        {"EADDRNOTAVAIL", wsock::FromErrno(EADDRNOTAVAIL), "Address not available"},
        {"ECONNABORTED", wsock::FromErrno(ECONNABORTED), "Connection aborted"},
        {"ENETUNREACH", wsock::FromErrno(ENETUNREACH), "Network is unreachable"},
        {"EHOSTUNREACH", wsock::FromErrno(EHOSTUNREACH), "No route to host"},
        {"EINVAL", wsock::FromErrno(EINVAL), "Invalid argument"},
        {"EINTR", wsock::FromErrno(EINTR), "Interrupted system call"},
        {"EMFILE", wsock::FromErrno(EMFILE), "Too many open files"},
        {"EBADF", wsock::FromErrno(EBADF), "Bad file number"},
        {"ENOTSOCK", wsock::FromErrno(ENOTSOCK), "Socket operation on non-socket"},
        {"EACCES", wsock::FromErrno(EACCES), "Permission denied"},
        {"resolver: no error", wsock::FromGaiError(0), "No Error"},
        {"resolver: EAI_NONAME", wsock::FromGaiError(EAI_NONAME), "Host not found"},
        {"resolver: EAI_AGAIN", wsock::FromGaiError(EAI_AGAIN), "Non-authoritative host not found"},
        {"resolver: EAI_FAIL", wsock::FromGaiError(EAI_FAIL), "Non-recoverable error"},
        {"resolver: EAI_NODATA", wsock::FromGaiError(EAI_NODATA), "No Data"},
        {"resolver: EAI_MEMORY", wsock::FromGaiError(EAI_MEMORY), "No buffer space available"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_STREQ(wsock::Description(row.number), row.text) << row.number;
        EXPECT_TRUE(row.number == 0 || (row.number > 10000 && row.number < 12000)) << row.number;
    }
    // The numbers of the messages users quote and other code compares against.
    EXPECT_EQ(wsock::FromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(wsock::FromErrno(ECONNRESET), 10054);
    EXPECT_EQ(wsock::FromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(wsock::FromGaiError(EAI_NONAME), 11001);
    errno = ECONNREFUSED; // a resolver's system error is the errno it left
    EXPECT_EQ(wsock::FromGaiError(EAI_SYSTEM), 10061);
}

// Every errno the table maps must land on a number that has a description, or
// users would read "Not a WinSock error" for a known failure; the rest stay
// distinct and do not pose as one.
TEST(SocketErrors, EveryErrnoIsDescribedOrVisiblyUnmapped) {
    std::set<int> unmapped;
    for (int e = 1; e < 134; ++e) {
        const int number = wsock::FromErrno(e);
        if (number >= 10000 && number < 12000) {
            EXPECT_STRNE(wsock::Description(number), "Not a WinSock error")
                << std::strerror(e) << " -> " << number;
        } else {
            EXPECT_TRUE(unmapped.insert(number).second) << std::strerror(e) << " collides";
            EXPECT_STREQ(wsock::Description(number), "Not a WinSock error") << std::strerror(e);
        }
    }
    EXPECT_TRUE(unmapped.contains(wsock::FromErrno(ENOENT)));
    for (int number : {10001, 10072, 11005, -1})
        EXPECT_STREQ(wsock::Description(number), "Not a WinSock error") << number;
}

TEST(SocketErrors, ErrorTextNamesNumberFunctionAndDescription) {
    EXPECT_EQ(wsock::ErrorText(10061, "Connect"),
              "Error 10061 in function Connect\r\nConnection refused");
    EXPECT_EQ(wsock::ErrorText(12002, "Accept"),
              "Error 12002 in function Accept\r\nNot a WinSock error");
}

} // namespace
