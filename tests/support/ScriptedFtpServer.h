#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

// Owns a POSIX file descriptor.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

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
    ScriptedFtpServer& pause(int ms);
    ScriptedFtpServer& closeConnection(); // FIN
    ScriptedFtpServer& resetConnection(); // RST
    ScriptedFtpServer& waitClientClose(int timeoutMs = DefaultTimeoutMs);

    // Runs the script. After its last step the connection stays open and lines the client
    // still sends are recorded until it closes or the server is destroyed.
    void start();

    // Every line the client sent, over all connections, in order of arrival.
    std::vector<std::string> received() const;
    bool waitReceived(size_t n, int timeoutMs = DefaultTimeoutMs) const; // blocks this thread
    bool clientClosed() const { return clientClosed_; } // ...the current connection
    int connectionsAccepted() const { return connectionsAccepted_; }
    bool finished() const { return finished_; } // every step played; stays false after a failure
    std::string failure() const; // "step 3 (readLine): ..."; empty while all goes to plan

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
};

} // namespace testsupport
