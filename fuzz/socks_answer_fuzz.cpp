// A SOCKS proxy's answers, any bytes: a socket negotiates with a loopback
// peer that plays them and must end connected, failed or closed, never hang
// or read out of bounds. The first byte picks the version and whether a user
// name and password are offered.
#include "net/SocksSocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <arpa/inet.h>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The proxy's listening socket, made once for the whole run.
struct Proxy {
    Proxy() {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), len) != 0 ||
            ::listen(fd, 16) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &len) != 0)
            std::abort();
        port = ntohs(address.sin_port);
    }
    int fd = -1;
    std::uint16_t port = 0;
};

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "socks_answer_fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    App();
    static Proxy proxy;
    const char* levels[] = {"4", "4A", "5"};
    bool finished = false;
    {
        SocksSocket socket;
        socket.SetSocksServer("127.0.0.1");
        socket.SetSocksPort(std::to_string(proxy.port));
        socket.SetSocksLevel(levels[data[0] % 3]);
        if (data[0] & 4) {
            socket.SocksAuthentication = SocksAuthentication::socksAuthenticateUsercode;
            socket.SocksUsercode = "user";
            socket.SocksPassword = "password";
        }
        socket.SetAddr("127.0.0.1");
        socket.SetPort("21");
        const auto done = [&](AsyncSocket*, std::uint16_t) { finished = true; };
        socket.OnSessionConnected = done;
        socket.OnSessionClosed = done;
        socket.OnSocksError = [&](AsyncSocket*, int, const std::string&) { finished = true; };
        socket.OnError = [&](AsyncSocket*) { finished = true; };
        socket.Connect();
        pollfd waiting{proxy.fd, POLLIN, 0};
        if (::poll(&waiting, 1, 1000) <= 0)
            std::abort(); // the socket never reached the proxy
        const int peer = ::accept4(proxy.fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer < 0)
            std::abort();
        ::send(peer, data + 1, size - 1, MSG_NOSIGNAL);
        ::shutdown(peer, SHUT_WR);
        QElapsedTimer clock;
        clock.start();
        while (!finished && clock.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ::close(peer);
    }
    // Every answer ends the negotiation one way or the other once the peer has closed.
    if (!finished)
        std::abort();
    return 0;
}
