#include "support/LoopbackPeer.h"

using namespace nettest;
using testsupport::ScriptedFtpServer;

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values)
        out += static_cast<char>(v);
    return out;
}

// What a SOCKS socket tells its owner, besides the ordinary events.
struct SocksRecorder : Recorder {
    std::vector<int> socksErrors;
    std::vector<std::string> socksTexts;
    std::vector<SocksAuthState> auth;

    void Attach(SocksSocket& s) {
        Recorder::Attach(s);
        s.OnSocksError = [this](AsyncSocket*, int e, const std::string& msg) {
            socksErrors.push_back(e);
            socksTexts.push_back(msg);
        };
        s.OnSocksAuthState = [this](AsyncSocket*, SocksAuthState a) { auth.push_back(a); };
    }
};

// A recorded socket set up to reach files.example:21 through the scripted
// proxy; the proxy starts serving its script here, so the script must be complete.
struct ProxiedSocket {
    SocksRecorder rec;
    SocksSocket sock;

    ProxiedSocket(ScriptedFtpServer& proxy, const char* level, bool authenticate) {
        proxy.start();
        rec.Attach(sock);
        sock.SetAddr("files.example");
        sock.SetPort("21");
        sock.SetSocksServer("127.0.0.1");
        sock.SetSocksPort(proxy.portText());
        sock.SetSocksLevel(level);
        sock.SocksUsercode = "anna";
        sock.SocksPassword = "pw";
        sock.SocksAuthentication = authenticate ? SocksAuthentication::socksAuthenticateUsercode
                                                : SocksAuthentication::socksNoAuthentication;
    }
};

const std::string kRequest5 = Bytes({5, 1, 0, 3, 13}) + "files.example" + Bytes({0, 21});
const std::string kGranted5 = Bytes({5, 0, 0, 1, 10, 0, 0, 7, 0x1f, 0x90});

template <class... State>
std::vector<SocksAuthState> States(State... states) {
    return {states...};
}

// Every answer of a SOCKS 5 proxy, from the method to the connect. A grant ends
// in "220 hello", which must reach the owner however the answer was split.
TEST(Socks5, NegotiationFollowsTheProxysAnswers) {
    using enum SocksAuthState;
    const std::string hello = "220 hello\r\n";
    const std::string ipv6 = std::string(15, '\0') + Bytes({1});
    const std::string request6 = Bytes({5, 1, 0, 4}) + ipv6 + Bytes({0, 21});
    const std::string granted6 = Bytes({5, 0, 0, 4}) + ipv6 + Bytes({0x1f, 0x90});
    const struct {
        const char* name;
        std::string method; // the proxy's answer to the methods offered
        std::string auth;   // to the credentials; empty: none asked for; "close": hangs up
        std::string answer; // to the connect request; empty: none is sent
        int error;          // 0: granted; -1: no SOCKS error, the proxy hung up
        const char* text = "";
        std::vector<SocksAuthState> states = {};
        std::size_t chunk = 0; // the answer goes in pieces this size
        const char* addr = "files.example";
    } rows[] = {
        {"no-authentication-and-greeting-in-the-same-read", Bytes({5, 0}), "", kGranted5 + hello, 0,
         "", States(socksAuthNotRequired)},
        {"user-and-password-then-the-answer-split-over-reads", Bytes({5, 2}), Bytes({1, 0}),
         kGranted5 + hello, 0, "", States(socksAuthStart, socksAuthSuccess), 3},
        // 16 bytes that no proxy mistakes for a name, and an IPv6 bound address.
        {"ipv6-destination-and-bound-address", Bytes({5, 0}), "", granted6 + hello, 0, "", States(),
         0, "::1"},
        {"closing-on-the-credentials-is-an-authentication-failure", Bytes({5, 2}), "close", "", -1,
         "", States(socksAuthStart, socksAuthFailure)},
        {"no acceptable method", Bytes({5, 255}), "", "", 20003,
         "authentification method not acceptable"},
        {"method answer too long", Bytes({5, 0, 0}), "", "", 20001, "too much data availaible"},
        {"not a SOCKS answer", "HTTP/1.0 400\r\n", "", "", 20002, "socks version error"},
        {"wrong password", Bytes({5, 2}), Bytes({1, 1}), "", 20015, "socks authentication failed"},
        {"auth answer too long", Bytes({5, 2}), Bytes({1, 0, 9}), "", 20001,
         "too much data availaible"},
        {"general failure", Bytes({5, 0}), "", Bytes({5, 1, 0, 1}), 20004,
         "general SOCKS server failure"},
        {"address type", Bytes({5, 0}), "", Bytes({5, 8, 0, 1}), 20011,
         "address type not supported"},
        {"unassigned code", Bytes({5, 0}), "", Bytes({5, 42, 0, 1}), 20012, "unassigned error #42"},
        {"version 4 answer", Bytes({5, 0}), "", Bytes({4, 0, 0, 1}), 20002, "socks version error"},
        {"granted with an unknown address type", Bytes({5, 0}), "", Bytes({5, 0, 0, 9, 1}), 20011,
         "address type not supported"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string request = row.addr == std::string("::1") ? request6 : kRequest5;
        ScriptedFtpServer proxy;
        proxy.readBytes(3).send(row.method);
        if (row.auth == "close")
            proxy.readBytes(9).closeConnection();
        else if (!row.auth.empty())
            proxy.readBytes(9).send(row.auth);
        if (!row.answer.empty())
            proxy.readBytes(request.size());
        if (row.chunk)
            proxy.sendInChunks(row.answer, row.chunk, 5);
        else if (!row.answer.empty())
            proxy.send(row.answer);
        ProxiedSocket client(proxy, "5", true);
        auto& [rec, sock] = client;
        sock.SetAddr(row.addr);
        sock.Connect();
        ASSERT_TRUE(
            ProcessEventsUntil([&] { return !rec.closed.empty() || rec.received == hello; }));
        if (!row.states.empty()) {
            EXPECT_EQ(rec.auth, row.states);
        }
        if (!row.auth.empty()) {
            EXPECT_EQ(proxy.received().at(1), Bytes({1, 4}) + "anna" + Bytes({2}) + "pw");
        }
        if (row.error == 0) {
            EXPECT_EQ(rec.connected, std::vector<int>{0});
            EXPECT_EQ(proxy.received().back(), request);
            EXPECT_EQ(sock.BoundAddr(), request == kRequest5 ? "10.0.0.7" : "::1");
            EXPECT_EQ(sock.BoundPort(), "8080");
            EXPECT_EQ(sock.Addr(), row.addr) << "the owner's destination is untouched";
            continue;
        }
        EXPECT_EQ(rec.received, "");
        EXPECT_EQ(rec.connected, row.error > 0 ? std::vector<int>{row.error} : std::vector<int>{});
        if (row.error > 0) {
            EXPECT_EQ(rec.socksErrors, std::vector<int>{row.error});
            EXPECT_EQ(rec.socksTexts, std::vector<std::string>{row.text});
            EXPECT_EQ(rec.closed, std::vector<int>{row.error});
        }
    }
}

TEST(Socks4, GrantedAndRejected) {
    struct Row {
        const char* level;
        int code;
        std::vector<int> connected;
    };
    const std::vector<Row> rows{{"4", 90, {0}},     {"4", 91, {20016}}, {"4", 92, {20008}},
                                {"4", 93, {20015}}, {"4a", 90, {0}},    {"4A", 77, {20012}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.level) + " " + std::to_string(row.code));
        const bool v4a = std::string(row.level) != "4";
        // 4 sends the address; 4A sends 0.0.0.1 and the name after the user id.
        const std::string request =
            v4a ? Bytes({4, 1, 0, 21, 0, 0, 0, 1}) + "anna" + Bytes({0}) + "localhost" + Bytes({0})
                : Bytes({4, 1, 0, 21, 127, 0, 0, 1}) + "anna" + Bytes({0});
        ScriptedFtpServer proxy;
        proxy.readBytes(request.size()).send(Bytes({0, row.code, 0, 0, 0, 0, 0, 0}) + "after");
        ProxiedSocket client(proxy, row.level, false);
        auto& [rec, sock] = client;
        sock.SetAddr(v4a ? "localhost" : "127.0.0.1");
        EXPECT_EQ(sock.SocksLevel(), v4a ? "4A" : "4");
        sock.Connect();
        ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.connected.empty(); }));
        EXPECT_EQ(rec.connected, row.connected);
        EXPECT_EQ(proxy.received(), std::vector<std::string>{request});
        if (row.connected[0] == 0) {
            EXPECT_TRUE(ProcessEventsUntil([&] { return rec.received == "after"; }));
        }
    }
}

