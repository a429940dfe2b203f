#pragma once

#include "net/AsyncSocket.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

enum class SocksAuthentication : std::uint8_t { socksNoAuthentication, socksAuthenticateUsercode };

enum class SocksAuthState : std::uint8_t {
    socksAuthStart,
    socksAuthSuccess,
    socksAuthFailure,
    socksAuthNotRequired,
};

// Reaches the destination through a SOCKS 4, 4A or 5 proxy when SocksServer
// is set: Connect opens the connection to the proxy, negotiates, and only
// then reports OnSessionConnected, so the owner sees an ordinary connection.
// Without a SOCKS server it passes everything on.
class SocksSocket : public AsyncSocket {
public:
    using AsyncSocket::AsyncSocket;

    const std::string& SocksServer() const { return socksServer_; }
    void SetSocksServer(std::string_view value);
    const std::string& SocksPort() const { return socksPort_; }
    void SetSocksPort(std::string_view value);
    const std::string& SocksLevel() const { return socksLevel_; }
    void SetSocksLevel(std::string_view value);
    std::string SocksUsercode;
    std::string SocksPassword;
    ::SocksAuthentication SocksAuthentication = ::SocksAuthentication::socksNoAuthentication;

    // What a version 5 proxy reported as the address it bound for us.
    const std::string& BoundAddr() const { return boundAddr_; }
    const std::string& BoundPort() const { return boundPort_; }

    ErrorEvent OnSocksConnected;
    std::function<void(AsyncSocket* sender, int error, const std::string& msg)> OnSocksError;
    std::function<void(AsyncSocket* sender, SocksAuthState state)> OnSocksAuthState;

    void Connect() override;
    void Listen() override;
    int Receive(void* buffer, int len) override;

protected:
    void TriggerSessionConnected(std::uint16_t error) override;
    void TriggerDataAvailable(std::uint16_t error) override;
    void TriggerSessionClosed(std::uint16_t error) override;
    int PendingBytes() override;
    void ApplyCloseDefaults() override;

private:
    enum class Negotiation : std::uint8_t { None, ProxyConnect, Authenticating, ConnectSent };

    void ChangeSetting(std::string& setting, std::string_view value, const char* refusal);
    bool UsingSocks() const { return !socksServer_.empty(); }
    bool Version5() const { return socksLevel_ == "5"; }
    void Negotiate();
    void MethodAnswer();
    void AuthenticationAnswer();
    void ConnectAnswer5();
    void ConnectAnswer4();
    void SendAuthentication();
    void SendConnectRequest();
    void Granted(std::size_t answerLength);
    void Fail(int error, const std::string& text);
    void CheckRequestFits() const;
    void SendBytes(const std::vector<std::uint8_t>& bytes);

    std::string socksServer_;
    std::string socksPort_;
    std::string socksLevel_ = "5";
    Negotiation negotiation_ = Negotiation::None;
    std::uint8_t methodOffered_ = 0;
    std::uint16_t destinationPort_ = 0;
    in_addr destinationAddr_{}; // versions 4: the destination resolved
    std::array<std::uint8_t, 128> answer_{};
    std::size_t answerCount_ = 0;
    std::string boundAddr_;
    std::string boundPort_;
    std::string early_; // bytes that came after the proxy's answer
    std::size_t earlyPos_ = 0;
};
