// The pendra command under faults: input cut short, damaged or stopping
// mid-stream, an output folder it may not write, a disk that fills up, and an
// interrupt. Each must end with one line naming the file and the cause, a
// non-zero exit, the input byte for byte as it was, and nothing under the
// output name (nor a half-written file beside it).
#include "cli/bmp_file.h"
#include "host/module_library.h"
#include "tests/cli/command_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <optional>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace pendra::test;

extern char **environ;

namespace {

fs::path here(const std::string &name) {
    return pendra::host::executableFolder() / name;
}

std::vector<char> bytesOf(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path &path, const std::vector<char> &bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A black-and-white logo set with a clean border, placed at x 40, y 30.
std::vector<std::string> logoOptions() {
    pendra::cli::RgbImage black(24, 16, 0x000000), white(24, 16, 0xFFFFFF), mask(24, 16, 0x000000);
    for (int line = 3; line < 13; ++line)
        for (int x = 3; x < 21; ++x) {
            black.at(x, line) = 0x787878;
            white.at(x, line) = 0xF8F8F8;
            mask.at(x, line) = 0xFFFFFF;
        }
    pendra::cli::writeBmp(here("logo0.bmp"), black);
    pendra::cli::writeBmp(here("logo1.bmp"), white);
    pendra::cli::writeBmp(here("logo2.bmp"), mask);
    return {"--logo", here("logo0.bmp").string(), "--x", "40", "--y", "30"};
}

// Arguments of a run; any output an earlier run left is removed first.
std::vector<std::string> processArgs(const fs::path &input, const fs::path &output,
                                     std::vector<std::string> extra = {}) {
    std::error_code ignored; // a read-only output folder holds nothing to remove
    fs::remove(output, ignored);
    std::vector<std::string> args = {"process", input.string(), output.string()};
    for (const std::string &a : logoOptions())
        args.push_back(a);
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// The command failed as it must: its one line of errors begins with `message`,
// the input is unchanged and nothing is left under the output's name.
void expectCleanFailure(const CommandResult &r, const std::string &message, int exitCode,
                        const fs::path &input, const std::vector<char> &inputBefore,
                        const fs::path &output) {
    EXPECT_EQ(r.exitCode, exitCode) << r.errors;
    EXPECT_EQ(r.errors.substr(0, message.size()), message) << r.errors;
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
    EXPECT_TRUE(bytesOf(input) == inputBefore) << "the input was changed";
    EXPECT_TRUE(leftNoOutput(output)) << output;
}

// A tmpfs mounted on a folder for one test; mounting needs the privilege,
// so tests that need one skip without it.
class Tmpfs {
  public:
    Tmpfs(const fs::path &dir, unsigned long flags, const char *options) : dir_(dir) {
        fs::create_directories(dir);
        mounted_ = mount("tmpfs", dir.c_str(), "tmpfs", flags, options) == 0;
    }
    ~Tmpfs() {
        if (mounted_)
            umount2(dir_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

  private:
    fs::path dir_;
    bool mounted_ = false;
};

class PendraFaults : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        makeClip("-f lavfi -i testsrc2=size=160x120:rate=25:duration=1.2 "
                 "-f lavfi -i sine=frequency=300:duration=1.2 -c:v ffv1 -pix_fmt bgr0 "
                 "-c:a pcm_s16le -shortest",
                 here("lossless.mkv"));
        // H.264 with its index in front, as made for streaming.
        makeClip("-f lavfi -i testsrc2=size=160x120:rate=25:duration=2 -c:v libx264 "
                 "-pix_fmt yuv420p -movflags +faststart",
                 here("streaming.mp4"));
    }
};

TEST_F(PendraFaults, InputCutShortOrDamaged) {
    const std::vector<char> mkv = bytesOf(here("lossless.mkv"));
    const std::vector<char> mp4 = bytesOf(here("streaming.mp4"));
    std::vector<char> noHeader = mkv;
    std::fill(noHeader.begin(), noHeader.begin() + 64, '\0');
    const struct {
        const char *name;
        std::vector<char> bytes;
        const char *cause; // the damage may show while decoding or at the end
    } cases[] = {
        {"cut.mkv", {mkv.begin(), mkv.begin() + mkv.size() / 2}, "frames; it is cut short"},
        {"cut.mp4", {mp4.begin(), mp4.begin() + mp4.size() / 2}, ""},
        {"no-header.mkv", noHeader, "not a video FFmpeg can read"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(here(c.name), c.bytes);
        const fs::path out = here(std::string("out-") + c.name);
        CommandResult r = runPendra(processArgs(c.name, out));
        expectCleanFailure(r, std::string("pendra: ") + c.name + ": ", 1, here(c.name), c.bytes,
                           out);
        EXPECT_NE(r.errors.find(c.cause), std::string::npos) << r.errors;
    }
}

TEST_F(PendraFaults, AVariableFrameRateIsNotTakenForACutShortFile) {
    // 132 frames at 25 a second with frames 40 to 111 dropped: 60 frames over
    // 5.28 s, which an average rate would take for a file ending at frame 60.
    makeClip("-f lavfi -i testsrc2=size=160x120:rate=25:duration=5.28 "
             "-vf select='not(between(n\\,40\\,111))' -fps_mode vfr -c:v ffv1",
             here("gap.mkv"));
    makeClip("-i '" + here("gap.mkv").string() + "' -c:v libx264 -fps_mode passthrough",
             here("gap.mp4"));
    for (const char *name : {"gap.mkv", "gap.mp4"}) {
        SCOPED_TRACE(name);
        const fs::path out = here(std::string("out-") + name);
        CommandResult r = runPendra(processArgs(name, out));
        ASSERT_EQ(r.exitCode, 0) << r.errors;
        VideoContents got = readVideo(out);
        EXPECT_EQ(got.frames.size(), 60u);
    }
    // Cut short, the same file is still refused.
    const std::vector<char> mkv = bytesOf(here("gap.mkv"));
    const std::vector<char> cut(mkv.begin(), mkv.begin() + mkv.size() * 3 / 4);
    writeBytes(here("gap-cut.mkv"), cut);
    const fs::path out = here("out-gap-cut.mkv");
    CommandResult r = runPendra(processArgs("gap-cut.mkv", out));
    expectCleanFailure(r, "pendra: gap-cut.mkv: ends after ", 1, here("gap-cut.mkv"), cut, out);
}

TEST_F(PendraFaults, InputThatStopsMidStream) {
    // A pipe whose writer goes away after half the file.
    const fs::path fifo = here("stream.mkv");
    fs::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<char> mkv = bytesOf(here("lossless.mkv"));
    std::signal(SIGPIPE, SIG_IGN); // the command may stop reading early
    std::thread writer([&] {
        int fd = open(fifo.c_str(), O_WRONLY); // waits for the command to open it
        if (fd < 0)
            return;
        size_t done = 0;
        while (done < mkv.size() / 2) {
            ssize_t n = write(fd, mkv.data() + done, mkv.size() / 2 - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        close(fd);
    });
    const fs::path out = here("out-stream.mkv");
    CommandResult r = runPendra(processArgs("stream.mkv", out));
    // Should the command never have opened the pipe, let the writer go.
    int unblock = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    writer.join();
    if (unblock >= 0)
        close(unblock);
    EXPECT_EQ(r.exitCode, 1) << r.errors;
    EXPECT_EQ(r.errors.substr(0, 31), "pendra: stream.mkv: ends after ") << r.errors;
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
    EXPECT_TRUE(leftNoOutput(out));
    fs::remove(fifo);
}

TEST_F(PendraFaults, AFifoInTheLogoSetIsRefusedUnopened) {
    // Opening a FIFO to read waits for a writer; the command must not try.
    const fs::path fifo = here("pipe0.bmp");
    fs::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> running = true, opened = false;
    std::thread watcher([&] { // sees a reader, and lets one that blocks go on
        while (running) {
            int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                opened = true;
                close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const fs::path out = here("out-fifo.mkv");
    fs::remove(out);
    CommandResult r = runPendra(
        {"process", "lossless.mkv", out.string(), "--logo", fifo.string(), "--x", "4", "--y", "4"});
    running = false;
    watcher.join();
    EXPECT_FALSE(opened) << "the FIFO was opened";
    EXPECT_EQ(r.exitCode, 1) << r.errors;
    EXPECT_NE(r.errors.find(fifo.string() + ": not a regular file"), std::string::npos) << r.errors;
    EXPECT_TRUE(leftNoOutput(out));
    fs::remove(fifo);
}

TEST_F(PendraFaults, OutputFolderNotWritable) {
    const fs::path dir = here("read-only");
    // Permission bits do not stop root: it gets a read-only file system instead.
    std::optional<Tmpfs> readOnly;
    if (geteuid() == 0) {
        readOnly.emplace(dir, MS_RDONLY, "size=64k");
        if (!readOnly->mounted())
            GTEST_SKIP() << "cannot mount a read-only tmpfs here";
    } else {
        fs::create_directories(dir);
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    }
    const fs::path out = dir / "out.mkv";
    CommandResult r = runPendra(processArgs("lossless.mkv", out));
    if (!readOnly)
        fs::permissions(dir, fs::perms::owner_all);
    // Found before the first frame, not after the whole encode.
    expectCleanFailure(r,
                       "pendra: " + out.string() + ": cannot write in its folder " + dir.string(),
                       1, here("lossless.mkv"), bytesOf(here("lossless.mkv")), out);
}

TEST_F(PendraFaults, DiskFillsUp) {
    const fs::path dir = here("full-disk");
    Tmpfs small(dir, 0, "size=64k");
    if (!small.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here";
    const fs::path out = dir / "out.mkv";
    // Lossless video of the whole clip needs far more than 64 KiB.
    CommandResult r = runPendra(processArgs("lossless.mkv", out, {"--codec", "ffv1"}));
    expectCleanFailure(r, "pendra: " + out.string() + ": cannot write: no space left on device", 1,
                       here("lossless.mkv"), bytesOf(here("lossless.mkv")), out);
    EXPECT_TRUE(fs::is_empty(dir)) << "the half-written file is still on the full disk";
}

TEST_F(PendraFaults, InterruptLeavesNoOutput) {
    makeClip("-f lavfi -i testsrc2=size=320x240:rate=25:duration=20 -c:v libx264 "
             "-pix_fmt yuv420p",
             here("long.mkv"));
    const std::vector<char> before = bytesOf(here("long.mkv"));
    const fs::path out = here("out-long.mkv");
    const fs::path errors = here("interrupt-stderr.txt");
    std::vector<std::string> args = processArgs(here("long.mkv"), out);
    args.insert(args.begin(), "pendra");

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const fs::path program = here("pendra");
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &files, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&files);

    // Interrupt once it is writing: its half-written file has appeared. (The
    // bound only keeps a broken command from hanging the test.)
    int status = 0;
    bool ended = false;
    for (int wait = 0; !ended && wait < 24000; ++wait) {
        std::error_code e;
        std::vector<fs::path> partial = partialFilesOf(out);
        if (!partial.empty() && fs::file_size(partial[0], e) > 0 && !e)
            break;
        ended = waitpid(pid, &status, WNOHANG) == pid;
        usleep(5000);
    }
    ASSERT_FALSE(ended) << "the command ended before it could be interrupted";
    ASSERT_EQ(kill(pid, SIGINT), 0);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal instead of its own exit";
    EXPECT_EQ(WEXITSTATUS(status), 130);
    std::ifstream in(errors);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "pendra: interrupted; no output written");
    EXPECT_TRUE(bytesOf(here("long.mkv")) == before);
    EXPECT_TRUE(leftNoOutput(out));
}

// A shared folder where someone else may write: links planted where the
// command's half-written files would go, at the name it once used or at any
// other it might choose, never redirect a write. The video (MP4's index moved
// to the front by reading the file back included), the trace and the saved
// job end as files of the command's own, with the usual permissions.
TEST_F(PendraFaults, PlantedLinksDoNotRedirectAnyWrite) {
    const fs::path dir = here("shared");
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path victim = here("victim.txt");
    writeBytes(victim, {'n', 'o', 't', ' ', 'y', 'o', 'u', 'r', 's'});
    const std::vector<char> kept = bytesOf(victim);
    std::vector<fs::path> links;
    for (const char *name : {"out.mkv", "out.mp4", "trace.txt", "saved.job"})
        for (const char *suffix : {".pendra-partial", ".tmp", ".part", "~", ".new"}) {
            links.push_back(dir / (std::string(name) + suffix));
            fs::create_symlink(victim, links.back());
        }
    const mode_t mask = umask(0);
    umask(mask);
    for (const char *output : {"out.mkv", "out.mp4"}) {
        SCOPED_TRACE(output);
        CommandResult r =
            runPendra(processArgs("lossless.mkv", dir / output,
                                  {"--trace", (dir / "trace.txt").string(), "--save-job",
                                   (dir / "saved.job").string(), "-y"}));
        ASSERT_EQ(r.exitCode, 0) << r.errors;
        EXPECT_TRUE(bytesOf(victim) == kept) << "written through a planted link";
        for (const char *name : {output, "trace.txt", "saved.job"}) {
            struct stat st {};
            ASSERT_EQ(lstat((dir / name).c_str(), &st), 0) << name;
            EXPECT_TRUE(S_ISREG(st.st_mode)) << name << " is not a file of its own";
            EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << name;
        }
        EXPECT_EQ(readVideo(dir / output).frames.size(), 30u);
    }
    for (const fs::path &link : links) {
        EXPECT_TRUE(fs::is_symlink(link)) << link;
        EXPECT_EQ(fs::read_symlink(link), victim) << link;
    }
    EXPECT_EQ(partialFilesOf(dir / "out.mp4").size(), 0u);
}

// Not a fault, but the same watch for what the sanitizers cannot see in
// FFmpeg's uninstrumented libraries: memcheck over a whole run of a short clip.
TEST_F(PendraFaults, MemcheckFindsNoErrorAndNoLeak) {
#ifndef PENDRA_VALGRIND
    GTEST_SKIP() << "no valgrind, or a sanitizer build";
#else
    makeClip("-f lavfi -i testsrc2=size=160x120:rate=25:duration=0.4 "
             "-f lavfi -i sine=frequency=300:duration=0.4 -c:v libx264 -pix_fmt yuv420p "
             "-c:a aac -shortest",
             here("short.mp4"));
    const fs::path out = here("memcheck-out.mp4"), log = here("memcheck.txt");
    fs::remove(here("memcheck-trace.txt")); // an output like any other: kept without -y
    std::string command = "cd '" + here("").string() +
                          "' && " PENDRA_VALGRIND " --error-exitcode=99 --leak-check=full"
                          " --errors-for-leak-kinds=definite,indirect,possible --log-file='" +
                          log.string() + "' ./pendra";
    for (const std::string &a : processArgs("short.mp4", out, {"--trace", "memcheck-trace.txt"}))
        command += " '" + a + "'";
    const int status = std::system((command + " 2>/dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "see " << log;
    EXPECT_EQ(readVideo(out).frames.size(), 10u);
#endif
}

} // namespace
