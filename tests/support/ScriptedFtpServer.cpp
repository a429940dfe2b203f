#include "support/ScriptedFtpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

// Every blocking wait is cut into slices this long so that destruction is noticed quickly.
constexpr int SliceMs = 20;

std::string ErrnoText(const char* call) {
    return std::string(call) + ": " + std::strerror(errno);
}

// A printable excerpt of the bytes a step sends, so failure() reads like the transcript.
std::string Preview(std::string_view bytes) {
    std::string out;
    for (char c : bytes.substr(0, 40)) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (static_cast<unsigned char>(c) < 0x20)
            out += '.';
        else
            out += c;
    }
    if (bytes.size() > 40)
        out += "...";
    return '"' + out + '"';
}

Clock::time_point DeadlineIn(int ms) {
    return Clock::now() + std::chrono::milliseconds(ms);
}

// Whole milliseconds until the deadline, rounded up, never negative.
int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

UniqueFd BoundLoopbackSocket() {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid())
        throw std::runtime_error(ErrnoText("socket"));
    sockaddr_in addr = Loopback(0);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error(ErrnoText("bind"));
    return fd;
}

uint16_t LocalPort(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw std::runtime_error(ErrnoText("getsockname"));
    return ntohs(addr.sin_port);
}

} // namespace

void UniqueFd::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

// What the steps share while the script runs: the current connection and the bytes read from
// it that are not yet a whole line. Data-connection steps add their sockets here.
class ScriptedFtpServer::Context {
public:
    enum class Wait { Ready, TimedOut, Stopped };
    enum class Read { Line, Closed, TimedOut, Stopped };

    explicit Context(ScriptedFtpServer& server) : server_(server) {}

    bool fail(std::string why) {
        why_ = std::move(why);
        return false;
    }
    const std::string& why() const { return why_; }
    bool stopped() const { return server_.stop_; }
    bool connected() const { return conn_.valid(); }

    // Looks at least once, even with no time left.
    Wait waitFor(int fd, short events, int timeoutMs) {
        const Clock::time_point deadline = DeadlineIn(timeoutMs);
        for (;;) {
            if (stopped())
                return Wait::Stopped;
            const int left = MsLeft(deadline);
            pollfd p{fd, events, 0};
            const int n = ::poll(&p, 1, std::min(left, SliceMs));
            if (n > 0 || (n < 0 && errno != EINTR))
                return Wait::Ready; // on an error the following call reports it
            if (left == 0)
                return Wait::TimedOut;
        }
    }

