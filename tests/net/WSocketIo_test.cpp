#include "net/LoopbackPeer.h"

using namespace nettest;
using testsupport::ProcessEventsUntil;
using State = TSocketState;

namespace {

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
    EXPECT_EQ(ReadUpTo(peer.get(), data.size()), data);
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
    ASSERT_EQ(ReadUpTo(peer.get(), 5), "hello");
    ASSERT_TRUE(WriteAll(peer.get(), "!"));
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
            WriteAll(peer.get(), data);
            peer.reset();
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
    ASSERT_TRUE(WriteAll(peer.get(), "xyz"));
    peer.reset();
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
    EXPECT_EQ(PeerEndOfStream(peer.get()), 0) << "the peer sees an orderly close";
    peer.reset();
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
        ASSERT_TRUE(WriteAll(peer.get(), "bye"));
        peer.reset();
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
    ASSERT_TRUE(WriteAll(peer.get(), "abc"));
    const linger hard{1, 0};
    ::setsockopt(peer.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    peer.reset();
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
    EXPECT_EQ(PeerEndOfStream(peer.get()), 0);
}

TEST(WSocketClose, WithoutAReadHandlerDataIsDrainedAndTheCloseSeen) {
    Recorder rec;
    TWSocket sock;
    rec.Attach(sock);
    Fd peer = ConnectPair(sock, rec);
    sock.OnDataAvailable = nullptr;
    ASSERT_TRUE(WriteAll(peer.get(), RandomBytes(10000, 5)));
    peer.reset();
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
    ::setsockopt(peer.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    peer.reset();
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
    EXPECT_EQ(PeerEndOfStream(peer.get()), 0);
    ASSERT_TRUE(WriteAll(peer.get(), "still here"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.received == "still here"; }));
    EXPECT_EQ(sock.State(), State::wsConnected);
}

// Linux hands the lowest free descriptor to the next socket, so a connection
// closed and reopened at once usually gets the same number back. Anything still
// queued for the old connection must not reach the new one.
TEST(WSocketReuse, DataSentOfAClosedConnectionDoesNotReachTheNextOne) {
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
// A handler that retries from OnSessionConnected(10061) must not have its new
// connection closed by the dispatcher that called it.
TEST(WSocketReuse, RetryFromTheFailedConnectHandlerIsNotClosedBehindIt) {
    const int deadPort = ClosedPort();
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

// Likewise a reconnect from OnSessionClosed.
TEST(WSocketReuse, ReconnectFromTheClosedHandlerIsNotClosedBehindIt) {
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
    first.reset();
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
        ::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a);
        SetPeerTimeouts(fd_.get());
        port_ = LocalPortOf(fd_.get());
    }
    int Port() const { return port_; }
    // Returns the datagram and the port it came from.
    std::pair<std::string, int> Receive() {
        char buf[2048];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            ::recvfrom(fd_.get(), buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        return {std::string(buf, static_cast<std::size_t>(std::max<ssize_t>(n, 0))),
                ntohs(from.sin_port)};
    }
    void SendTo(int port, const std::string& data) {
        const sockaddr_in a = Loopback(port);
        ::sendto(fd_.get(), data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&a),
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

// An empty datagram peeks as 0 bytes, like a stream's close; datagram sockets
// have no close to report.
TEST(WSocketDatagram, EmptyDatagramDoesNotCloseTheSocket) {
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
            peerGot = ReadUpTo(peer.get(), kSize);
            peerDone = true;
        });
        std::jthread writer([&] { WriteAll(peer.get(), down); });
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
    ASSERT_TRUE(WriteAll(peer.get(), "data"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.closed.empty(); }));
    EXPECT_EQ(offered, std::vector<std::string>{"handler failed"});
    EXPECT_EQ(rec.closed.size(), 1u);
    EXPECT_EQ(sock.State(), State::wsClosed);
    EXPECT_EQ(sock.HSocket(), INVALID_SOCKET);
    EXPECT_LE(PeerEndOfStream(peer.get()), 0);
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
    ASSERT_TRUE(WriteAll(peer.get(), "hello"));
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
    ASSERT_GE(client.get(), 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return accepted.get() >= 0; }));
    EXPECT_EQ(available, std::vector<int>{0});
    EXPECT_EQ(server.PeerPort(), LocalPortOf(client.get()));

    Recorder rec;
    TWSocket conn;
    rec.Attach(conn);
    conn.Dup(accepted.release());
    EXPECT_EQ(conn.State(), State::wsConnected);
    EXPECT_EQ(rec.states, std::vector<State>{State::wsConnected});
    EXPECT_EQ(conn.PeerPort(), LocalPortOf(client.get()));

    conn.SendStr("ping");
    EXPECT_EQ(ReadUpTo(client.get(), 4), "ping");
    ASSERT_TRUE(WriteAll(client.get(), "pong"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.received == "pong"; }));
    EXPECT_EQ(server.State(), State::wsListening);
}

// A listening socket goes from wsClosed to wsBound, then wsListening.
TEST(WSocketListen, ListenGoesThroughBoundToListening) {
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
    sock.Dup(accepted.release());
    EXPECT_TRUE(rec.closed.empty());
    EXPECT_EQ(sock.State(), State::wsConnected);
    EXPECT_EQ(PeerEndOfStream(oldPeer.get()), 0);

    ASSERT_TRUE(WriteAll(client.get(), "new"));
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
