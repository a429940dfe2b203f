#include "support/ScriptedFtpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
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

UniqueFd BoundLoopbackSocket() {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid())
        throw std::runtime_error(ErrnoText("socket"));
    sockaddr_in addr = LoopbackAddress(0);
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

void CloseSocket(UniqueFd& fd, bool abortive) {
    if (!fd.valid())
        return;
    if (abortive) {
        const linger hard{1, 0};
        ::setsockopt(fd.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    } else {
        ::shutdown(fd.get(), SHUT_WR);
    }
    fd.reset();
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string AddressText(const sockaddr_in& addr) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
    return text;
}

// "PORT h1,h2,h3,h4,p1,p2" with six numbers of 0 to 255 and nothing else.
std::optional<sockaddr_in> ParsePort(std::string_view line) {
    constexpr std::string_view verb = "PORT ";
    if (!line.starts_with(verb))
        return std::nullopt;
    line.remove_prefix(verb.size());
    std::array<uint32_t, 6> n{};
    for (size_t i = 0; i < n.size(); ++i) {
        if (i > 0) {
            if (!line.starts_with(','))
                return std::nullopt;
            line.remove_prefix(1);
        }
        const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), n[i]);
        if (error != std::errc() || n[i] > 255)
            return std::nullopt;
        line.remove_prefix(static_cast<size_t>(end - line.data()));
    }
    if (!line.empty())
        return std::nullopt;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(n[0] << 24 | n[1] << 16 | n[2] << 8 | n[3]);
    addr.sin_port = htons(static_cast<uint16_t>(n[4] << 8 | n[5]));
    return addr;
}

// splitmix64's finaliser: each input bit changes about half of the output bits.
uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EB;
    return x ^ (x >> 31);
}

// Each aligned 8-byte block is a hash of its index, so the stream has no short period and any
// slice can be made without the bytes before it.
void FillPattern(char* out, uint64_t offset, size_t size, unsigned seed) {
    const uint64_t key = Mix(seed);
    for (size_t i = 0; i < size;) {
        const uint64_t at = offset + i;
        const uint64_t word = Mix((at / 8) ^ key);
        for (uint64_t b = at % 8; b < 8 && i < size; ++b, ++i)
            out[i] = static_cast<char>(word >> (8 * b));
    }
}

} // namespace

