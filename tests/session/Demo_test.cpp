// The demo run of the README: its server and site list, connected to by the
// session controller as a user's double click would, then torn down.
#include "prefs/Options.h"
#include "prefs/PrefsTestSupport.h"
#include "session/SessionController.h"
#include "session/SessionLog.h"
#include "sites/SiteListController.h"
#include "support/EventLoop.h"
#include "support/ScriptedPrompts.h"

#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using session::SessionState;
using testsupport::ProcessEventsUntil;

TEST(DemoRun, ServesItsTreeToTheSavedSiteAndLeavesNothingBehind) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/demo/";
    QProcess demo;
    // Even a failed assertion lets the demo clean up after itself.
    struct EndDemo {
        QProcess& demo;
        ~EndDemo() {
            demo.closeWriteChannel();
            demo.waitForFinished(10000);
        }
    } endDemo{demo};
    demo.start(QStringLiteral(CORVANE_SOURCE_DIR "/scripts/demo.py"),
               {QStringLiteral("--serve-only"), QString::fromStdString(folder)});
    ASSERT_TRUE(demo.waitForStarted(5000));
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return demo.canReadLine() || demo.state() == QProcess::NotRunning; }, 20000));
    ASSERT_TRUE(demo.canReadLine()) << demo.readAllStandardError().toStdString();
    const QStringList ready = QString::fromUtf8(demo.readLine()).trimmed().split(' ');
    ASSERT_EQ(ready.size(), 3) << ready.join(' ').toStdString();
    ASSERT_EQ(ready[0], "ready");
    const std::string tree = ready[2].toStdString();

    Options options = DefaultOptions(folder, ::getpid());
    ScriptedPrompts prompts;
    SiteListController sites(folder, prompts, options);
    ASSERT_TRUE(sites.LoadSiteFolder(""));
    ASSERT_EQ(sites.Model().Count(), 1);
    const SiteEntry& entry = sites.Model().Entry(0);
    {
        session::SessionLog log{folder};
        FtpClient ftp;
        session::SessionController controller{ftp, log, prompts, options, session::Today()};
        controller.ConnectToSite(entry.Site);
        ASSERT_TRUE(ProcessEventsUntil(
            [&] { return controller.SessionState() == SessionState::Browsing; }, 10000));
        std::vector<std::string> shown;
        for (const remote::RemoteItem& item : controller.RemoteView().Items())
            shown.push_back(item.caption);
        std::sort(shown.begin(), shown.end());
        EXPECT_EQ(shown, (std::vector<std::string>{"README.txt", "docs", "empty", "pictures",
                                                   "software", "upload here"}));
        controller.Disconnect();
    }

    demo.closeWriteChannel();
    ASSERT_TRUE(demo.waitForFinished(10000));
    EXPECT_EQ(demo.exitCode(), 0);
    EXPECT_FALSE(std::filesystem::exists(tree)) << "the sample tree is removed";
}

} // namespace
