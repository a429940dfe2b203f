#include "support/LoopbackPeer.h"

#include <memory>

using namespace nettest;

namespace {

using AsyncSocketDns = SocketTest;
using AsyncSocketConnect = SocketTest;

// --- name look-up -------------------------------------------------------------

TEST_F(AsyncSocketDns, DottedAddressIsDoneInsideTheCallAndNormalised) {
    const struct {
        const char* host;
        const char* result;
    } rows[] = {
        {" 10.1.2.3 ", "10.1.2.3"},
        {"255.255.255.255", "255.255.255.255"},
        {"192.168.001.010", "192.168.1.10"}, // not octal
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.host);
        rec.dns.clear();
        sock.DnsLookup(row.host);
        EXPECT_EQ(rec.dns, std::vector<int>{0});
        EXPECT_EQ(sock.DnsResult(), row.result);
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
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.dns.size() >= 3; }));
    EXPECT_EQ(rec.dns, (std::vector<int>{10004, 0, 0})) << "the cancelled one must not report";
    EXPECT_EQ(sock.DnsResult(), "127.0.0.1");

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

// What a user may type as the server and port, refused by a closed socket with
// the exact text, nothing opened or reported.
TEST(AsyncSocketRefusal, ClosedSocketRefusesTypedTargetsItCannotUse) {
    const std::string longHost(257, 'h');
    const struct {
        const char* name;
        std::string addr;
        std::string port;
        std::string text;
    } rows[] = {
        {"connect without port", "127.0.0.1", "", "Connect: No Port Specified"},
        {"connect with blank port", "127.0.0.1", "   ", "Connect: No Port Specified"},
        {"connect without address", "", "21", "Connect: No IP Address Specified"},
        {"port of 32 characters", "127.0.0.1", std::string(32, '2'),
         "connect: ResolvePort: Invalid Port."},
        {"host of 257 characters", longHost, "21",
         "connect: ResolveHost: '" + longHost + "' Invalid Hostname."},
        // Dotted in form, but the last group is not a valid number to the converter.
        {"unconvertible dotted address", "255.255.255.0255", "21",
         "connect: ResolveHost: '255.255.255.0255' Invalid IP address."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder rec;
        SocksSocket sock;
        rec.Attach(sock);
        sock.SetAddr(row.addr);
        sock.SetPort(row.port);
        EXPECT_EQ(Refusal([&] { sock.Connect(); }), row.text);
        EXPECT_TRUE(rec.states.empty() && rec.connected.empty() && rec.closed.empty());
        EXPECT_EQ(sock.HSocket(), INVALID_SOCKET);
    }
    SocksSocket sock;
    sock.LingerOnOff = SocketLinger::wsLingerNoSet;
    EXPECT_NO_THROW(sock.SetLingerOption()) << "nothing to set, so nothing to refuse";
}

// --- resolving ------------------------------------------------------------------

TEST(AsyncSocketResolve, IsDottedIP) {
    const struct {
        const char* text;
        bool dotted;
    } rows[] = {
        {" 1.2.3.4 ", true},  {"255.255.255.255", true}, {".1.2.3", false},
        {"1.2.3", false},     {"1.2.3.4.5", false},      {"1.2.3.4.", false},
        {"256.1.1.1", false}, {"1..2.3", false},         {"1.2.3.4 x", false},
        {"localhost", false}, {"00001.2.3.4", true},     {"1.2.3.0000256", false},
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
TEST_F(AsyncSocketConnect, ReportsZeroFromTheLoop) {
    const struct {
        const char* name;
        const char* addr;
    } rows[] = {
        {"dotted address typed with blanks", " 127.0.0.1  "},
        {"host name resolved by connect", "localhost"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        rec = Recorder{};
        Listener listener;
        sock.SetAddr(row.addr);
        sock.SetPort(" " + listener.PortText() + " ");
        sock.Connect();
        EXPECT_TRUE(rec.connected.empty()) << "the outcome is reported from the event loop";
        Fd peer = listener.Accept();
        ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.connected.empty(); }));

        EXPECT_EQ(rec.connected, std::vector<int>{0});
        EXPECT_EQ(sock.State(), State::wsConnected);
        EXPECT_EQ(sock.PeerPort(), listener.Port());
        sock.Close();
    }
}

} // namespace
