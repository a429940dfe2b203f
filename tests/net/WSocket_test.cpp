#include "net/WSocket.h"
#include "support/EventLoop.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <ostream>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

// Every peer here is a plain blocking POSIX socket on 127.0.0.1, so what the
// socket under test sees is real kernel behaviour, not our own code talking to itself.

// Readable failure messages for state comparisons.
static void PrintTo(TSocketState state, std::ostream* os) {
    *os << SocketStateName(state);
}

namespace {

using testsupport::ProcessEventsUntil;
using State = TSocketState;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Reset(); }

    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }
    void Reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// A broken socket layer must fail the test, not hang the binary.
void SetPeerTimeouts(int fd) {
    const timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return a;
}

int LocalPortOf(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

int RemotePortOf(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

class Listener {
public:
    Listener() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const sockaddr_in a = Loopback(0);
        if (::bind(fd_.Get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(fd_.Get(), 8) != 0)
            throw std::runtime_error("test listener failed");
        SetPeerTimeouts(fd_.Get());
        port_ = LocalPortOf(fd_.Get());
    }
    int Port() const { return port_; }
    std::string PortText() const { return std::to_string(port_); }
    Fd Accept() {
        Fd peer(::accept4(fd_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (peer.Get() >= 0)
            SetPeerTimeouts(peer.Get());
        return peer;
    }
    void Close() { fd_.Reset(); }

private:
    Fd fd_;
    int port_ = 0;
};

Fd ConnectTo(int port) {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in a = Loopback(port);
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
        fd.Reset();
    else
        SetPeerTimeouts(fd.Get());
    return fd;
}

bool WriteAll(int fd, const std::string& data) {
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
std::string ReadUpTo(int fd, std::size_t limit) {
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
ssize_t PeerEndOfStream(int fd) {
    char c;
    return ::recv(fd, &c, 1, 0);
}

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(gen() & 0xff);
    return s;
}

template <typename F>
std::string Refusal(F&& action) {
    try {
        action();
    } catch (const ESocketException& e) {
        return e.what();
    }
    return "<no exception>";
}

// Records every event of one socket. Declare it before the socket: the socket's
// destructor still reports state changes.
struct Recorder {
    std::vector<int> connected, closed, dns, available;
    std::vector<int> sendSizes;
    std::vector<State> states;
    std::string received;
    std::vector<int> receiveResults;
    std::size_t receivedAtClose = 0;
    int dataSent = 0;
    bool inSend = false;
    bool dataSentInsideSend = false;

    void Attach(TCustomWSocket& s) {
        s.OnSessionConnected = [this](TCustomWSocket*, std::uint16_t e) { connected.push_back(e); };
        s.OnSessionClosed = [this](TCustomWSocket*, std::uint16_t e) {
            closed.push_back(e);
            receivedAtClose = received.size();
        };
        s.OnDnsLookupDone = [this](TCustomWSocket*, std::uint16_t e) { dns.push_back(e); };
        s.OnDataAvailable = [this](TCustomWSocket* sender, std::uint16_t e) {
            available.push_back(e);
            char buf[4096];
            const int n = sender->Receive(buf, sizeof buf);
            receiveResults.push_back(n);
            if (n > 0)
                received.append(buf, static_cast<std::size_t>(n));
        };
        s.OnDataSent = [this](TCustomWSocket*, std::uint16_t) {
            ++dataSent;
            dataSentInsideSend = dataSentInsideSend || inSend;
        };
        s.OnSendData = [this](TCustomWSocket*, int n) { sendSizes.push_back(n); };
        s.OnChangeState = [this](TCustomWSocket*, State, State to) { states.push_back(to); };
    }

    int Send(TCustomWSocket& s, const std::string& data) {
        inSend = true;
        const int n = s.Send(data.data(), static_cast<int>(data.size()));
        inSend = false;
        return n;
    }
};

// Connects `sock` to a fresh loopback listener and returns the peer's end.
Fd ConnectPair(TWSocket& sock, const Recorder& rec) {
    Listener listener;
    sock.SetAddr("127.0.0.1");
    sock.SetPort(listener.PortText());
    sock.Connect();
    Fd peer = listener.Accept();
    EXPECT_GE(peer.Get(), 0);
    EXPECT_TRUE(ProcessEventsUntil([&] { return !rec.connected.empty(); }));
    EXPECT_EQ(sock.State(), State::wsConnected);
    return peer;
}

// --- name look-up -------------------------------------------------------------

TEST(WSocketDns, DottedAddressIsDoneInsideTheCallAndNormalised) {
    const struct {
        const char* host;
        const char* result;
    } rows[] = {
        {"127.000.000.001", "127.0.0.1"},
        {" 10.1.2.3 ", "10.1.2.3"},
        {"192.168.0.200", "192.168.0.200"},
        {"255.255.255.255", "255.255.255.255"},
    };
    for (const auto& row : rows) {
        Recorder rec;
        TWSocket sock;
        rec.Attach(sock);
        sock.DnsLookup(row.host);
        EXPECT_EQ(rec.dns, std::vector<int>{0}) << row.host;
        EXPECT_EQ(sock.DnsResult(), row.result) << row.host;
        EXPECT_EQ(sock.DnsResultList(), std::vector<std::string>{row.result}) << row.host;
    }
}

TEST(WSocketDns, NameCompletesLaterWithDottedResults) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    sock.DnsLookup("127.0.0.9"); // leaves a result the next look-up must clear
    sock.DnsLookup("localhost");
    EXPECT_EQ(rec.dns, std::vector<int>{0}) << "a name must not complete inside the call";
    EXPECT_EQ(sock.DnsResult(), "");
    EXPECT_TRUE(sock.DnsResultList().empty());

    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.dns.size() == 2; }));
    EXPECT_EQ(rec.dns[1], 0);
    EXPECT_EQ(sock.DnsResult(), "127.0.0.1");
    ASSERT_FALSE(sock.DnsResultList().empty());
    EXPECT_EQ(sock.DnsResultList().front(), sock.DnsResult());
    for (const std::string& a : sock.DnsResultList())
        EXPECT_TRUE(WSocketIsDottedIP(a)) << a;
}

TEST(WSocketDns, EmptyHostIsRefused) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    EXPECT_EQ(Refusal([&] { sock.DnsLookup(""); }), "DNS lookup: invalid host name.");
    EXPECT_TRUE(rec.dns.empty());
}

