// What the batch tests share: manifests and reports in the test folder, the
// command started in the background so a test can interrupt it or its
// workers, and checks that nothing half-written is left.
#pragma once

#include "tests/cli/command_runner.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace pendra::test {

std::filesystem::path here(const std::string &name);

void writeText(const std::filesystem::path &path, const std::string &text);
// The file's bytes; "" when it cannot be read.
std::string bytesOf(const std::filesystem::path &path);

// The report as JSON; an empty object when it is missing or unreadable.
nlohmann::json readJson(const std::filesystem::path &path);

// The status of the report's row whose output has this file name.
std::string rowStatus(const nlohmann::json &report, const std::string &outputName);
const nlohmann::json &reportRow(const nlohmann::json &report, const std::string &outputName);

// Starts <test folder>/pendra with these arguments, from the test folder,
// stderr into pendra-background.txt; returns its pid.
pid_t startPendra(const std::vector<std::string> &args);

// Waits for the process and returns its exit code, or 128 + the signal. One
// still running after `seconds` fails the test, saying so, and is killed:
// -1 then, and a hung command costs its test rather than stalling the suite.
int waitForExit(pid_t pid, double seconds = 300);

// Polls until `done` holds or `seconds` pass; returns whether it held.
bool waitUntil(const std::function<bool()> &done, double seconds);

// Every file under `folder` whose name ends in ".pendra-partial".
std::vector<std::filesystem::path> partialFiles(const std::filesystem::path &folder);

// The pids of the process's children (from /proc).
std::vector<pid_t> childrenOf(pid_t pid);

// The batch's row workers among its children: not a child that has not yet
// become one, nor a helper of the sanitizers (LeakSanitizer checks a process
// as it ends from a child task that stops it; killing that task leaves the
// batch waiting for it forever).
std::vector<pid_t> rowWorkersOf(pid_t batch);

// The process's arguments, each after a space ("" when it is gone), and
// whether they are those of a row worker ("pendra batch --row N MANIFEST").
std::string commandLineOf(pid_t pid);
bool isRowWorker(const std::string &commandLine);

// Whether the process exists and has not ended (a zombie has), whoever its parent.
bool processAlive(pid_t pid);

// What `ffmpeg -v error` says while decoding the whole file: "" for a sound one.
std::string decodeErrors(const std::filesystem::path &path);

// When the file was last changed, to tell a skipped row from a redone one.
std::filesystem::file_time_type changedAt(const std::filesystem::path &path);

} // namespace pendra::test
