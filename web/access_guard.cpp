#include "web/access_guard.h"

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
    const bool v6 = host_.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_) + "/" +
           token_ + "/";
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
    const size_t colon = header.rfind(':');
    if (colon == std::string::npos || header.find(']', colon) != std::string::npos)
        return false;
    if (header.substr(colon + 1) != std::to_string(port_))
        return false;
    const std::string name = header.substr(0, colon);
    const bool v6 = host_.find(':') != std::string::npos;
    return name == (v6 ? "[" + host_ + "]" : host_) || name == "localhost" || addressLiteral(name);
}

} // namespace pendra::web