TEST(WSocketDns, CancelReportsInterruptedOnceAndOnlyForARunningLookup) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    sock.CancelDnsLookup();
    EXPECT_TRUE(rec.dns.empty()) << "nothing was running";

    sock.DnsLookup("localhost");
    sock.CancelDnsLookup();
    EXPECT_EQ(rec.dns, std::vector<int>{10004});

    // A fresh look-up completes normally; the cancelled one must not report too.
    sock.DnsLookup("localhost");
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.dns.size() >= 2; }));
    EXPECT_EQ(rec.dns, (std::vector<int>{10004, 0}));
    EXPECT_EQ(sock.DnsResult(), "127.0.0.1");

    sock.DnsLookup("localhost");
    sock.Abort();
    EXPECT_EQ(rec.dns, (std::vector<int>{10004, 0, 10004})) << "Abort cancels the look-up";
}

TEST(WSocketDns, DestroyingDuringALookupIsSafe) {
    Recorder gone;
    auto sock = std::make_unique<TWSocket>();
    gone.Attach(*sock);
    sock->DnsLookup("localhost");
    sock.reset();

    Recorder rec;
    TWSocket other;
    rec.Attach(other);
    other.DnsLookup("localhost");
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.dns.empty(); }));
    EXPECT_TRUE(gone.dns.empty());
}

// --- properties -----------------------------------------------------------------

TEST(WSocketProperties, NewSocketDefaults) {
    TWSocket sock;
    EXPECT_EQ(sock.State(), State::wsClosed);
    EXPECT_EQ(sock.Proto(), "tcp");
    EXPECT_EQ(sock.LocalAddr(), "0.0.0.0");
    EXPECT_EQ(sock.LocalPort(), "0");
    EXPECT_EQ(sock.LingerOnOff, TSocketLingerOnOff::wsLingerOn);
    EXPECT_EQ(sock.LingerTimeout, 0);
    EXPECT_EQ(sock.SendFlags(), TSocketSendFlags::wsSendNormal);
    EXPECT_EQ(sock.HSocket(), INVALID_SOCKET);
}

TEST(WSocketProperties, WritesAreTrimmed) {
    TWSocket sock;
    sock.SetAddr("  127.0.0.1 ");
    sock.SetPort(" 2121  ");
    sock.SetProto(" tcp ");
    sock.SetLocalAddr(" 127.0.0.1 ");
    EXPECT_EQ(sock.Addr(), "127.0.0.1");
    EXPECT_EQ(sock.Port(), "2121");
    EXPECT_EQ(sock.Proto(), "tcp");
    EXPECT_EQ(sock.LocalAddr(), "127.0.0.1");
}

TEST(WSocketProperties, ChangesAreRefusedUnlessClosed) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd peer = ConnectPair(sock, rec);
    ASSERT_EQ(sock.State(), State::wsConnected);

    const struct {
        const char* name;
        std::function<void()> write;
        const char* text;
    } rows[] = {
        {"Port", [&] { sock.SetPort("2121"); }, "Cannot change Port if not closed"},
        {"Addr", [&] { sock.SetAddr("127.0.0.2"); }, "Cannot change Addr if not closed"},
        {"Proto", [&] { sock.SetProto("udp"); }, "Cannot change Proto if not closed"},
        {"LocalPort", [&] { sock.SetLocalPort("2000"); }, "Cannot change LocalPort if not closed"},
        {"LocalAddr", [&] { sock.SetLocalAddr("127.0.0.1"); },
         "Cannot change LocalAddr if not closed"},
        {"LocalAddr invalid", [&] { sock.SetLocalAddr("x.y"); },
         "Cannot change LocalAddr if not closed"},
        {"Connect", [&] { sock.Connect(); }, "Connect: Socket already in use"},
    };
    const std::string addr = sock.Addr(), port = sock.Port(), localPort = sock.LocalPort();
    for (const auto& row : rows) {
        EXPECT_EQ(Refusal(row.write), row.text) << row.name;
        EXPECT_EQ(sock.State(), State::wsConnected) << row.name;
    }
    EXPECT_EQ(sock.Addr(), addr);
    EXPECT_EQ(sock.Port(), port);
    EXPECT_EQ(sock.Proto(), "tcp");
    EXPECT_EQ(sock.LocalPort(), localPort);
    EXPECT_EQ(sock.LocalAddr(), "0.0.0.0");

    // Writing what is already there is no change, so it is not refused.
    EXPECT_NO_THROW(sock.SetPort(port));
    EXPECT_NO_THROW(sock.SetAddr(addr));
    EXPECT_NO_THROW(sock.SetProto("tcp"));
    EXPECT_NO_THROW(sock.SetLocalPort(localPort));
    EXPECT_NO_THROW(sock.SetLocalAddr("0.0.0.0"));
    EXPECT_EQ(sock.State(), State::wsConnected);
}

