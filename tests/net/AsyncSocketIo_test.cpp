#include "support/LoopbackPeer.h"

#include <QCoreApplication>
#include <chrono>
#include <memory>
#include <poll.h>
#include <thread>
#include <utility>

using namespace nettest;

namespace {

using AsyncSocketSend = SocketTest;
using AsyncSocketClose = SocketTest;
using AsyncSocketReuse = SocketTest;
using AsyncSocketBgException = SocketTest;

// --- sending ------------------------------------------------------------------

// SendNow hands the system the caller's bytes without queuing them first, and
// asks for no data-sent event when everything was taken at once.
TEST_F(AsyncSocketSend, SendNowTakenAtOnceAsksForNoDataSentEvent) {
    Fd peer = ConnectPair(sock, rec);
    const std::string tail = Bytes(4000, 6);
    ASSERT_EQ(sock.SendNow(tail.data(), static_cast<int>(tail.size())),
              static_cast<int>(tail.size()));
    EXPECT_EQ(sock.BufferedByteCount(), 0);
    EXPECT_EQ(ReadUpTo(peer.get(), tail.size()), tail);
    // A round trip through the peer lets any data-sent event through the loop first.
    ASSERT_TRUE(WriteAll(peer.get(), "!"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.received.ends_with("!"); }));
    EXPECT_EQ(rec.dataSent, 0);
}

// A peer that keeps the socket full does not keep the event loop away: one
// readiness event reads for a few milliseconds and then gives the loop back.
TEST_F(AsyncSocketSend, ASteadyStreamStillLetsTheEventLoopRun) {
    Fd peer = ConnectPair(sock, rec);
    const std::string data = Bytes(300 * 1024, 7);
    std::string got;
    std::size_t gotWhenServed = data.size();
    bool posted = false;
    sock.OnDataAvailable = [&](AsyncSocket* s, std::uint16_t) {
        char block[1024];
        const int n = s->Receive(block, sizeof block);
        if (n > 0)
            got.append(block, static_cast<std::size_t>(n));
        if (!std::exchange(posted, true))
            QMetaObject::invokeMethod(
                qApp, [&] { gotWhenServed = got.size(); }, Qt::QueuedConnection);
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // a slow reader
    };
    {
        std::jthread writer([&] { WriteAll(peer.get(), data); });
        ASSERT_TRUE(ProcessEventsUntil([&] { return got.size() >= data.size(); }, 20000));
    }
    EXPECT_TRUE(got == data);
    EXPECT_LT(gotWhenServed, data.size() / 2);
}

// --- closing ----------------------------------------------------------------

// Each row runs twice on the same object: the close is reported once per connection.
TEST_F(AsyncSocketClose, PeerEndIsReportedOnceAfterItsData) {
    const struct {
        const char* name;
        std::size_t size;
        bool reset;
        bool readHandler;
        int error;
    } rows[] = {
        {"orderly close after 200 kB", 200000, false, true, 0},
        {"reset after 3 bytes", 3, true, true, 10054},
        {"orderly close with no read handler: drained", 10000, false, false, 0},
    };
    const auto read = sock.OnDataAvailable;
    std::vector<int> receiveAtClose;
    const auto closed = [&](AsyncSocket* s, std::uint16_t e) {
        rec.closed.push_back(e);
        rec.receivedAtClose = rec.received.size();
        char c;
        receiveAtClose.push_back(s->Receive(&c, 1));
    };
    for (const auto& row : rows) {
        for (unsigned round = 1; round <= 2; ++round) {
            SCOPED_TRACE(std::string(row.name) + ", round " + std::to_string(round));
            Fd peer = Reconnect();
            sock.OnDataAvailable = row.readHandler ? read : nullptr;
            sock.OnSessionClosed = closed;
            receiveAtClose.clear();
            const std::string data = Bytes(row.size, round);
            {
                std::jthread writer([&] {
                    WriteAll(peer.get(), data);
                    if (row.reset)
                        AbortOnClose(peer.get());
                    peer.reset();
                });
                ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.closed.empty(); }));
            }
            EXPECT_EQ(rec.closed, std::vector<int>{row.error});
            EXPECT_EQ(sock.ReadCount(), static_cast<std::int64_t>(row.size));
            EXPECT_EQ(receiveAtClose, std::vector<int>{0}) << "nothing is left to read";
            if (row.readHandler) {
                EXPECT_TRUE(rec.received == data) << rec.received.size() << " bytes";
                EXPECT_EQ(rec.receivedAtClose, data.size());
                EXPECT_EQ(rec.receiveResults.back(), 0) << "the read handler sees the end";
            }
        }
    }
}

