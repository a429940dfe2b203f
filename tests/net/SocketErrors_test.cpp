#include "net/SocketErrors.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <netdb.h>
#include <set>
#include <string>

namespace {

// The failures a transfer meets most, from errno or the resolver: the number
// other code compares against and the text users read and quote.
TEST(SocketErrors, SystemErrorsBecomeTheNumberAndTextUsersRead) {
    errno = ECONNREFUSED; // a resolver's system error is the errno it left
    const struct {
        const char* name;
        int number;
        int expected;
        const char* text;
    } rows[] = {
        {"EPIPE is a reset too", wsock::FromErrno(EPIPE), 10054, "Connection reset by peer"},
        {"resolver: no error", wsock::FromGaiError(0), 0, "No Error"},
        {"resolver: EAI_NONAME", wsock::FromGaiError(EAI_NONAME), 11001, "Host not found"},
        {"resolver: EAI_SYSTEM", wsock::FromGaiError(EAI_SYSTEM), 10061, "Connection refused"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.number, row.expected);
        EXPECT_STREQ(wsock::Description(row.number), row.text);
    }
    EXPECT_EQ(wsock::ErrorText(10061, "Connect"),
              "Error 10061 in function Connect\r\nConnection refused");
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

} // namespace
