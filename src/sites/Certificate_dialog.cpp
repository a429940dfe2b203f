#include "sites/Certificate_dialog.h"

#include "prefs/Translator_widgets.h"
#include "prefs/look_widgets.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Left to right; the answer is the button's index.
constexpr AnswerButton<CertificateAnswer> kButtons[] = {
    {CertificateAnswer::TrustAlways, "bTrustAlways", "Trust always"},
    {CertificateAnswer::TrustOnce, "bTrustOnce", "Trust once"},
    {CertificateAnswer::Refuse, "bCancel", "Cancel"},
};

constexpr int IconSize = 48;
constexpr int MinimumWidth = 520;

QString LeadText(const CertificateQuestion& q) {
    const QString host = ShownText(q.Host);
    if (q.Changed)
        return QObject::tr("<b>Warning: the certificate of %1 differs from the one you trusted "
                           "before.</b> Someone may be intercepting the connection. Trust the new "
                           "one only if you know why it changed.")
            .arg(host.toHtmlEscaped());
    return QObject::tr("The certificate of %1 could not be verified. Compare its fingerprint with "
                       "the one the server's owner gave you before you trust it.")
        .arg(host.toHtmlEscaped());
}

// A SHA-256 fingerprint is 32 groups: two lines of 16 read and compare
// better than one that runs off the window. The colon stays at the break.
QString FingerprintLines(const std::string& fingerprint) {
    constexpr int GroupsPerLine = 16;
    QString shown = ShownText(fingerprint);
    int colons = 0;
    for (int i = 0; i < shown.size(); ++i) {
        if (shown[i] == u':' && ++colons == GroupsPerLine && i + 1 < shown.size()) {
            shown.insert(i + 1, u'\n');
            break;
        }
    }
    return shown;
}

} // namespace

CertificateDialog::CertificateDialog(Translator& language, const CertificateQuestion& question,
                                     QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("Certificate"));
    setWindowTitle(tr("Certificate"));
    setModal(true);
    setMinimumWidth(MinimumWidth);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("iIcon"));
    const QStyle::StandardPixmap kind =
        question.Changed ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxQuestion;
    icon->setPixmap(style()->standardIcon(kind).pixmap(IconSize, IconSize));
    icon->setAlignment(Qt::AlignTop);
    auto* lead = new QLabel(LeadText(question), this);
    lead->setObjectName(question.Changed ? QStringLiteral("lChanged")
                                         : QStringLiteral("lUnverified"));
    lead->setTextFormat(Qt::RichText);
    lead->setWordWrap(true);
    MarkAsUserData(lead);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(lead, 1);

    auto* details = new QFormLayout;
    AddDetail(details, "eHost", "Host", question.Host);
    AddDetail(details, "eSubject", "Subject", question.Subject);
    AddDetail(details, "eIssuer", "Issuer", question.Issuer);
    AddDetail(details, "eNotBefore", "Valid from", question.NotBefore);
    AddDetail(details, "eNotAfter", "Valid to", question.NotAfter);
    QLabel* fingerprint =
        AddDetail(details, "eFingerprint", "SHA-256 fingerprint", question.Fingerprint);
    fingerprint->setText(FingerprintLines(question.Fingerprint));
    fingerprint->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    fingerprint->setWordWrap(false);
    // Selected with the keyboard too, to copy it into a comparison.
    fingerprint->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    if (!question.VerificationError.empty())
        AddDetail(details, "eError", "Verification error", question.VerificationError);

    QHBoxLayout* row = AddAnswerRow(*this, kButtons, buttons_,
                                    [this](CertificateAnswer answer) { Choose(answer); });
    row->insertStretch(0);
    // Enter alone never trusts a certificate.
    Button(CertificateAnswer::Refuse)->setDefault(true);
    Button(CertificateAnswer::Refuse)->setFocus();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing));
    layout->addLayout(details);
    layout->addSpacing(style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing));
    layout->addLayout(row);

    ApplyLanguage(language, *this);
    QTimer::singleShot(0, this, [this] {
        raise();
        activateWindow();
    });
}

QLabel* CertificateDialog::AddDetail(QFormLayout* form, const char* name, const char* caption,
                                     const std::string& value) {
    auto* label = new QLabel(tr(caption), this);
    label->setObjectName(QLatin1Char('l') + QLatin1String(name + 1));
    auto* shown = new QLabel(ShownText(value), this);
    shown->setObjectName(QLatin1String(name));
    shown->setTextFormat(Qt::PlainText);
    shown->setWordWrap(true);
    shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
    MarkAsUserData(shown);
    form->addRow(label, shown);
    return shown;
}

QPushButton* CertificateDialog::Button(CertificateAnswer answer) const {
    return buttons_[static_cast<int>(answer)];
}

void CertificateDialog::Choose(CertificateAnswer answer) {
    answer_ = answer;
    if (answer == CertificateAnswer::Refuse)
        reject();
    else
        accept();
}
