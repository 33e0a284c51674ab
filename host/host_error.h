// Errors of our host: what went wrong, in words a user can act on.
#pragma once

#include <stdexcept>
#include <string>

namespace pendra::host {

class HostError : public std::runtime_error {
  public:
    explicit HostError(const std::string &what) : std::runtime_error(what) {}
};

} // namespace pendra::host
