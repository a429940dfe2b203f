#include "support/EventLoop.h"
#include "support/ScriptedFtpServer.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

// The scripted server's own tests keep only what a client test cannot see for
// itself: that a fault is played exactly as scripted (a split reply, a close
// instead of a reset, a 226 after the data) and that a step the client did
// not let it play is reported, so a test that passes really got its transcript.

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

    // One reply line with its CR LF.
    std::string readLine() {
        std::string line;
        char c;
        while (!line.ends_with('\n') && readable(2000) && ::recv(fd_.get(), &c, 1, 0) == 1)
            line += c;
        return line;
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
    void reset() {
        const linger hard{1, 0};
        ::setsockopt(fd_.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        fd_.reset();
    }

private:
    UniqueFd fd_;
    int reads_ = 0;
};

bool WaitFinished(const ScriptedFtpServer& server) {
    return ProcessEventsUntil([&] { return server.finished(); }, 3000);
}

// The port in a 227 reply: its last two numbers, wherever the address and brackets are.
uint16_t PortOf227(std::string_view reply) {
    std::vector<unsigned> numbers;
    bool inNumber = false;
    for (char c : reply) {
        const bool digit = std::isdigit(static_cast<unsigned char>(c));
        if (digit && !inNumber)
            numbers.push_back(0);
        if (digit)
            numbers.back() = numbers.back() * 10 + static_cast<unsigned>(c - '0');
        inNumber = digit;
    }
    return numbers.size() < 2
               ? 0
               : static_cast<uint16_t>(numbers[numbers.size() - 2] * 256 + numbers.back());
}

// Opens a passive data connection on the server's next 227.
std::unique_ptr<Client> OpenPassive(Client& control) {
    control.write("PASV\r\n");
    return std::make_unique<Client>(PortOf227(control.readLine()));
}

std::string Substituted(std::string format, uint16_t port) {
    for (const auto& [token, value] : {std::pair{"%hi%", port >> 8}, {"%lo%", port & 0xFF}}) {
        for (size_t at; (at = format.find(token)) != std::string::npos;)
            format.replace(at, 4, std::to_string(value));
    }
    return format;
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

// The reply carries the listener's port in whatever format the row gives, and
// the 226 and the end of the data connection come exactly where scripted.
TEST(ScriptedFtpServer, PassiveDownloadPlaysThe227And226AsScripted) {
    const char* const standard = "227 Entering Passive Mode (127,0,0,1,%hi%,%lo%).\r\n";
    const struct {
        const char* name;
        const char* format;
        bool retrBeforeConnect; // the client may send RETR before or after it connects
        bool finalReplyFirst;   // the 226 arrives while the data connection is still open
        bool reset;             // the data connection ends with RST instead of FIN
    } rows[] = {
        {"connect, RETR, 226 after the close", standard, false, false, false},
        {"foreign address; RETR, connect, 226 before the close",
         "227 Entering Passive Mode (10,9,8,7,%hi%,%lo%)\r\n", true, true, false},
        {"no closing bracket; 226, then a reset",
         "227 Entering Passive Mode (127,0,0,1,%hi%,%lo%\r\n", false, true, true},
    };
    const std::string payload =
        std::string("bin\0\xFF\r\n", 7) + ScriptedFtpServer::Pattern(0, 300000, 1);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedFtpServer server;
        server.send("220 Ready\r\n");
        if (row.format == standard)
            server.replyPasv(); // the default format
        else
            server.replyPasv(row.format);
        server.readLine().send("150 Opening\r\n").acceptData().sendData(payload);
        if (row.finalReplyFirst)
            server.send("226 Done\r\n").readLine();
        if (row.reset)
            server.resetData();
        else
            server.closeData();
        if (!row.finalReplyFirst)
            server.readLine().send("226 Done\r\n");
        server.start();

        Client control(server.port());
        EXPECT_TRUE(control.receives("220 Ready\r\n"));
        control.write("PASV\r\n");
        const std::string reply = control.readLine();
        const uint16_t dataPort = PortOf227(reply);
        EXPECT_EQ(reply, Substituted(row.format, dataPort));
        std::unique_ptr<Client> data;
        if (!row.retrBeforeConnect)
            data = std::make_unique<Client>(dataPort); // at once: the listener must already exist
        control.write("RETR a.bin\r\n");
        EXPECT_TRUE(control.receives("150 Opening\r\n"));
        if (row.retrBeforeConnect)
            data = std::make_unique<Client>(dataPort);
        ASSERT_TRUE(data->connected());

        // All bytes are read before the end is scripted, so a reset cannot discard them.
        EXPECT_TRUE(data->receives(payload));
        if (row.finalReplyFirst) {
            EXPECT_TRUE(control.receives("226 Done\r\n"));
            EXPECT_FALSE(data->readable(100)) << "the data connection ended before its step";
            control.write("NOOP\r\n"); // read by the script while the data connection is open
            EXPECT_EQ(data->readEnd(), row.reset ? Client::End::Reset : Client::End::Eof);
        } else {
            EXPECT_EQ(data->readEnd(), Client::End::Eof);
            EXPECT_FALSE(control.readable(100)) << "the 226 came before its step";
            control.write("NOOP\r\n");
            EXPECT_TRUE(control.receives("226 Done\r\n"));
        }
        ASSERT_TRUE(WaitFinished(server)) << server.failure();
        EXPECT_EQ(server.received(), (Lines{"PASV", "RETR a.bin", "NOOP"}));
    }
}

// A step the client did not let the server play fails the transcript by name,
// and the server stops there: nothing is replied after it.
TEST(ScriptedFtpServer, ReportsAStepThatCouldNotBePlayed) {
    using Script = std::function<void(ScriptedFtpServer&)>;
    using Peer = std::function<void(Client & control, ScriptedFtpServer&)>;
    const Peer nothing = [](Client&, ScriptedFtpServer&) {};
    const struct {
        const char* name;
        Script script;
        Peer peer;
        std::string failure;
    } rows[] = {
        {"client closes before a line", [](ScriptedFtpServer& s) { s.send("220\r\n").readLine(); },
         [](Client& control, ScriptedFtpServer&) {
             EXPECT_TRUE(control.receives("220\r\n"));
             control.close();
         },
         "step 2 (readLine): the client closed the connection"},
        {"no line in time", [](ScriptedFtpServer& s) { s.readLine(50); }, nothing,
         "step 1 (readLine): no line within 50 ms"},
        {"nobody connects", [](ScriptedFtpServer& s) { s.replyPasv().acceptData(50); },
         [](Client& control, ScriptedFtpServer&) {
             control.write("PASV\r\n");
             control.readLine();
         },
         "step 2 (acceptData): no data connection within 50 ms"},
        {"PORT outside loopback", [](ScriptedFtpServer& s) { s.replyPort().connectData(); },
         [](Client& control, ScriptedFtpServer&) {
             control.write("PORT 10,0,0,1,4,1\r\n");
             EXPECT_EQ(control.readLine(), "200 PORT command successful.\r\n");
         },
         "step 2 (connectData): 10.0.0.1:1025 is outside 127.0.0.0/8; not connecting"},
        {"client resets an upload",
         [](ScriptedFtpServer& s) { s.replyPasv().acceptData().receiveDataUntilClose(); },
         [](Client& control, ScriptedFtpServer& s) {
             const auto data = OpenPassive(control);
             data->write("abc");
             // Reset only once the bytes are in, so the count in the message is certain.
             EXPECT_TRUE(ProcessEventsUntil([&] { return s.dataReceived() == "abc"; }, 2000));
             data->reset();
         },
         "step 3 (receiveDataUntilClose): the client reset the data connection after 3 bytes"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedFtpServer server;
        row.script(server);
        server.start();
        Client control(server.port());
        row.peer(control, server);
        ASSERT_TRUE(ProcessEventsUntil([&] { return !server.failure().empty(); }, 3000));
        EXPECT_EQ(server.failure(), row.failure);
        EXPECT_FALSE(server.finished());
        EXPECT_FALSE(control.readable(20)) << "the server went on after the failed step";
    }
}

// Transfers are compared against slices of this stream, so a resume at the
// wrong offset must not pass a comparison.
TEST(ScriptedFtpServer, PatternIsTheSameStreamFromAnyOffset) {
    const std::string whole = ScriptedFtpServer::Pattern(0, 20000, 7);
    for (const auto& [offset, size] :
         {std::pair<size_t, size_t>{0, 1}, {1, 7}, {13, 100}, {4093, 9000}, {19999, 1}, {5, 0}}) {
        SCOPED_TRACE(offset);
        EXPECT_EQ(ScriptedFtpServer::Pattern(offset, size, 7), whole.substr(offset, size));
    }
    // Far past 4 GiB, where a 32-bit offset would wrap.
    constexpr uint64_t Far = 5000000000;
    EXPECT_EQ(ScriptedFtpServer::Pattern(Far - 3, 19, 7).substr(3),
              ScriptedFtpServer::Pattern(Far, 16, 7));
    EXPECT_NE(ScriptedFtpServer::Pattern(Far, 64, 7),
              ScriptedFtpServer::Pattern(Far % (1ULL << 32), 64, 7));

    EXPECT_NE(whole.substr(0, 64), ScriptedFtpServer::Pattern(0, 64, 8));
    EXPECT_NE(whole.substr(0, 64), whole.substr(8, 64));
    EXPECT_NE(whole.substr(0, 64), whole.substr(1, 64));
    EXPECT_EQ(std::set<char>(whole.begin(), whole.end()).size(), 256U);
}

// Tests wait with this; one that returned early, never gave up, or left
// deleteLater() pending outside exec() would make them lie or hang.
TEST(EventLoop, RunsQtEventsAndDeferredDeletesAndTimesOut) {
    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    EXPECT_TRUE(ProcessEventsUntil([&] { return fired; }, 2000));
    EXPECT_FALSE(ProcessEventsUntil([] { return false; }, 30));

    QObject parent;
    QPointer<QObject> object = new QObject(&parent);
    object->deleteLater();
    testsupport::ProcessEventsFor(10);
    EXPECT_TRUE(object.isNull());
}

} // namespace
