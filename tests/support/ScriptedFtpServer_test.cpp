#include "support/EventLoop.h"
#include "support/ScriptedFtpServer.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <set>
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

    explicit Client(uint16_t port) : fd_(testsupport::ConnectLoopback(port)) {
        if (!fd_.valid())
            connectError_ = errno;
    }

    explicit Client(UniqueFd fd) : fd_(std::move(fd)) {}

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

    // One reply line with its CR LF.
    std::string readLine(int timeoutMs = 2000) {
        std::string line;
        while (!line.ends_with('\n')) {
            const std::string byte = read(1, timeoutMs);
            if (byte.empty())
                break;
            line += byte;
        }
        return line;
    }

    // Everything until the server ends the connection, and how it ended it.
    std::pair<std::string, End> readAll(int timeoutMs = 2000) {
        std::string got;
        char buf[65536];
        while (readable(timeoutMs)) {
            const ssize_t n = ::recv(fd_.get(), buf, sizeof buf, 0);
            if (n == 0)
                return {got, End::Eof};
            if (n < 0)
                return {got, errno == ECONNRESET ? End::Reset : End::TimedOut};
            got.append(buf, static_cast<size_t>(n));
        }
        return {got, End::TimedOut};
    }

    // How the server ended the connection, after any bytes still in flight.
    End readEnd(int timeoutMs = 2000) { return readAll(timeoutMs).second; }

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
    int connectError_ = 0;
    int reads_ = 0;
};

