// A TLS site connected twice through the session controller: the user's
// answer to the server's self-signed certificate decides the first connect,
// and whether the second one asks again.
#include "prefs/Options.h"
#include "session/SessionController.h"
#include "session/SessionLog.h"
#include "support/EventLoop.h"
#include "support/RealFtpServer.h"
#include "support/ScriptedPrompts.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using session::SessionController;
using session::SessionState;
using testsupport::ProcessEventsUntil;
using testsupport::RealFtpServer;

struct TlsSessionRig {
    explicit TlsSessionRig(const RealFtpServer& server) {
        options = DefaultOptions(folder, ::getpid());
        options.retry = 2; // a refused certificate must not be tried again
        site.Name = "TLS loopback";
        site.Server = "127.0.0.1";
        site.Port = server.portText();
        site.User = server.user();
        site.Password = server.password();
        site.SavePassword = 1;
        site.Pasv = 1;
        site.Encryption = "explicit";
        QObject::connect(&controller, &SessionController::CertificateTrusted,
                         [this](const Site& trusted) { stored.push_back(trusted); });
    }
    // Connects and waits until the session browses or has ended.
    SessionState Connect() {
        controller.ConnectToSite(site);
        ProcessEventsUntil(
            [&] {
                return controller.SessionState() == SessionState::Browsing ||
                       controller.SessionState() == SessionState::Idle;
            },
            15000);
        return controller.SessionState();
    }
    void Disconnect() {
        controller.Disconnect();
        ProcessEventsUntil([&] { return controller.SessionState() == SessionState::Idle; }, 5000);
    }
    bool LoggedError() const {
        for (std::size_t i = 0; i < log.Pane().Count(); ++i)
            if (log.Pane().Line(i).starts_with("Error "))
                return true;
        return false;
    }

    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/";
    Options options;
    session::SessionLog log{folder};
    ScriptedPrompts prompts;
    FtpClient ftp;
    SessionController controller{ftp, log, prompts, options,
                                 std::chrono::year_month_day{2026y, std::chrono::December, 8d}};
    Site site;
    std::vector<Site> stored; // what the site list is asked to keep
};

TEST(TlsSession, CertificateAnswersAcrossTwoConnects) {
    struct Row {
        const char* name;
        const char* storedBefore; // the site's fingerprint before the first connect
        std::vector<CertificateAnswer> answers;
        std::vector<bool> changedAsked; // one per question
        SessionState first;
        bool kept; // the fingerprint went to the site list
    };
    const Row rows[] = {
        {"trusted once asks again next time",
         "",
         {CertificateAnswer::TrustOnce, CertificateAnswer::TrustOnce},
         {false, false},
         SessionState::Browsing,
         false},
        {"trusted always asks no more",
         "",
         {CertificateAnswer::TrustAlways},
         {false},
         SessionState::Browsing,
         true},
        {"refused ends the connect without retries",
         "",
         {CertificateAnswer::Refuse, CertificateAnswer::Refuse},
         {false, false},
         SessionState::Idle,
         false},
        {"a changed certificate warns",
         "00:11:22",
         {CertificateAnswer::Refuse, CertificateAnswer::TrustAlways},
         {true, true},
         SessionState::Idle,
         true},
    };
    RealFtpServer server(RealFtpServer::Kind::Pyftpdlib, RealFtpServer::Tls::Explicit);
    CORVANE_START_REAL_FTP(server);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TlsSessionRig rig(server);
        rig.site.TlsFingerprint = row.storedBefore;
        rig.prompts.certificates.assign(row.answers.begin(), row.answers.end());

        EXPECT_EQ(rig.Connect(), row.first) << rig.controller.Outcome();
        ASSERT_EQ(rig.prompts.certificateAsked.size(), 1u) << "one question per connect";
        EXPECT_EQ(rig.prompts.certificateAsked[0].Host, "127.0.0.1");
        EXPECT_EQ(rig.LoggedError(), row.first == SessionState::Idle);
        if (row.first == SessionState::Idle) {
            // The user's refusal is told as such, not as a lost connection.
            EXPECT_NE(rig.controller.LastEnd().End, session::SessionEnd::ConnectionLost);
            EXPECT_NE(rig.controller.Outcome().find("certificate was refused"), std::string::npos)
                << rig.controller.Outcome();
        }
        rig.Disconnect();

        // The second connect uses the site as the site list now holds it.
        if (!rig.stored.empty())
            rig.site = rig.stored.back();
        const SessionState second = rig.Connect();
        std::vector<bool> changed;
        for (const CertificateQuestion& q : rig.prompts.certificateAsked)
            changed.push_back(q.Changed);
        EXPECT_EQ(changed, row.changedAsked);
        EXPECT_EQ(second, rig.prompts.certificateAsked.empty() ||
                                  row.answers.back() != CertificateAnswer::Refuse
                              ? SessionState::Browsing
                              : SessionState::Idle);
        ASSERT_EQ(!rig.stored.empty(), row.kept);
        if (row.kept) {
            EXPECT_EQ(rig.stored.back().TlsFingerprint,
                      rig.prompts.certificateAsked.back().Fingerprint);
            EXPECT_EQ(rig.stored.back().Name, "TLS loopback");
        }
        rig.Disconnect();
    }
}

} // namespace
