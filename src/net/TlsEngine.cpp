#include "net/TlsEngine.h"

#include <array>
#include <ctime>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <utility>

namespace tls {
namespace {

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* p) const {
        Free(p);
    }
};
using SslCtxPtr = std::unique_ptr<SSL_CTX, Deleter<SSL_CTX_free>>;
using SslPtr = std::unique_ptr<SSL, Deleter<SSL_free>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free_all>>;

std::string LastError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return "TLS error";
    std::array<char, 256> text{};
    ERR_error_string_n(code, text.data(), text.size());
    return text.data();
}

std::string NameText(const X509_NAME* name) {
    BioPtr out(BIO_new(BIO_s_mem()));
    X509_NAME_print_ex(out.get(), name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

std::string TimeText(const ASN1_TIME* time) {
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text.data();
}

} // namespace

CertificateTrust JudgeCertificate(bool verified, std::string_view presented,
                                  std::string_view stored) {
    if (!stored.empty())
        return presented == stored ? CertificateTrust::Accept : CertificateTrust::AskChanged;
    return verified ? CertificateTrust::Accept : CertificateTrust::AskNew;
}

struct ClientContext::Handle {
    SslCtxPtr ctx;
};

ClientContext::ClientContext() : handle_(std::make_unique<Handle>()) {
    handle_->ctx.reset(SSL_CTX_new(TLS_client_method()));
    SSL_CTX_set_min_proto_version(handle_->ctx.get(), TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(handle_->ctx.get());
    // Sessions are kept by the caller and handed to the data connections.
    SSL_CTX_set_session_cache_mode(handle_->ctx.get(), SSL_SESS_CACHE_CLIENT);
}

ClientContext::~ClientContext() = default;

bool ClientContext::AddTrustedPem(std::string_view pem) {
    BioPtr in(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    X509Ptr certificate(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
    if (!certificate)
        return false;
    return X509_STORE_add_cert(SSL_CTX_get_cert_store(handle_->ctx.get()), certificate.get()) == 1;
}

struct Session::Handle {
    SslPtr ssl;
    BIO* network = nullptr; // owned by ssl; the engine reads what arrived from it
    BIO* outgoing = nullptr;
};

Session::Session(const ClientContext& context, const std::string& host, const Session* resumeFrom)
    : handle_(std::make_unique<Handle>()) {
    handle_->ssl.reset(SSL_new(context.handle().ctx.get()));
    SSL* ssl = handle_->ssl.get();
    handle_->network = BIO_new(BIO_s_mem());
    handle_->outgoing = BIO_new(BIO_s_mem());
    SSL_set_bio(ssl, handle_->network, handle_->outgoing);
    SSL_set_connect_state(ssl);
    // Verification is judged by the caller after the handshake (the user may
    // trust a certificate); the handshake itself always completes.
    SSL_set_verify(ssl, SSL_VERIFY_NONE, nullptr);
    SSL_set1_host(ssl, host.c_str());
    SSL_set_tlsext_host_name(ssl, host.c_str());
    if (resumeFrom) {
        if (SSL_SESSION* session = SSL_get1_session(resumeFrom->handle_->ssl.get())) {
            SSL_set_session(ssl, session);
            SSL_SESSION_free(session);
        }
    }
    Pump();
}

Session::~Session() = default;

void Session::Fail(std::string why) {
    state_ = TlsState::Failed;
    error_ = std::move(why);
}

void Session::Pump() {
    SSL* ssl = handle_->ssl.get();
    if (state_ == TlsState::Handshaking) {
        const int result = SSL_do_handshake(ssl);
        if (result == 1) {
            state_ = TlsState::Open;
        } else {
            const int error = SSL_get_error(ssl, result);
            if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
                Fail(LastError());
            return;
        }
    }
    if (state_ != TlsState::Open)
        return;
    std::array<char, 16384> buffer{};
    for (;;) {
        std::size_t read = 0;
        const int result = SSL_read_ex(ssl, buffer.data(), buffer.size(), &read);
        if (result == 1) {
            plain_.append(buffer.data(), read);
            continue;
        }
        const int error = SSL_get_error(ssl, result);
        if (error == SSL_ERROR_ZERO_RETURN) {
            peerClosed_ = true;
            state_ = TlsState::Closed;
        } else if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            Fail(LastError());
        }
        return;
    }
}

void Session::Feed(std::string_view ciphertext) {
    if (state_ == TlsState::Failed || ciphertext.empty())
        return;
    BIO_write(handle_->network, ciphertext.data(), static_cast<int>(ciphertext.size()));
    Pump();
}

std::string Session::TakeOutgoing() {
    std::string bytes(static_cast<std::size_t>(BIO_ctrl_pending(handle_->outgoing)), '\0');
    if (!bytes.empty())
        BIO_read(handle_->outgoing, bytes.data(), static_cast<int>(bytes.size()));
    return bytes;
}

bool Session::HasOutgoing() const {
    return BIO_ctrl_pending(handle_->outgoing) > 0;
}

bool Session::Write(std::string_view plain) {
    if (state_ != TlsState::Open)
        return false;
    std::size_t written = 0;
    if (!plain.empty() &&
        SSL_write_ex(handle_->ssl.get(), plain.data(), plain.size(), &written) != 1) {
        Fail(LastError());
        return false;
    }
    return true;
}

std::string Session::TakePlain() {
    return std::exchange(plain_, {});
}

void Session::Close() {
    if (state_ == TlsState::Open || state_ == TlsState::Closed)
        SSL_shutdown(handle_->ssl.get());
}

bool Session::CertificateVerified() const {
    return state_ != TlsState::Handshaking &&
           SSL_get_verify_result(handle_->ssl.get()) == X509_V_OK;
}

std::string Session::VerificationError() const {
    const long result = SSL_get_verify_result(handle_->ssl.get());
    return result == X509_V_OK ? std::string() : X509_verify_cert_error_string(result);
}

CertificateInfo Session::PeerCertificate() const {
    X509Ptr certificate(SSL_get1_peer_certificate(handle_->ssl.get()));
    if (!certificate)
        return {};
    CertificateInfo info;
    info.subject = NameText(X509_get_subject_name(certificate.get()));
    info.issuer = NameText(X509_get_issuer_name(certificate.get()));
    info.notBefore = TimeText(X509_get0_notBefore(certificate.get()));
    info.notAfter = TimeText(X509_get0_notAfter(certificate.get()));
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    X509_digest(certificate.get(), EVP_sha256(), digest.data(), &length);
    constexpr std::string_view hex = "0123456789ABCDEF";
    for (unsigned int i = 0; i < length; ++i) {
        if (i)
            info.fingerprint += ':';
        info.fingerprint += hex[digest[i] >> 4];
        info.fingerprint += hex[digest[i] & 15];
    }
    return info;
}

std::string Session::VersionAndCipher() const {
    std::string version = SSL_get_version(handle_->ssl.get()); // "TLSv1.3"
    if (version.starts_with("TLSv"))
        version = "TLS " + version.substr(4);
    const char* cipher = SSL_get_cipher_name(handle_->ssl.get());
    return version + ", " + (cipher ? cipher : "");
}

bool Session::Resumed() const {
    return SSL_session_reused(handle_->ssl.get()) == 1;
}

} // namespace tls