// The client side of an active transfer: where PORT points.
class Listener {
public:
    Listener() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in addr = testsupport::LoopbackAddress(0);
        socklen_t len = sizeof addr;
        if (::bind(fd_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::listen(fd_.get(), 1) == 0 &&
            ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port_ = ntohs(addr.sin_port);
    }

    uint16_t port() const { return port_; }

    std::unique_ptr<Client> accept(int timeoutMs = 2000) {
        pollfd p{fd_.get(), POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return nullptr;
        UniqueFd fd(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        return fd.valid() ? std::make_unique<Client>(std::move(fd)) : nullptr;
    }

private:
    UniqueFd fd_;
    uint16_t port_ = 0;
};

bool WaitFinished(const ScriptedFtpServer& server) {
    return ProcessEventsUntil([&] { return server.finished(); }, 3000);
}

bool WaitFailure(const ScriptedFtpServer& server) {
    return ProcessEventsUntil([&] { return !server.failure().empty(); }, 3000);
}

// The port in a 227 reply: its last two numbers, wherever the address and brackets are.
uint16_t PortOf227(std::string_view reply) {
    std::vector<unsigned> numbers;
    bool inNumber = false;
    for (char c : reply) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            if (!inNumber)
                numbers.push_back(0);
            numbers.back() = numbers.back() * 10 + static_cast<unsigned>(c - '0');
        }
        inNumber = std::isdigit(static_cast<unsigned char>(c));
    }
    if (numbers.size() < 2)
        return 0;
    return static_cast<uint16_t>(numbers[numbers.size() - 2] * 256 + numbers.back());
}

std::string PortCommand(std::string_view host, uint16_t port) {
    return "PORT " + std::string(host) + ',' + std::to_string(port >> 8) + ',' +
           std::to_string(port & 0xFF) + "\r\n";
}

std::string Substituted(std::string format, uint16_t port) {
    for (const auto& [token, value] : {std::pair{"%hi%", port >> 8}, {"%lo%", port & 0xFF}}) {
        for (size_t at; (at = format.find(token)) != std::string::npos;)
            format.replace(at, 4, std::to_string(value));
    }
    return format;
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

// ---- data connections ----

struct PassiveDownloadCase {
    const char* name;
    bool retrBeforeConnect; // the client may send RETR before or after it connects
    bool finalReplyFirst;   // the 226 arrives while the data connection is still open
};

class ScriptedFtpServerPassiveDownload : public testing::TestWithParam<PassiveDownloadCase> {};

TEST_P(ScriptedFtpServerPassiveDownload, ServesTheBytesAndOrdersThe226AsScripted) {
    const PassiveDownloadCase& row = GetParam();
    const std::string payload =
        std::string("bin\0\xFF\r\n", 7) + ScriptedFtpServer::Pattern(0, 300000, 1);
    ScriptedFtpServer server;
    server.send("220 Ready\r\n").replyPasv().readLine().send("150 Opening\r\n").acceptData();
    server.sendData(payload);
    if (row.finalReplyFirst)
        server.send("226 Done\r\n").readLine().closeData();
    else
        server.closeData().readLine().send("226 Done\r\n");
    server.start();

    Client control(server.port());
    EXPECT_TRUE(control.receives("220 Ready\r\n"));
    control.write("PASV\r\n");
    const uint16_t dataPort = PortOf227(control.readLine());
    std::unique_ptr<Client> data;
    if (!row.retrBeforeConnect)
        data = std::make_unique<Client>(dataPort); // at once: the listener must already exist
    control.write("RETR a.bin\r\n");
    EXPECT_TRUE(control.receives("150 Opening\r\n"));
    if (row.retrBeforeConnect)
        data = std::make_unique<Client>(dataPort);
    ASSERT_EQ(data->connectError(), 0);

    if (row.finalReplyFirst) {
        EXPECT_TRUE(data->receives(payload));
        EXPECT_TRUE(control.receives("226 Done\r\n"));
        EXPECT_FALSE(data->readable(100)) << "the data connection closed before its step";
        control.write("NOOP\r\n"); // read by the script while the data connection is open
        EXPECT_EQ(data->readEnd(), Client::End::Eof);
    } else {
        const auto [bytes, end] = data->readAll();
        EXPECT_EQ(bytes, payload);
        EXPECT_EQ(end, Client::End::Eof);
        EXPECT_FALSE(control.readable(100)) << "the 226 came before its step";
        control.write("NOOP\r\n");
        EXPECT_TRUE(control.receives("226 Done\r\n"));
    }

    ASSERT_TRUE(WaitFinished(server)) << server.failure();
    EXPECT_EQ(server.received(), (Lines{"PASV", "RETR a.bin", "NOOP"}));
    EXPECT_EQ(server.failure(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ScriptedFtpServerPassiveDownload,
    testing::Values(PassiveDownloadCase{"connect_then_retr_226_after_close", false, false},
                    PassiveDownloadCase{"connect_then_retr_226_before_close", false, true},
                    PassiveDownloadCase{"retr_then_connect_226_after_close", true, false},
                    PassiveDownloadCase{"retr_then_connect_226_before_close", true, true}),
    [](const testing::TestParamInfo<PassiveDownloadCase>& info) { return info.param.name; });

TEST(ScriptedFtpServer, PasvReplyCarriesTheListenerPortInAnyFormat) {
    struct Row {
        const char* name;
        const char* format; // nullptr: the default
    };
    const std::vector<Row> rows = {
        {"default", nullptr},
        {"foreign_address", "227 Entering Passive Mode (10,9,8,7,%hi%,%lo%)\r\n"},
        {"no_closing_bracket", "227 Entering Passive Mode (127,0,0,1,%hi%,%lo%\r\n"},
        {"no_brackets", "227 =127,0,0,1,%hi%,%lo%\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedFtpServer server;
        if (row.format)
            server.replyPasv(row.format);
        else
            server.replyPasv();
        server.acceptData(2000);
        server.start();

        Client control(server.port());
        control.write("PASV\r\n");
        const std::string reply = control.readLine();
        const uint16_t dataPort = PortOf227(reply);
        EXPECT_EQ(reply,
                  Substituted(row.format ? row.format
                                         : "227 Entering Passive Mode (127,0,0,1,%hi%,%lo%).\r\n",
                              dataPort));
        // A wrong byte in the reply would send the client to a port nobody listens on.
        Client data(dataPort);
        EXPECT_EQ(data.connectError(), 0);
        EXPECT_TRUE(WaitFinished(server)) << server.failure();
    }
}

TEST(ScriptedFtpServer, ReceivesPassiveUploadsUntilTheClientCloses) {
    const std::vector<std::string> uploads = {ScriptedFtpServer::Pattern(0, 3000001, 9),
                                              std::string("\0tail\r\n", 7)};
    ScriptedFtpServer server;
    for (size_t i = 0; i < uploads.size(); ++i) {
        server.replyPasv().readLine().send("150 Ok\r\n").acceptData();
        server.receiveDataUntilClose().send("226 Stored\r\n");
    }
    server.start();

    Client control(server.port());
    for (size_t i = 0; i < uploads.size(); ++i) {
        control.write("PASV\r\n");
        Client data(PortOf227(control.readLine())); // a new listener for each transfer
        ASSERT_EQ(data.connectError(), 0);
        control.write("STOR " + std::to_string(i) + "\r\n");
        EXPECT_TRUE(control.receives("150 Ok\r\n"));
        data.write(uploads[i]);
        data.close();
        EXPECT_TRUE(control.receives("226 Stored\r\n"));
    }

    ASSERT_TRUE(WaitFinished(server)) << server.failure();
    EXPECT_TRUE(server.dataReceived() == uploads[0] + uploads[1]) // no 3 MB dump on failure
        << server.dataReceived().size() << " bytes received";
    EXPECT_EQ(server.received(), (Lines{"PASV", "STOR 0", "PASV", "STOR 1"}));
}

TEST(ScriptedFtpServer, ActiveDownloadConnectsToThePortAddress) {
    constexpr uint64_t Size = 1000003; // not a whole number of the server's chunks
    ScriptedFtpServer server;
    server.replyPort().readLine().send("150 Opening\r\n").connectData();
    server.sendDataPattern(Size, 5).closeData().send("226 Done\r\n");
    EXPECT_EQ(server.portCommandAddress(), "");
    server.start();

    Listener listener;
    ASSERT_NE(listener.port(), 0);
    Client control(server.port());
    const std::string port = PortCommand("127,0,0,1", listener.port());
    control.write(port);
    EXPECT_TRUE(control.receives("200 PORT command successful.\r\n"));
    control.write("RETR big\r\n");
    EXPECT_TRUE(control.receives("150 Opening\r\n"));
    const std::unique_ptr<Client> data = listener.accept();
    ASSERT_NE(data, nullptr);
    const auto [bytes, end] = data->readAll();
    EXPECT_EQ(end, Client::End::Eof);
    EXPECT_EQ(bytes.size(), Size);
    EXPECT_TRUE(bytes == ScriptedFtpServer::Pattern(0, Size, 5));
    EXPECT_TRUE(control.receives("226 Done\r\n"));

    ASSERT_TRUE(WaitFinished(server)) << server.failure();
    EXPECT_EQ(server.portCommandAddress(), "127.0.0.1");
    EXPECT_EQ(server.received(), (Lines{port.substr(0, port.size() - 2), "RETR big"}));
}

TEST(ScriptedFtpServer, RejectsALineThatIsNotAParsablePort) {
    const std::vector<std::string> lines = {
        "PORT 127,0,0,1,4",        "PORT 127,0,0,1,4,1,1",
        "PORT 127,0,0,1,256,1",    "PORT 127,0,0,1,a,1",
        "PORT 127,0,0,1,,1",       "PORT 127,0,0,1,-1,1",
        "PORT  127,0,0,1,4,1",     "PORT 127,0,0,1,4,1 ",
        "EPRT |1|127.0.0.1|1025|", "PASV",
    };
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        ScriptedFtpServer server;
        server.replyPort();
        server.start();
        Client control(server.port());
        control.write(line + "\r\n");
        ASSERT_TRUE(WaitFailure(server));
        EXPECT_EQ(server.failure(),
                  "step 1 (replyPort): not a parsable PORT command: \"" + line + '"');
        EXPECT_EQ(server.received(), Lines{line});
        EXPECT_FALSE(control.readable(20)) << "replied to a bad PORT";
        EXPECT_EQ(server.portCommandAddress(), "");
    }
}

TEST(ScriptedFtpServer, ReportsADataStepThatCouldNotBePlayed) {
    using Script = std::function<void(ScriptedFtpServer&)>;
    using Peer = std::function<void(Client & control, ScriptedFtpServer&)>;
    struct Row {
        const char* name;
        Script script;
        Peer peer;
        std::string failure;
    };
    const Peer nothing = [](Client&, ScriptedFtpServer&) {};
    const uint16_t closedPort = ScriptedFtpServer::FreeClosedPort();
    // Opens a passive data connection and writes `bytes` on it; the caller ends it.
    const auto passive = [](Client& control, std::string_view bytes) {
        control.write("PASV\r\n");
        auto data = std::make_unique<Client>(PortOf227(control.readLine()));
        data->write(bytes);
        return data;
    };
    const std::vector<Row> rows = {
        {"accept_without_pasv", [](ScriptedFtpServer& s) { s.acceptData(); }, nothing,
         "step 1 (acceptData): no passive listener; replyPasv first"},
        {"connect_without_port", [](ScriptedFtpServer& s) { s.connectData(); }, nothing,
         "step 1 (connectData): no PORT address; replyPort first"},
        {"send_without_data_connection", [](ScriptedFtpServer& s) { s.sendData("x"); }, nothing,
         "step 1 (sendData \"x\"): no data connection"},
        {"receive_without_data_connection", [](ScriptedFtpServer& s) { s.receiveDataUntilClose(); },
         nothing, "step 1 (receiveDataUntilClose): no data connection"},
        {"nobody_connects", [](ScriptedFtpServer& s) { s.replyPasv().acceptData(50); },
         [](Client& control, ScriptedFtpServer&) { control.write("PASV\r\n"); },
         "step 2 (acceptData): no data connection within 50 ms"},
        {"port_outside_loopback", [](ScriptedFtpServer& s) { s.replyPort().connectData(); },
         [](Client& control, ScriptedFtpServer&) { control.write(PortCommand("10,0,0,1", 1025)); },
         "step 2 (connectData): 10.0.0.1:1025 is outside 127.0.0.0/8; not connecting"},
        {"port_refused", [](ScriptedFtpServer& s) { s.replyPort().connectData(); },
         [&](Client& control, ScriptedFtpServer&) {
             control.write(PortCommand("127,0,0,1", closedPort));
         },
         "step 2 (connectData): connect to 127.0.0.1:" + std::to_string(closedPort) +
             ": Connection refused"},
        {"client_resets_upload",
         [](ScriptedFtpServer& s) { s.replyPasv().acceptData().receiveDataUntilClose(); },
         [&](Client& control, ScriptedFtpServer& s) {
             const auto data = passive(control, "abc");
             // Reset only once the bytes are in, so the count in the message is certain.
             EXPECT_TRUE(ProcessEventsUntil([&] { return s.dataReceived() == "abc"; }, 2000));
             data->reset();
         },
         "step 3 (receiveDataUntilClose): the client reset the data connection after 3 bytes"},
        {"upload_stalls",
         [](ScriptedFtpServer& s) { s.replyPasv().acceptData().receiveDataUntilClose(50); },
         [&](Client& control, ScriptedFtpServer& s) {
             const auto data = passive(control, "abcd");
             EXPECT_TRUE(WaitFailure(s));
         },
         "step 3 (receiveDataUntilClose): nothing on the data connection for 50 ms after 4 "
         "bytes"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedFtpServer server;
        row.script(server);
        server.start();
        Client control(server.port());
        row.peer(control, server);
        ASSERT_TRUE(WaitFailure(server));
        EXPECT_EQ(server.failure(), row.failure);
        EXPECT_FALSE(server.finished());
    }
}

TEST(ScriptedFtpServer, CloseDataEndsWithEofAndResetDataWithReset) {
    struct Row {
        const char* name;
        std::function<void(ScriptedFtpServer&)> end;
        Client::End expected;
    };
    const std::vector<Row> rows = {
        {"closeData", [](ScriptedFtpServer& s) { s.closeData(); }, Client::End::Eof},
        {"resetData", [](ScriptedFtpServer& s) { s.resetData(); }, Client::End::Reset},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedFtpServer server;
        server.replyPasv().acceptData().sendData("partial").readLine();
        row.end(server);
        server.send("426 Aborted\r\n");
        server.start();

        Client control(server.port());
        control.write("PASV\r\n");
        Client data(PortOf227(control.readLine()));
        // The bytes are read before the end is scripted, so a reset cannot discard them.
        EXPECT_TRUE(data.receives("partial"));
        control.write("NOOP\r\n");
        EXPECT_EQ(data.readEnd(), row.expected);
        EXPECT_TRUE(control.receives("426 Aborted\r\n"));
        EXPECT_TRUE(WaitFinished(server)) << server.failure();
    }
}

TEST(ScriptedFtpServer, PatternIsTheSameStreamFromAnyOffset) {
    const std::string whole = ScriptedFtpServer::Pattern(0, 20000, 7);
    EXPECT_EQ(whole, ScriptedFtpServer::Pattern(0, 20000, 7));
    for (const auto& [offset, size] : {std::pair<size_t, size_t>{0, 1},
                                       {1, 7},
                                       {8, 8},
                                       {13, 100},
                                       {4093, 9000},
                                       {19999, 1},
                                       {5, 0}}) {
        SCOPED_TRACE(offset);
        EXPECT_EQ(ScriptedFtpServer::Pattern(offset, size, 7), whole.substr(offset, size));
    }
    // Far past 4 GiB, where a 32-bit offset would wrap.
    constexpr uint64_t Far = 5000000000;
    EXPECT_EQ(ScriptedFtpServer::Pattern(Far - 3, 19, 7).substr(3),
              ScriptedFtpServer::Pattern(Far, 16, 7));
    EXPECT_NE(ScriptedFtpServer::Pattern(Far, 64, 7),
              ScriptedFtpServer::Pattern(Far % (1ULL << 32), 64, 7));

    // A resume at the wrong offset, or with the wrong seed, must not pass a comparison.
    EXPECT_NE(whole.substr(0, 64), ScriptedFtpServer::Pattern(0, 64, 8));
    EXPECT_NE(whole.substr(0, 64), whole.substr(8, 64));
    EXPECT_NE(whole.substr(0, 64), whole.substr(1, 64));
    const std::set<char> values(whole.begin(), whole.end());
    EXPECT_EQ(values.size(), 256U);
}

TEST(ScriptedFtpServer, DestructorDoesNotHangInADataStep) {
    using Clock = std::chrono::steady_clock;
    struct Row {
        const char* name;
        std::function<void(ScriptedFtpServer&)> script;
        bool connectData;
    };
    const std::vector<Row> rows = {
        {"acceptData_no_client", [](ScriptedFtpServer& s) { s.replyPasv().acceptData(60000); },
         false},
        {"receiveDataUntilClose",
         [](ScriptedFtpServer& s) { s.replyPasv().acceptData().receiveDataUntilClose(60000); },
         true},
        // 8 GiB to a client that never reads: the buffers fill and the send has to wait.
        {"sendDataPattern_to_full_buffers",
         [](ScriptedFtpServer& s) { s.replyPasv().acceptData().sendDataPattern(8ULL << 30, 1); },
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto server = std::make_unique<ScriptedFtpServer>();
        row.script(*server);
        server->start();
        Client control(server->port());
        control.write("PASV\r\n");
        const uint16_t dataPort = PortOf227(control.readLine());
        std::unique_ptr<Client> data;
        if (row.connectData)
            data = std::make_unique<Client>(dataPort);
        ProcessEventsFor(50);

        const auto before = Clock::now();
        server.reset();
        EXPECT_LT(Clock::now() - before, std::chrono::seconds(2));
    }
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
