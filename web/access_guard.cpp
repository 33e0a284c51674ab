#include "web/access_guard.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace pendra::web {

namespace {

// An IPv4 literal (digits and dots) or a bracketed IPv6 literal.
bool addressLiteral(const std::string &name) {
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        return true;
    if (name.empty())
        return false;
    for (char c : name)
        if (!(c == '.' || (c >= '0' && c <= '9')))
            return false;
    return true;
}

} // namespace

AccessGuard::AccessGuard(std::string token, std::string host, int port)
    : token_(std::move(token)), host_(std::move(host)), port_(port) {}

std::string AccessGuard::newToken() {
    std::random_device source;
    std::string token;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(source()));
        token += part;
    }
    return token;
}

std::string AccessGuard::address() const {
    return "http://" + hostName() + (port_ == defaultPort ? "" : ":" + std::to_string(port_)) +
           "/" + token_ + "/";
}

std::string AccessGuard::hostName() const {
    const bool v6 = host_.find(':') != std::string::npos;
    return v6 ? "[" + host_ + "]" : host_;
}

bool AccessGuard::tokenMatches(const std::string &target) const {
    // "/" + token, then the end or "/": compared in full whatever differs, so
    // the time taken tells nothing about how much of a guess was right.
    const std::string wanted = "/" + token_;
    unsigned differ = target.size() < wanted.size() ? 1u : 0u;
    for (size_t i = 0; i < wanted.size(); ++i)
        differ |= static_cast<unsigned>(wanted[i] ^ (i < target.size() ? target[i] : 0));
    if (differ)
        return false;
    return target.size() == wanted.size() || target[wanted.size()] == '/';
}

bool AccessGuard::hostMatches(const std::string &header) const {
    // NAME or NAME:PORT, NAME being a bracketed IPv6 literal or free of ':'.
    // The port, when given, must be this server's in its plain decimal
    // spelling; left out, it is the scheme's default (80), which browsers
    // leave out, so it stands for this server only when this is its port.
    size_t nameEnd = 0;
    if (!header.empty() && header.front() == '[') {
        nameEnd = header.find(']');
        if (nameEnd == std::string::npos)
            return false;
        ++nameEnd;
    } else {
        nameEnd = std::min(header.find(':'), header.size());
    }
    const std::string name = header.substr(0, nameEnd), port = header.substr(nameEnd);
    if (port.empty() ? port_ != defaultPort : port != ":" + std::to_string(port_))
        return false;
    return name == hostName() || name == "localhost" || addressLiteral(name);
}

} // namespace pendra::web
