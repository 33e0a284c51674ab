#include "tests/batch/slurm_cluster.h"

#include "tests/batch/batch_runner.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pendra::test {

namespace fs = std::filesystem;

namespace {

// A TCP port nobody listens on now (the kernel's pick).
int freePort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = -1;
    if (s >= 0 && bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr *>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    if (s >= 0)
        close(s);
    return port;
}

std::string shortHostName() {
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    std::string host = name;
    return host.substr(0, host.find('.'));
}

int shell(const std::string &command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

pid_t pidIn(const fs::path &pidFile) {
    std::ifstream in(pidFile);
    pid_t pid = 0;
    in >> pid;
    return pid;
}

} // namespace

SlurmCluster::SlurmCluster(const fs::path &scratch, std::string extraConfig)
    : scratch_(scratch), extraConfig_(std::move(extraConfig)) {
    start();
}

void SlurmCluster::start() {
    for (const char *program : {"/usr/sbin/munged", "/usr/sbin/slurmctld", "/usr/sbin/slurmd"})
        if (access(program, X_OK) != 0) {
            problem_ = std::string(program) + " is not installed (Debian's munge and slurm-wlm)";
            return;
        }
    if (geteuid() != 0) {
        problem_ = "slurmd runs jobs as their users only when started as root";
        return;
    }
    fs::remove_all(scratch_);
    for (const char *sub : {"munge", "state", "spool"})
        fs::create_directories(scratch_ / sub);
    fs::permissions(scratch_ / "munge", fs::perms::owner_all);
    const fs::path munge = scratch_ / "munge";
    // A fresh key: no other machine's credentials are good here.
    {
        std::ifstream random("/dev/urandom", std::ios::binary);
        std::array<char, 1024> key;
        random.read(key.data(), key.size());
        std::ofstream(munge / "key", std::ios::binary).write(key.data(), key.size());
        fs::permissions(munge / "key", fs::perms::owner_read | fs::perms::owner_write);
    }
    if (shell("/usr/sbin/munged --force --key-file=" + (munge / "key").string() + " --socket=" +
              (munge / "socket").string() + " --pid-file=" + (munge / "pid").string() +
              " --log-file=" + (munge / "log").string() +
              " --seed-file=" + (munge / "seed").string()) != 0) {
        problem_ = "munged did not start; see " + (munge / "log").string();
        return;
    }
    const std::string host = shortHostName();
    const fs::path s = scratch_;
    config_ = s / "slurm.conf";
    std::ofstream conf(config_);
    conf << "ClusterName=pendratest\n"
         // Loopback addresses: no name service needed, nothing reachable from outside.
         << "SlurmctldHost=" << host << "(127.0.0.1)\n"
         << "SlurmUser=root\n"
         << "SlurmctldPort=" << freePort() << "\n"
         << "SlurmdPort=" << freePort() << "\n"
         << "AuthType=auth/munge\nCredType=cred/munge\n"
         << "AuthInfo=socket=" << (munge / "socket").string() << "\n"
         << "StateSaveLocation=" << (s / "state").string() << "\n"
         << "SlurmdSpoolDir=" << (s / "spool").string() << "\n"
         << "SlurmctldPidFile=" << (s / "slurmctld.pid").string() << "\n"
         << "SlurmdPidFile=" << (s / "slurmd.pid").string() << "\n"
         << "SlurmctldLogFile=" << (s / "slurmctld.log").string() << "\n"
         << "SlurmdLogFile=" << (s / "slurmd.log").string() << "\n"
         << "ProctrackType=proctrack/linuxproc\nTaskPlugin=task/none\n"
         << "JobAcctGatherType=jobacct_gather/none\nMpiDefault=none\n"
         << "SelectType=select/cons_tres\nSelectTypeParameters=CR_Core\n"
         << "ReturnToService=2\nMinJobAge=300\n"
         << "NodeName=" << host
         << " NodeAddr=127.0.0.1 CPUs=" << std::thread::hardware_concurrency() << " State=UNKNOWN\n"
         << "PartitionName=debug Nodes=ALL Default=YES MaxTime=INFINITE State=UP\n"
         << extraConfig_;
    conf.close();
    // -i: a clean start from the scratch state, whatever a crashed run left.
    if (shell("/usr/sbin/slurmctld -i -f " + config_.string()) != 0 ||
        shell("/usr/sbin/slurmd -f " + config_.string()) != 0) {
        problem_ = "slurmctld or slurmd did not start; see their logs in " + s.string();
        return;
    }
    setenv("SLURM_CONF", config_.c_str(), 1);
    int code = 0;
    if (!waitUntil(
            [&] {
                std::string out = slurmCommand(*this, "sinfo -h -o %t", code);
                return code == 0 && out.rfind("idle", 0) == 0;
            },
            60))
        problem_ = "the node did not become idle; see " + (s / "slurmd.log").string();
}

void SlurmCluster::stopDaemon(const fs::path &pidFile) {
    pid_t pid = pidIn(pidFile);
    if (pid <= 0 || kill(pid, SIGTERM) != 0)
        return;
    if (!waitUntil([&] { return kill(pid, 0) != 0; }, 20))
        kill(pid, SIGKILL);
}

SlurmCluster::~SlurmCluster() {
    // slurmd first, so it does not retry a controller that is gone.
    stopDaemon(scratch_ / "slurmd.pid");
    stopDaemon(scratch_ / "slurmctld.pid");
    stopDaemon(scratch_ / "munge" / "pid");
    unsetenv("SLURM_CONF");
}

bool SlurmCluster::waitForIdleQueue(double seconds) const {
    int code = 0;
    return waitUntil(
        [&] {
            std::string out = slurmCommand(*this, "squeue -h -o %i", code);
            return code == 0 && out.empty();
        },
        seconds);
}

std::string slurmCommand(const SlurmCluster &cluster, const std::string &command, int &code) {
    std::string line = "SLURM_CONF='" + cluster.config().string() + "' " + command;
    FILE *pipe = popen(line.c_str(), "r");
    std::string out;
    if (!pipe) {
        code = -1;
        return out;
    }
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, n);
    int status = pclose(pipe);
    code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

} // namespace pendra::test
