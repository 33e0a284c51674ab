// pendra batch on this machine under the faults an archive meets: a damaged
// file, reruns, a changed job, Ctrl-C halfway, a worker killed outright and
// an output folder it may not write. No row may be lost or left half-written,
// and a rerun must finish what is left.
#include "tests/batch/batch_runner.h"
#include "tests/support/scene_clip.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace pendra::test;

namespace {

// Tiny clips and a logo set fitting them, in the test folder.
class BatchLocal : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        fs::create_directories(here("clips"));
        for (const char *name : {"a", "b", "c"})
            makeClip("-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.8 -c:v libx264 "
                     "-pix_fmt yuv420p",
                     here(std::string("clips/") + name + ".mp4"));
        // Long enough to be caught halfway (a second or so each).
        makeClip("-f lavfi -i testsrc2=size=320x240:rate=25:duration=20 -c:v libx264 "
                 "-pix_fmt yuv420p",
                 here("clips/long.mp4"));
        // The front of a real file: its header, then nothing.
        fs::path cut = here("clips/damaged.mp4");
        fs::copy_file(here("clips/long.mp4"), cut, fs::copy_options::overwrite_existing);
        fs::resize_file(cut, 4000);
        writeTestLogoSet("clips/logo", 24, 16);
        // Two job files: save what the options say.
        for (const char *alpha : {"255", "200"}) {
            CommandResult r =
                runPendra({"process", "clips/a.mp4", "scratch.mkv", "--logo", "clips/logo0.bmp",
                           "--x", "20", "--y", "16", "--alpha", alpha, "--save-job",
                           std::string("clips/alpha") + alpha + ".job", "-y"});
            ASSERT_EQ(r.exitCode, 0) << r.errors;
        }
    }
    void SetUp() override {
        fs::remove_all(here("work"));
        fs::create_directories(here("work/out"));
    }
    // A manifest in work/ of rows "input,output[,job]", each with the logo's options.
    static fs::path manifest(const std::vector<std::string> &rows) {
        std::string text = "input,output,job,options\n";
        for (const std::string &row : rows)
            text += row + (std::count(row.begin(), row.end(), ',') == 1 ? "," : "") +
                    ",--logo ../clips/logo0.bmp --x 20 --y 16 --alpha 255\n";
        writeText(here("work/list.csv"), text);
        return here("work/list.csv");
    }
    static nlohmann::json report() { return readJson(here("work/list-report.json")); }
    static CommandResult batch(const std::vector<std::string> &more = {}) {
        return runPendra(join({"batch", "work/list.csv"}, more));
    }
    // The output is a whole video of the input's frame count.
    static void expectWhole(const std::string &output, size_t frames) {
        SCOPED_TRACE(output);
        ASSERT_TRUE(fs::exists(here("work/out/" + output)));
        EXPECT_EQ(readVideo(here("work/out/" + output)).frames.size(), frames);
    }
};

// A clip whose logo the analysis finds: a row without a job analyzes it.
void writeLogoClip(const fs::path &path) {
    pendra::test::Scene scene;
    scene.frames = 120;
    scene.background = pendra::test::Background::Mixed;
    scene.logos.push_back(pendra::test::textLogo(150, 8, 0.6, 0xF0F0F0));
    pendra::test::writeSceneClip(scene, path);
}

// Seconds since the epoch of a report's time ("2026-12-08T11:46:52Z"); NaN when none.
double timeOf(const std::string &text) {
    std::tm parts{};
    std::istringstream in(text);
    in >> std::get_time(&parts, "%Y-%m-%dT%H:%M:%SZ");
    return in.fail() ? std::nan("") : static_cast<double>(timegm(&parts));
}