    bool sleep(int ms) {
        const Clock::time_point deadline = DeadlineIn(ms);
        while (const int left = MsLeft(deadline)) {
            if (stopped())
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, SliceMs)));
        }
        return !stopped();
    }

    bool acceptNext(int timeoutMs) {
        close(false);
        inbox_.clear();
        switch (waitFor(server_.listener_.get(), POLLIN, timeoutMs)) {
        case Wait::Ready:
            break;
        case Wait::TimedOut:
            return fail("no connection within " + std::to_string(timeoutMs) + " ms");
        case Wait::Stopped:
            return false;
        }
        UniqueFd fd(::accept4(server_.listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!fd.valid())
            return fail(ErrnoText("accept"));
        conn_ = std::move(fd);
        server_.clientClosed_ = false;
        ++server_.connectionsAccepted_;
        return true;
    }

    bool sendAll(std::string_view bytes) {
        if (!connected())
            return fail("no connection");
        while (!bytes.empty()) {
            switch (waitFor(conn_.get(), POLLOUT, DefaultTimeoutMs)) {
            case Wait::Ready:
                break;
            case Wait::TimedOut:
                return fail("the client does not read");
            case Wait::Stopped:
                return false;
            }
            const ssize_t n =
                ::send(conn_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n < 0)
                return fail(ErrnoText("send"));
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

    // Reads one line and records it. Bytes after its line end stay in the inbox for the next.
    Read readLine(int timeoutMs) {
        const Clock::time_point deadline = DeadlineIn(timeoutMs);
        for (;;) {
            if (takeLine())
                return Read::Line;
            if (!connected())
                return Read::Closed;
            switch (waitFor(conn_.get(), POLLIN, MsLeft(deadline))) {
            case Wait::Ready:
                break;
            case Wait::TimedOut:
                return Read::TimedOut;
            case Wait::Stopped:
                return Read::Stopped;
            }
            if (!receive())
                return Read::Closed;
        }
    }

    // Records the lines that have already arrived, without waiting.
    void readPending() {
        while (connected()) {
            pollfd p{conn_.get(), POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0 || !receive())
                break;
        }
        while (takeLine()) {
        }
    }

    void close(bool abortive) {
        if (!connected())
            return;
        if (abortive) {
            const linger hard{1, 0};
            ::setsockopt(conn_.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        } else {
            // Closing with unread bytes queued would make the kernel send RST, not FIN.
            readPending();
            ::shutdown(conn_.get(), SHUT_WR);
        }
        conn_.reset();
    }

private:
    // false when the client closed the connection (or it broke); the socket is then closed.
    bool receive() {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::recv(conn_.get(), buf, sizeof buf, 0);
            if (n > 0) {
                inbox_.append(buf, static_cast<size_t>(n));
                return true;
            }
            if (n < 0 && errno == EINTR)
                continue;
            conn_.reset();
            server_.clientClosed_ = true;
            return false;
        }
    }

    bool takeLine() {
        const size_t lf = inbox_.find('\n');
        if (lf == std::string::npos)
            return false;
        std::string line = inbox_.substr(0, lf);
        inbox_.erase(0, lf + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        server_.record(std::move(line));
        return true;
    }

    ScriptedFtpServer& server_;
    UniqueFd conn_;
    std::string inbox_;
    std::string why_;
};

ScriptedFtpServer::ScriptedFtpServer() : listener_(BoundLoopbackSocket()) {
    if (::listen(listener_.get(), 16) != 0)
        throw std::runtime_error(ErrnoText("listen"));
    port_ = LocalPort(listener_.get());
}

ScriptedFtpServer::~ScriptedFtpServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

ScriptedFtpServer& ScriptedFtpServer::add(std::string what, std::function<bool(Context&)> run) {
    if (thread_.joinable())
        throw std::logic_error("ScriptedFtpServer: script changed after start()");
    script_.push_back({std::move(what), std::move(run)});
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::accept(int timeoutMs) {
    return add("accept", [timeoutMs](Context& c) { return c.acceptNext(timeoutMs); });
}

ScriptedFtpServer& ScriptedFtpServer::send(std::string bytes) {
    std::string what = "send " + Preview(bytes);
    return add(std::move(what),
               [bytes = std::move(bytes)](Context& c) { return c.sendAll(bytes); });
}

ScriptedFtpServer& ScriptedFtpServer::sendInChunks(std::string bytes, size_t chunk, int pauseMs) {
    std::string what = "sendInChunks " + Preview(bytes);
    chunk = std::max<size_t>(chunk, 1);
    return add(std::move(what), [bytes = std::move(bytes), chunk, pauseMs](Context& c) {
        for (size_t at = 0; at < bytes.size(); at += chunk) {
            if (at > 0 && !c.sleep(pauseMs))
                return false;
            if (!c.sendAll(std::string_view(bytes).substr(at, chunk)))
                return false;
        }
        return true;
    });
}

ScriptedFtpServer& ScriptedFtpServer::readLine(int timeoutMs) {
    return add("readLine", [timeoutMs](Context& c) {
        switch (c.readLine(timeoutMs)) {
        case Context::Read::Line:
            return true;
        case Context::Read::Closed:
            return c.fail("the client closed the connection");
        case Context::Read::TimedOut:
            return c.fail("no line within " + std::to_string(timeoutMs) + " ms");
        case Context::Read::Stopped:
            return false;
        }
        return false;
    });
}

ScriptedFtpServer& ScriptedFtpServer::reply(std::string bytes) {
    return readLine().send(std::move(bytes));
}

ScriptedFtpServer& ScriptedFtpServer::pause(int ms) {
    return add("pause " + std::to_string(ms), [ms](Context& c) { return c.sleep(ms); });
}

ScriptedFtpServer& ScriptedFtpServer::closeConnection() {
    return add("closeConnection", [](Context& c) {
        c.close(false);
        return true;
    });
}

ScriptedFtpServer& ScriptedFtpServer::resetConnection() {
    return add("resetConnection", [](Context& c) {
        c.close(true);
        return true;
    });
}

ScriptedFtpServer& ScriptedFtpServer::waitClientClose(int timeoutMs) {
    return add("waitClientClose", [timeoutMs](Context& c) {
        const Clock::time_point deadline = DeadlineIn(timeoutMs);
        for (;;) {
            switch (c.readLine(MsLeft(deadline))) {
            case Context::Read::Line:
                continue; // the client may say more (QUIT) before it closes
            case Context::Read::Closed:
                return true;
            case Context::Read::TimedOut:
                return c.fail("the client did not close within " + std::to_string(timeoutMs) +
                              " ms");
            case Context::Read::Stopped:
                return false;
            }
            return false;
        }
    });
}

void ScriptedFtpServer::start() {
    if (thread_.joinable())
        throw std::logic_error("ScriptedFtpServer: start() called twice");
    thread_ = std::thread([this] { run(); });
}

void ScriptedFtpServer::run() {
    Context c(*this);
    bool ok = c.acceptNext(DefaultTimeoutMs);
    if (!ok && !c.why().empty())
        setFailure("implicit accept: " + c.why());
    for (size_t i = 0; ok && i < script_.size(); ++i) {
        ok = script_[i].run(c);
        if (!ok && !c.why().empty())
            setFailure("step " + std::to_string(i + 1) + " (" + script_[i].what + "): " + c.why());
    }
    finished_ = ok;
    // Keep listening so that a test can still see what the client said after the transcript.
    while (c.connected() && !c.stopped()) {
        if (c.readLine(1000) == Context::Read::Closed)
            break;
    }
}

void ScriptedFtpServer::record(std::string line) {
    {
        std::lock_guard lock(mutex_);
        received_.push_back(std::move(line));
    }
    receivedChanged_.notify_all();
}

void ScriptedFtpServer::setFailure(std::string why) {
    std::lock_guard lock(mutex_);
    if (failure_.empty())
        failure_ = std::move(why);
}

std::vector<std::string> ScriptedFtpServer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

bool ScriptedFtpServer::waitReceived(size_t n, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return receivedChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [&] { return received_.size() >= n; });
}

std::string ScriptedFtpServer::failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

uint16_t ScriptedFtpServer::FreeClosedPort() {
    // Bound but never listening, then closed: a connect to it is refused.
    UniqueFd fd = BoundLoopbackSocket();
    return LocalPort(fd.get());
}

} // namespace testsupport
