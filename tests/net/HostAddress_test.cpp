#include "net/HostAddress.h"

#include <gtest/gtest.h>

using net::HostAndPort;

namespace {

TEST(HostAddress, WhatUsersTypeAsTheServer) {
    struct Row {
        const char* typed;
        std::optional<HostAndPort> split;
    };
    const Row rows[]{
        {"ftp.example.org", HostAndPort{"ftp.example.org", ""}},
        {"  ftp.example.org ", HostAndPort{"ftp.example.org", ""}},
        {"127.0.0.1:2121", HostAndPort{"127.0.0.1", "2121"}},
        {"::1", HostAndPort{"::1", ""}},
        {"[::1]", HostAndPort{"::1", ""}},
        {"[::1]:2121", HostAndPort{"::1", "2121"}},
        {"[2001:db8::7]:65535", HostAndPort{"2001:db8::7", "65535"}},
        {"[::1]:0", std::nullopt},
        {"[::1]:65536", std::nullopt},
        {"[::1]2121", std::nullopt},
        {"[::1", std::nullopt},
        {"[ftp.example.org]:21", std::nullopt},
        {":21", std::nullopt},
        {"host:ftp", std::nullopt},
        {"a:b:c", std::nullopt}, // no IPv6 address, no name and port
        {"host\r\nUSER x", std::nullopt},
        {"", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        EXPECT_EQ(net::SplitHostAndPort(row.typed), row.split);
    }
}

} // namespace
