// The configuration page's HTTP server: the page's own files, built into the
// program, and the small JSON and PNG interface the page talks to, all under
// the token's folder and behind the AccessGuard. Nothing else on the machine
// is served; there are no listings.
#pragma once

#include "web/access_guard.h"
#include "web/configure_session.h"
#include "web/gated_server.h"

#include <atomic>
#include <memory>
#include <string>

namespace pendra::web {

class PageServer {
  public:
    // Binds to `listen` ("HOST:PORT", PORT 0 for any free port); throws
    // cli::CliError when the address is malformed or taken.
    PageServer(ConfigureSession &session, const std::string &listen,
               std::string token = AccessGuard::newToken());

    const AccessGuard &guard() const { return *guard_; }
    // Serves until stop(); call on a thread of its own.
    void run();
    // Stops listening, closes the connections and waits for answers in progress.
    void stop();
    // Whether the page asked the server to stop.
    bool stopRequested() const { return stopRequested_; }

  private:
    void routes();

    ConfigureSession &session_;
    GatedServer server_;
    std::unique_ptr<AccessGuard> guard_;
    std::atomic<bool> stopRequested_{false};
};

// "HOST:PORT" (HOST may be a bracketed IPv6 address) split; throws
// cli::CliError (exit code 2) when it is not one.
std::pair<std::string, int> splitListenAddress(const std::string &listen);

} // namespace pendra::web
