// The notice above the right pane: a failed connect or login is told where the
// eye is, a typed password refused with 530 may be typed again. What each
// failure says is the session's (SessionStatus_test); here the window shows it.
#include "app/AppTestSupport.h"
#include "app/SessionNotice.h"
#include "support/ScriptedPrompts.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

using testsupport::ScriptedFtpServer;

Site NoticeSite(const std::string& port, bool savePassword) {
    Site site = LoopbackSite(port);
    site.SavePassword = savePassword ? 1 : 0;
    return site;
}

TEST(SessionNotice, FailuresAreToldAndATypedPasswordMayBeTypedAgain) {
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    prompts.inputs = {"mistyped", "right"};
    MainWindow window(dir.path().toStdString() + "/", &prompts);
    SessionNotice* notice = window.Notice();
    window.Session().ConnectToSite(
        NoticeSite(std::to_string(ScriptedFtpServer::FreeClosedPort()), true));
    EXPECT_TRUE(notice->isHidden()) << "nothing shown while connecting";
    ASSERT_TRUE(WaitForState(window, session::SessionState::Idle));
    EXPECT_FALSE(notice->isHidden());
    EXPECT_TRUE(notice->Text().contains("the connection was refused"))
        << notice->Text().toStdString();
    EXPECT_TRUE(notice->RetryButton()->isHidden()) << "nothing to type again";
    notice->CloseButton()->click();
    EXPECT_TRUE(notice->isHidden());

    ScriptedFtpServer server;
    server.send("220 ready\r\n")
        .reply("331 Password required\r\n")
        .reply("530 Login incorrect.\r\n");
    ScriptLoginAndListing(server.accept());
    server.start();
    window.Session().ConnectToSite(NoticeSite(server.portText(), false));
    ASSERT_TRUE(WaitForState(window, session::SessionState::Idle)) << server.failure();
    EXPECT_FALSE(notice->isHidden()) << "shown again after it was dismissed";
    EXPECT_TRUE(notice->Text().contains("did not accept"));
    ASSERT_FALSE(notice->RetryButton()->isHidden());
    notice->RetryButton()->click();
    ASSERT_TRUE(WaitForState(window, session::SessionState::Browsing)) << server.failure();
    EXPECT_TRUE(notice->isHidden());
    EXPECT_EQ(prompts.asked.size(), 2u) << "the password is asked again";
    EXPECT_TRUE(Sent(server, "PASS mistyped"));
    EXPECT_TRUE(Sent(server, "PASS right"));
}

} // namespace