TEST(SocksSettings, RefusalsAndWhatACloseForgets) {
    ScriptedFtpServer proxy;
    proxy.readBytes(3);
    ProxiedSocket client(proxy, "5", false);
    auto& [rec, sock] = client;
    EXPECT_EQ(Refusal([&] { sock.SetSocksLevel("6"); }),
              "Invalid socks level. Must be 4, 4A or 5.");
    sock.Connect();
    sock.Close();
    EXPECT_EQ(sock.SocksServer(), "") << "a close forgets the proxy";
    EXPECT_EQ(sock.SocksPort(), "");
    EXPECT_EQ(sock.SocksUsercode, "anna") << "but keeps the credentials";
}

TEST(SocksSettings, ValuesThatCannotFitTheRequestAreRefusedBeforeSending) {
    struct Row {
        const char* name;
        const char* level;
        std::string user;
        std::string password;
        std::string host;
    };
    const std::vector<Row> rows{
        {"v5-user-300", "5", std::string(300, 'u'), "pw", "files.example"},
        {"v5-user-and-password-130", "5", std::string(65, 'u'), std::string(65, 'p'),
         "files.example"},
        {"v5-host-200", "5", "anna", "pw", std::string(200, 'h')},
        {"v4-user-120", "4", std::string(120, 'u'), "", "127.0.0.1"},
        {"v4a-host-120", "4A", "anna", "", std::string(120, 'h')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedFtpServer proxy;
        ProxiedSocket client(proxy, row.level, true);
        auto& [rec, sock] = client;
        sock.SocksUsercode = row.user;
        sock.SocksPassword = row.password;
        sock.SetAddr(row.host);
        const std::string refusal = Refusal([&] { sock.Connect(); });
        EXPECT_EQ(refusal.rfind("connect: SOCKS: ", 0), 0u) << refusal;
        EXPECT_EQ(sock.State(), State::wsClosed);
        EXPECT_TRUE(rec.states.empty());
        EXPECT_EQ(proxy.connectionsAccepted(), 0);
    }
}

} // namespace
