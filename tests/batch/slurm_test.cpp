// pendra batch --slurm on a real single-node cluster: the array runs every
// row and the report follows; a task cancelled halfway leaves nothing
// half-written and a second submission runs only that row.
#include "tests/batch/batch_runner.h"
#include "tests/batch/slurm_cluster.h"
#include "tests/support/needed_component.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace fs = std::filesystem;
using namespace pendra::test;

TEST(BatchSlurm, ArrayRunsRowsAndResubmissionFinishesACancelledOne) {
    fs::remove_all(here("work"));
    fs::create_directories(here("work/out"));
    for (const char *name : {"a", "b", "c"})
        makeClip("-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.8 -c:v libx264 "
                 "-pix_fmt yuv420p",
                 here(std::string("work/") + name + ".mp4"));
    makeClip("-f lavfi -i testsrc2=size=320x240:rate=25:duration=30 -c:v libx264 -pix_fmt yuv420p",
             here("work/long.mp4"));
    writeTestLogoSet("work/logo", 24, 16);
    const std::string logo = "--logo logo0.bmp --x 20 --y 16 --alpha 255";
    writeText(here("work/list.csv"), "input,output,options\n"
                                     "a.mp4,out/a.mkv," +
                                         logo +
                                         "\n"
                                         "b.mp4,out/b.mkv," +
                                         logo +
                                         "\n"
                                         "c.mp4,out/c.mkv," +
                                         logo +
                                         "\n"
                                         "long.mp4,out/long.mkv," +
                                         logo + "\n");

    SlurmCluster cluster(here("cluster"));
    REQUIRE_COMPONENT(cluster.problem());

    // The first submission: the long row is cancelled once it is halfway.
    CommandResult r = runPendra({"batch", "work/list.csv", "--slurm", "--max-running", "2", "--",
                                 "--job-name=pendra-test"});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    const std::string job = r.output.substr(0, r.output.find('\n'));
    ASSERT_FALSE(job.empty());
    ASSERT_TRUE(waitUntil([] { return !partialFilesOf(here("work/out/long.mkv")).empty(); }, 120))
        << "the long row never started";
    // Seen from the submitting side while it runs, from the worker's counts.
    EXPECT_TRUE(waitUntil(
        [] {
            return runPendra({"batch", "status", "work/list.csv"}).output.find("running (") !=
                   std::string::npos;
        },
        30));
    int code = 0;
    slurmCommand(cluster, "scancel " + job + "_4", code);
    EXPECT_EQ(code, 0);
    ASSERT_TRUE(cluster.waitForIdleQueue(120));
    nlohmann::json report = readJson(here("work/list-report.json"));
    EXPECT_EQ(report["counts"],
              nlohmann::json({{"rows", 4}, {"done", 3}, {"skipped", 0}, {"failed", 1}}))
        << report.dump(2);
    for (const char *name : {"a.mkv", "b.mkv", "c.mkv"})
        EXPECT_EQ(readVideo(here(std::string("work/out/") + name)).frames.size(), 20u) << name;
    EXPECT_EQ(reportRow(report, "long.mkv").value("reason", ""), "interrupted; no output written");
    EXPECT_TRUE(leftNoOutput(here("work/out/long.mkv")));
    CommandResult status = runPendra({"batch", "status", "work/list.csv"});
    EXPECT_NE(status.output.find("4 rows: 3 done, 1 failed, 0 to do"), std::string::npos)
        << status.output;

    // The second submission runs the cancelled row alone.
    r = runPendra({"batch", "work/list.csv", "--slurm"});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_NE(r.errors.find(": 1 of 4 rows (3 done before)"), std::string::npos) << r.errors;
    ASSERT_TRUE(cluster.waitForIdleQueue(180));
    report = readJson(here("work/list-report.json"));
    EXPECT_EQ(report["counts"],
              nlohmann::json({{"rows", 4}, {"done", 1}, {"skipped", 3}, {"failed", 0}}))
        << report.dump(2);
    EXPECT_EQ(readVideo(here("work/out/long.mkv")).frames.size(), 750u);
    status = runPendra({"batch", "status", "work/list.csv"});
    EXPECT_NE(status.output.find("4 rows: 4 done, 0 failed, 0 to do"), std::string::npos)
        << status.output;
    // Nothing left to do: nothing submitted.
    r = runPendra({"batch", "work/list.csv", "--slurm"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.errors.find("every row is done"), std::string::npos) << r.errors;
}

// A cluster that takes arrays of at most two tasks: five rows go in three
// arrays, one after the other under --max-running, and every row is made.
TEST(BatchSlurm, RowsBeyondTheClustersArraySizeGoInSeveralArrays) {
    fs::remove_all(here("split"));
    fs::create_directories(here("split/out"));
    makeClip("-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -c:v libx264 -pix_fmt yuv420p",
             here("split/in.mp4"));
    writeTestLogoSet("split/logo", 24, 16);
    std::string list = "input,output,options\n";
    for (int i = 1; i <= 5; ++i)
        list += "in.mp4,out/" + std::to_string(i) + ".mkv,--logo logo0.bmp --x 20 --y 16\n";
    writeText(here("split/list.csv"), list);

    SlurmCluster cluster(here("cluster-split"), "MaxArraySize=3\n");
    REQUIRE_COMPONENT(cluster.problem());
    CommandResult r = runPendra({"batch", "split/list.csv", "--slurm", "--max-running", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    const std::string jobs = r.output.substr(0, r.output.find('\n'));
    EXPECT_EQ(std::count(jobs.begin(), jobs.end(), ','), 2) << jobs;
    ASSERT_TRUE(cluster.waitForIdleQueue(180));
    nlohmann::json report = readJson(here("split/list-report.json"));
    EXPECT_EQ(report["counts"],
              nlohmann::json({{"rows", 5}, {"done", 5}, {"skipped", 0}, {"failed", 0}}))
        << report.dump(2);
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(readVideo(here("split/out/" + std::to_string(i) + ".mkv")).frames.size(), 10u)
            << i;
}

// Slurm reads % in --output as a replacement symbol (%j, %A, %a...): a
// manifest in a folder whose name holds one must still have its tasks' files
// written there, not in a folder that does not exist.
TEST(BatchSlurm, PercentInTheManifestsFolder) {
    const fs::path folder = here("percent/100%j %A_%a %% 5%");
    fs::remove_all(here("percent"));
    fs::create_directories(folder / "out");
    makeClip("-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -c:v libx264 -pix_fmt yuv420p",
             folder / "in.mp4");
    writeTestLogoSet("percent/logo", 24, 16);
    writeText(folder / "list.csv", "input,output,options\n"
                                   "in.mp4,out/1.mkv,--logo ../logo0.bmp --x 20 --y 16\n"
                                   "in.mp4,out/2.mkv,--logo ../logo0.bmp --x 20 --y 16\n");

    SlurmCluster cluster(here("cluster-percent"));
    REQUIRE_COMPONENT(cluster.problem());
    CommandResult r = runPendra({"batch", (folder / "list.csv").string(), "--slurm"});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    const std::string job = r.output.substr(0, r.output.find('\n'));
    ASSERT_TRUE(cluster.waitForIdleQueue(120));
    nlohmann::json report = readJson(folder / "list-report.json");
    EXPECT_EQ(report["counts"],
              nlohmann::json({{"rows", 2}, {"done", 2}, {"skipped", 0}, {"failed", 0}}))
        << report.dump(2) << runPendra({"batch", "status", (folder / "list.csv").string()}).output;
    for (const char *name : {"1.mkv", "2.mkv"})
        EXPECT_EQ(readVideo(folder / "out" / name).frames.size(), 10u) << name;
    // The tasks' own output files are where the submission put them, by their literal name.
    EXPECT_TRUE(fs::exists(folder / "list-batch" / "slurm" / ("task-" + job + "_1.out")));
    const std::string status =
        runPendra({"batch", "status", (folder / "list.csv").string()}).output;
    EXPECT_NE(status.find("2 rows: 2 done, 0 failed, 0 to do"), std::string::npos) << status;
}

// A submission whose tasks wait or cannot start says why in batch status:
// held, the task's reason from squeue; unable to launch (here their output
// file's folder is missing), that the task never began its row and Slurm's
// reason for it.
TEST(BatchSlurm, StatusSaysWhyTasksWaitOrNeverStart) {
    fs::remove_all(here("nolaunch"));
    fs::create_directories(here("nolaunch/out"));
    makeClip("-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -c:v libx264 -pix_fmt yuv420p",
             here("nolaunch/in.mp4"));
    writeTestLogoSet("nolaunch/logo", 24, 16);
    writeText(here("nolaunch/list.csv"), "input,output,options\n"
                                         "in.mp4,out/1.mkv,--logo logo0.bmp --x 20 --y 16\n"
                                         "in.mp4,out/2.mkv,--logo logo0.bmp --x 20 --y 16\n");
    SlurmCluster cluster(here("cluster-nolaunch"));
    REQUIRE_COMPONENT(cluster.problem());
    auto status = [] { return runPendra({"batch", "status", "nolaunch/list.csv"}).output; };

    CommandResult r = runPendra({"batch", "nolaunch/list.csv", "--slurm", "--", "--hold"});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    std::string said = status();
    EXPECT_NE(said.find("row 1    queued  " + here("nolaunch/in.mp4").string() + " (JobHeldUser)"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("2 queued or running"), std::string::npos) << said;
    int code = 0;
    slurmCommand(cluster, "scancel -u root", code);
    ASSERT_TRUE(cluster.waitForIdleQueue(60));
    said = status();
    EXPECT_NE(said.find("row 2    failed  " + here("nolaunch/in.mp4").string() +
                        ": its Slurm task never started the row (CANCELLED"),
              std::string::npos)
        << said;

    // The tasks' output file cannot be opened: no task starts, nor the report's job.
    r = runPendra({"batch", "nolaunch/list.csv", "--slurm", "--",
                   "--output=" + here("nolaunch/missing/x-%j.out").string()});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    ASSERT_TRUE(cluster.waitForIdleQueue(60));
    said = status();
    for (const char *row : {"row 1", "row 2"})
        EXPECT_NE(said.find(std::string(row) + "    failed  " + here("nolaunch/in.mp4").string() +
                            ": its Slurm task never started the row (FAILED, JobLaunchFailure; "
                            "the node's slurmd log says why)"),
                  std::string::npos)
            << said;
    EXPECT_NE(said.find("2 rows: 0 done, 2 failed, 0 to do"), std::string::npos) << said;
}