TEST(WSocketProperties, InvalidValuesAreRefused) {
    TWSocket sock;
    for (const char* bad : {"x.y", "1.2.3", "256.0.0.1", "localhost"})
        EXPECT_EQ(Refusal([&] { sock.SetLocalAddr(bad); }), "SetLocalAddr(): Invalid IP address")
            << bad;
    EXPECT_EQ(sock.LocalAddr(), "0.0.0.0");
    sock.SetLocalAddr("127.0.0.1");
    EXPECT_EQ(sock.LocalAddr(), "127.0.0.1");

    for (int bad : {5, 2, -1})
        EXPECT_EQ(Refusal([&] { sock.SetSendFlags(bad); }), "Invalid SendFlags") << bad;
    sock.SetSendFlags(1);
    EXPECT_EQ(sock.SendFlags(), TSocketSendFlags::wsSendUrgent);
    sock.SetSendFlags(0);
    EXPECT_EQ(sock.SendFlags(), TSocketSendFlags::wsSendNormal);
}

TEST(WSocketProperties, LingerNeedsAnOpenHandleUnlessNotSet) {
    TWSocket sock;
    EXPECT_EQ(Refusal([&] { sock.SetLingerOption(); }), "Cannot set linger option at this time");
    sock.LingerOnOff = TSocketLingerOnOff::wsLingerNoSet;
    EXPECT_NO_THROW(sock.SetLingerOption());
}

TEST(WSocketProperties, CloseRestoresDefaultsSoAddressMustBeGivenAgain) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Listener listener;
    sock.SetAddr("127.0.0.1");
    sock.SetPort(listener.PortText());
    sock.SetLocalAddr("127.0.0.1");
    sock.LingerOnOff = TSocketLingerOnOff::wsLingerOff;
    sock.LingerTimeout = 7;
    sock.Connect();
    Fd peer = listener.Accept();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.connected.empty(); }));
    sock.Close();

    EXPECT_EQ(sock.Addr(), "");
    EXPECT_EQ(sock.Port(), "");
    EXPECT_EQ(sock.Proto(), "tcp");
    EXPECT_EQ(sock.LocalAddr(), "0.0.0.0");
    EXPECT_EQ(sock.LocalPort(), "0");
    EXPECT_EQ(sock.LingerOnOff, TSocketLingerOnOff::wsLingerOn);
    EXPECT_EQ(sock.LingerTimeout, 0);
    EXPECT_EQ(Refusal([&] { sock.Connect(); }), "Connect: No Port Specified");
}

// --- connect refusals -------------------------------------------------------------

