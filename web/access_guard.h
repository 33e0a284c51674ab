// Who the configuration page's server answers. Any page the browser opens can
// send requests to a local server, so every request must carry the secret
// token the server printed in its address, and name the server itself in its
// Host header: a page on another name that resolves here (DNS rebinding)
// names that instead.
#pragma once

#include <string>

namespace pendra::web {

class AccessGuard {
  public:
    // `host` and `port` are where the server listens.
    AccessGuard(std::string token, std::string host, int port);

    // 32 hex digits from the system's random source.
    static std::string newToken();

    const std::string &token() const { return token_; }
    // The page's address, e.g. http://127.0.0.1:8080/TOKEN/ (without the
    // port when it is HTTP's default, 80).
    std::string address() const;

    // Whether `target` (the request's path) lies under the token's folder.
    bool tokenMatches(const std::string &target) const;
    // Whether the Host header names this server: its own host, or localhost
    // or an address literal (which no rebinding can stand for), with its
    // port, or without it when the port is HTTP's default (80).
    bool hostMatches(const std::string &hostHeader) const;

  private:
    static constexpr int defaultPort = 80;
    // The host as a URL or Host header names it (IPv6 in brackets).
    std::string hostName() const;

    std::string token_;
    std::string host_;
    int port_;
};

} // namespace pendra::web
