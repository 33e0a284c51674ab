#include "web/configure_command.h"

#include "cli/interrupt.h"
#include "web/page_server.h"

#include <chrono>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char **environ;

namespace pendra::web {

namespace {

// Hands the address to the desktop's browser; a failure only costs a message,
// since the address is printed anyway.
void openBrowser(const std::string &address) {
    const char *argv[] = {"xdg-open", address.c_str(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "xdg-open", nullptr, nullptr, const_cast<char **>(argv), environ) !=
        0) {
        std::fprintf(stderr, "pendra: could not run xdg-open; open the address yourself\n");
        return;
    }
    // xdg-open returns once the browser has the address; reap it meanwhile.
    std::thread([child] {
        int status = 0;
        waitpid(child, &status, 0);
    }).detach();
}

} // namespace

int runConfigure(const cli::Options &options) {
    // A mistyped --listen is refused before the video is read.
    const std::string host = splitListenAddress(options.listen).first;
    ConfigureSession session(options);
    PageServer server(session, options.listen);
    std::printf("%s\n", server.guard().address().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "pendra: serving the page for %s; stop with the page's Stop or Ctrl-C\n",
                 options.input.c_str());
    if (host.rfind("127.", 0) != 0 && host != "::1" && host != "localhost")
        std::fprintf(stderr,
                     "pendra: warning: listening on %s: other machines may reach the page "
                     "(it still refuses requests without its token)\n",
                     host.c_str());
    if (!options.noBrowser)
        openBrowser(server.guard().address());

    std::thread serving([&server] { server.run(); });
    int code = 0;
    try {
        while (!server.stopRequested()) {
            cli::stopIfInterrupted();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    } catch (const cli::CliError &e) {
        code = e.exitCode();
    }
    server.stop();
    serving.join();
    if (code != 0)
        std::fprintf(stderr, "pendra: interrupted; the page is closed\n");
    return code;
}

} // namespace pendra::web
