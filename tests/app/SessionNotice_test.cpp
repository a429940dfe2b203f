// The notice above the right pane: a failed connect or login is told where the
// eye is, a typed password refused with 530 may be typed again.
#include "app/AppTestSupport.h"
#include "app/SessionNotice.h"
#include "support/ScriptedPrompts.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>

namespace {

using testsupport::ScriptedFtpServer;

Site NoticeSite(const std::string& port, bool savePassword) {
    Site site = LoopbackSite(port);
    site.SavePassword = savePassword ? 1 : 0;
    return site;
}

TEST(SessionNotice, FailuresAreToldAboveTheRightPane) {
    struct Row {
        const char* name;
        bool savePassword;
        std::function<void(ScriptedFtpServer&)> script; // empty: nothing listens
        std::function<void(MainWindow&)> end;           // after connecting
        const char* text;                               // part of the notice; empty: none
        bool retry;
    };
    const auto login530 = [](ScriptedFtpServer& s) {
        s.send("220 ready\r\n")
            .reply("331 Password required\r\n")
            .reply("530 Login incorrect.\r\n");
    };
    const Row rows[] = {
        {"typed password refused", false, login530, {}, "did not accept", true},
        {"refused port", true, {}, {}, "the connection was refused", false},
        {"disconnect is no failure", true, [](ScriptedFtpServer& s) { ScriptLoginAndListing(s); },
         [](MainWindow& w) {
             ASSERT_TRUE(WaitForState(w, session::SessionState::Browsing));
             w.Disconnect();
         },
         "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        prompts.inputs = {"typed"};
        MainWindow window(dir.path().toStdString() + "/", &prompts);
        ScriptedFtpServer server;
        std::string port = server.portText();
        if (row.script) {
            row.script(server);
            server.start();
        } else {
            port = std::to_string(ScriptedFtpServer::FreeClosedPort());
        }
        window.Session().ConnectToSite(NoticeSite(port, row.savePassword));
        EXPECT_TRUE(window.Notice()->isHidden()) << "nothing shown while connecting";
        if (row.end)
            row.end(window);
        ASSERT_TRUE(WaitForState(window, session::SessionState::Idle)) << server.failure();
        SessionNotice* notice = window.Notice();
        EXPECT_EQ(notice->isHidden(), *row.text == '\0');
        EXPECT_TRUE(notice->Text().contains(QString::fromLatin1(row.text)))
            << notice->Text().toStdString();
        EXPECT_EQ(!notice->RetryButton()->isHidden(), row.retry);
        notice->CloseButton()->click();
        EXPECT_TRUE(notice->isHidden()) << "it can be dismissed";
    }
}

TEST(SessionNotice, ATypedPasswordRefusedCanBeTypedAgain) {
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    prompts.inputs = {"mistyped", "right"};
    MainWindow window(dir.path().toStdString() + "/", &prompts);
    ScriptedFtpServer server;
    server.send("220 ready\r\n")
        .reply("331 Password required\r\n")
        .reply("530 Login incorrect.\r\n");
    ScriptLoginAndListing(server.accept());
    server.start();
    window.Session().ConnectToSite(NoticeSite(server.portText(), false));
    ASSERT_TRUE(WaitForState(window, session::SessionState::Idle)) << server.failure();
    ASSERT_FALSE(window.Notice()->RetryButton()->isHidden());
    window.Notice()->RetryButton()->click();
    ASSERT_TRUE(WaitForState(window, session::SessionState::Browsing)) << server.failure();
    EXPECT_TRUE(window.Notice()->isHidden());
    EXPECT_EQ(prompts.asked.size(), 2u) << "the password is asked again";
    EXPECT_TRUE(Sent(server, "PASS mistyped"));
    EXPECT_TRUE(Sent(server, "PASS right"));
}

} // namespace
