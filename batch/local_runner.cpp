#include "batch/local_runner.h"

#include "batch/batch_files.h"
#include "batch/batch_progress.h"
#include "batch/batch_report.h"
#include "batch/child_process.h"
#include "batch/row_progress.h"
#include "batch/row_record.h"
#include "cli/av_support.h"
#include "cli/interrupt.h"
#include "cli/progress.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pendra::batch {

namespace fs = std::filesystem;
using cli::CliError;

namespace {

// What a worker's end means for its row.
void settle(RowOutcome &o, const Manifest &m, int status, BatchProgressState &state) {
    o.seconds = secondsNow() - o.started;
    const ManifestRow &row = m.row(o.row);
    std::optional<RowRecord> record = currentRecord(m.stateFolder(), row);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && record) {
        o.status = RowStatus::Done;
        o.frames = record->frames;
        return;
    }
    o.status = RowStatus::Failed;
    ++state.failed;
    if (WIFSIGNALED(status)) {
        // A worker killed outright could not clean up after itself.
        removeRowTemporaries(m, row);
        o.reason = endDescription(status);
    } else {
        o.reason = lastLine(o.log);
        if (o.reason.empty())
            o.reason = "the worker ended with " + endDescription(status) + " and said nothing";
    }
}

// Held while a batch runs here: two batches of one manifest would run each
// row twice and overwrite each other's outputs. Its descriptor is handed to
// every worker, so the lock lasts as long as the last of them does: a batch
// killed outright has its workers stopped (they outlive it by a frame or
// so), and no rerun starts on their rows before they are gone.
class BatchLock {
  public:
    explicit BatchLock(const fs::path &file)
        : fd_(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (fd_ < 0)
            throw CliError(file.string() + ": cannot write: " + cli::systemErrorText(errno));
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd_);
            throw CliError(file.parent_path().string() +
                           ": another pendra batch is running this manifest (or the workers of "
                           "one that was stopped are still ending; try again in a moment)");
        }
    }
    ~BatchLock() { ::close(fd_); }
    int fd() const { return fd_; }
    BatchLock(const BatchLock &) = delete;
    BatchLock &operator=(const BatchLock &) = delete;

  private:
    int fd_;
};

} // namespace

int defaultWorkers() {
    // One x264 encode already keeps most of two cores busy with its own
    // threads, but each file also has serial stretches (opening, the first
    // frames, the encoder's flush) when its cores idle; half the cores plus
    // one fills those.
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<int>(cores / 2 + 1);
}

int runLocal(const Manifest &m, int workers, const fs::path &reportPath) {
    const double started = secondsNow();
    makeStateFolders(m);
    BatchLock lock(m.stateFolder() / "lock");
    // The running program itself, even when a newer build or an upgrade has
    // replaced its file since the batch started: every row runs the same one.
    const fs::path program = "/proc/self/exe";

    std::vector<RowOutcome> outcomes;
    std::deque<size_t> waiting;
    for (const ManifestRow &row : m.rows) {
        if (std::optional<RowRecord> record = currentRecord(m.stateFolder(), row)) {
            outcomes.push_back(outcomeOf(row, RowStatus::Skipped, *record));
            continue;
        }
        RowOutcome o = outcomeOf(row, RowStatus::Failed);
        o.log = m.rowLog(row.number);
        waiting.push_back(outcomes.size());
        outcomes.push_back(o);
    }

    BatchProgressState state;
    state.toDo = static_cast<int>(waiting.size());
    cli::Progress progress("batch", 0);
    std::map<pid_t, size_t> running; // a worker's index into the outcomes
    bool stopping = false;
    int64_t framesDone = 0; // of the rows done in this run
    while ((!waiting.empty() && !stopping) || !running.empty()) {
        if (cli::interruptRequested() && !stopping) {
            // Ctrl-C reaches the workers from the terminal too; SIGTERM and a
            // signal to this process alone reach them only through here.
            stopping = true;
            for (const auto &[child, index] : running)
                ::kill(child, SIGTERM);
        }
        while (!stopping && !waiting.empty() && static_cast<int>(running.size()) < workers) {
            RowOutcome &o = outcomes[waiting.front()];
            o.started = secondsNow();
            std::error_code ignored;
            fs::remove(m.rowProgress(o.row), ignored);
            try {
                pid_t pid =
                    startLogged(program, {"batch", "--row", std::to_string(o.row), m.path.string()},
                                o.log, lock.fd());
                running[pid] = waiting.front();
            } catch (const CliError &e) {
                o.reason = e.what();
                ++state.failed;
                ++state.finished;
            }
            waiting.pop_front();
        }
        int status = 0;
        pid_t pid = ::waitpid(-1, &status, WNOHANG);
        if (pid > 0 && running.count(pid)) {
            RowOutcome &o = outcomes[running[pid]];
            running.erase(pid);
            settle(o, m, status, state);
            framesDone += o.frames;
            std::error_code ignored;
            fs::remove(m.rowProgress(o.row), ignored);
            ++state.finished;
            if (o.status == RowStatus::Failed && !stopping) {
                progress.finish();
                std::fprintf(stderr, "pendra: row %d: %s\n", o.row, o.reason.c_str());
            }
            continue;
        }
        // The running workers' counts are read only when a line is due.
        progress.updateWith([&](double seconds) {
            state.frames = framesDone;
            state.runningShare = 0;
            for (const auto &[child, index] : running)
                if (std::optional<FrameCount> c =
                        readFrameCount(m.rowProgress(outcomes[index].row))) {
                    state.frames += c->done;
                    if (c->total > 0)
                        state.runningShare += std::min(1.0, static_cast<double>(c->done) /
                                                                static_cast<double>(c->total));
                }
            return batchProgressLine(state, seconds);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    progress.finish();
    for (size_t index : waiting)
        outcomes[index].reason = "not started: the batch was interrupted";
    writeReport(reportPath, m, outcomes, started, secondsNow());
    BatchCounts c = countOutcomes(outcomes);
    std::fprintf(stderr, "pendra: %s%d done, %d skipped, %d failed; report in %s\n",
                 stopping ? "interrupted: " : "", c.done, c.skipped, c.failed, reportPath.c_str());
    if (stopping)
        return 130;
    return c.failed > 0 ? 1 : 0;
}

} // namespace pendra::batch