TEST(WSocketResolve, IsDottedIP) {
    const struct {
        const char* text;
        bool dotted;
    } rows[] = {
        {"1.2.3.4", true},    {" 1.2.3.4 ", true},       {"127.000.000.001", true},
        {"0.0.0.0", true},    {"255.255.255.255", true}, {".1.2.3", false},
        {" .1.2.3.4", false}, {"1.2.3", false},          {"1.2.3.4.5", false},
        {"1.2.3.4.", false},  {"256.1.1.1", false},      {"1.2.3.256", false},
        {"999.1.1.1", false}, {"1..2.3", false},         {"1.2.3.4x", false},
        {"1.2.3.4 x", false}, {"1 .2.3.4", false},       {"1.2.3.-4", false},
        {"a.b.c.d", false},   {"localhost", false},      {"", false},
        {"   ", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(WSocketIsDottedIP(row.text), row.dotted) << '"' << row.text << '"';
}

TEST(WSocketResolve, ConnectRefusalsHappenBeforeAnySocketExists) {
    const std::string longHost(257, 'h');
    const struct {
        const char* name;
        std::function<void(TWSocket&)> setup;
        std::string text; // exact, or a prefix when it ends in '#'
    } rows[] = {
        {"no port", [](TWSocket& s) { s.SetAddr("127.0.0.1"); }, "Connect: No Port Specified"},
        {"blank port",
         [](TWSocket& s) {
             s.SetAddr("127.0.0.1");
             s.SetPort("   ");
         },
         "Connect: No Port Specified"},
        {"no address", [](TWSocket& s) { s.SetPort("21"); }, "Connect: No IP Address Specified"},
        {"no protocol",
         [](TWSocket& s) {
             s.SetAddr("127.0.0.1");
             s.SetPort("21");
             s.SetProto("");
         },
         "Connect: No Protocol Specified"},
        {"port of 32 characters",
         [](TWSocket& s) {
             s.SetAddr("127.0.0.1");
             s.SetPort(std::string(32, '2'));
         },
         "connect: WSocketResolvePort: Invalid Port."},
        {"empty local port",
         [](TWSocket& s) {
             s.SetAddr("127.0.0.1");
             s.SetPort("21");
             s.SetLocalPort("");
         },
         "connect: WSocketResolvePort: Invalid Port."},
        {"unknown service",
         [](TWSocket& s) {
             s.SetAddr("127.0.0.1");
             s.SetPort("no-such-service");
         },
         "connect: WSocketResolvePort: Cannot convert port 'no-such-service', Error #"},
        {"protocol of 32 characters",
         [](TWSocket& s) {
             s.SetAddr("127.0.0.1");
             s.SetPort("21");
             s.SetProto(std::string(32, 'p'));
         },
         "connect: WSocketResolveProto: Invalid Protocol."},
        {"unknown protocol",
         [](TWSocket& s) {
             s.SetAddr("127.0.0.1");
             s.SetPort("21");
             s.SetProto("no-such-proto");
         },
         "connect: WSocketResolveProto: Cannot convert protocol 'no-such-proto', Error #"},
        {"host of 257 characters",
         [&](TWSocket& s) {
             s.SetAddr(longHost);
             s.SetPort("21");
         },
         "connect: WSocketResolveHost: '" + longHost + "' Invalid Hostname."},
        // Dotted in form, but the last group is not a valid number to the converter.
        {"unconvertible dotted address",
         [](TWSocket& s) {
             s.SetAddr("127.0.0.08");
             s.SetPort("21");
         },
         "connect: WSocketResolveHost: '127.0.0.08' Invalid IP address."},
    };
    for (const auto& row : rows) {
        Recorder rec;
        TWSocket sock;
        rec.Attach(sock);
        row.setup(sock);
        const std::string got = Refusal([&] { sock.Connect(); });
        if (row.text.back() == '#')
            EXPECT_EQ(got.substr(0, row.text.size()), row.text) << row.name;
        else
            EXPECT_EQ(got, row.text) << row.name;
        EXPECT_TRUE(rec.states.empty()) << row.name;
        EXPECT_EQ(sock.HSocket(), INVALID_SOCKET) << row.name;
    }
}

// The port is resolved before anything is bound or connected, so a local bind
// that cannot succeed shows what "ftp" became without a connection to port 21.
TEST(WSocketResolve, ServiceNameResolvesToItsPort) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    sock.SetAddr("127.0.0.1");
    sock.SetPort("ftp");
    sock.SetLocalAddr("192.0.2.1"); // not an address of this host
    EXPECT_EQ(Refusal([&] { sock.Connect(); }), "winsock.bind failed, error #10049");
    EXPECT_EQ(sock.PeerPort(), 21);
    EXPECT_EQ(sock.PeerAddr(), "127.0.0.1");
    sock.Abort();
    EXPECT_EQ(sock.State(), State::wsClosed);
    EXPECT_EQ(sock.HSocket(), INVALID_SOCKET);
}

// --- connect -------------------------------------------------------------------

TEST(WSocketConnect, SuccessReportsZeroAfterTheStatesInOrder) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Listener listener;
    sock.SetAddr("127.0.0.1");
    sock.SetPort(listener.PortText());
    sock.Connect();
    EXPECT_EQ(rec.states, (std::vector<State>{State::wsOpened, State::wsConnecting}));
    EXPECT_TRUE(rec.connected.empty()) << "the outcome is reported from the event loop";
    Fd peer = listener.Accept();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.connected.empty(); }));

    EXPECT_EQ(rec.connected, std::vector<int>{0});
    EXPECT_EQ(rec.states,
              (std::vector<State>{State::wsOpened, State::wsConnecting, State::wsConnected}));
    EXPECT_EQ(sock.PeerAddr(), "127.0.0.1");
    EXPECT_EQ(sock.PeerPort(), listener.Port());
    EXPECT_EQ(sock.GetSockName().Port, RemotePortOf(peer.Get()));
    EXPECT_TRUE(rec.closed.empty());
}

TEST(WSocketConnect, HostNameIsResolvedByConnect) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Listener listener;
    sock.SetAddr("localhost");
    sock.SetPort(listener.PortText());
    sock.Connect();
    Fd peer = listener.Accept();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.connected.empty(); }));
    EXPECT_EQ(rec.connected, std::vector<int>{0});
    EXPECT_EQ(sock.PeerAddr(), "127.0.0.1");
}

TEST(WSocketConnect, LocalBindReportsThePortGiven) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Listener listener;
    sock.SetAddr("127.0.0.1");
    sock.SetPort(listener.PortText());
    sock.SetLocalAddr("127.0.0.1");
    sock.Connect();
    Fd peer = listener.Accept();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.connected.empty(); }));
    EXPECT_NE(sock.LocalPort(), "0");
    EXPECT_EQ(sock.LocalPort(), std::to_string(RemotePortOf(peer.Get())));
}

TEST(WSocketConnect, RefusedReports10061ThenClosesAndCanConnectAgain) {
    int deadPort = 0;
    {
        Listener gone;
        deadPort = gone.Port();
    }
    Recorder rec, again;
    TWSocket sock;
    rec.Attach(sock);
    sock.SetAddr("127.0.0.1");
    sock.SetPort(std::to_string(deadPort));
    sock.Connect();
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return !rec.connected.empty() && sock.State() == State::wsClosed; }));
    EXPECT_EQ(rec.connected, std::vector<int>{10061});
    EXPECT_STREQ(wsock::Description(rec.connected[0]), "Connection refused");
    EXPECT_EQ(rec.states, (std::vector<State>{State::wsOpened, State::wsConnecting,
                                              State::wsConnected, State::wsClosed}));
    EXPECT_EQ(rec.closed, std::vector<int>{0});
    EXPECT_EQ(sock.HSocket(), INVALID_SOCKET);

    again.Attach(sock);
    Fd peer = ConnectPair(sock, again);
    EXPECT_EQ(again.connected, std::vector<int>{0});
}

