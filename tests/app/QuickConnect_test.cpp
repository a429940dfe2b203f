// The quick-connect bar against the scripted server: a one-off session as
// for a saved site, the entries remembered for the next start (the password
// only when asked), and "Save as site" into the open site folder.
#include "app/AppTestSupport.h"
#include "app/QuickConnectBar.h"
#include "support/ScriptedPrompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

namespace {

using testsupport::ScriptedFtpServer;

TEST(QuickConnect, ConnectsRemembersAndSavesAsSite) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    ScriptedPrompts prompts;
    ScriptedFtpServer server;
    // A new site asks for TLS if the server offers it; this one does not.
    ScriptLoginAndListing(server, "-rw-r--r-- 1 ftp ftp 12 Jan 10 12:00 a.txt\r\n",
                          "502 Command not implemented\r\n");
    server.start();
    {
        MainWindow window(folder, &prompts);
        QuickConnectBar* bar = window.QuickBar();
        bar->ConnectButton()->click();
        ASSERT_EQ(prompts.messages.size(), 1u) << "no host: told, nothing started";
        EXPECT_EQ(window.Session().SessionState(), session::SessionState::Idle);

        QTest::keyClicks(bar->Host(), "127.0.0.1");
        QTest::keyClicks(bar->User(), "anna");
        QTest::keyClicks(bar->Password(), "pw");
        QTest::keyClicks(bar->Port(), QString::fromStdString(server.portText()));
        QTest::keyClick(bar->Password(), Qt::Key_Return);
        ASSERT_TRUE(WaitForState(window, session::SessionState::Browsing)) << server.failure();
        EXPECT_TRUE(Sent(server, "USER anna")) << "in plain, as the server offers no TLS";
        EXPECT_TRUE(Sent(server, "PASS pw"));
        EXPECT_EQ(window.RemoteList()->model()->rowCount(), 1);
        EXPECT_FALSE(bar->ConnectButton()->isEnabled()) << "one session at a time";

        bar->SaveButton()->click();
        const SiteListModel& sites = window.Sites().Model();
        ASSERT_EQ(sites.Count(), 1);
        const Site& saved = sites.Entry(0).Site;
        EXPECT_EQ(saved.Name, "127.0.0.1");
        EXPECT_EQ(saved.Port, server.portText());
        EXPECT_EQ(saved.User, "anna");
        EXPECT_EQ(saved.Password, "") << "not asked to keep the password";
        emit window.RemotePath()->activated(0); // "SERVER LIST ..." leaves the server
        ASSERT_TRUE(WaitForState(window, session::SessionState::Idle));
        EXPECT_TRUE(bar->ConnectButton()->isEnabled());
    }
    MainWindow again(folder, &prompts);
    QuickConnectBar* bar = again.QuickBar();
    EXPECT_EQ(bar->Host()->text(), "127.0.0.1");
    EXPECT_EQ(bar->User()->text(), "anna");
    EXPECT_EQ(bar->Port()->text(), QString::fromStdString(server.portText()));
    EXPECT_EQ(bar->Password()->text(), "") << "never the password unless asked";
    EXPECT_EQ(again.Sites().Model().Count(), 1) << "the saved site is in the file";
}

} // namespace
