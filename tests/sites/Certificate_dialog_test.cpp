#include "app/DialogPrompts.h"
#include "prefs/PrefsTestSupport.h"
#include "prefs/Translator.h"
#include "prefs/WidgetTestSupport.h"
#include "sites/Certificate_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

// 32 groups; the window shows 16 a line.
constexpr char FirstHalf[] = "00:01:02:03:04:05:06:07:08:09:0A:0B:0C:0D:0E:0F";
constexpr char SecondHalf[] = "10:11:12:13:14:15:16:17:18:19:1A:1B:1C:1D:1E:1F";

CertificateQuestion Question(bool changed) {
    return {"ftp.example.org",
            "CN=ftp.example.org",
            "CN=Example CA",
            "2026-01-01 00:00:00 UTC",
            "2027-01-01 00:00:00 UTC",
            std::string(FirstHalf) + ":" + SecondHalf,
            changed ? "" : "self-signed certificate",
            changed};
}

// Each row: the question, what the user does in the window, and the answer.
TEST(CertificateDialogTest, TheButtonsAnswerAndOnlyAClickTrusts) {
    using enum CertificateAnswer;
    struct Row {
        const char* name;
        bool changed;
        const char* button; // nullptr: a key
        Qt::Key key;
        CertificateAnswer expected;
    } rows[] = {
        {"trust always", false, "bTrustAlways", {}, TrustAlways},
        {"trust once", false, "bTrustOnce", {}, TrustOnce},
        {"cancel refuses", false, "bCancel", {}, Refuse},
        {"escape refuses", false, nullptr, Qt::Key_Escape, Refuse},
        {"enter refuses", false, nullptr, Qt::Key_Return, Refuse},
        {"changed: enter refuses", true, nullptr, Qt::Key_Return, Refuse},
        {"changed: trusted only by a click", true, "bTrustAlways", {}, TrustAlways},
    };
    TempFolder folder;
    LanguageSettings lang;
    Translator language{folder.path(), lang};
    DialogPrompts prompts{language, nullptr};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WhenModal<CertificateDialog>([&row](CertificateDialog& w) {
            EXPECT_EQ(Child<QLabel>(w, "eFingerprint")->text().toStdString(),
                      std::string(FirstHalf) + ":\n" + SecondHalf);
            EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("lChanged")) != nullptr, row.changed);
            EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("eError")) != nullptr, !row.changed);
            if (row.button)
                Click(w, row.button);
            else
                QTest::keyClick(&w, row.key);
        });
        EXPECT_EQ(prompts.AskCertificate(Question(row.changed)), row.expected);
    }
}

} // namespace