// --- sending ------------------------------------------------------------------

TEST(WSocketSend, FourThousandBytesGoOutAsThreeBlocks) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd peer = ConnectPair(sock, rec);
    const std::string data = RandomBytes(4000, 1);
    EXPECT_EQ(rec.Send(sock, data), 4000);
    EXPECT_EQ(rec.sendSizes, (std::vector<int>{1514, 1514, 972}));
    EXPECT_EQ(sock.BufferedByteCount(), 0);
    EXPECT_EQ(ReadUpTo(peer.Get(), data.size()), data);
}

TEST(WSocketSend, DataSentComesLaterAndOncePerSend) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd peer = ConnectPair(sock, rec);
    EXPECT_EQ(rec.Send(sock, "hello"), 5);
    EXPECT_EQ(rec.dataSent, 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.dataSent > 0; }));
    EXPECT_FALSE(rec.dataSentInsideSend);

    // Let a later event through the loop; a second OnDataSent would have come first.
    ASSERT_EQ(ReadUpTo(peer.Get(), 5), "hello");
    ASSERT_TRUE(WriteAll(peer.Get(), "!"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.received == "!"; }));
    EXPECT_EQ(rec.dataSent, 1);
}

TEST(WSocketSend, NotConnectedRaisesSocketError10057) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    EXPECT_EQ(Refusal([&] { sock.SendStr("x"); }),
              "Error 10057 in function Send\r\nSocket is not connected");
    EXPECT_EQ(sock.LastError(), 10057);
    EXPECT_TRUE(rec.sendSizes.empty());

    int errors = 0;
    sock.OnError = [&](TCustomWSocket* sender) {
        EXPECT_EQ(sender, &sock);
        ++errors;
    };
    EXPECT_EQ(sock.Send("x", 1), -1);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(sock.LastError(), 10057);
    EXPECT_EQ(sock.State(), State::wsClosed);
}

TEST(WSocketSend, AfterCloseIsNotConnected) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd peer = ConnectPair(sock, rec);
    sock.Close();
    EXPECT_EQ(Refusal([&] { sock.SendStr("late"); }),
              "Error 10057 in function Send\r\nSocket is not connected");
}

// --- closing ----------------------------------------------------------------

TEST(WSocketClose, PeerDataArrivesBeforeTheCloseAndCloseIsReportedOnce) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd peer = ConnectPair(sock, rec);
    const std::string data = RandomBytes(200000, 2);
    {
        std::jthread writer([&] {
            WriteAll(peer.Get(), data);
            peer.Reset();
        });
        ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.closed.empty(); }));
    }
    EXPECT_EQ(rec.closed, std::vector<int>{0});
    EXPECT_EQ(rec.receivedAtClose, data.size());
    EXPECT_EQ(rec.received, data);
    EXPECT_EQ(sock.State(), State::wsClosed);
    EXPECT_EQ(sock.ReadCount(), static_cast<std::int64_t>(data.size()));
}

TEST(WSocketClose, ReceiveAfterThePeerClosedReturnsZero) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd peer = ConnectPair(sock, rec);
    std::vector<int> atClose;
    sock.OnSessionClosed = [&](TCustomWSocket* s, std::uint16_t e) {
        rec.closed.push_back(e);
        char buf[16];
        atClose.push_back(s->Receive(buf, sizeof buf));
    };
    ASSERT_TRUE(WriteAll(peer.Get(), "xyz"));
    peer.Reset();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.closed.empty(); }));
    EXPECT_EQ(rec.received, "xyz");
    EXPECT_EQ(rec.receiveResults.back(), 0);
    EXPECT_EQ(atClose, std::vector<int>{0});
}

TEST(WSocketClose, OurCloseReportsInsideTheCallAndNotAgain) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd peer = ConnectPair(sock, rec);
    sock.Close();
    EXPECT_EQ(rec.closed, std::vector<int>{0});
    EXPECT_EQ(sock.State(), State::wsClosed);
    EXPECT_EQ(PeerEndOfStream(peer.Get()), 0) << "the peer sees an orderly close";
    peer.Reset();
    sock.Close();
    // Nothing can be awaited once our handle is gone; give a stray event a chance.
    testsupport::ProcessEventsFor(30);
    EXPECT_EQ(rec.closed, std::vector<int>{0});
}

TEST(WSocketClose, ReportedOncePerConnectionOfTheSameObject) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    for (int round = 1; round <= 2; ++round) {
        rec.connected.clear();
        Fd peer = ConnectPair(sock, rec);
        ASSERT_TRUE(WriteAll(peer.Get(), "bye"));
        peer.Reset();
        ASSERT_TRUE(ProcessEventsUntil([&] { return sock.State() == State::wsClosed; }));
        EXPECT_EQ(rec.closed.size(), static_cast<std::size_t>(round)) << "round " << round;
    }
    EXPECT_EQ(rec.received, "byebye");
}

TEST(WSocketClose, PeerResetIsReportedOnceWithAnError) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd peer = ConnectPair(sock, rec);
    ASSERT_TRUE(WriteAll(peer.Get(), "abc"));
    const linger hard{1, 0};
    ::setsockopt(peer.Get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    peer.Reset();
    ASSERT_TRUE(ProcessEventsUntil([&] { return sock.State() == State::wsClosed; }));
    EXPECT_EQ(rec.closed, std::vector<int>{10054});
    EXPECT_EQ(rec.received, "abc");
}

