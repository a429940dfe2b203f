#pragma once

#include "net/UniqueFd.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

using UniqueFd = UniqueFd;

// 127.0.0.1 and `port`, the only address tests talk to.
sockaddr_in LoopbackAddress(uint16_t port);
// A blocking TCP connection to 127.0.0.1:`port`; not valid (errno tells why)
// when it could not be made.
UniqueFd ConnectLoopback(uint16_t port);

// A peer that plays a fixed transcript on 127.0.0.1 and records what the client sent.
//
//     ScriptedFtpServer server;
//     server.send("220 hello\r\n").reply("331 password\r\n").reply("230 in\r\n");
//     server.start();
//     ... let the client under test log in on server.port() ...
//     EXPECT_EQ(server.received(), (std::vector<std::string>{"USER u", "PASS p"}));
//     EXPECT_EQ(server.failure(), "");
//
// The script runs on its own thread with blocking sockets, so it goes on while the client's
// Qt event loop runs on the main thread. Every wait inside it is bounded and gives up when the
// server is destroyed, so a broken test fails instead of hanging.
class ScriptedFtpServer {
public:
    static constexpr int DefaultTimeoutMs = 5000;

    ScriptedFtpServer(); // listens at once; a client may connect before start()
    ~ScriptedFtpServer();
    ScriptedFtpServer(const ScriptedFtpServer&) = delete;
    ScriptedFtpServer& operator=(const ScriptedFtpServer&) = delete;

    uint16_t port() const { return port_; }
    std::string portText() const { return std::to_string(port_); }

    // Script building. The first connection is accepted implicitly when the script starts;
    // accept() takes the next one and closes the current one if it is still open.
    ScriptedFtpServer& accept(int timeoutMs = DefaultTimeoutMs);
    ScriptedFtpServer& send(std::string bytes);
    ScriptedFtpServer& sendInChunks(std::string bytes, size_t chunk, int pauseMs);
    ScriptedFtpServer& readLine(int timeoutMs = DefaultTimeoutMs); // records it without CR LF
    ScriptedFtpServer& reply(std::string bytes);                   // readLine(), then send()
    // Exactly `count` bytes, recorded as one entry of received(): for binary peers.
    ScriptedFtpServer& readBytes(size_t count, int timeoutMs = DefaultTimeoutMs);
    ScriptedFtpServer& pause(int ms);
    ScriptedFtpServer& closeConnection(); // FIN
    ScriptedFtpServer& resetConnection(); // RST
    ScriptedFtpServer& waitClientClose(int timeoutMs = DefaultTimeoutMs);

    // Data connections, one at a time. A passive transfer is replyPasv() ... acceptData(), an
    // active one replyPort() ... connectData(); the control-connection steps go on meanwhile,
    // so the 150 and 226 can be sent in any order around the data steps.
    //
    // Reads one command line (recorded, whatever it is), opens a data listener on 127.0.0.1
    // and only then sends `format` with every "%hi%" and "%lo%" replaced by the high and low
    // byte of its port, "%hi+256%" by the high byte plus 256, "%port%" by the port (EPSV's
    // "229 Extended Passive Mode (|||%port%|)\r\n"). Odd replies are odd formats,
    // e.g. "227 Mode (10,9,8,7,%hi%,%lo%\r\n".
    ScriptedFtpServer&
    replyPasv(std::string format = "227 Entering Passive Mode (127,0,0,1,%hi%,%lo%).\r\n");
    // Reads one line that must be "PORT h1,h2,h3,h4,p1,p2" (recorded), remembers its address
    // for connectData() and sends `reply`. Any other line fails the step.
    ScriptedFtpServer& replyPort(std::string reply = "200 PORT command successful.\r\n");
    // Takes the client's connection on the passive listener and closes the listener.
    ScriptedFtpServer& acceptData(int timeoutMs = DefaultTimeoutMs);
    // Connects to the last PORT address; one outside 127.0.0.0/8 fails the step instead.
    ScriptedFtpServer& connectData(int timeoutMs = DefaultTimeoutMs);
    // The same from another loopback address (e.g. "127.0.0.2"): a stranger to the client.
    ScriptedFtpServer& connectDataFrom(std::string source, int timeoutMs = DefaultTimeoutMs);
    ScriptedFtpServer& sendData(std::string bytes);
    // `size` bytes of Pattern(0, size, seed), made a chunk at a time, so any size fits.
    ScriptedFtpServer& sendDataPattern(std::uint64_t size, unsigned seed);
    // Keeps what arrives in dataReceived() until the client closes; fails when nothing
    // arrives for `idleTimeoutMs` or the client resets the connection.
    ScriptedFtpServer& receiveDataUntilClose(int idleTimeoutMs = DefaultTimeoutMs);
    ScriptedFtpServer& closeData(); // FIN
    ScriptedFtpServer& resetData(); // RST

    // Runs the script. After its last step the connection stays open and lines the client
    // still sends are recorded until it closes or the server is destroyed.
    void start();

    // Every line the client sent, over all connections, in order of arrival.
    std::vector<std::string> received() const;
    bool waitReceived(size_t n, int timeoutMs = DefaultTimeoutMs) const; // blocks this thread
    bool clientClosed() const { return clientClosed_; } // ...the current connection
    int connectionsAccepted() const { return connectionsAccepted_; }
    bool finished() const { return finished_; } // every step played; stays false after a failure
    std::string failure() const;      // "step 3 (readLine): ..."; empty while all goes to plan
    std::string dataReceived() const; // every byte read on data connections, in order
    std::string portCommandAddress() const; // "127.0.0.1" from the last PORT; empty before

    // A deterministic byte stream, addressable at any offset, so that a slice of a file can be
    // checked without the whole. Different seeds and offsets give different bytes.
    static std::string Pattern(std::uint64_t offset, std::size_t size, unsigned seed);

    // A loopback port on which nothing listens, for connection-refused tests.
    static uint16_t FreeClosedPort();

private:
    class Context;
    struct Step {
        std::string what; // names the step in failure()
        std::function<bool(Context&)> run;
    };

    ScriptedFtpServer& add(std::string what, std::function<bool(Context&)> run);
    void run();
    void record(std::string line);
    void recordData(std::string_view bytes);
    void setFailure(std::string why);

    UniqueFd listener_;
    uint16_t port_ = 0;
    std::vector<Step> script_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> clientClosed_{false};
    std::atomic<int> connectionsAccepted_{0};
    std::atomic<bool> finished_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable receivedChanged_;
    std::vector<std::string> received_;
    std::string failure_;
    std::string dataReceived_;
    std::string portAddress_;
};

} // namespace testsupport
