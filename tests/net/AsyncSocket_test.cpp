#include "support/LoopbackPeer.h"

#include <functional>
#include <memory>

using namespace nettest;

namespace {

using AsyncSocketDns = SocketTest;
using AsyncSocketProperties = SocketTest;
using AsyncSocketConnect = SocketTest;

// --- name look-up -------------------------------------------------------------

TEST_F(AsyncSocketDns, DottedAddressIsDoneInsideTheCallAndNormalised) {
    const struct {
        const char* host;
        const char* result;
    } rows[] = {
        {"127.000.000.001", "127.0.0.1"},    {" 10.1.2.3 ", "10.1.2.3"},
        {"192.168.0.200", "192.168.0.200"},  {"255.255.255.255", "255.255.255.255"},
        {"192.168.001.010", "192.168.1.10"}, // decimal, never octal
        {"00001.2.3.04", "1.2.3.4"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.host);
        rec.dns.clear();
        sock.DnsLookup(row.host);
        EXPECT_EQ(rec.dns, std::vector<int>{0});
        EXPECT_EQ(sock.DnsResult(), row.result);
        EXPECT_EQ(sock.DnsResultList(), std::vector<std::string>{row.result});
    }
}

// A name completes from the event loop, never inside the call; a cancel
// reports once, and only for a look-up that runs.
TEST_F(AsyncSocketDns, NameCompletesLaterAndCancelReportsInterruptedOnce) {
    sock.CancelDnsLookup();
    EXPECT_TRUE(rec.dns.empty()) << "nothing was running";
    sock.DnsLookup("localhost");
    sock.CancelDnsLookup();
    EXPECT_EQ(rec.dns, std::vector<int>{10004});

    sock.DnsLookup("127.0.0.9"); // leaves a result the next look-up must clear
    sock.DnsLookup("localhost");
    EXPECT_EQ(rec.dns, (std::vector<int>{10004, 0})) << "a name must not complete inside the call";
    EXPECT_EQ(sock.DnsResult(), "");
    EXPECT_TRUE(sock.DnsResultList().empty());
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.dns.size() >= 3; }));
    EXPECT_EQ(rec.dns, (std::vector<int>{10004, 0, 0})) << "the cancelled one must not report";
    EXPECT_EQ(sock.DnsResult(), "127.0.0.1");
    ASSERT_FALSE(sock.DnsResultList().empty());
    EXPECT_EQ(sock.DnsResultList().front(), sock.DnsResult());
    for (const std::string& a : sock.DnsResultList())
        EXPECT_TRUE(IsDottedIP(a)) << a;

    sock.DnsLookup("localhost");
    sock.Abort();
    EXPECT_EQ(rec.dns, (std::vector<int>{10004, 0, 0, 10004})) << "Abort cancels the look-up";
}

TEST_F(AsyncSocketDns, DestroyingDuringALookupIsSafe) {
    Recorder gone;
    auto doomed = std::make_unique<SocksSocket>();
    gone.Attach(*doomed);
    doomed->DnsLookup("localhost");
    doomed.reset();

    sock.DnsLookup("localhost");
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.dns.empty(); }));
    EXPECT_TRUE(gone.dns.empty());
}

// --- properties -----------------------------------------------------------------

TEST_F(AsyncSocketProperties, ChangesAreRefusedUnlessClosed) {
    Fd peer = ConnectPair(sock, rec);
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

TEST_F(AsyncSocketProperties, WritesAreTrimmedAndCloseRestoresTheDefaults) {
    Listener listener;
    sock.SetAddr("  127.0.0.1 ");
    sock.SetPort(" " + listener.PortText() + "  ");
    sock.SetLocalAddr(" 127.0.0.1 ");
    sock.SetProto(" tcp ");
    sock.LingerOnOff = SocketLinger::wsLingerOff;
    sock.LingerTimeout = 7;
    sock.Connect();
    Fd peer = listener.Accept();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.connected.empty(); }));
    EXPECT_EQ(rec.connected, std::vector<int>{0});
    sock.Close();

    const SocksSocket fresh;
    EXPECT_EQ(sock.Addr(), fresh.Addr());
    EXPECT_EQ(sock.Port(), fresh.Port());
    EXPECT_EQ(sock.Proto(), fresh.Proto());
    EXPECT_EQ(sock.LocalAddr(), fresh.LocalAddr());
    EXPECT_EQ(sock.LocalPort(), fresh.LocalPort());
    EXPECT_EQ(sock.LingerOnOff, fresh.LingerOnOff);
    EXPECT_EQ(sock.LingerTimeout, fresh.LingerTimeout);
    EXPECT_EQ(Refusal([&] { sock.Connect(); }), "Connect: No Port Specified");
}

