#include "net/TlsEngine.h"

#include <gtest/gtest.h>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace {

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* p) const {
        Free(p);
    }
};

// A self-signed certificate for "localhost", made fresh for the run.
struct ServerIdentity {
    std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>> key{EVP_EC_gen("P-256")};
    std::unique_ptr<X509, Deleter<X509_free>> certificate{X509_new()};

    ServerIdentity() {
        X509* c = certificate.get();
        X509_set_version(c, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(c), 7);
        X509_gmtime_adj(X509_getm_notBefore(c), -3600);
        X509_gmtime_adj(X509_getm_notAfter(c), 3600);
        X509_NAME* name = X509_get_subject_name(c);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
        X509_set_issuer_name(c, name);
        X509_set_pubkey(c, key.get());
        X509V3_CTX ctx;
        X509V3_set_ctx_nodb(&ctx);
        X509V3_set_ctx(&ctx, c, c, nullptr, nullptr, 0);
        X509_EXTENSION* san =
            X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "DNS:localhost");
        X509_add_ext(c, san, -1);
        X509_EXTENSION_free(san);
        X509_sign(c, key.get(), EVP_sha256());
    }

    std::string Pem() const {
        std::unique_ptr<BIO, Deleter<BIO_free>> out(BIO_new(BIO_s_mem()));
        PEM_write_bio_X509(out.get(), certificate.get());
        char* data = nullptr;
        const long size = BIO_get_mem_data(out.get(), &data);
        return std::string(data, static_cast<std::size_t>(size));
    }

    // Taken over the DER bytes, not through the code under test.
    std::string Fingerprint() const {
        unsigned char* der = nullptr;
        const int length = i2d_X509(certificate.get(), &der);
        unsigned char digest[32];
        EVP_Digest(der, static_cast<std::size_t>(length), digest, nullptr, EVP_sha256(), nullptr);
        OPENSSL_free(der);
        std::string text;
        for (unsigned char byte : digest) {
            char part[4];
            std::snprintf(part, sizeof part, "%02X:", byte);
            text += part;
        }
        text.pop_back();
        return text;
    }
};

const ServerIdentity& Identity() {
    static const ServerIdentity identity;
    return identity;
}

// The server end of a handshake, over memory buffers.
struct ServerEnd {
    std::unique_ptr<SSL_CTX, Deleter<SSL_CTX_free>> ctx{SSL_CTX_new(TLS_server_method())};
    std::unique_ptr<SSL, Deleter<SSL_free>> ssl;
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    std::string received;

    ServerEnd() {
        SSL_CTX_use_certificate(ctx.get(), Identity().certificate.get());
        SSL_CTX_use_PrivateKey(ctx.get(), Identity().key.get());
        ssl.reset(SSL_new(ctx.get()));
        SSL_set_bio(ssl.get(), in, out);
        SSL_set_accept_state(ssl.get());
    }
    std::string Step(const std::string& fromClient) {
        BIO_write(in, fromClient.data(), static_cast<int>(fromClient.size()));
        char buffer[4096];
        std::size_t read = 0;
        while (SSL_read_ex(ssl.get(), buffer, sizeof buffer, &read) == 1)
            received.append(buffer, read);
        std::string bytes(static_cast<std::size_t>(BIO_ctrl_pending(out)), '\0');
        if (!bytes.empty())
            BIO_read(out, bytes.data(), static_cast<int>(bytes.size()));
        return bytes;
    }
};

// Moves bytes both ways until neither side has anything to say.
void Shuttle(tls::Session& client, ServerEnd& server) {
    for (int round = 0; round < 20; ++round) {
        const std::string toServer = client.TakeOutgoing();
        const std::string toClient = server.Step(toServer);
        if (toServer.empty() && toClient.empty())
            return;
        client.Feed(toClient);
    }
}

TEST(TlsSession, VerifiesTheCertificateAgainstTrustAndHost) {
    struct Row {
        const char* name;
        bool trusted;
        const char* host;
        bool verified;
        const char* error;
    };
    const Row rows[]{
        {"self-signed-unknown", false, "localhost", false, "self-signed certificate"},
        {"trusted-and-named", true, "localhost", true, ""},
        {"trusted-wrong-name", true, "ftp.example.org", false, "hostname mismatch"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        tls::ClientContext context;
        if (row.trusted) {
            ASSERT_TRUE(context.AddTrustedPem(Identity().Pem()));
        }
        ServerEnd end;
        tls::Session client(context, row.host);
        EXPECT_FALSE(client.Write("early")) << "nothing is sent before the handshake";
        Shuttle(client, end);
        ASSERT_EQ(client.State(), tls::TlsState::Open) << client.Error();
        EXPECT_EQ(client.CertificateVerified(), row.verified);
        EXPECT_EQ(client.VerificationError(), row.error);
        const tls::CertificateInfo info = client.PeerCertificate();
        EXPECT_EQ(info.fingerprint, Identity().Fingerprint());
    }
}

TEST(TlsSession, AStoredFingerprintDecidesBeforeTheTrustStore) {
    using enum tls::CertificateTrust;
    struct Row {
        bool verified;
        const char* presented;
        const char* stored;
        tls::CertificateTrust trust;
    };
    const Row rows[]{
        {true, "AA", "", Accept},       {false, "AA", "", AskNew},
        {false, "AA", "AA", Accept},    {false, "BB", "AA", AskChanged},
        {true, "BB", "AA", AskChanged},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.verified << row.presented << row.stored);
        EXPECT_EQ(tls::JudgeCertificate(row.verified, row.presented, row.stored), row.trust);
    }
}

} // namespace
