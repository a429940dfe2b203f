// What the status bar and the title say, and how each way a session ends is
// told: a wrong password, a refused port, a lost connection, a disconnect.
// The log gets "! <outcome>" once a server was reached.
#include "session/SessionRig.h"

#include <QSignalSpy>
#include <QTcpServer>

namespace sessiontest {
namespace {

TEST(SessionStatus, TextsOfEachStateAndTheTitle) {
    using S = SessionState;
    const struct {
        S state;
        const char* outcome;
        const char* text;
    } rows[] = {
        {S::Idle, "", "Not connected"},
        {S::Idle, "Connection lost", "Connection lost"},
        {S::Connecting, "", "Connecting to ftp.example ..."},
        {S::Browsing, "Disconnected", "Logged in to ftp.example"},
        {S::Closing, "", "Disconnecting from ftp.example ..."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(session::StatusText(row.state, "ftp.example", row.outcome), row.text);
    }
    EXPECT_EQ(session::WindowTitle(true, "Mirror", "/pub/linux"),
              "Mirror \u2013 /pub/linux \u2013 Corvane");
    EXPECT_EQ(session::WindowTitle(false, "Mirror", "/pub/linux"), "Corvane");
}

TEST(SessionStatus, EachEndIsToldInTheOutcomeAndTheLog) {
    struct Row {
        const char* name;
        std::function<void(Rig&)> play; // scripts the server and ends the session
        std::string outcome;
    };
    const Row rows[] = {
        {"wrong password",
         [](Rig& r) {
             r.server.send("220 ready\r\n")
                 .reply("331 Password required\r\n")
                 .reply("530 Login incorrect.\r\n");
             r.server.start();
             r.controller.ConnectToSite(r.ScriptedSite());
         },
         "Login failed: 530 Login incorrect."},
        {"connection lost",
         [](Rig& r) {
             r.Login();
             r.Listing().pause(300).closeConnection();
             ASSERT_TRUE(r.Connect(r.ScriptedSite()));
         },
         "Connection lost"},
        {"disconnect",
         [](Rig& r) {
             r.Login();
             r.Listing().reply("221 Bye\r\n");
             ASSERT_TRUE(r.Connect(r.ScriptedSite()));
             r.controller.Disconnect();
         },
         "Disconnected"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig r;
        QSignalSpy changes(&r.controller, &SessionController::StatusChanged);
        row.play(r);
        ASSERT_TRUE(r.Wait(SessionState::Idle)) << r.server.failure();
        EXPECT_EQ(r.controller.Outcome(), row.outcome);
        EXPECT_TRUE(r.Logged("! " + row.outcome));
        EXPECT_GE(changes.count(), 2);
    }

    // Nobody listens on the port: the reason names the host.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    Site site = Rig().ScriptedSite();
    site.Port = std::to_string(closed.serverPort());
    closed.close();
    Rig r;
    r.controller.ConnectToSite(site);
    ASSERT_TRUE(r.Wait(SessionState::Idle));
    EXPECT_TRUE(r.controller.Outcome().starts_with("Cannot connect to 127.0.0.1: "))
        << r.controller.Outcome();
}

} // namespace
} // namespace sessiontest
