#include "net/LoopbackPeer.h"

using namespace nettest;
using testsupport::ProcessEventsUntil;
using State = TSocketState;

namespace {

// --- name look-up -------------------------------------------------------------

TEST(WSocketDns, DottedAddressIsDoneInsideTheCallAndNormalised) {
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
        {"   ", false},       {"00001.2.3.4", true},     {"1.2.3.0000256", false},
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
             s.SetAddr("255.255.255.0255");
             s.SetPort("21");
         },
         "connect: WSocketResolveHost: '255.255.255.0255' Invalid IP address."},
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
    EXPECT_EQ(sock.GetSockName().Port, RemotePortOf(peer.get()));
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
    EXPECT_EQ(sock.LocalPort(), std::to_string(RemotePortOf(peer.get())));
}

TEST(WSocketConnect, RefusedReports10061ThenClosesAndCanConnectAgain) {
    const int deadPort = ClosedPort();
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

} // namespace
