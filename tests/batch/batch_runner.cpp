#include "tests/batch/batch_runner.h"

#include "host/module_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace pendra::test {

namespace fs = std::filesystem;

fs::path here(const std::string &name) {
    return host::executableFolder() / name;
}

void writeText(const fs::path &path, const std::string &text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string bytesOf(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

nlohmann::json readJson(const fs::path &path) {
    std::ifstream in(path);
    if (!in)
        return nlohmann::json::object();
    return nlohmann::json::parse(in, nullptr, false);
}

const nlohmann::json &reportRow(const nlohmann::json &report, const std::string &outputName) {
    static const nlohmann::json none = nlohmann::json::object();
    if (report.contains("rows"))
        for (const nlohmann::json &row : report["rows"])
            if (fs::path(row.value("output", "")).filename() == outputName)
                return row;
    return none;
}

std::string rowStatus(const nlohmann::json &report, const std::string &outputName) {
    return reportRow(report, outputName).value("status", "missing");
}

pid_t startPendra(const std::vector<std::string> &args) {
    const fs::path folder = host::executableFolder();
    const std::string program = (folder / "pendra").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, (folder / "pendra-background.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> storage{program};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(error, 0) << "cannot start " << program;
    return error == 0 ? pid : -1;
}

namespace {

// The state letter of /proc/PID/stat ("pid (name) S ..."); 0 when the process is gone.
char stateOf(pid_t pid) {
    const std::string stat = bytesOf("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : '\0';
}

// A hung process's state and its children's, for the failure message.
std::string whatItIsDoing(pid_t pid) {
    auto state = [](pid_t p) { return stateOf(p) ? std::string(1, stateOf(p)) : "gone"; };
    std::string text = "state " + state(pid);
    for (pid_t child : childrenOf(pid))
        text += ", child " + std::to_string(child) + " (state " + state(child) + "," +
                commandLineOf(child) + ")";
    return text;
}

} // namespace

int waitForExit(pid_t pid, double seconds) {
    if (pid <= 0)
        return -1;
    int status = 0;
    pid_t ended = 0;
    const bool done = waitUntil(
        [&] {
            ended = waitpid(pid, &status, WNOHANG);
            return ended != 0;
        },
        seconds);
    if (!done) {
        ADD_FAILURE() << "pendra (pid " << pid << ") did not end within " << seconds << " s; "
                      << whatItIsDoing(pid)
                      << "; it said: " << bytesOf(here("pendra-background.txt"));
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    if (ended != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool waitUntil(const std::function<bool()> &done, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::vector<fs::path> partialFiles(const fs::path &folder) {
    std::vector<fs::path> found;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
        if (it->path().string().ends_with(".pendra-partial"))
            found.push_back(it->path());
    return found;
}

std::vector<pid_t> childrenOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    std::vector<pid_t> children;
    for (pid_t child; in >> child;)
        children.push_back(child);
    return children;
}

std::vector<pid_t> rowWorkersOf(pid_t batch) {
    std::vector<pid_t> workers;
    for (pid_t child : childrenOf(batch))
        if (isRowWorker(commandLineOf(child)))
            workers.push_back(child);
    return workers;
}

std::string commandLineOf(pid_t pid) {
    std::string line = bytesOf("/proc/" + std::to_string(pid) + "/cmdline");
    std::replace(line.begin(), line.end(), '\0', ' ');
    return line.empty() ? line : " " + line;
}

bool isRowWorker(const std::string &commandLine) {
    return commandLine.find(" batch --row ") != std::string::npos;
}

bool processAlive(pid_t pid) {
    const char state = stateOf(pid);
    return state != '\0' && state != 'Z' && state != 'X';
}

std::string decodeErrors(const fs::path &path) {
    // Bounded like every command the tests wait for: a hang fails, saying so.
    std::string command =
        "timeout -k 10 300 ffmpeg -nostdin -v error -i '" + path.string() + "' -f null - 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return "cannot run ffmpeg";
    std::string out;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, n);
    int status = pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        out += "ffmpeg ended with status " + std::to_string(status);
    return out;
}

fs::file_time_type changedAt(const fs::path &path) {
    std::error_code error;
    return fs::last_write_time(path, error);
}

} // namespace pendra::test
