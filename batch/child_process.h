// Starting programs for the batch: workers that are this very program, with
// their messages kept in a log, and short commands (sbatch, squeue) whose
// output is read back. No shell runs in between, so no name is re-read by one.
#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace pendra::batch {

// This program's own file by name (what /proc/self/exe links to), for
// workers started elsewhere (a cluster's nodes).
std::filesystem::path ownProgram();

// Starts `program` with `args` (argv[1..]), stdin and stdout on /dev/null and
// stderr into `log` (replaced); returns its pid or throws CliError. The
// worker dies with this program: should this thread end first, even killed
// outright, the worker gets SIGTERM (stops at its next frame and removes its
// half-written file). `inherited`, when not -1, is a descriptor the worker
// keeps open through its whole life (the batch's lock, so that the lock
// outlives the batch for as long as any worker of it does).
pid_t startLogged(const std::filesystem::path &program, const std::vector<std::string> &args,
                  const std::filesystem::path &log, int inherited = -1);

struct CommandOutput {
    int exitCode = -1;
    std::string out, err;
};

// Runs a command found on PATH to its end and returns what it printed;
// throws CliError when it cannot be started.
CommandOutput runCommand(const std::vector<std::string> &command);

// "exit code 1", "killed by SIGKILL": how a child ended.
std::string endDescription(int waitStatus);

// The last line of text in the file, without a leading "pendra: "; "" when none.
std::string lastLine(const std::filesystem::path &path);

} // namespace pendra::batch
