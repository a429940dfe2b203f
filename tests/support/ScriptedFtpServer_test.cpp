#include "support/EventLoop.h"
#include "support/ScriptedFtpServer.h"

#include <cerrno>
#include <chrono>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

// The scripted server's own tests keep only what a client test cannot see for
// itself: that a fault is played exactly as scripted (a split reply, a close
// instead of a reset) and that a step the client did not let it play is
// reported, so a test that passes really got its transcript.

namespace {

using testsupport::ProcessEventsUntil;
using testsupport::ScriptedFtpServer;
using testsupport::UniqueFd;
using Lines = std::vector<std::string>;

// A plain blocking client: the peer the scripted server is tested against.
class Client {
public:
    enum class End { Eof, Reset, TimedOut };

    explicit Client(uint16_t port) : fd_(testsupport::ConnectLoopback(port)) {}

    bool connected() const { return fd_.valid(); }

    void write(std::string_view bytes) {
        ASSERT_EQ(::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }

    // Reads as many bytes as `expected` has and compares them.
    testing::AssertionResult receives(std::string_view expected) {
        std::string got;
        while (got.size() < expected.size() && readable(2000)) {
            char buf[4096];
            const ssize_t n =
                ::recv(fd_.get(), buf, std::min(sizeof buf, expected.size() - got.size()), 0);
            if (n <= 0)
                break;
            ++reads_;
            got.append(buf, static_cast<size_t>(n));
        }
        if (got == expected)
            return testing::AssertionSuccess();
        return testing::AssertionFailure()
               << "received " << got.size() << " bytes \"" << got.substr(0, 80)
               << "\" instead of \"" << expected.substr(0, 80) << '"';
    }

    // How the server ended the connection, after any bytes still in flight.
    End readEnd() {
        char buf[65536];
        while (readable(2000)) {
            const ssize_t n = ::recv(fd_.get(), buf, sizeof buf, 0);
            if (n == 0)
                return End::Eof;
            if (n < 0)
                return errno == ECONNRESET ? End::Reset : End::TimedOut;
        }
        return End::TimedOut;
    }

    bool readable(int timeoutMs) {
        pollfd p{fd_.get(), POLLIN, 0};
        return ::poll(&p, 1, timeoutMs) > 0;
    }

    int reads() const { return reads_; }
    void close() { fd_.reset(); }

private:
    UniqueFd fd_;
    int reads_ = 0;
};

bool WaitFinished(const ScriptedFtpServer& server) {
    return ProcessEventsUntil([&] { return server.finished(); }, 3000);
}

// The greeting comes in chunks: a client test of a reply split over reads
// only means something if they really arrive one by one.
TEST(ScriptedFtpServer, PlaysRepliesAndRecordsCommandsUntilTheClientLeaves) {
    ScriptedFtpServer server;
    server.sendInChunks("220-Welcome\r\n220 Scripted\r\n", 5, 3);
    server.reply("331 Password required\r\n").reply("230 Logged in\r\n");
    server.waitClientClose();
    server.start();

    Client client(server.port());
    ASSERT_TRUE(client.connected());
    EXPECT_TRUE(client.receives("220-Welcome\r\n220 Scripted\r\n"));
    EXPECT_GE(client.reads(), 3) << "the greeting came in fewer reads than its chunks";
    client.write("USER corvane\r\nPASS secret\r\n"); // both commands in one segment
    EXPECT_TRUE(client.receives("331 Password required\r\n230 Logged in\r\n"));
    // A CR inside a line is kept, and a line may end in a later segment.
    client.write("NOOP a\rb\r\nQU");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    client.write("IT\r\n");
    EXPECT_TRUE(server.waitReceived(4));
    EXPECT_FALSE(server.waitReceived(5, 50));
    EXPECT_FALSE(server.finished()) << "the client is still there";
    client.close();

    ASSERT_TRUE(WaitFinished(server)) << server.failure();
    EXPECT_TRUE(server.clientClosed());
    EXPECT_EQ(server.received(), (Lines{"USER corvane", "PASS secret", "NOOP a\rb", "QUIT"}));
    EXPECT_EQ(server.failure(), "");
}

// A close with a command still unread would be a reset on Linux unless the
// server drains first; a test of a "421 and close" greeting needs the FIN.
TEST(ScriptedFtpServer, ClosesWithFinResetsWithRstAndAcceptsTheNextConnection) {
    ScriptedFtpServer server;
    server.send("421 Too many users\r\n").pause(100).closeConnection();
    server.accept().send("220 Ready\r\n").readLine().resetConnection();
    server.start();

    Client first(server.port());
    EXPECT_TRUE(first.receives("421 Too many users\r\n"));
    first.write("QUIT\r\n"); // not read by the script before it closes
    EXPECT_EQ(first.readEnd(), Client::End::Eof);

    Client second(server.port());
    EXPECT_TRUE(second.receives("220 Ready\r\n"));
    second.write("USER corvane\r\n");
    EXPECT_EQ(second.readEnd(), Client::End::Reset);
    ASSERT_TRUE(WaitFinished(server)) << server.failure();
    EXPECT_EQ(server.connectionsAccepted(), 2);
    EXPECT_EQ(server.received(), (Lines{"QUIT", "USER corvane"}));
}

// A step the server could not play fails the transcript by name, and the
// server stops there: nothing is replied after it. A PORT outside loopback is
// such a step: the peer never connects beyond this machine.
TEST(ScriptedFtpServer, ReportsAStepThatCouldNotBePlayed) {
    ScriptedFtpServer server;
    server.replyPort().connectData().reply("150 never sent\r\n");
    server.start();
    Client control(server.port());
    control.write("PORT 10,0,0,1,4,1\r\n");
    EXPECT_TRUE(control.receives("200 PORT command successful.\r\n"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return !server.failure().empty(); }, 3000));
    EXPECT_EQ(server.failure(),
              "step 2 (connectData): 10.0.0.1:1025 is outside 127.0.0.0/8; not connecting");
    EXPECT_FALSE(server.finished());
    EXPECT_FALSE(control.readable(20)) << "the server went on after the failed step";
}

} // namespace