TEST_F(AsyncSocketClose, OurCloseReportsInsideTheCallAndNotAgain) {
    Fd peer = ConnectPair(sock, rec);
    sock.Close();
    EXPECT_EQ(rec.closed, std::vector<int>{0});
    EXPECT_EQ(sock.State(), State::wsClosed);
    EXPECT_EQ(PeerEndOfStream(peer.get()), 0) << "the peer sees an orderly close";
    EXPECT_EQ(Refusal([&] { sock.SendStr("late"); }),
              "Error 10057 in function Send\r\nSocket is not connected");
    peer.reset();
    sock.Close();
    // Nothing can be awaited once our handle is gone; give a stray event a chance.
    ProcessEventsFor(30);
    EXPECT_EQ(rec.closed, std::vector<int>{0});
}

TEST_F(AsyncSocketClose, DestroyingAConnectedSocketClosesWithoutAnEvent) {
    auto doomed = std::make_unique<SocksSocket>();
    rec.Attach(*doomed);
    Fd peer = ConnectPair(*doomed, rec);
    doomed.reset();
    EXPECT_TRUE(rec.closed.empty());
    EXPECT_EQ(PeerEndOfStream(peer.get()), 0);
}

TEST_F(AsyncSocketClose, ResetSeenBySendIsReportedOnce) {
    Fd peer = ConnectPair(sock, rec);
    AbortOnClose(peer.get());
    peer.reset();
    // Wait for the reset outside the event loop, so that Send is the first to meet it.
    pollfd p{sock.HSocket(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);

    EXPECT_NO_THROW(sock.SendStr("into the void"));
    EXPECT_EQ(rec.closed, std::vector<int>{10054});
    EXPECT_EQ(sock.State(), State::wsClosed);
    ProcessEventsFor(30);
    EXPECT_EQ(rec.closed, std::vector<int>{10054});
}

// --- descriptor reuse -------------------------------------------------------------

// Linux hands the lowest free descriptor to the next socket, so a connection
// closed and reopened at once usually gets the same number back. Anything still
// queued for the old connection must not reach the new one.
TEST_F(AsyncSocketReuse, DataSentOfAClosedConnectionDoesNotReachTheNextOne) {
    Listener listener;
    sock.SetAddr("127.0.0.1");
    sock.SetPort(listener.PortText());
    sock.Connect();
    Fd first = listener.Accept();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.connected.empty(); }));
    const SocketHandle oldHandle = sock.HSocket();
    sock.SendStr("abc");
    sock.Close();

    std::vector<State> statesAtDataSent;
    sock.OnDataSent = [&](AsyncSocket* s, std::uint16_t) {
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

// The same reuse inside a handler: one that closes and connects again gets the
// old number back, and the dispatcher that called it, seeing "the same" handle,
// must not go on to finish the old connection's work on the new one.
TEST_F(AsyncSocketReuse, ReconnectFromAHandlerIsNotClosedBehindIt) {
    Listener live;
    bool reused = false;
    const auto reconnect = [&](AsyncSocket* s) {
        const SocketHandle old = s->HSocket();
        s->Close();
        s->SetAddr("127.0.0.1");
        s->SetPort(live.PortText());
        s->Connect();
        reused = s->HSocket() == old;
    };

    // A retry from OnSessionConnected(10061).
    sock.OnSessionConnected = [&](AsyncSocket* s, std::uint16_t e) {
        rec.connected.push_back(e);
        if (e != 0)
            reconnect(s);
    };
    sock.SetAddr("127.0.0.1");
    sock.SetPort(std::to_string(testsupport::ScriptedFtpServer::FreeClosedPort()));
    sock.Connect();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.connected.empty(); }));
    ASSERT_TRUE(reused) << "descriptor not reused; the case is not exercised";
    Fd first = live.Accept();
    ASSERT_TRUE(ProcessEventsUntil([&] { return rec.connected.size() == 2; }, 1000))
        << "the retry was closed before it connected; state " << SocketStateName(sock.State());
    EXPECT_EQ(rec.connected, (std::vector<int>{10061, 0}));
    EXPECT_EQ(sock.State(), State::wsConnected);

    // A reconnect from OnSessionClosed.
    reused = false;
    rec.connected.clear();
    rec.closed.clear();
    sock.OnSessionClosed = [&](AsyncSocket* s, std::uint16_t e) {
        rec.closed.push_back(e);
        if (rec.closed.size() == 1)
            reconnect(s);
    };
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

// --- failures inside handlers ---------------------------------------------------

// No part of the program sets OnBgException: a read handler that throws (an
// owner's progress handler, say) aborts the connection, whose close is reported once.
TEST_F(AsyncSocketBgException, AHandlerThatThrowsClosesTheConnectionOnce) {
    Fd peer = ConnectPair(sock, rec);
    sock.OnDataAvailable = [](AsyncSocket*, std::uint16_t) {
        throw std::runtime_error("handler failed");
    };
    ASSERT_TRUE(WriteAll(peer.get(), "hello"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rec.closed.empty(); }));
    ProcessEventsFor(30);
    EXPECT_EQ(rec.closed.size(), 1u);
    EXPECT_EQ(sock.State(), State::wsClosed);
    EXPECT_LE(PeerEndOfStream(peer.get()), 0);
}

} // namespace