TEST_F(BatchLocal, DamagedFileCostsItsRowOnlyAndRerunSkipsTheRest) {
    manifest({"../clips/a.mp4,out/a.mkv", "../clips/damaged.mp4,out/damaged.mkv",
              "../clips/b.mp4,out/b.mkv", "../clips/c.mp4,out/c.mkv"});
    CommandResult r = batch({"--workers", "2"});
    EXPECT_EQ(r.exitCode, 1) << r.errors;
    nlohmann::json first = report();
    EXPECT_EQ(first["counts"],
              nlohmann::json({{"rows", 4}, {"done", 3}, {"skipped", 0}, {"failed", 1}}));
    for (const char *name : {"a.mkv", "b.mkv", "c.mkv"}) {
        EXPECT_EQ(rowStatus(first, name), "done") << name;
        expectWhole(name, 20);
    }
    const nlohmann::json &damaged = reportRow(first, "damaged.mkv");
    EXPECT_EQ(damaged.value("status", ""), "failed");
    // The reason is the worker's own last line, naming the file.
    EXPECT_EQ(damaged.value("reason", "").rfind(here("clips/damaged.mp4").string() + ": ", 0), 0u)
        << damaged.dump();
    EXPECT_NE(r.errors.find("row 2: " + damaged.value("reason", "")), std::string::npos)
        << r.errors;
    EXPECT_TRUE(leftNoOutput(here("work/out/damaged.mkv")));

    auto before = changedAt(here("work/out/a.mkv"));
    r = batch();
    EXPECT_EQ(r.exitCode, 1) << r.errors;
    nlohmann::json second = report();
    EXPECT_EQ(second["counts"],
              nlohmann::json({{"rows", 4}, {"done", 0}, {"skipped", 3}, {"failed", 1}}));
    EXPECT_EQ(changedAt(here("work/out/a.mkv")), before) << "a skipped row was written again";
    // A skipped row tells of the run that made its output, as a Slurm report does.
    for (const char *name : {"a.mkv", "b.mkv", "c.mkv"}) {
        const nlohmann::json &made = reportRow(first, name), &skipped = reportRow(second, name);
        EXPECT_EQ(skipped.value("frames", 0), 20) << name;
        // The worker's start, a moment after the batch started it.
        const double lag = timeOf(skipped.value("started", "")) - timeOf(made.value("started", ""));
        EXPECT_TRUE(lag >= 0 && lag <= 2) << name << ": " << lag;
        EXPECT_TRUE(skipped.contains("seconds")) << name;
    }

    // The damaged file replaced by a good one: only its row runs.
    fs::copy_file(here("clips/c.mp4"), here("clips/damaged.mp4"),
                  fs::copy_options::overwrite_existing);
    r = batch();
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(report()["counts"],
              nlohmann::json({{"rows", 4}, {"done", 1}, {"skipped", 3}, {"failed", 0}}));
    fs::copy_file(here("clips/long.mp4"), here("clips/damaged.mp4"),
                  fs::copy_options::overwrite_existing);
    fs::resize_file(here("clips/damaged.mp4"), 4000);
}

TEST_F(BatchLocal, ChangedJobOrOptionsRerunOnlyTheirRow) {
    fs::copy_file(here("clips/alpha255.job"), here("work/one.job"));
    fs::copy_file(here("clips/alpha255.job"), here("work/two.job"));
    writeText(here("work/list.csv"), "input,output,job,options\n"
                                     "../clips/a.mp4,out/a.mkv,one.job,\n"
                                     "../clips/b.mp4,out/b.mkv,two.job,\n"
                                     "../clips/c.mp4,out/c.mkv,one.job,--crf 30\n");
    CommandResult r = batch();
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    auto a = changedAt(here("work/out/a.mkv")), b = changedAt(here("work/out/b.mkv"));

    fs::copy_file(here("clips/alpha200.job"), here("work/two.job"),
                  fs::copy_options::overwrite_existing);
    r = batch();
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    nlohmann::json rerun = report();
    EXPECT_EQ(rowStatus(rerun, "a.mkv"), "skipped");
    EXPECT_EQ(rowStatus(rerun, "b.mkv"), "done");
    EXPECT_EQ(rowStatus(rerun, "c.mkv"), "skipped");
    EXPECT_EQ(changedAt(here("work/out/a.mkv")), a);
    EXPECT_NE(changedAt(here("work/out/b.mkv")), b);

    writeText(here("work/list.csv"), "input,output,job,options\n"
                                     "../clips/a.mp4,out/a.mkv,one.job,\n"
                                     "../clips/b.mp4,out/b.mkv,two.job,\n"
                                     "../clips/c.mp4,out/c.mkv,one.job,--crf 28\n");
    r = batch();
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    rerun = report();
    EXPECT_EQ(rerun["counts"]["done"], 1);
    EXPECT_EQ(rowStatus(rerun, "c.mkv"), "done");
    expectWhole("c.mkv", 20);
}

