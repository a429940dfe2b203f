// FTP over TLS in FtpClient: AUTH TLS and the handshake of the login, the
// server's certificate, PBSZ and PROT, and the TLS of each data connection.
#include "ftp/FtpClient.h"

#include <QMetaObject>
#include <algorithm>

namespace {

// The code a connect that failed for TLS reasons completes with.
constexpr int kSecurityFailed = 534;

// Answers to AUTH TLS that say the server does not speak it; any other
// refusal is a fault of its own.
bool SaysNoTls(int code) {
    constexpr std::array<int, 5> codes{500, 502, 504, 530, 534};
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

} // namespace

tls::ClientContext& FtpClient::TlsContext() {
    if (!tlsContext_)
        tlsContext_ = std::make_unique<tls::ClientContext>();
    return *tlsContext_;
}

void FtpClient::AuthTlsReplied() {
    // A server never speaks first in TLS: bytes after the 234 are no handshake.
    if (request_.result == 0 && reply_.Held() > 0) {
        FailSecurity("The server sent plain text after accepting AUTH TLS");
        return;
    }
    if (request_.result == 0) {
        control_->StartTls(TlsContext(), HostName);
        // The handshake answers for the command: a close or a stall ends the connect.
        request_.awaitingReply = true;
        MoveSilenceDeadline();
        return;
    }
    if (Security == FtpSecurity::IfOffered && SaysNoTls(request_.statusCode)) {
        GoOnDespiteRefusal("! The server does not offer TLS: going on in plain FTP");
        return;
    }
    FailSecurity("The server refused AUTH TLS, which this site requires: " + request_.lastResponse);
}

void FtpClient::ProtectionReplied() {
    const bool prot = request_.currentStep == FtpStep::Prot;
    if (request_.result == 0) {
        protectedData_ = protectedData_ || prot;
        TriggerRequestDone(0);
        return;
    }
    if (Security == FtpSecurity::IfOffered) {
        request_.steps &= ~StepBit(FtpStep::Prot);
        GoOnDespiteRefusal("! The server does not protect data connections: they stay plain");
        return;
    }
    FailSecurity(std::string("The server refused ") + (prot ? "PROT P" : "PBSZ 0") + ": " +
                 request_.lastResponse);
}

void FtpClient::ControlTlsDone(std::uint16_t error) {
    if (error != 0) {
        FailSecurity("TLS handshake failed: " + control_->TlsError());
        return;
    }
    const tls::Session& session = *control_->Tls();
    Display("! " + session.VersionAndCipher());
    const tls::CertificateInfo certificate = session.PeerCertificate();
    controlFingerprint_ = certificate.fingerprint;
    const tls::CertificateTrust trust = tls::JudgeCertificate(
        session.CertificateVerified(), certificate.fingerprint, TrustedFingerprint);
    if (trust == tls::CertificateTrust::Accept) {
        ControlTrusted();
        return;
    }
    const bool changed = trust == tls::CertificateTrust::AskChanged;
    const std::string why = session.VerificationError();
    Display(changed ? "! The server's certificate is not the one trusted for this site"
                    : "! The server's certificate is not verified: " + why);
    certificatePending_ = true;
    control_->HoldPlain(true); // an implicit server's greeting waits for the answer
    silence_->stop();          // the user takes his time
    // Posted: the owner may ask in a window that runs an event loop of its own.
    QMetaObject::invokeMethod(
        this,
        [this, certificate, changed, why] {
            Contained([&] {
                if (!certificatePending_)
                    return;
                if (!OnCertificateQuestion)
                    AnswerCertificate(false);
                else
                    OnCertificateQuestion(this, certificate, changed, why);
            });
        },
        Qt::QueuedConnection);
}

void FtpClient::AnswerCertificate(bool trust) {
    if (!certificatePending_)
        return;
    if (trust) {
        ControlTrusted();
        return;
    }
    certificatePending_ = false;
    FailSecurity("The server's certificate was refused");
}

void FtpClient::ControlTrusted() {
    certificatePending_ = false;
    MoveSilenceDeadline();
    // Implicit: the greeting, held or still to come, completes the open step.
    if (Security != FtpSecurity::Implicit) {
        request_.awaitingReply = false;
        TriggerRequestDone(0);
    }
    control_->HoldPlain(false);
}

// A connect that cannot be secured as the site asks ends; it never goes on in plain.
void FtpClient::FailSecurity(const std::string& why) {
    Display("Error " + why);
    request_.lastResponse = std::to_string(kSecurityFailed) + " " + why;
    request_.statusCode = kSecurityFailed;
    request_.result = kSecurityFailed;
    SetErrorMessage(request_.lastResponse);
    request_.nextSeq = nullptr;
    if (control_->State() != SocketState::wsClosed)
        control_->Close(); // completes the request
    if (!request_.done)
        TriggerRequestDone(kSecurityFailed);
}

// Once the connection is up and the server has taken up the transfer (150 or
// 125): vsftpd starts its side only after that reply, and pyftpdlib drops a
// data connection that speaks before its transfer command was taken. The data
// connection resumes the newest session, as servers such as vsftpd require.
void FtpClient::StartDataTlsWhenDue() {
    const bool taken = transfer_.upload ? transfer_.got150 : transfer_.accepted;
    if (!protectedData_ || transfer_.tls || !transfer_.dataConnected || !taken ||
        transfer_.dataClosed || data_->State() != SocketState::wsConnected)
        return;
    transfer_.tls = true;
    const tls::Session* last = data_->LastSession();
    data_->StartTls(TlsContext(), HostName,
                    last != nullptr && last->Resumed() ? last : control_->Tls());
}

void FtpClient::DataTlsDone(std::uint16_t error) {
    if (error != 0) {
        Display("! Data connection: TLS failed: " + data_->TlsError());
        CutShort("TLS on the data connection failed: " + data_->TlsError());
        return; // the socket closes, which ends the transfer
    }
    if (data_->Tls()->PeerCertificate().fingerprint != controlFingerprint_) {
        Display("! Data connection: another certificate than the control connection's");
        CutShort("the data connection presented another certificate");
        data_->Close();
        return;
    }
    if (!transfer_.upload || transfer_.dataReady)
        return;
    transfer_.dataReady = true;
    if (transfer_.got150 && !transfer_.sending)
        QMetaObject::invokeMethod(
            this, [this] { Contained([&] { StartSending(); }); }, Qt::QueuedConnection);
}
