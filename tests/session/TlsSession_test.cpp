// A TLS site connected twice through the session controller: the user's
// answer to the server's self-signed certificate decides the first connect,
// and whether the second one asks again.
#include "session/RealSession.h"

namespace {

using namespace realsession;
using session::SessionState;

TEST(TlsSession, CertificateAnswersAcrossTwoConnects) {
    using A = CertificateAnswer;
    struct Row {
        const char* name;
        const char* storedBefore; // the site's fingerprint before the first connect
        A first, second;          // the answers; trusted always, no second question
        SessionState state;       // after the first connect
        bool kept;                // the fingerprint went to the site list
    };
    const Row rows[] = {
        {"trusted once asks again next time", "", A::TrustOnce, A::TrustOnce,
         SessionState::Browsing, false},
        {"trusted always asks no more", "", A::TrustAlways, A::Refuse, SessionState::Browsing,
         true},
        {"refused ends the connect without retries", "", A::Refuse, A::Refuse, SessionState::Idle,
         false},
        {"a changed certificate warns", "00:11:22", A::Refuse, A::TrustAlways, SessionState::Idle,
         true},
    };
    RealFtpServer server(Kind::Pyftpdlib, RealFtpServer::Tls::Explicit);
    CORVANE_START_REAL_FTP(server);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RealSession rig(server);
        rig.options.retry = 2;    // a refused certificate must not be tried again
        std::vector<Site> stored; // what the site list is asked to keep
        QObject::connect(&rig.controller, &session::SessionController::CertificateTrusted,
                         [&](const Site& trusted) { stored.push_back(trusted); });
        Site site = rig.AccountSite(true);
        site.Name = "TLS loopback";
        site.Encryption = "explicit";
        site.TlsFingerprint = row.storedBefore;
        const bool askedAgain = row.first != A::TrustAlways;
        rig.prompts.certificates = {row.first, row.second};

        EXPECT_EQ(rig.Settle(site), row.state) << rig.controller.Outcome();
        ASSERT_EQ(rig.prompts.certificateAsked.size(), 1u) << "one question per connect";
        // The user's refusal is told as such, not as a lost connection.
        EXPECT_EQ(rig.controller.Outcome().find("certificate was refused") != std::string::npos,
                  row.state == SessionState::Idle)
            << rig.controller.Outcome();
        rig.controller.Disconnect();

        // The second connect uses the site as the site list now holds it.
        if (!stored.empty())
            site = stored.back();
        const SessionState second = rig.Settle(site);
        std::vector<bool> changed;
        for (const CertificateQuestion& q : rig.prompts.certificateAsked)
            changed.push_back(q.Changed);
        EXPECT_EQ(changed, std::vector<bool>(askedAgain ? 2 : 1, *row.storedBefore != '\0'));
        EXPECT_EQ(second, !askedAgain || row.second != A::Refuse ? SessionState::Browsing
                                                                 : SessionState::Idle);
        ASSERT_EQ(!stored.empty(), row.kept);
        if (row.kept) {
            EXPECT_EQ(stored.back().TlsFingerprint,
                      rig.prompts.certificateAsked.back().Fingerprint);
            EXPECT_EQ(stored.back().Name, "TLS loopback");
        }
        rig.controller.Disconnect();
    }
}

} // namespace