// Ctrl-C to the batch alone (as kill -INT would send it): the workers are
// stopped, nothing half-written stays, and a rerun does only what is left.
TEST_F(BatchLocal, InterruptHalfwayThenRerunCompletes) {
    manifest({"../clips/long.mp4,out/1.mkv", "../clips/long.mp4,out/2.mkv",
              "../clips/long.mp4,out/3.mkv", "../clips/long.mp4,out/4.mkv"});
    pid_t pid = startPendra({"batch", "work/list.csv", "--workers", "1"});
    ASSERT_TRUE(waitUntil([] { return fs::exists(here("work/out/1.mkv")); }, 60));
    // Into the second row, its file half-written.
    ASSERT_TRUE(waitUntil([] { return !partialFiles(here("work/out")).empty(); }, 60));
    kill(pid, SIGINT);
    EXPECT_EQ(waitForExit(pid), 130);
    EXPECT_TRUE(partialFiles(here("work")).empty());
    nlohmann::json stopped = report();
    EXPECT_EQ(rowStatus(stopped, "1.mkv"), "done");
    EXPECT_EQ(rowStatus(stopped, "2.mkv"), "failed");
    EXPECT_EQ(reportRow(stopped, "2.mkv").value("reason", ""), "interrupted; no output written");
    EXPECT_EQ(reportRow(stopped, "4.mkv").value("reason", ""),
              "not started: the batch was interrupted");
    EXPECT_FALSE(fs::exists(here("work/out/2.mkv")));

    CommandResult r = batch();
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(report()["counts"],
              nlohmann::json({{"rows", 4}, {"done", 3}, {"skipped", 1}, {"failed", 0}}));
    for (const char *name : {"1.mkv", "2.mkv", "3.mkv", "4.mkv"})
        expectWhole(name, 500);
}