TEST(WSocketClose, DestroyingAConnectedSocketClosesWithoutAnEvent) {
    Recorder rec;
    auto sock = std::make_unique<TWSocket>();
    rec.Attach(*sock);
    Fd peer = ConnectPair(*sock, rec);
    sock.reset();
    EXPECT_TRUE(rec.closed.empty());
    EXPECT_EQ(PeerEndOfStream(peer.Get()), 0);
}

TEST(WSocketClose, WithoutAReadHandlerDataIsDrainedAndTheCloseSeen) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd peer = ConnectPair(sock, rec);
    sock.OnDataAvailable = nullptr;
    ASSERT_TRUE(WriteAll(peer.Get(), RandomBytes(10000, 5)));
    peer.Reset();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.closed.empty(); }));
    EXPECT_EQ(rec.closed, std::vector<int>{0});
    EXPECT_EQ(sock.ReadCount(), 10000);
}

TEST(WSocketClose, ResetSeenBySendIsReportedOnce) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd peer = ConnectPair(sock, rec);
    const linger hard{1, 0};
    ::setsockopt(peer.Get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    peer.Reset();
    // Wait for the reset outside the event loop, so that Send is the first to meet it.
    pollfd p{sock.HSocket(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);

    EXPECT_NO_THROW(sock.SendStr("into the void"));
    EXPECT_EQ(rec.closed, std::vector<int>{10054});
    EXPECT_EQ(sock.State(), State::wsClosed);
    testsupport::ProcessEventsFor(30);
    EXPECT_EQ(rec.closed, std::vector<int>{10054});
}

TEST(WSocketClose, ShutDownOfSendingKeepsReceiving) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd peer = ConnectPair(sock, rec);
    sock.ShutDown(1);
    EXPECT_EQ(PeerEndOfStream(peer.Get()), 0);
    ASSERT_TRUE(WriteAll(peer.Get(), "still here"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.received == "still here"; }));
    EXPECT_EQ(sock.State(), State::wsConnected);
}

// Linux hands the lowest free descriptor to the next socket, so a connection
// closed and reopened at once usually gets the same number back. Anything still
// queued for the old connection must not reach the new one.
// FAULT: PostWritable() recognises its connection by descriptor number only; the
// OnDataSent owed to the closed connection fires on the new one while it is
// still wsConnecting.
TEST(WSocketFault, DISABLED_DataSentOfAClosedConnectionDoesNotReachTheNextOne) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Listener listener;
    sock.SetAddr("127.0.0.1");
    sock.SetPort(listener.PortText());
    sock.Connect();
    Fd first = listener.Accept();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.connected.empty(); }));
    const TSocket oldHandle = sock.HSocket();
    sock.SendStr("abc");
    sock.Close();

    std::vector<State> statesAtDataSent;
    sock.OnDataSent = [&](TCustomWSocket* s, std::uint16_t) {
        statesAtDataSent.push_back(s->State());
    };
    rec.connected.clear();
    sock.SetAddr("127.0.0.1");
    sock.SetPort(listener.PortText());
    sock.Connect();
    ASSERT_EQ(sock.HSocket(), oldHandle) << "descriptor not reused; the case is not exercised";
    Fd second = listener.Accept();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.connected.empty(); }));
    EXPECT_TRUE(statesAtDataSent.empty())
        << "OnDataSent fired " << statesAtDataSent.size() << " time(s) on a connection that sent "
        << "nothing, first in state " << SocketStateName(statesAtDataSent.front());
}

// The same descriptor reuse inside a handler: a handler that closes and connects
// again gets the old number back, and the dispatcher, seeing "the same" handle,
// goes on to finish the old connection's work on the new one.
// FAULT: Dispatch() checks "still the same connection" by descriptor number; after
// OnSessionConnected(10061) a handler's Close() + Connect() (retry) is followed by
// the dispatcher's own Close(), which closes the retry before it can connect.
TEST(WSocketFault, DISABLED_RetryFromTheFailedConnectHandlerIsNotClosedBehindIt) {
    int deadPort = 0;
    {
        Listener gone;
        deadPort = gone.Port();
    }
    Listener live;
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    bool reused = false;
    sock.OnSessionConnected = [&](TCustomWSocket* s, std::uint16_t e) {
        rec.connected.push_back(e);
        if (e == 0)
            return;
        const TSocket old = s->HSocket();
        s->Close();
        s->SetAddr("127.0.0.1");
        s->SetPort(live.PortText());
        s->Connect();
        reused = s->HSocket() == old;
    };
    sock.SetAddr("127.0.0.1");
    sock.SetPort(std::to_string(deadPort));
    sock.Connect();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.connected.empty(); }));
    ASSERT_TRUE(reused) << "descriptor not reused; the case is not exercised";
    Fd peer = live.Accept();
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.connected.size() == 2; }, 1000))
        << "the retry was closed before it connected; state " << SocketStateName(sock.State());
    EXPECT_EQ(rec.connected, (std::vector<int>{10061, 0}));
    EXPECT_EQ(sock.State(), State::wsConnected);
}

