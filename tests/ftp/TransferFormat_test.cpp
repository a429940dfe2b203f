#include "ftp/TransferFormat.h"

#include <gtest/gtest.h>
#include <vector>

using namespace ftptransfer;

namespace {

TEST(PassiveReply, PortFromRealWorldReplies) {
    struct Row {
        const char* reply;
        std::optional<std::uint16_t> port;
    };
    const std::vector<Row> rows{
        {"227 Entering Passive Mode (127,0,0,1,195,80).", 50000},
        {"227 Entering Passive Mode (10,9,8,7, 19 , 136 )", 5000}, // blanks around numbers
        {"227 =127,0,0,1,0,21)", 21},                              // no "(" at all
        {"227 Entering Passive Mode (127,0,0,1,255,255)", 65535},
        {"227 Entering Passive Mode (127,0,0,1,300,1)", std::nullopt}, // no 16-bit wrap
        {"227 Entering Passive Mode (127,0,0,1,-1,-21629)", std::nullopt},
        {"227 Entering Passive Mode (127,0,0,1,99999999999999999999999,1)", std::nullopt},
        {"227 Entering Passive Mode (127,0,0,1,0,0)", std::nullopt}, // port 0
        {"227 Entering Passive Mode (127,0,256,1,4,1)", std::nullopt},
        {"227 Entering Passive Mode (127,0,0,1,195,80", std::nullopt}, // no ")"
        {"227 Entering Passive Mode (127,0,0,1,195)", std::nullopt},
        {"227 Entering Passive Mode (127,0,0,1,x,80)", std::nullopt},
        {"227 Entering Passive Mode", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reply);
        EXPECT_EQ(ParsePassivePort(row.reply), row.port);
    }
}

TEST(PassiveReply, ExtendedPortOnlyFromTheWellFormedReply) {
    struct Row {
        const char* reply;
        std::optional<std::uint16_t> port;
    };
    const std::vector<Row> rows{
        {"229 Entering Extended Passive Mode (|||6446|)", 6446},
        {"229 Entering Extended Passive Mode (!!!65535!)", 65535},
        {"229 (|2|::9|21|)", 21}, // an address named there is not where we connect
        {"229 Entering Extended Passive Mode (|||0|)", std::nullopt},
        {"229 Entering Extended Passive Mode (|||65536|)", std::nullopt},
        {"229 Entering Extended Passive Mode (|||-5|)", std::nullopt},
        {"229 Entering Extended Passive Mode (|||6446)", std::nullopt},
        {"229 Entering Extended Passive Mode (||6446|)", std::nullopt},
        {"229 Entering Extended Passive Mode (|||6446|", std::nullopt},
        {"229 Entering Extended Passive Mode (1116441)", std::nullopt}, // digits as delimiter
        {"229 Entering Extended Passive Mode (|||x|)", std::nullopt},
        {"229 Entering Extended Passive Mode", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reply);
        EXPECT_EQ(ParseExtendedPassivePort(row.reply), row.port);
    }
    EXPECT_EQ(ExtendedPortCommand("127.0.0.1", 50000), "EPRT |1|127.0.0.1|50000|");
    EXPECT_EQ(ExtendedPortCommand("::1", 21), "EPRT |2|::1|21|");
}

TEST(Statistics, IntegerArithmeticAsShown) {
    struct Row {
        std::int64_t bytes;
        std::int64_t ms;
        const char* line;
    };
    const std::vector<Row> rows{
        {100000, 2000, "100000 bytes received/sent in 2 seconds (50000 Bytes/sec)"},
        {0, 0, "0 bytes received/sent in 0 seconds"},
        {0, 15, "0 bytes received/sent in 0 seconds (0 Bytes/sec)"},
        {32767, 999, "32767 bytes received/sent in 0 seconds (32799 Bytes/sec)"},
        {32768, 999, "32768 bytes received/sent in 0 seconds (32000 Bytes/sec)"},
        // 5 GiB in 4 s: no 32-bit overflow anywhere.
        {5368709120, 4000, "5368709120 bytes received/sent in 4 seconds (1342177000 Bytes/sec)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(StatisticsLine(row.bytes, row.ms), row.line);
    }
}

} // namespace