// A command that never ends (here one stopped) fails the test waiting for
// it, saying so, and is ended, rather than stalling the whole suite.
TEST_F(BatchLocal, WaitingForACommandThatNeverEndsFailsInsteadOfHanging) {
    pid_t pid = startPendra({"process", "clips/long.mp4", "work/out/never.mkv", "--logo",
                             "clips/logo0.bmp", "--x", "20", "--y", "16", "--alpha", "255"});
    ASSERT_GT(pid, 0);
    kill(pid, SIGSTOP);
    ::testing::TestPartResultArray failures;
    int code = 0;
    {
        ::testing::ScopedFakeTestPartResultReporter catcher(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        code = waitForExit(pid, 1);
    }
    EXPECT_EQ(code, -1);
    ASSERT_EQ(failures.size(), 1);
    EXPECT_TRUE(failures.GetTestPartResult(0).nonfatally_failed());
    EXPECT_NE(std::string(failures.GetTestPartResult(0).message()).find("did not end within 1 s"),
              std::string::npos)
        << failures.GetTestPartResult(0).message();
    EXPECT_FALSE(processAlive(pid));
}

// A worker killed outright cannot clean up: the batch removes its
// half-written file, reports the row and goes on with the others.
TEST_F(BatchLocal, WorkerKilledOutright) {
    manifest({"../clips/long.mp4,out/1.mkv", "../clips/a.mp4,out/a.mkv"});
    pid_t pid = startPendra({"batch", "work/list.csv", "--workers", "1"});
    ASSERT_TRUE(waitUntil([] { return !partialFiles(here("work/out")).empty(); }, 60));
    std::vector<pid_t> workers = rowWorkersOf(pid);
    ASSERT_EQ(workers.size(), 1u);
    kill(workers[0], SIGKILL);
    EXPECT_EQ(waitForExit(pid), 1);
    nlohmann::json first = report();
    EXPECT_EQ(reportRow(first, "1.mkv").value("reason", ""), "killed by SIGKILL");
    EXPECT_EQ(rowStatus(first, "a.mkv"), "done");
    EXPECT_TRUE(partialFiles(here("work")).empty());
    EXPECT_FALSE(fs::exists(here("work/out/1.mkv")));

    CommandResult r = batch();
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(rowStatus(report(), "1.mkv"), "done");
    EXPECT_EQ(rowStatus(report(), "a.mkv"), "skipped");
    expectWhole("1.mkv", 500);
}

// The batch killed outright (SIGKILL, the OOM killer): its workers stop with
// it, leaving nothing half-written, and the lock stays held while any of them
// lives, so a rerun cannot write the same files at the same time.
TEST_F(BatchLocal, BatchKilledOutrightTakesItsWorkersAndKeepsTheLockWhileOneLives) {
    manifest({"../clips/long.mp4,out/1.mkv", "../clips/long.mp4,out/2.mkv"});
    pid_t pid = startPendra({"batch", "work/list.csv", "--workers", "2"});
    ASSERT_TRUE(waitUntil([] { return partialFiles(here("work/out")).size() == 2; }, 60));
    std::vector<pid_t> workers = rowWorkersOf(pid);
    ASSERT_EQ(workers.size(), 2u);
    // One worker cannot end while stopped: it stands for one slow to stop.
    kill(workers[1], SIGSTOP);
    kill(pid, SIGKILL);
    EXPECT_EQ(waitForExit(pid), 128 + SIGKILL);
    EXPECT_TRUE(waitUntil([&] { return !processAlive(workers[0]); }, 20))
        << "a worker outlived its batch";
    // Stopped halfway, not run to its end, and its half-written file gone.
    EXPECT_FALSE(fs::exists(here("work/out/1.mkv")));
    for (const fs::path &partial : partialFiles(here("work")))
        EXPECT_EQ(partial.filename().string().rfind("1.mkv", 0), std::string::npos) << partial;
    ASSERT_TRUE(processAlive(workers[1]));

    // The stopped worker still holds the lock: a rerun is refused and writes nothing.
    CommandResult r = batch();
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.errors.find("another pendra batch is running this manifest"), std::string::npos)
        << r.errors;
    EXPECT_FALSE(fs::exists(here("work/out/1.mkv")));

    // Let go, it stops as told when its batch died, and removes its file.
    kill(workers[1], SIGCONT);
    EXPECT_TRUE(waitUntil([&] { return !processAlive(workers[1]); }, 20));
    EXPECT_TRUE(partialFiles(here("work")).empty());
    EXPECT_FALSE(fs::exists(here("work/out/2.mkv")));
    for (pid_t worker : workers)
        if (processAlive(worker))
            kill(worker, SIGKILL);

    r = batch();
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(report()["counts"],
              nlohmann::json({{"rows", 2}, {"done", 2}, {"skipped", 0}, {"failed", 0}}));
    for (const char *name : {"1.mkv", "2.mkv"}) {
        expectWhole(name, 500);
        EXPECT_EQ(decodeErrors(here(std::string("work/out/") + name)), "") << name;
    }
}

// A job saved by the video host carries no run settings (noise, feather):
// its row takes them from the installed defaults file, so a change there
// makes the row again. A row that gives them itself does not depend on it.
TEST_F(BatchLocal, ChangedDefaultsFileRerunsARowThatTakesSettingsFromIt) {
    const std::string text = bytesOf(here("clips/alpha255.job"));
    ASSERT_EQ(text.find("// pendra process:"), std::string::npos) << text;
    const fs::path installed = here("plugins/pendra/Pendra.ini");
    writeText(installed, "DEFAULT_NOISE_L\t0\n");
    writeText(here("work/list.csv"), "input,output,job,options\n"
                                     "../clips/a.mp4,out/a.mkv,../clips/alpha255.job,\n"
                                     "../clips/b.mp4,out/b.mkv,../clips/alpha255.job,"
                                     "--noise 0 --feather 8\n");
    CommandResult r = batch();
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    r = batch();
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(rowStatus(report(), "a.mkv"), "skipped");
    auto a = changedAt(here("work/out/a.mkv")), b = changedAt(here("work/out/b.mkv"));

    writeText(installed, "DEFAULT_NOISE_L\t9\n");
    r = batch();
    fs::remove(installed);
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    nlohmann::json rerun = report();
    EXPECT_EQ(rowStatus(rerun, "a.mkv"), "done") << "a stale output was skipped";
    EXPECT_EQ(rowStatus(rerun, "b.mkv"), "skipped");
    EXPECT_NE(changedAt(here("work/out/a.mkv")), a);
    EXPECT_EQ(changedAt(here("work/out/b.mkv")), b);
}

