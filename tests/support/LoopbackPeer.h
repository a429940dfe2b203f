#pragma once

#include "net/SocksSocket.h"
#include "support/EventLoop.h"
#include "support/ScriptedFtpServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <ostream>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <vector>

// The peers of the socket tests: plain blocking POSIX sockets on 127.0.0.1, so
// what the socket under test sees is real kernel behaviour, not our own code
// talking to itself.

// Readable failure messages for state comparisons.
inline void PrintTo(SocketState state, std::ostream* os) {
    *os << SocketStateName(state);
}

namespace nettest {

using testsupport::ProcessEventsFor;
using testsupport::ProcessEventsUntil;
using Fd = testsupport::UniqueFd;
using State = SocketState;

// A broken socket layer must fail the test, not hang the binary.
inline Fd WithTimeouts(Fd fd) {
    const timeval tv{5, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    return fd;
}

inline int LocalPortOf(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

inline int RemotePortOf(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// An unconnected loopback socket of `type` bound to a free port.
inline Fd BoundLoopback(int type) {
    Fd fd(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
    const sockaddr_in a = testsupport::LoopbackAddress(0);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
        throw std::runtime_error("test peer bind failed");
    return WithTimeouts(std::move(fd));
}

class Listener {
public:
    Listener() : fd_(BoundLoopback(SOCK_STREAM)), port_(LocalPortOf(fd_.get())) {
        if (::listen(fd_.get(), 8) != 0)
            throw std::runtime_error("test listener failed");
    }
    int Port() const { return port_; }
    std::string PortText() const { return std::to_string(port_); }
    Fd Accept() { return WithTimeouts(Fd(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC))); }

private:
    Fd fd_;
    int port_;
};

inline Fd ConnectTo(int port) {
    return WithTimeouts(testsupport::ConnectLoopback(static_cast<std::uint16_t>(port)));
}

inline bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads until `limit` bytes, end of stream, or an error.
inline std::string ReadUpTo(int fd, std::size_t limit) {
    std::string out;
    char buf[65536];
    while (out.size() < limit) {
        const ssize_t n = ::recv(fd, buf, std::min(sizeof buf, limit - out.size()), 0);
        if (n <= 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

// 0 when the peer closed in order, -1 on reset or timeout, else the bytes seen.
inline ssize_t PeerEndOfStream(int fd) {
    char c;
    return ::recv(fd, &c, 1, 0);
}

// Makes the next close of `fd` send RST instead of FIN.
inline void AbortOnClose(int fd) {
    const linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

inline std::string Bytes(std::size_t n, unsigned seed) {
    return testsupport::ScriptedFtpServer::Pattern(0, n, seed);
}

template <typename F>
inline std::string Refusal(F&& action) {
    try {
        action();
    } catch (const SocketException& e) {
        return e.what();
    }
    return "<no exception>";
}

// Records every event of one socket. Declare it before the socket: the socket's
// destructor still reports state changes.
struct Recorder {
    std::vector<int> connected, closed, dns;
    std::vector<int> sendSizes;
    std::vector<State> states;
    std::string received;
    std::vector<int> receiveResults;
    std::size_t receivedAtClose = 0;
    int dataSent = 0;
    bool inSend = false;
    bool dataSentInsideSend = false;

    void Attach(AsyncSocket& s) {
        s.OnSessionConnected = [this](AsyncSocket*, std::uint16_t e) { connected.push_back(e); };
        s.OnSessionClosed = [this](AsyncSocket*, std::uint16_t e) {
            closed.push_back(e);
            receivedAtClose = received.size();
        };
        s.OnDnsLookupDone = [this](AsyncSocket*, std::uint16_t e) { dns.push_back(e); };
        s.OnDataAvailable = [this](AsyncSocket* sender, std::uint16_t) {
            char buf[4096];
            const int n = sender->Receive(buf, sizeof buf);
            receiveResults.push_back(n);
            if (n > 0)
                received.append(buf, static_cast<std::size_t>(n));
        };
        s.OnDataSent = [this](AsyncSocket*, std::uint16_t) {
            ++dataSent;
            dataSentInsideSend = dataSentInsideSend || inSend;
        };
        s.OnSendData = [this](AsyncSocket*, int n) { sendSizes.push_back(n); };
        s.OnChangeState = [this](AsyncSocket*, State, State to) { states.push_back(to); };
    }

    int Send(AsyncSocket& s, const std::string& data) {
        inSend = true;
        const int n = s.Send(data.data(), static_cast<int>(data.size()));
        inSend = false;
        return n;
    }
};

// Connects `sock` to a fresh loopback listener and returns the peer's end.
inline Fd ConnectPair(SocksSocket& sock, const Recorder& rec) {
    Listener listener;
    sock.SetAddr("127.0.0.1");
    sock.SetPort(listener.PortText());
    sock.Connect();
    Fd peer = listener.Accept();
    EXPECT_GE(peer.get(), 0);
    EXPECT_TRUE(ProcessEventsUntil([&] { return !rec.connected.empty(); }));
    EXPECT_EQ(sock.State(), State::wsConnected);
    return peer;
}

// One socket under test with its recorder.
class SocketTest : public testing::Test {
protected:
    SocketTest() { rec.Attach(sock); }
    // A fresh connection on the same socket, recorded from scratch.
    Fd Reconnect() {
        rec = Recorder{};
        return ConnectPair(sock, rec);
    }

    Recorder rec;
    SocksSocket sock;
};

} // namespace nettest
