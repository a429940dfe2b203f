#include "support/EventLoop.h"
#include "support/ScriptedFtpServer.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using testsupport::ProcessEventsFor;
using testsupport::ProcessEventsUntil;
using testsupport::ScriptedFtpServer;
using testsupport::UniqueFd;
using Lines = std::vector<std::string>;

// A plain blocking client: the peer the scripted server is tested against.
class Client {
public:
    enum class End { Eof, Reset, TimedOut };

    explicit Client(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            connectError_ = errno;
    }

    int connectError() const { return connectError_; }

    void write(std::string_view bytes) {
        ASSERT_EQ(::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }

    // Reads until `want` bytes arrived; returns them (fewer on EOF or timeout).
    std::string read(size_t want, int timeoutMs = 2000) {
        std::string got;
        while (got.size() < want && readable(timeoutMs)) {
            char buf[256];
            const ssize_t n = ::recv(fd_.get(), buf, std::min(sizeof buf, want - got.size()), 0);
            if (n <= 0)
                break;
            ++reads_;
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }

    // Reads as many bytes as `expected` has and compares them.
    testing::AssertionResult receives(std::string_view expected) {
        const std::string got = read(expected.size());
        if (got == expected)
            return testing::AssertionSuccess();
        return testing::AssertionFailure()
               << "received \"" << got << "\" instead of \"" << expected << '"';
    }

    // How the server ended the connection, after any bytes still in flight.
    End readEnd(int timeoutMs = 2000) {
        char buf[256];
        while (readable(timeoutMs)) {
            const ssize_t n = ::recv(fd_.get(), buf, sizeof buf, 0);
            if (n == 0)
                return End::Eof;
            if (n < 0)
                return errno == ECONNRESET ? End::Reset : End::TimedOut;
        }
        return End::TimedOut;
    }

    int reads() const { return reads_; }
    void close() { fd_.reset(); }

private:
    bool readable(int timeoutMs) {
        pollfd p{fd_.get(), POLLIN, 0};
        return ::poll(&p, 1, timeoutMs) > 0;
    }

    UniqueFd fd_;
    int connectError_ = 0;
    int reads_ = 0;
};

bool WaitFinished(const ScriptedFtpServer& server) {
    return ProcessEventsUntil([&] { return server.finished(); }, 3000);
}

TEST(ScriptedFtpServer, PlaysRepliesAndRecordsCommandsInOrder) {
    ScriptedFtpServer server;
    server.send("220 Scripted\r\n").reply("331 Password required\r\n").reply("230 Logged in\r\n");
    server.start();

    Client client(server.port());
    ASSERT_EQ(client.connectError(), 0);
    EXPECT_TRUE(client.receives("220 Scripted\r\n"));
    client.write("USER corvane\r\nPASS secret\r\n"); // both commands in one segment
    EXPECT_TRUE(client.receives("331 Password required\r\n230 Logged in\r\n"));

    ASSERT_TRUE(WaitFinished(server));
    EXPECT_EQ(server.received(), (Lines{"USER corvane", "PASS secret"}));
    EXPECT_EQ(server.failure(), "");
    EXPECT_EQ(server.connectionsAccepted(), 1);
}

struct LineCase {
    const char* name;
    std::vector<std::string> writes; // what the client sends, one write each
    Lines expected;
};

class ScriptedFtpServerLines : public testing::TestWithParam<LineCase> {};

TEST_P(ScriptedFtpServerLines, RecordsEachLineWithoutItsEnd) {
    const LineCase& row = GetParam();
    ScriptedFtpServer server;
    for (size_t i = 0; i < row.expected.size(); ++i)
        server.readLine();
    server.start();

    Client client(server.port());
    for (const std::string& bytes : row.writes) {
        client.write(bytes);
        std::this_thread::sleep_for(std::chrono::milliseconds(5)); // separate segments
    }
    ASSERT_TRUE(WaitFinished(server)) << server.failure();
    EXPECT_EQ(server.received(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ScriptedFtpServerLines,
    testing::Values(
        LineCase{"two_commands_in_one_write", {"TYPE I\r\nPASV\r\n"}, {"TYPE I", "PASV"}},
        LineCase{"command_split_over_writes", {"RE", "TR a.txt\r", "\n"}, {"RETR a.txt"}},
        LineCase{"line_and_a_half", {"CWD /\r\nPW", "D\r\n"}, {"CWD /", "PWD"}},
        LineCase{"bare_lf", {"NOOP\n"}, {"NOOP"}}, LineCase{"empty_line", {"\r\n"}, {""}},
        LineCase{"cr_inside_is_kept", {"STOR a\rb\r\n"}, {"STOR a\rb"}},
        LineCase{"utf8_name", {"CWD \xC3\xA6\xC3\xB8\r\n"}, {"CWD \xC3\xA6\xC3\xB8"}}),
    [](const testing::TestParamInfo<LineCase>& info) { return info.param.name; });

TEST(ScriptedFtpServer, KeepsRecordingAfterTheTranscript) {
    ScriptedFtpServer server;
    server.send("220 Ready\r\n");
    server.start();

    Client client(server.port());
    EXPECT_TRUE(client.receives("220 Ready\r\n"));
    client.write("SYST\r\n");
    client.write("QUIT\r\n");
    EXPECT_TRUE(server.waitReceived(2));
    EXPECT_EQ(server.received(), (Lines{"SYST", "QUIT"}));
    client.close();
    EXPECT_TRUE(ProcessEventsUntil([&] { return server.clientClosed(); }, 3000));
}

TEST(ScriptedFtpServer, SendsInChunksWithPauses) {
    const std::string greeting = "220-Welcome\r\n220 Ready\r\n";
    for (size_t chunk : {size_t{1}, size_t{5}}) {
        SCOPED_TRACE(chunk);
        ScriptedFtpServer server;
        server.sendInChunks(greeting, chunk, 3);
        server.start();

        Client client(server.port());
        EXPECT_TRUE(client.receives(greeting));
        // Pauses between chunks make them arrive separately, not as one segment.
        EXPECT_GE(client.reads(), 3);
        EXPECT_TRUE(WaitFinished(server));
    }
}

TEST(ScriptedFtpServer, CloseConnectionEndsWithEofEvenWithACommandUnread) {
    ScriptedFtpServer server;
    server.send("421 Too many users\r\n").pause(100).closeConnection();
    server.start();

    Client client(server.port());
    EXPECT_TRUE(client.receives("421 Too many users\r\n"));
    client.write("QUIT\r\n"); // not read by the script before it closes
    EXPECT_EQ(client.readEnd(), Client::End::Eof);
    EXPECT_TRUE(WaitFinished(server));
    EXPECT_EQ(server.received(), (Lines{"QUIT"}));
}

TEST(ScriptedFtpServer, ResetConnectionEndsWithReset) {
    ScriptedFtpServer server;
    server.send("220 Ready\r\n").resetConnection();
    server.start();

    Client client(server.port());
    EXPECT_EQ(client.readEnd(), Client::End::Reset);
    EXPECT_TRUE(WaitFinished(server));
}

TEST(ScriptedFtpServer, WaitClientCloseSeesTheClientLeave) {
    ScriptedFtpServer server;
    server.send("220 Ready\r\n").waitClientClose();
    server.start();

    Client client(server.port());
    EXPECT_TRUE(client.receives("220 Ready\r\n"));
    EXPECT_FALSE(server.clientClosed());
    client.write("QUIT\r\n");
    client.close();

    ASSERT_TRUE(WaitFinished(server)) << server.failure();
    EXPECT_TRUE(server.clientClosed());
    EXPECT_EQ(server.received(), (Lines{"QUIT"}));
    EXPECT_EQ(server.failure(), "");
}

TEST(ScriptedFtpServer, AcceptTakesTheNextConnection) {
    ScriptedFtpServer server;
    server.send("421 Busy\r\n").closeConnection().accept().send("220 Ready\r\n").readLine();
    server.start();

    Client first(server.port());
    EXPECT_TRUE(first.receives("421 Busy\r\n"));
    EXPECT_EQ(first.readEnd(), Client::End::Eof);

    Client second(server.port());
    EXPECT_TRUE(second.receives("220 Ready\r\n"));
    second.write("USER corvane\r\n");
    ASSERT_TRUE(WaitFinished(server)) << server.failure();
    EXPECT_EQ(server.connectionsAccepted(), 2);
    EXPECT_EQ(server.received(), (Lines{"USER corvane"}));
}

TEST(ScriptedFtpServer, ReportsAStepThatCouldNotBePlayed) {
    {
        ScriptedFtpServer server;
        server.send("220 Ready\r\n").readLine();
        server.start();
        Client client(server.port());
        EXPECT_TRUE(client.receives("220 Ready\r\n"));
        client.close();
        EXPECT_TRUE(ProcessEventsUntil([&] { return !server.failure().empty(); }, 3000));
        EXPECT_EQ(server.failure(), "step 2 (readLine): the client closed the connection");
        EXPECT_FALSE(server.finished());
        EXPECT_TRUE(server.clientClosed());
    }
    {
        ScriptedFtpServer server;
        server.readLine(50);
        server.start();
        Client client(server.port());
        EXPECT_TRUE(ProcessEventsUntil([&] { return !server.failure().empty(); }, 3000));
        EXPECT_EQ(server.failure(), "step 1 (readLine): no line within 50 ms");
    }
}

TEST(ScriptedFtpServer, DestructorDoesNotHangWhateverTheScriptWaitsFor) {
    using Clock = std::chrono::steady_clock;
    struct Row {
        const char* name;
        bool connect;
        std::function<void(ScriptedFtpServer&)> script;
    };
    const std::vector<Row> rows = {
        {"accept_no_client", false, [](ScriptedFtpServer& s) { s.send("220\r\n"); }},
        {"readLine", true, [](ScriptedFtpServer& s) { s.readLine(60000); }},
        {"pause", true, [](ScriptedFtpServer& s) { s.pause(60000); }},
        {"waitClientClose", true, [](ScriptedFtpServer& s) { s.waitClientClose(60000); }},
        // The client never reads, so the socket buffers fill and send has to wait.
        {"send_to_full_buffers", true,
         [](ScriptedFtpServer& s) { s.send(std::string(64 << 20, 'x')); }},
        {"after_transcript", true, [](ScriptedFtpServer&) {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto server = std::make_unique<ScriptedFtpServer>();
        row.script(*server);
        server->start();
        std::unique_ptr<Client> client;
        if (row.connect)
            client = std::make_unique<Client>(server->port());
        ProcessEventsFor(50);

        const auto before = Clock::now();
        server.reset();
        EXPECT_LT(Clock::now() - before, std::chrono::seconds(2));
    }
}

TEST(ScriptedFtpServer, FreeClosedPortRefusesConnections) {
    const uint16_t port = ScriptedFtpServer::FreeClosedPort();
    EXPECT_NE(port, 0);
    Client client(port);
    EXPECT_EQ(client.connectError(), ECONNREFUSED);
}

TEST(ScriptedFtpServer, WaitReceivedGivesUpAfterItsTimeout) {
    ScriptedFtpServer server;
    server.start();
    Client client(server.port());
    client.write("NOOP\r\n");
    EXPECT_TRUE(server.waitReceived(1));
    EXPECT_FALSE(server.waitReceived(2, 50));
}

TEST(EventLoop, ProcessEventsUntilRunsQtEventsAndTimesOut) {
    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    EXPECT_TRUE(ProcessEventsUntil([&] { return fired; }, 2000));
    EXPECT_FALSE(ProcessEventsUntil([] { return false; }, 30));
}

TEST(EventLoop, ProcessEventsForDeletesLaterDeletedObjects) {
    QObject parent;
    QPointer<QObject> object = new QObject(&parent);
    object->deleteLater();
    ProcessEventsFor(10);
    EXPECT_TRUE(object.isNull());
}

} // namespace