// An output's name may be as long as the file system allows with room for
// its temporary name: its record is written, and the second run skips it.
TEST_F(BatchLocal, OutputWithALongNameIsSkippedOnTheSecondRun) {
    const std::string name = std::string(226, 'n') + ".mkv";
    ASSERT_EQ(name.size(), 230u);
    manifest({"../clips/a.mp4,out/" + name});
    CommandResult r = batch();
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    expectWhole(name, 20);
    auto made = changedAt(here("work/out/" + name));
    r = batch();
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(rowStatus(report(), name), "skipped");
    EXPECT_EQ(changedAt(here("work/out/" + name)), made) << "the row was made again";
}

// The pids of the row workers of this manifest, whichever process is their parent now.
std::vector<pid_t> workersOf(const fs::path &manifest) {
    std::vector<pid_t> found;
    for (const fs::directory_entry &e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = std::stoi(name);
        const std::string line = commandLineOf(pid);
        if (isRowWorker(line) && line.find(manifest.string()) != std::string::npos &&
            processAlive(pid))
            found.push_back(pid);
    }
    return found;
}

// Kills at random moments, of the batch and of its workers, each followed by
// a rerun at once: in the end every output decodes without an error and no
// input was touched. Bounded in time; the seed is printed to replay a failure.
TEST_F(BatchLocal, SoakOfRandomKillsAndRerunsEndsWithSoundOutputs) {
    fs::create_directories(here("work/in"));
    makeClip("-f lavfi -i testsrc2=size=160x120:rate=25:duration=6 -c:v libx264 -pix_fmt yuv420p",
             here("work/in/s.mp4"));
    fs::copy_file(here("clips/a.mp4"), here("work/in/a.mp4"));
    std::vector<std::string> rows;
    std::map<std::string, size_t> frames;
    for (int i = 1; i <= 6; ++i) {
        const bool long_ = i % 2 == 1;
        rows.push_back(std::string(long_ ? "in/s.mp4" : "in/a.mp4") + ",out/" + std::to_string(i) +
                       ".mkv");
        frames[std::to_string(i) + ".mkv"] = long_ ? 150 : 20;
    }
    const fs::path list = manifest(rows);
    std::map<fs::path, std::string> inputs;
    for (const char *input : {"work/in/s.mp4", "work/in/a.mp4", "clips/logo0.bmp",
                              "clips/logo1.bmp", "clips/logo2.bmp", "work/list.csv"})
        inputs[here(input)] = bytesOf(here(input));

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    auto pause = [&](int most) {
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % (most + 1)));
    };
    int runs = 0, refused = 0, batchKills = 0, workerKills = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(25);
    while (std::chrono::steady_clock::now() < end) {
        // Some outputs gone, as if never made, so that each run has work to be killed in.
        for (int i = 1; i <= 6; ++i)
            if (random() % 2 == 0)
                fs::remove(here("work/out/" + std::to_string(i) + ".mkv"));
        const bool strays = !workersOf(list).empty();
        pid_t pid = startPendra({"batch", "work/list.csv", "--workers", "2"});
        ++runs;
        pause(900);
        const unsigned what = random() % 4;
        if (what == 1 || what == 2) {
            // Its row workers only: under the sanitizers the batch has
            // another child as it ends, which must not be killed.
            std::vector<pid_t> workers = rowWorkersOf(pid);
            if (!workers.empty()) {
                kill(workers[random() % workers.size()], SIGKILL);
                ++workerKills;
            }
            pause(300);
        }
        if (what == 0 || what == 2) {
            kill(pid, SIGKILL);
            ++batchKills;
        }
        // what == 3: the run goes to its end.
        const int code = waitForExit(pid, 120);
        const std::string said = bytesOf(here("pendra-background.txt"));
        if (said.find("another pendra batch is running this manifest") != std::string::npos) {
            ++refused;
            // Only the workers of a batch killed before may hold the lock.
            EXPECT_TRUE(strays) << "refused with no worker of an earlier batch alive";
        } else {
            EXPECT_TRUE(code == 0 || code == 1 || code == 128 + SIGKILL) << code << ": " << said;
        }
        // A run that ended well vouches for every output: none may be
        // damaged, even by a worker of an earlier batch still writing.
        if (code == 0) {
            EXPECT_TRUE(waitUntil([&] { return workersOf(list).empty(); }, 20));
            for (const auto &[name, count] : frames)
                EXPECT_EQ(decodeErrors(here("work/out/" + name)), "")
                    << name << " after run " << runs;
        }
    }
    std::printf("soak: %d runs, %d refused, %d batches and %d workers killed\n", runs, refused,
                batchKills, workerKills);
    // No worker outlives its batch for long.
    EXPECT_TRUE(waitUntil([&] { return workersOf(list).empty(); }, 20));

    CommandResult r = batch({"--workers", "2"});
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(report()["counts"]["failed"], 0) << report().dump(2);
    for (const auto &[name, count] : frames) {
        SCOPED_TRACE(name);
        expectWhole(name, count);
        EXPECT_EQ(decodeErrors(here("work/out/" + name)), "");
    }
    for (const auto &[path, bytes] : inputs)
        EXPECT_TRUE(bytesOf(path) == bytes) << path << " was changed";
}