// Sets the target of a fresh socket and connects; "" leaves an address or port unset.
std::function<void(SocksSocket&)> Connecting(std::string addr, std::string port,
                                             std::string proto = "tcp",
                                             std::string localPort = "0") {
    return [=](SocksSocket& s) {
        s.SetAddr(addr);
        s.SetPort(port);
        s.SetProto(proto);
        s.SetLocalPort(localPort);
        s.Connect();
    };
}

// Every refusal of a closed socket: the exact text, the number it carries in
// LastError, and nothing opened, reported or changed.
TEST(AsyncSocketRefusal, ClosedSocketRefusesWithExactTextAndStaysUntouched) {
    const std::string longHost(257, 'h');
    const std::string longPort(32, '2'), longProto(32, 'p');
    Listener busy;
    const struct {
        const char* name;
        std::function<void(SocksSocket&)> act;
        std::string text; // exact, or a prefix when it ends in '#'
    } rows[] = {
        {"look-up of no host", [](SocksSocket& s) { s.DnsLookup(""); },
         "DNS lookup: invalid host name."},
        // The same check as IsDottedIP, whose table covers the other forms.
        {"local address by name", [](SocksSocket& s) { s.SetLocalAddr("localhost"); },
         "SetLocalAddr(): Invalid IP address"},
        {"send flags 5", [](SocksSocket& s) { s.SetSendFlags(5); }, "Invalid SendFlags"},
        {"send flags -1", [](SocksSocket& s) { s.SetSendFlags(-1); }, "Invalid SendFlags"},
        {"linger without a handle", [](SocksSocket& s) { s.SetLingerOption(); },
         "Cannot set linger option at this time"},
        {"send unconnected", [](SocksSocket& s) { s.SendStr("x"); },
         "Error 10057 in function Send\r\nSocket is not connected"},
        {"accept not listening", [](SocksSocket& s) { s.Accept(); },
         "Error 10022 in function not a listening socket\r\nInvalid argument"},
        {"dup of no handle", [](SocksSocket& s) { s.Dup(INVALID_SOCKET); },
         "Error 10022 in function Dup\r\nInvalid argument"},
        {"listen without port",
         [](SocksSocket& s) {
             s.SetAddr("127.0.0.1");
             s.Listen();
         },
         "Error 10022 in function listen: port not assigned\r\nInvalid argument"},
        {"listen on a port in use",
         [&](SocksSocket& s) {
             s.SetAddr("127.0.0.1");
             s.SetPort(busy.PortText());
             s.Listen();
         },
         "Error 10048 in function Bind\r\nAddress already in use"},
        {"connect without port", Connecting("127.0.0.1", ""), "Connect: No Port Specified"},
        {"connect with blank port", Connecting("127.0.0.1", "   "), "Connect: No Port Specified"},
        {"connect without address", Connecting("", "21"), "Connect: No IP Address Specified"},
        {"connect without protocol", Connecting("127.0.0.1", "21", ""),
         "Connect: No Protocol Specified"},
        {"port of 32 characters", Connecting("127.0.0.1", longPort),
         "connect: ResolvePort: Invalid Port."},
        {"empty local port", Connecting("127.0.0.1", "21", "tcp", ""),
         "connect: ResolvePort: Invalid Port."},
        {"unknown service", Connecting("127.0.0.1", "no-such-service"),
         "connect: ResolvePort: Cannot convert port 'no-such-service', Error #"},
        {"protocol of 32 characters", Connecting("127.0.0.1", "21", longProto),
         "connect: ResolveProto: Invalid Protocol."},
        {"unknown protocol", Connecting("127.0.0.1", "21", "no-such-proto"),
         "connect: ResolveProto: Cannot convert protocol 'no-such-proto', Error #"},
        {"host of 257 characters", Connecting(longHost, "21"),
         "connect: ResolveHost: '" + longHost + "' Invalid Hostname."},
        // Dotted in form, but the last group is not a valid number to the converter.
        {"unconvertible dotted address", Connecting("255.255.255.0255", "21"),
         "connect: ResolveHost: '255.255.255.0255' Invalid IP address."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder rec;
        SocksSocket sock;
        rec.Attach(sock);
        const std::string got = Refusal([&] { row.act(sock); });
        if (row.text.back() == '#')
            EXPECT_EQ(got.substr(0, row.text.size()), row.text);
        else
            EXPECT_EQ(got, row.text);
        if (row.text.starts_with("Error ")) {
            EXPECT_EQ(sock.LastError(), std::stoi(row.text.substr(6)));
        }
        EXPECT_TRUE(rec.states.empty());
        EXPECT_TRUE(rec.connected.empty() && rec.closed.empty() && rec.dns.empty());
        EXPECT_EQ(sock.State(), State::wsClosed);
        EXPECT_EQ(sock.HSocket(), INVALID_SOCKET);
        EXPECT_EQ(sock.LocalAddr(), "0.0.0.0");
        EXPECT_EQ(sock.SendFlags(), SocketSendFlags::wsSendNormal);
    }

    Recorder rec;
    SocksSocket sock;
    rec.Attach(sock);
    sock.LingerOnOff = SocketLinger::wsLingerNoSet;
    EXPECT_NO_THROW(sock.SetLingerOption()) << "nothing to set, so nothing to refuse";

    // With an error handler a send is refused by its result instead.
    int errors = 0;
    sock.OnError = [&](AsyncSocket* sender) { errors += sender == &sock; };
    EXPECT_EQ(sock.Send("x", 1), -1);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(sock.LastError(), 10057);
    EXPECT_TRUE(rec.sendSizes.empty());
}

// --- resolving ------------------------------------------------------------------

TEST(AsyncSocketResolve, IsDottedIP) {
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
        {"   ", false},       {"00001.2.3.4", true},     {"1.2.3.0000256", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(IsDottedIP(row.text), row.dotted) << '"' << row.text << '"';
}

// The port is resolved before anything is bound or connected, so a local bind
// that cannot succeed shows what "ftp" became without a connection to port 21.
TEST_F(AsyncSocketConnect, ServiceNameResolvesToItsPort) {
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

// The same socket connects once per row: each close must leave it ready for the next.
TEST_F(AsyncSocketConnect, ReportsZeroFromTheLoopAfterTheStatesInOrder) {
    const struct {
        const char* name;
        const char* addr;
        const char* localAddr;
    } rows[] = {
        {"dotted address", "127.0.0.1", "0.0.0.0"},
        {"host name resolved by connect", "localhost", "0.0.0.0"},
        {"local bind reports its port", "127.0.0.1", "127.0.0.1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        rec = Recorder{};
        Listener listener;
        sock.SetAddr(row.addr);
        sock.SetPort(listener.PortText());
        sock.SetLocalAddr(row.localAddr);
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
        EXPECT_EQ(sock.GetSockName().Port, RemotePortOf(peer.get()));
        if (std::string(row.localAddr) != "0.0.0.0") {
            EXPECT_EQ(sock.LocalPort(), std::to_string(RemotePortOf(peer.get())));
        }
        EXPECT_TRUE(rec.closed.empty());
        sock.Close();
    }
}

TEST_F(AsyncSocketConnect, RefusedReports10061ThenClosesAndCanConnectAgain) {
    sock.SetAddr("127.0.0.1");
    sock.SetPort(std::to_string(testsupport::ScriptedFtpServer::FreeClosedPort()));
    sock.Connect();
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return !rec.connected.empty() && sock.State() == State::wsClosed; }));
    EXPECT_EQ(rec.connected, std::vector<int>{10061});
    EXPECT_STREQ(wsock::Description(rec.connected[0]), "Connection refused");
    EXPECT_EQ(rec.states, (std::vector<State>{State::wsOpened, State::wsConnecting,
                                              State::wsConnected, State::wsClosed}));
    EXPECT_EQ(rec.closed, std::vector<int>{0});
    EXPECT_EQ(sock.HSocket(), INVALID_SOCKET);

    Fd peer = Reconnect();
    EXPECT_EQ(rec.connected, std::vector<int>{0});
}

} // namespace