// FAULT: same cause; a Close() + Connect() from OnSessionClosed (peer closed) is
// closed again by the dispatcher, with a second OnSessionClosed.
TEST(WSocketFault, DISABLED_ReconnectFromTheClosedHandlerIsNotClosedBehindIt) {
    Listener live;
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    sock.SetAddr("127.0.0.1");
    sock.SetPort(live.PortText());
    sock.Connect();
    Fd first = live.Accept();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.connected.empty(); }));
    bool reused = false;
    sock.OnSessionClosed = [&](TCustomWSocket* s, std::uint16_t e) {
        rec.closed.push_back(e);
        if (rec.closed.size() > 1)
            return;
        const TSocket old = s->HSocket();
        s->Close();
        s->SetAddr("127.0.0.1");
        s->SetPort(live.PortText());
        s->Connect();
        reused = s->HSocket() == old;
    };
    rec.connected.clear();
    first.Reset();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.closed.empty(); }));
    ASSERT_TRUE(reused) << "descriptor not reused; the case is not exercised";
    Fd second = live.Accept();
    ProcessEventsUntil([&] { return !rec.connected.empty() || rec.closed.size() > 1; }, 1000);
    EXPECT_EQ(rec.closed, std::vector<int>{0});
    EXPECT_EQ(rec.connected, std::vector<int>{0});
    EXPECT_EQ(sock.State(), State::wsConnected);
}

// --- datagrams ------------------------------------------------------------------

class UdpPeer {
public:
    UdpPeer() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        const sockaddr_in a = Loopback(0);
        ::bind(fd_.Get(), reinterpret_cast<const sockaddr*>(&a), sizeof a);
        SetPeerTimeouts(fd_.Get());
        port_ = LocalPortOf(fd_.Get());
    }
    int Port() const { return port_; }
    // Returns the datagram and the port it came from.
    std::pair<std::string, int> Receive() {
        char buf[2048];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            ::recvfrom(fd_.Get(), buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        return {std::string(buf, static_cast<std::size_t>(std::max<ssize_t>(n, 0))),
                ntohs(from.sin_port)};
    }
    void SendTo(int port, const std::string& data) {
        const sockaddr_in a = Loopback(port);
        ::sendto(fd_.Get(), data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&a),
                 sizeof a);
    }

private:
    Fd fd_;
    int port_ = 0;
};

TEST(WSocketDatagram, ConnectIsImmediateAndDatagramsFlowBothWays) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    UdpPeer peer;
    sock.SetProto("udp");
    sock.SetAddr("127.0.0.1");
    sock.SetPort(std::to_string(peer.Port()));
    sock.Connect();
    EXPECT_EQ(rec.connected, std::vector<int>{0});
    EXPECT_EQ(sock.State(), State::wsConnected);
    ASSERT_NE(sock.LocalPort(), "0") << "a datagram socket is always bound";

    sock.SendStr("dgram");
    const auto [data, from] = peer.Receive();
    EXPECT_EQ(data, "dgram");
    EXPECT_EQ(std::to_string(from), sock.LocalPort());

    peer.SendTo(from, "reply");
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.received == "reply"; }));
    EXPECT_TRUE(rec.closed.empty());
}

// FAULT: a readable datagram socket is told apart from a closed one by peeking
// one byte; an empty datagram peeks as 0 bytes, is taken for the peer's close,
// and the socket is closed (OnSessionClosed 0, wsClosed). Datagram sockets have
// no close to report.
TEST(WSocketFault, DISABLED_EmptyDatagramDoesNotCloseTheSocket) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    UdpPeer peer;
    sock.SetProto("udp");
    sock.SetAddr("127.0.0.1");
    sock.SetPort(std::to_string(peer.Port()));
    sock.Connect();
    const int ours = std::stoi(sock.LocalPort());
    peer.SendTo(ours, "");
    peer.SendTo(ours, "after");
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.received == "after" || !rec.closed.empty(); }));
    EXPECT_TRUE(rec.closed.empty());
    EXPECT_EQ(sock.State(), State::wsConnected);
    EXPECT_EQ(rec.received, "after");
}

// --- volume -------------------------------------------------------------------

TEST(WSocketTransfer, FiveMegabytesBothWaysArriveIntact) {
    constexpr std::size_t kSize = 5 * 1024 * 1024;
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd peer = ConnectPair(sock, rec);
    const std::string up = RandomBytes(kSize, 3);
    const std::string down = RandomBytes(kSize, 4);
    std::string peerGot;
    std::atomic<bool> peerDone{false};
    {
        std::jthread reader([&] {
            peerGot = ReadUpTo(peer.Get(), kSize);
            peerDone = true;
        });
        std::jthread writer([&] { WriteAll(peer.Get(), down); });
        EXPECT_EQ(rec.Send(sock, up), static_cast<int>(kSize));
        ASSERT_TRUE(ProcessEventsUntil(
            [&] { return peerDone && rec.received.size() >= kSize && rec.dataSent > 0; }, 20000));
    }
    EXPECT_TRUE(peerGot == up) << "upload corrupted (" << peerGot.size() << " bytes)";
    EXPECT_TRUE(rec.received == down) << "download corrupted (" << rec.received.size() << " bytes)";
    EXPECT_EQ(rec.dataSent, 1);
    EXPECT_FALSE(rec.dataSentInsideSend);
    std::size_t total = 0;
    for (int n : rec.sendSizes) {
        EXPECT_GT(n, 0);
        EXPECT_LE(n, 1514);
        total += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(total, kSize);
    EXPECT_TRUE(rec.closed.empty());
}

// --- failures inside handlers ---------------------------------------------------

TEST(WSocketBgException, HandlerExceptionIsOfferedAndAbortsTheSocket) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd peer = ConnectPair(sock, rec);
    std::vector<std::string> offered;
    sock.OnDataAvailable = [](TCustomWSocket*, std::uint16_t) {
        throw std::runtime_error("handler failed");
    };
    sock.OnBgException = [&](TCustomWSocket* sender, const std::exception& e, bool& canClose) {
        EXPECT_EQ(sender, &sock);
        EXPECT_TRUE(canClose);
        offered.emplace_back(e.what());
    };
    ASSERT_TRUE(WriteAll(peer.Get(), "data"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.closed.empty(); }));
    EXPECT_EQ(offered, std::vector<std::string>{"handler failed"});
    EXPECT_EQ(rec.closed.size(), 1u);
    EXPECT_EQ(sock.State(), State::wsClosed);
    EXPECT_EQ(sock.HSocket(), INVALID_SOCKET);
    EXPECT_LE(PeerEndOfStream(peer.Get()), 0);
}