// Folders a manifest plans are made; one that cannot be written or made
// fails its row only.
TEST_F(BatchLocal, OutputFoldersAreMadeAndAnUnwritableOneFailsItsRow) {
    const fs::path locked = here("work/locked");
    fs::create_directories(locked);
    // Permission bits do not stop root: it gets a read-only file system instead.
    const bool root = geteuid() == 0;
    if (root && mount("tmpfs", locked.c_str(), "tmpfs", MS_RDONLY, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a read-only tmpfs here";
    if (!root)
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    manifest({"../clips/a.mp4,out/a.mkv", "../clips/b.mp4,locked/b.mkv",
              "../clips/c.mp4,out/new/deeper/c.mkv", "../clips/a.mp4,locked/new/d.mkv"});
    CommandResult r = batch();
    if (root)
        umount2(locked.c_str(), MNT_DETACH);
    else
        fs::permissions(locked, fs::perms::owner_all);
    EXPECT_EQ(r.exitCode, 1) << r.errors;
    nlohmann::json got = report();
    EXPECT_EQ(rowStatus(got, "a.mkv"), "done");
    EXPECT_EQ(rowStatus(got, "c.mkv"), "done");
    expectWhole("new/deeper/c.mkv", 20);
    EXPECT_EQ(reportRow(got, "d.mkv")
                  .value("reason", "")
                  .rfind((locked / "new/d.mkv").string() + ": cannot make its folder " +
                             (locked / "new").string() + ": ",
                         0),
              0u)
        << got.dump(2);
    // Found by the worker before any frame, in the command's own words.
    EXPECT_EQ(reportRow(got, "b.mkv")
                  .value("reason", "")
                  .rfind((locked / "b.mkv").string() + ": cannot write in its folder " +
                             locked.string() + ": ",
                         0),
              0u)
        << got.dump(2);
}

// A file a row writes that another row reads (`a.mp4,b.mp4` then
// `b.mp4,c.mkv`), or that the batch itself reads (the manifest): the
// manifest is refused before any row runs, naming the line and the file.
TEST_F(BatchLocal, NoRowWritesWhatAnotherRowOrTheBatchReads) {
    const std::string logo = ",--logo ../clips/logo0.bmp --x 20 --y 16 --alpha 255";
    fs::copy_file(here("clips/b.mp4"), here("work/b.mp4"));
    writeText(here("work/list.csv"), "input,output,options\n../clips/a.mp4,b.mp4" + logo +
                                         "\nb.mp4,out/c.mkv" + logo + "\n");
    CommandResult r = batch();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errors, "pendra: work/list.csv: line 2: the output " + here("work/b.mp4").string() +
                            " is the input of line 3; writing it would destroy it\n");
    EXPECT_EQ(bytesOf(here("work/b.mp4")), bytesOf(here("clips/b.mp4")));
    EXPECT_FALSE(fs::exists(here("work/out/c.mkv")));
    EXPECT_FALSE(fs::exists(here("work/list-report.json")));

    const std::string manifest =
        "input,output,options\n../clips/a.mp4,out/a.mkv" + logo + " --save-job list.csv\n";
    writeText(here("work/list.csv"), manifest);
    r = batch();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errors, "pendra: work/list.csv: line 2: --save-job " +
                            here("work/list.csv").string() +
                            " is the manifest; writing it would destroy it\n");
    EXPECT_EQ(bytesOf(here("work/list.csv")), manifest);
    EXPECT_FALSE(fs::exists(here("work/out/a.mkv")));
}

