// What the status bar and the title say, and the notice for each way a
// session ends.
#include "session/SessionRig.h"

#include <QSignalSpy>

namespace sessiontest {
namespace {

// A closed session shows how it ended; a title names the site and folder only while connected.
TEST(SessionStatus, TextsOfEachStateAndTheTitle) {
    EXPECT_EQ(session::StatusText(SessionState::Idle, "h", "Connection lost"), "Connection lost");
    EXPECT_EQ(session::StatusText(SessionState::Browsing, "h", "Disconnected"), "Logged in to h");
    EXPECT_EQ(session::WindowTitle(true, "Mirror", "/pub/linux"),
              "Mirror \u2013 /pub/linux \u2013 Corvane");
    EXPECT_EQ(session::WindowTitle(false, "Mirror", "/pub/linux"), "Corvane");
}

TEST(SessionStatus, TheNoticeSaysWhyInPlainWords) {
    using E = session::SessionEnd;
    const struct {
        const char* name;
        E end;
        std::uint16_t error;
        const char* reply;
        const char* host;
        bool typed;       // the password came from a prompt
        const char* text; // empty: no notice
        bool offerPassword;
    } rows[] = {
        {"a disconnect is no failure", E::Disconnected, 0, "", "h", true, "", false},
        {"refused port names the port", E::ConnectFailed, 10061, "Connection refused", "h", false,
         "Nothing answers on port 2121 of h: the connection was refused. Check the port, or "
         "whether the server runs.",
         false},
        {"unknown host", E::ConnectFailed, 11001, "Host not found", "nosuch", false,
         "The host \"nosuch\" is unknown. Check how its name is written.", false},
        {"a refusing greeting shows the reply", E::ConnectFailed, 421, "421 Too many users \r\n",
         "h", false, "Could not connect to h: 421 Too many users", false},
        {"typed password refused: offer to type it again", E::LoginFailed, 530,
         "530 Login incorrect.", "h", true, "h did not accept the user name or the password.",
         true},
        {"stored password refused: nothing to type", E::LoginFailed, 530, "530 Login incorrect.",
         "h", false, "h did not accept the user name or the password.", false},
        {"other login failure shows the reply", E::LoginFailed, 421, "421 Service closing", "h",
         true, "The login to h failed: 421 Service closing", false},
        {"lost", E::ConnectionLost, 0, "", "h", false, "The connection to h was lost.", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<session::FailureNotice> notice =
            session::NoticeFor({row.end, row.error, row.reply, row.host, "2121", row.typed});
        ASSERT_EQ(notice.has_value(), *row.text != '\0');
        if (notice) {
            EXPECT_EQ(notice->Text, row.text);
            EXPECT_EQ(notice->OfferPassword, row.offerPassword);
        }
    }
}

TEST(SessionStatus, LeavingForTheSiteListAsksWhileAJobRuns) {
    Rig r;
    r.Login();
    r.Listing().reply("221 Bye\r\n");
    ASSERT_TRUE(r.Connect(r.ScriptedSite()));
    const int shown = r.controller.RemoteView().PathBox().selected;
    ASSERT_GT(shown, 0);
    // As a running download walk leaves it.
    r.controller.SetTransferModeFlags(transfer::DownloadWalk);
    r.controller.SetTransferBusy(true);

    r.prompts.yesNo = {false};
    r.controller.RemoteView().ChangeToPathBoxEntry(0);
    ASSERT_EQ(r.prompts.questions.size(), 1u);
    EXPECT_EQ(r.controller.SessionState(), SessionState::Browsing) << "No keeps the session";
    EXPECT_EQ(r.controller.RemoteView().PathBox().selected, shown) << "and the path box";

    r.prompts.yesNo = {true};
    r.controller.RemoteView().ChangeToPathBoxEntry(0);
    ASSERT_TRUE(r.Wait(SessionState::Idle));
    EXPECT_TRUE(r.Logged("! Disconnected"));
}

} // namespace
} // namespace sessiontest
