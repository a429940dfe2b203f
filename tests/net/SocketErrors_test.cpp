#include "net/SocketErrors.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <netdb.h>
#include <set>
#include <string>

namespace {

struct MappedError {
    int from;
    const char* name;
    int winsock;
};

TEST(SocketErrors, ErrnoMapsToWinsockNumber) {
    const MappedError rows[] = {
        {0, "0", 0},
        {ECONNREFUSED, "ECONNREFUSED", 10061},
        {ECONNRESET, "ECONNRESET", 10054},
        {EPIPE, "EPIPE", 10054},
        {ETIMEDOUT, "ETIMEDOUT", 10060},
        {EAGAIN, "EAGAIN", 10035},
        {EWOULDBLOCK, "EWOULDBLOCK", 10035},
        {EINPROGRESS, "EINPROGRESS", 10036},
        {ENOTCONN, "ENOTCONN", 10057},
        {EADDRINUSE, "EADDRINUSE", 10048},
        {EADDRNOTAVAIL, "EADDRNOTAVAIL", 10049},
        {ECONNABORTED, "ECONNABORTED", 10053},
        {ENETUNREACH, "ENETUNREACH", 10051},
        {EHOSTUNREACH, "EHOSTUNREACH", 10065},
        {EINVAL, "EINVAL", 10022},
        {EBADF, "EBADF", 10009},
        {ENOTSOCK, "ENOTSOCK", 10038},
        {EACCES, "EACCES", 10013},
        {EINTR, "EINTR", 10004},
        {EMFILE, "EMFILE", 10024},
    };
    for (const auto& row : rows)
        EXPECT_EQ(wsock::FromErrno(row.from), row.winsock) << row.name;
}

TEST(SocketErrors, UnknownErrnoStaysDistinctAndIsNotAWinsockError) {
    const int unknown[] = {ENOENT, ESRCH, EISDIR, ENOSPC};
    std::set<int> seen;
    for (int e : unknown) {
        const int number = wsock::FromErrno(e);
        EXPECT_TRUE(seen.insert(number).second) << std::strerror(e) << " collides";
        EXPECT_STREQ(wsock::Description(number), "Not a WinSock error") << std::strerror(e);
    }
}

// Every errno the table does map must land on a number that has a description,
// or users would read "Not a WinSock error" for a known failure.
TEST(SocketErrors, EveryMappedErrnoHasADescription) {
    for (int e = 1; e < 134; ++e) {
        const int number = wsock::FromErrno(e);
        if (number >= 10000 && number < 12000) {
            EXPECT_STRNE(wsock::Description(number), "Not a WinSock error")
                << std::strerror(e) << " -> " << number;
        }
    }
}

TEST(SocketErrors, AddrinfoErrorMapsToHostErrors) {
    const MappedError rows[] = {
        {0, "0", 0},
        {EAI_NONAME, "EAI_NONAME", 11001},
        {EAI_AGAIN, "EAI_AGAIN", 11002},
        {EAI_FAIL, "EAI_FAIL", 11003},
        {EAI_NODATA, "EAI_NODATA", 11004},
        {EAI_MEMORY, "EAI_MEMORY", 10055},
    };
    for (const auto& row : rows)
        EXPECT_EQ(wsock::FromGaiError(row.from), row.winsock) << row.name;
}

TEST(SocketErrors, AddrinfoSystemErrorUsesErrno) {
    errno = ECONNREFUSED;
    EXPECT_EQ(wsock::FromGaiError(EAI_SYSTEM), 10061);
}

TEST(SocketErrors, DescriptionsAreExact) {
    const struct {
        int number;
        const char* text;
    } rows[] = {
        {0, "No Error"},
        {10004, "Interrupted system call"},
        {10013, "Permission denied"},
        {10022, "Invalid argument"},
        {10035, "Operation would block"},
        {10047, "Address family not supported by protocol family"},
        {10048, "Address already in use"},
        {10053, "Connection aborted"},
        {10054, "Connection reset by peer"},
        {10057, "Socket is not connected"},
        {10058, "Can't send after socket shutdown"},
        {10059, "Too many references: can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10065, "No route to host"},
        {10071, "Too many levels of remote in path"},
        {10092, "WinSock DLL cannot support this application"},
        {10093, "WinSock not initialized"},
        {11001, "Host not found"},
        {11002, "Non-authoritative host not found"},
        {11004, "No Data"},
        {10001, "Not a WinSock error"},
        {10072, "Not a WinSock error"},
        {11005, "Not a WinSock error"},
        {-1, "Not a WinSock error"},
    };
    for (const auto& row : rows)
        EXPECT_STREQ(wsock::Description(row.number), row.text) << row.number;
}

TEST(SocketErrors, ErrorTextNamesNumberFunctionAndDescription) {
    EXPECT_EQ(wsock::ErrorText(10061, "Connect"),
              "Error 10061 in function Connect\r\nConnection refused");
    EXPECT_EQ(wsock::ErrorText(10057, "Send"),
              "Error 10057 in function Send\r\nSocket is not connected");
    EXPECT_EQ(wsock::ErrorText(12002, "Accept"),
              "Error 12002 in function Accept\r\nNot a WinSock error");
}

} // namespace
