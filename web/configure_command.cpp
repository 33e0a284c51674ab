#include "web/configure_command.h"

#include "cli/interrupt.h"
#include "web/page_server.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace pendra::web {

namespace {

std::string htmlEscaped(const std::string &text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The page's address for the browser, in a file: given as the opener's
// argument, the token would stand in its command line, which every user of
// the machine can read (ps, /proc/PID/cmdline). As notebook servers do, the
// opener gets the path of a small page that sends the browser on to the
// address; the page lies in a new folder of the user's own (mkdtemp: 0700),
// is created anew (O_EXCL, O_NOFOLLOW) readable by the user alone (0600),
// and goes with its folder when the server ends.
class RedirectPage {
  public:
    // Throws std::system_error when the file cannot be made.
    explicit RedirectPage(const std::string &address) {
        const char *tmp = std::getenv("TMPDIR");
        std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/pendra-XXXXXX";
        if (!mkdtemp(folder.data()))
            throw std::system_error(errno, std::generic_category(), folder);
        folder_ = folder;
        path_ = folder_ + "/open.html";
        const int fd =
            open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int error = errno;
            rmdir(folder_.c_str());
            throw std::system_error(error, std::generic_category(), path_);
        }
        const std::string to = htmlEscaped(address);
        const std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n"
                                 "<meta http-equiv=\"refresh\" content=\"0;url=" +
                                 to +
                                 "\">\n<title>Pendra</title></head>\n"
                                 "<body><p><a href=\"" +
                                 to + "\">The configuration page</a></p></body></html>\n";
        const bool written =
            write(fd, page.data(), page.size()) == static_cast<ssize_t>(page.size());
        const int error = errno;
        close(fd);
        if (!written) {
            unlink(path_.c_str());
            rmdir(folder_.c_str());
            throw std::system_error(error, std::generic_category(), path_);
        }
    }
    ~RedirectPage() {
        unlink(path_.c_str());
        rmdir(folder_.c_str());
    }
    RedirectPage(const RedirectPage &) = delete;
    RedirectPage &operator=(const RedirectPage &) = delete;

    const std::string &path() const { return path_; }

  private:
    std::string folder_, path_;
};

// Hands `file` to the desktop's opener; a failure only costs a message,
// since the address is printed anyway.
void openBrowser(const std::string &file) {
    const char *argv[] = {"xdg-open", file.c_str(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "xdg-open", nullptr, nullptr, const_cast<char **>(argv), environ) !=
        0) {
        std::fprintf(stderr, "pendra: could not run xdg-open; open the address yourself\n");
        return;
    }
    // xdg-open returns once the browser has the page; reap it meanwhile.
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
    std::unique_ptr<RedirectPage> redirect; // kept until the server ends
    if (!options.noBrowser) {
        try {
            redirect = std::make_unique<RedirectPage>(server.guard().address());
            openBrowser(redirect->path());
        } catch (const std::system_error &e) {
            std::fprintf(stderr,
                         "pendra: could not write the page for the browser (%s); open "
                         "the address yourself\n",
                         e.what());
        }
    }

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