// The report is written over no input, and over no file but a report.
TEST_F(BatchLocal, TheReportReplacesNoInputNorAFileNotAReport) {
    manifest({"../clips/a.mp4,out/a.mkv"});
    const std::string clip = bytesOf(here("clips/a.mp4"));
    CommandResult r = batch({"--report", "clips/a.mp4"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errors,
              "pendra: clips/a.mp4: is the input of line 2 of work/list.csv; name another report "
              "file\n");
    EXPECT_EQ(bytesOf(here("clips/a.mp4")), clip);
    EXPECT_FALSE(fs::exists(here("work/out/a.mkv"))) << "a row ran before the report was checked";
    writeText(here("work/notes.txt"), "mine");
    r = batch({"--report", "work/notes.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errors, "pendra: work/notes.txt: exists and is not a batch's report; the batch "
                        "replaces only files it made, so name another report file or remove it\n");
    EXPECT_EQ(bytesOf(here("work/notes.txt")), "mine");
    // Its own report it replaces, run after run.
    for (int run = 0; run < 2; ++run) {
        r = batch({"--report", "work/own.json"});
        EXPECT_EQ(r.exitCode, 0) << r.errors;
    }
    EXPECT_EQ(readJson(here("work/own.json"))["counts"]["skipped"], 1);
}

// A batch replaces what it made, and nothing else: not an analysis's job
// written by hand beside the output of a row without a job (the command
// alone refuses it too, without -y), nor an output made by hand, nor a file
// of its own that has been changed by hand since.
TEST_F(BatchLocal, OnlyFilesTheBatchMadeAreReplaced) {
    writeLogoClip(here("work/scene.mkv"));
    const fs::path job = here("work/out/a-logo/logo.job");
    writeText(job, "made by hand\n");
    writeText(here("work/list.csv"), "input,output\nscene.mkv,out/a.mkv\n");
    CommandResult r = batch();
    EXPECT_EQ(r.exitCode, 1);
    const std::string notMade = " exists and this batch did not make it (or it has changed "
                                "since); the batch replaces only files it made, so move it away "
                                "or name another file\n";
    EXPECT_EQ(r.errors, "pendra: work/list.csv: line 2: " + job.string() + notMade);
    EXPECT_EQ(bytesOf(job), "made by hand\n");
    EXPECT_FALSE(fs::exists(here("work/out/a.mkv")));

    // Moved away, the row runs. Cut short after its analysis (an encoder
    // setting fails only once the video is written), it still vouches for
    // the files it made: the next run replaces them.
    fs::remove(job);
    writeText(here("work/list.csv"),
              "input,output,options\nscene.mkv,out/a.mkv,--codec ffv1 --preset slow\n");
    r = batch();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(rowStatus(report(), "a.mkv"), "failed");
    ASSERT_TRUE(fs::exists(job));
    EXPECT_FALSE(fs::exists(here("work/out/a.mkv")));
    writeText(here("work/list.csv"), "input,output\nscene.mkv,out/a.mkv\n");
    r = batch();
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(rowStatus(report(), "a.mkv"), "done");
    // With other options it runs again over what it made.
    writeText(here("work/list.csv"), "input,output,options\nscene.mkv,out/a.mkv,--crf 30\n");
    r = batch();
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(rowStatus(report(), "a.mkv"), "done");

    // Its job edited by hand is the user's now.
    writeText(job, "edited by hand\n");
    writeText(here("work/list.csv"), "input,output,options\nscene.mkv,out/a.mkv,--crf 28\n");
    r = batch();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errors, "pendra: work/list.csv: line 2: " + job.string() + notMade);
    EXPECT_EQ(bytesOf(job), "edited by hand\n");

    // An output made by hand, where a row with a job of its own writes.
    writeText(here("work/out/b.mkv"), "by hand");
    manifest({"../clips/b.mp4,out/b.mkv"});
    r = batch();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errors,
              "pendra: work/list.csv: line 2: " + here("work/out/b.mkv").string() + notMade);
    EXPECT_EQ(bytesOf(here("work/out/b.mkv")), "by hand");
}

} // namespace