TEST(WSocketBgException, ClearingCanCloseKeepsTheSocketOpen) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd peer = ConnectPair(sock, rec);
    const auto read = sock.OnDataAvailable;
    int calls = 0;
    sock.OnDataAvailable = [&](TCustomWSocket* s, std::uint16_t e) {
        if (calls++ == 0)
            throw std::runtime_error("first call fails");
        read(s, e);
    };
    int offered = 0;
    sock.OnBgException = [&](TCustomWSocket*, const std::exception&, bool& canClose) {
        ++offered;
        canClose = false;
    };
    ASSERT_TRUE(WriteAll(peer.Get(), "hello"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.received == "hello"; }));
    EXPECT_EQ(offered, 1);
    EXPECT_EQ(sock.State(), State::wsConnected);
    EXPECT_TRUE(rec.closed.empty());
}

// --- listen and accept ----------------------------------------------------------

TEST(WSocketListen, AcceptedHandleCarriedByAnotherSocketExchangesData) {
    Recorder srvRec;
    TWSocket server;
    srvRec.Attach(server);
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    server.Listen();
    EXPECT_EQ(server.State(), State::wsListening);
    const TSockAddrText name = server.GetSockName();
    EXPECT_EQ(name.Addr, "127.0.0.1");
    ASSERT_NE(name.Port, 0);

    Fd accepted;
    std::vector<int> available;
    server.OnSessionAvailable = [&](TCustomWSocket* s, std::uint16_t e) {
        available.push_back(e);
        accepted = Fd(s->Accept());
    };
    Fd client = ConnectTo(name.Port);
    ASSERT_GE(client.Get(), 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return accepted.Get() >= 0; }));
    EXPECT_EQ(available, std::vector<int>{0});
    EXPECT_EQ(server.PeerPort(), LocalPortOf(client.Get()));

    Recorder rec;
    TWSocket conn;
    rec.Attach(conn);
    conn.Dup(accepted.Release());
    EXPECT_EQ(conn.State(), State::wsConnected);
    EXPECT_EQ(rec.states, std::vector<State>{State::wsConnected});
    EXPECT_EQ(conn.PeerPort(), LocalPortOf(client.Get()));

    conn.SendStr("ping");
    EXPECT_EQ(ReadUpTo(client.Get(), 4), "ping");
    ASSERT_TRUE(WriteAll(client.Get(), "pong"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.received == "pong"; }));
    EXPECT_EQ(server.State(), State::wsListening);
}

// FAULT (minor): Listen passes through wsOpened (closed, opened, bound, listening);
// a listening socket goes from wsClosed to wsBound, then wsListening.
TEST(WSocketFault, DISABLED_ListenGoesThroughBoundToListening) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    sock.SetAddr("127.0.0.1");
    sock.SetPort("0");
    sock.Listen();
    EXPECT_EQ(rec.states, (std::vector<State>{State::wsBound, State::wsListening}));
}

TEST(WSocketListen, DupOfAnOpenSocketDropsTheOldConnectionSilently) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd oldPeer = ConnectPair(sock, rec);

    Listener listener;
    Fd client = ConnectTo(listener.Port());
    Fd accepted = listener.Accept();
    sock.Dup(accepted.Release());
    EXPECT_TRUE(rec.closed.empty());
    EXPECT_EQ(sock.State(), State::wsConnected);
    EXPECT_EQ(PeerEndOfStream(oldPeer.Get()), 0);

    ASSERT_TRUE(WriteAll(client.Get(), "new"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.received == "new"; }));
    EXPECT_EQ(Refusal([&] { sock.Dup(INVALID_SOCKET); }),
              "Error 10022 in function Dup\r\nInvalid argument");
}

TEST(WSocketListen, RefusalsOfListenAndAccept) {
    TWSocket sock;
    EXPECT_EQ(Refusal([&] { sock.Accept(); }),
              "Error 10022 in function not a listening socket\r\nInvalid argument");
    EXPECT_EQ(sock.LastError(), 10022);

    sock.SetAddr("127.0.0.1");
    const std::string noPort = Refusal([&] { sock.Listen(); });
    EXPECT_NE(noPort.find("listen: port not assigned"), std::string::npos) << noPort;
    EXPECT_EQ(sock.LastError(), 10022);

    Listener busy;
    sock.SetPort(busy.PortText());
    EXPECT_EQ(Refusal([&] { sock.Listen(); }),
              "Error 10048 in function Bind\r\nAddress already in use");
    EXPECT_EQ(sock.State(), State::wsClosed);
    EXPECT_EQ(sock.HSocket(), INVALID_SOCKET);
}

} // namespace