// What the steps share while the script runs: the current connection, the bytes read from it
// that are not yet a whole line, and the data connection with what it is made from.
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
        // Replies go out when the script says, not when Nagle's algorithm and the
        // client's delayed ACK let them (40 ms for a second small write).
        const int on = 1;
        ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        conn_ = std::move(fd);
        server_.clientClosed_ = false;
        ++server_.connectionsAccepted_;
        return true;
    }

    bool sendAll(std::string_view bytes) { return sendOn(conn_, bytes, "no connection"); }
    bool sendData(std::string_view bytes) { return sendOn(data_, bytes, "no data connection"); }

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

    // Reads exactly `count` bytes, whatever they are, and records them as one
    // entry; binary peers (a SOCKS proxy) have no lines.
    bool readBytes(size_t count, int timeoutMs) {
        const Clock::time_point deadline = DeadlineIn(timeoutMs);
        while (inbox_.size() < count) {
            if (!connected())
                return fail("the client closed the connection after " +
                            std::to_string(inbox_.size()) + " bytes");
            switch (waitFor(conn_.get(), POLLIN, MsLeft(deadline))) {
            case Wait::Ready:
                break;
            case Wait::TimedOut:
                return fail("only " + std::to_string(inbox_.size()) + " of " +
                            std::to_string(count) + " bytes within " + std::to_string(timeoutMs) +
                            " ms");
            case Wait::Stopped:
                return false;
            }
            if (!receive() && inbox_.size() < count)
                return fail("the client closed the connection after " +
                            std::to_string(inbox_.size()) + " bytes");
        }
        server_.record(inbox_.substr(0, count));
        inbox_.erase(0, count);
        return true;
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
        if (!abortive)
            readPending(); // closing with unread bytes queued would make the kernel send RST
        CloseSocket(conn_, abortive);
    }

    // Reads one line, recorded and kept in lastLine(), or fails the step saying why not.
    bool readCommand(int timeoutMs) {
        switch (readLine(timeoutMs)) {
        case Read::Line:
            return true;
        case Read::Closed:
            return fail("the client closed the connection");
        case Read::TimedOut:
            return fail("no line within " + std::to_string(timeoutMs) + " ms");
        case Read::Stopped:
            return false;
        }
        return false;
    }
    const std::string& lastLine() const { return lastLine_; }

    // The port of a new passive listener, which replaces any earlier one.
    std::optional<uint16_t> listenPassive() {
        try {
            UniqueFd fd = BoundLoopbackSocket();
            if (::listen(fd.get(), 4) != 0) {
                fail(ErrnoText("listen"));
                return std::nullopt;
            }
            const uint16_t port = LocalPort(fd.get());
            dataListener_ = std::move(fd);
            return port;
        } catch (const std::runtime_error& e) {
            fail(e.what());
            return std::nullopt;
        }
    }

    void setActiveTarget(const sockaddr_in& to) {
        activeTarget_ = to;
        std::lock_guard lock(server_.mutex_);
        server_.portAddress_ = AddressText(to);
    }

    bool acceptData(int timeoutMs) {
        if (!dataListener_.valid())
            return fail("no passive listener; replyPasv first");
        closeData(false);
        switch (waitFor(dataListener_.get(), POLLIN, timeoutMs)) {
        case Wait::Ready:
            break;
        case Wait::TimedOut:
            return fail("no data connection within " + std::to_string(timeoutMs) + " ms");
        case Wait::Stopped:
            return false;
        }
        UniqueFd fd(::accept4(dataListener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!fd.valid())
            return fail(ErrnoText("accept"));
        data_ = std::move(fd);
        dataListener_.reset();
        return true;
    }

    bool connectData(int timeoutMs, const std::string& from = {}) {
        if (!activeTarget_)
            return fail("no PORT address; replyPort first");
        const sockaddr_in to = *activeTarget_;
        const std::string where = AddressText(to) + ':' + std::to_string(ntohs(to.sin_port));
        // A script must never reach past this machine, whatever the client names.
        if (ntohl(to.sin_addr.s_addr) >> 24 != 127)
            return fail(where + " is outside 127.0.0.0/8; not connecting");
        closeData(false);
        UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!fd.valid())
            return fail(ErrnoText("socket"));
        if (!from.empty()) {
            sockaddr_in source = LoopbackAddress(0);
            if (::inet_pton(AF_INET, from.c_str(), &source.sin_addr) != 1 ||
                ntohl(source.sin_addr.s_addr) >> 24 != 127)
                return fail(from + " is no address in 127.0.0.0/8");
            if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&source), sizeof source) != 0)
                return fail(ErrnoText("bind"));
        }
        if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 &&
            errno != EINPROGRESS)
            return fail("connect to " + where + ": " + std::strerror(errno));
        switch (waitFor(fd.get(), POLLOUT, timeoutMs)) {
        case Wait::Ready:
            break;
        case Wait::TimedOut:
            return fail("no connection to " + where + " within " + std::to_string(timeoutMs) +
                        " ms");
        case Wait::Stopped:
            return false;
        }
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0)
            error = errno;
        if (error != 0)
            return fail("connect to " + where + ": " + std::strerror(error));
        ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
        data_ = std::move(fd);
        return true;
    }

    bool receiveDataUntilClose(int idleTimeoutMs) {
        if (!data_.valid())
            return fail("no data connection");
        std::string buf(64 * 1024, '\0');
        uint64_t total = 0;
        for (;;) {
            switch (waitFor(data_.get(), POLLIN, idleTimeoutMs)) {
            case Wait::Ready:
                break;
            case Wait::TimedOut:
                return fail("nothing on the data connection for " + std::to_string(idleTimeoutMs) +
                            " ms after " + std::to_string(total) + " bytes");
            case Wait::Stopped:
                return false;
            }
            const ssize_t n = ::recv(data_.get(), buf.data(), buf.size(), 0);
            if (n > 0) {
                server_.recordData(std::string_view(buf.data(), static_cast<size_t>(n)));
                total += static_cast<uint64_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            const int error = n < 0 ? errno : 0;
            data_.reset();
            if (error == 0)
                return true;
            const std::string after = " after " + std::to_string(total) + " bytes";
            if (error == ECONNRESET)
                return fail("the client reset the data connection" + after);
            return fail(std::string("recv: ") + std::strerror(error) + after);
        }
    }

    void closeData(bool abortive) {
        // As on the control connection: bytes left unread would turn the FIN into RST.
        while (!abortive && data_.valid()) {
            char buf[4096];
            const ssize_t n = ::recv(data_.get(), buf, sizeof buf, MSG_DONTWAIT);
            if (n <= 0)
                break;
            server_.recordData(std::string_view(buf, static_cast<size_t>(n)));
        }
        CloseSocket(data_, abortive);
    }

private:
    bool sendOn(const UniqueFd& fd, std::string_view bytes, const char* missing) {
        if (!fd.valid())
            return fail(missing);
        while (!bytes.empty()) {
            switch (waitFor(fd.get(), POLLOUT, DefaultTimeoutMs)) {
            case Wait::Ready:
                break;
            case Wait::TimedOut:
                return fail("the client does not read");
            case Wait::Stopped:
                return false;
            }
            const ssize_t n =
                ::send(fd.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n < 0)
                return fail(ErrnoText("send"));
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

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
        lastLine_ = line;
        server_.record(std::move(line));
        return true;
    }

    ScriptedFtpServer& server_;
    UniqueFd conn_;
    std::string inbox_;
    std::string lastLine_;
    std::string why_;
    UniqueFd dataListener_;
    UniqueFd data_;
    std::optional<sockaddr_in> activeTarget_; // from the last PORT
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

ScriptedFtpServer& ScriptedFtpServer::readBytes(size_t count, int timeoutMs) {
    return add("readBytes " + std::to_string(count),
               [count, timeoutMs](Context& c) { return c.readBytes(count, timeoutMs); });
}

ScriptedFtpServer& ScriptedFtpServer::readLine(int timeoutMs) {
    return add("readLine", [timeoutMs](Context& c) { return c.readCommand(timeoutMs); });
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

ScriptedFtpServer& ScriptedFtpServer::replyPasv(std::string format) {
    return add("replyPasv", [format = std::move(format)](Context& c) {
        if (!c.readCommand(DefaultTimeoutMs))
            return false;
        // The listener comes first: a client connects as soon as it has read the reply.
        const std::optional<uint16_t> port = c.listenPassive();
        if (!port)
            return false;
        // %hi+256% names the same port to a client that keeps only 16 bits.
        const std::string wrapped =
            ReplaceAll(ReplaceAll(format, "%hi+256%", std::to_string((*port >> 8) + 256)), "%port%",
                       std::to_string(*port));
        return c.sendAll(ReplaceAll(ReplaceAll(wrapped, "%hi%", std::to_string(*port >> 8)), "%lo%",
                                    std::to_string(*port & 0xFF)));
    });
}

ScriptedFtpServer& ScriptedFtpServer::replyPort(std::string reply) {
    return add("replyPort", [reply = std::move(reply)](Context& c) {
        if (!c.readCommand(DefaultTimeoutMs))
            return false;
        const std::optional<sockaddr_in> to = ParsePort(c.lastLine());
        if (!to)
            return c.fail("not a parsable PORT command: " + Preview(c.lastLine()));
        c.setActiveTarget(*to);
        return c.sendAll(reply);
    });
}

ScriptedFtpServer& ScriptedFtpServer::acceptData(int timeoutMs) {
    return add("acceptData", [timeoutMs](Context& c) { return c.acceptData(timeoutMs); });
}

ScriptedFtpServer& ScriptedFtpServer::connectData(int timeoutMs) {
    return add("connectData", [timeoutMs](Context& c) { return c.connectData(timeoutMs); });
}

ScriptedFtpServer& ScriptedFtpServer::connectDataFrom(std::string source, int timeoutMs) {
    return add("connectDataFrom " + source,
               [source, timeoutMs](Context& c) { return c.connectData(timeoutMs, source); });
}

ScriptedFtpServer& ScriptedFtpServer::sendData(std::string bytes) {
    std::string what = "sendData " + Preview(bytes);
    return add(std::move(what),
               [bytes = std::move(bytes)](Context& c) { return c.sendData(bytes); });
}

ScriptedFtpServer& ScriptedFtpServer::sendDataPattern(std::uint64_t size, unsigned seed) {
    std::string what =
        "sendDataPattern " + std::to_string(size) + " bytes, seed " + std::to_string(seed);
    return add(std::move(what), [size, seed](Context& c) {
        std::string chunk(64 * 1024, '\0');
        for (uint64_t at = 0; at < size; at += chunk.size()) {
            const auto n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - at));
            FillPattern(chunk.data(), at, n, seed);
            if (!c.sendData(std::string_view(chunk.data(), n)))
                return false;
        }
        return true;
    });
}

ScriptedFtpServer& ScriptedFtpServer::receiveDataUntilClose(int idleTimeoutMs) {
    return add("receiveDataUntilClose",
               [idleTimeoutMs](Context& c) { return c.receiveDataUntilClose(idleTimeoutMs); });
}

ScriptedFtpServer& ScriptedFtpServer::closeData() {
    return add("closeData", [](Context& c) {
        c.closeData(false);
        return true;
    });
}

ScriptedFtpServer& ScriptedFtpServer::resetData() {
    return add("resetData", [](Context& c) {
        c.closeData(true);
        return true;
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

void ScriptedFtpServer::recordData(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    dataReceived_.append(bytes);
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

std::string ScriptedFtpServer::dataReceived() const {
    std::lock_guard lock(mutex_);
    return dataReceived_;
}

std::string ScriptedFtpServer::portCommandAddress() const {
    std::lock_guard lock(mutex_);
    return portAddress_;
}

std::string ScriptedFtpServer::Pattern(std::uint64_t offset, std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    FillPattern(bytes.data(), offset, size, seed);
    return bytes;
}

uint16_t ScriptedFtpServer::FreeClosedPort() {
    // Bound but never listening, then closed: a connect to it is refused.
    UniqueFd fd = BoundLoopbackSocket();
    return LocalPort(fd.get());
}

sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

UniqueFd ConnectLoopback(uint16_t port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in addr = LoopbackAddress(port);
    if (fd.valid() &&
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int error = errno; // closing must not hide why
        fd.reset();
        errno = error;
    }
    return fd;
}

} // namespace testsupport
