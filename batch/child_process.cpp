#include "batch/child_process.h"

#include "cli/av_support.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace pendra::batch {

namespace fs = std::filesystem;
using cli::CliError;

namespace {

std::vector<char *> argvOf(const std::string &program, const std::vector<std::string> &args,
                           std::vector<std::string> &storage) {
    storage.clear();
    storage.push_back(program);
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    return argv;
}

// posix_spawn's file actions, released however the start ends.
struct FileActions {
    posix_spawn_file_actions_t actions;
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
    FileActions(const FileActions &) = delete;
    FileActions &operator=(const FileActions &) = delete;
};

} // namespace

fs::path ownProgram() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error)
        throw CliError("cannot find this program's own file: " +
                       cli::systemErrorText(error.value()));
    return self;
}

pid_t startLogged(const fs::path &program, const std::vector<std::string> &args,
                  const fs::path &log, int inherited) {
    // Everything the child needs is made before the fork: between fork and
    // exec it may only make calls that are safe in a signal handler.
    std::vector<std::string> storage;
    std::vector<char *> argv = argvOf(program.string(), args, storage);
    const int logFd =
        ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (logFd < 0)
        throw CliError(log.string() + ": cannot write: " + cli::systemErrorText(errno));
    const int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    int failure[2] = {-1, -1}; // the child's errno when it cannot start the program
    if (nullFd < 0 || ::pipe2(failure, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(logFd);
        if (nullFd >= 0)
            ::close(nullFd);
        throw CliError(program.string() +
                       ": cannot start a worker: " + cli::systemErrorText(error));
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        int error = 0;
        // The parent's death (this thread's, which forked) stops the worker;
        // should the parent have died before this took hold, the worker is
        // already another process's child and stops at once.
        if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0)
            error = errno;
        else if (::getppid() != parent)
            ::_exit(130);
        if (error == 0 && (::dup2(nullFd, 0) < 0 || ::dup2(nullFd, 1) < 0 || ::dup2(logFd, 2) < 0))
            error = errno;
        if (error == 0 && inherited >= 0 && ::fcntl(inherited, F_SETFD, 0) != 0)
            error = errno;
        if (error == 0) {
            ::execv(program.c_str(), argv.data());
            error = errno;
        }
        ssize_t ignored = ::write(failure[1], &error, sizeof error);
        (void)ignored;
        ::_exit(127);
    }
    const int forkError = errno;
    ::close(failure[1]);
    ::close(logFd);
    ::close(nullFd);
    int error = pid < 0 ? forkError : 0;
    if (pid > 0) {
        // The pipe closes on a successful exec, or brings the reason it failed.
        ssize_t n = 0;
        while ((n = ::read(failure[0], &error, sizeof error)) < 0 && errno == EINTR) {
        }
        if (n != static_cast<ssize_t>(sizeof error))
            error = 0;
        if (error != 0)
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
    }
    ::close(failure[0]);
    if (error != 0)
        throw CliError(program.string() +
                       ": cannot start a worker: " + cli::systemErrorText(error));
    return pid;
}

CommandOutput runCommand(const std::vector<std::string> &command) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw CliError("cannot start " + command[0] + ": " + cli::systemErrorText(errno));
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        throw CliError("cannot start " + command[0] + ": " + cli::systemErrorText(errno));
    }
    FileActions fa;
    posix_spawn_file_actions_addopen(&fa.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa.actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa.actions, err[1], 2);
    std::vector<std::string> storage;
    std::vector<char *> argv = argvOf(command[0], {command.begin() + 1, command.end()}, storage);
    pid_t pid = 0;
    int error = posix_spawnp(&pid, command[0].c_str(), &fa.actions, nullptr, argv.data(), environ);
    ::close(out[1]);
    ::close(err[1]);
    CommandOutput result;
    if (error == 0) {
        // Both pipes read together, so neither fills up while the other waits.
        pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        std::string *texts[2] = {&result.out, &result.err};
        int open = 2;
        while (open > 0) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                char buffer[4096];
                ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    texts[i]->append(buffer, static_cast<size_t>(n));
                } else if (n == 0 || errno != EINTR) {
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    ::close(out[0]);
    ::close(err[0]);
    if (error != 0)
        throw CliError("cannot start " + command[0] + ": " + cli::systemErrorText(error));
    return result;
}

std::string endDescription(int status) {
    if (WIFEXITED(status))
        return "exit code " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        const char *name = sigabbrev_np(WTERMSIG(status));
        return std::string("killed by ") +
               (name ? std::string("SIG") + name : "signal " + std::to_string(WTERMSIG(status)));
    }
    return "stopped";
}

std::string lastLine(const fs::path &path) {
    std::ifstream in(path);
    std::string line, last;
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t") != std::string::npos)
            last = line;
    }
    if (last.rfind("pendra: ", 0) == 0)
        last.erase(0, 8);
    return last;
}

} // namespace pendra::batch
