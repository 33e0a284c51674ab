// A single-node Slurm cluster on this machine for the tests, from Debian's
// packages: a munged of its own with a fresh key, slurmctld and slurmd with
// a minimal slurm.conf naming this host on free ports, all state in a
// scratch folder. The object stops every daemon it started, also when a
// test fails halfway.
#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace pendra::test {

class SlurmCluster {
  public:
    // `extraConfig`: lines added to its slurm.conf (a limit to test, say).
    explicit SlurmCluster(const std::filesystem::path &scratch, std::string extraConfig = "");
    ~SlurmCluster();
    SlurmCluster(const SlurmCluster &) = delete;
    SlurmCluster &operator=(const SlurmCluster &) = delete;

    // Empty when the cluster is up; else what went wrong.
    const std::string &problem() const { return problem_; }
    // For the client commands (sbatch, squeue, scancel): SLURM_CONF.
    const std::filesystem::path &config() const { return config_; }
    // Waits until no job of ours is queued or running; false on timeout.
    bool waitForIdleQueue(double seconds) const;

  private:
    void start();
    void stopDaemon(const std::filesystem::path &pidFile);
    std::filesystem::path scratch_, config_;
    std::string extraConfig_;
    std::string problem_;
};

// Runs a shell command with SLURM_CONF set; returns its stdout, exit code in `code`.
std::string slurmCommand(const SlurmCluster &cluster, const std::string &command, int &code);

} // namespace pendra::test
