// Every file the command writes (jobs, pictures, the batch's records, report
// and scripts) goes through one writer: a temporary file no one can foresee,
// created afresh beside the real name and renamed onto it when complete.
// Links planted in a shared folder never redirect the write.
#include "cli/av_support.h"
#include "cli/output_file.h"
#include "host/module_library.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace pendra::cli;

namespace {

fs::path freshFolder(const std::string &name) {
    const fs::path folder = pendra::host::executableFolder() / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::string textOf(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeText(const fs::path &path, const std::string &text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

TEST(OutputFile, APlantedLinkNeverRedirectsTheWrite) {
    const fs::path folder = freshFolder("planted");
    const fs::path victim = folder / "victim.txt", out = folder / "record.json";
    writeText(victim, "not yours");
    // The name the writer once used, and others a writer might choose.
    std::vector<fs::path> links;
    for (const char *suffix : {".pendra-partial", ".tmp", ".part", "~", ".new", ".swp"}) {
        links.push_back(folder / ("record.json" + std::string(suffix)));
        fs::create_symlink(victim, links.back());
    }
    writeWholeFile(out, "mine\n");
    EXPECT_EQ(textOf(victim), "not yours");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out)));
    EXPECT_EQ(textOf(out), "mine\n");
    for (const fs::path &link : links) {
        EXPECT_TRUE(fs::is_symlink(link)) << link;
        EXPECT_EQ(fs::read_symlink(link), victim) << link;
    }
    // A link at the real name is replaced, not written through.
    fs::remove(out);
    fs::create_symlink(victim, out);
    writeWholeFile(out, "mine again\n");
    EXPECT_EQ(textOf(victim), "not yours");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out)));
    EXPECT_EQ(textOf(out), "mine again\n");
}

TEST(OutputFile, TheFileGetsTheUsualPermissionsOrThoseAsked) {
    const fs::path folder = freshFolder("modes");
    const mode_t before = ::umask(022);
    writeWholeFile(folder / "a.txt", "a");
    ::umask(002);
    writeWholeFile(folder / "b.txt", "b");
    writeWholeFile(folder / "script.sh", "#!/bin/sh\n", 0755);
    ::umask(before);
    auto mode = [&](const char *name) {
        struct stat st {};
        EXPECT_EQ(::lstat((folder / name).c_str(), &st), 0) << name;
        return st.st_mode & 0777;
    };
    EXPECT_EQ(mode("a.txt"), 0644u);
    EXPECT_EQ(mode("b.txt"), 0664u);
    EXPECT_EQ(mode("script.sh"), 0755u);
    EXPECT_EQ(currentUmask(), before);
}

TEST(OutputFile, TemporariesAreUnforeseeableAndFoundForCleanUp) {
    const fs::path folder = freshFolder("temporaries");
    const fs::path out = folder / "out.mkv";
    std::set<fs::path> names;
    {
        OutputFile a(out), b(out);
        for (const OutputFile *f : {&a, &b}) {
            EXPECT_TRUE(isTemporaryFor(out, f->temporaryPath())) << f->temporaryPath();
            EXPECT_TRUE(f->temporaryPath().string().ends_with(partialSuffix));
            EXPECT_EQ(f->temporaryPath().parent_path(), folder);
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(f->temporaryPath())));
            names.insert(f->temporaryPath());
        }
        EXPECT_EQ(names.size(), 2u);
        EXPECT_FALSE(isTemporaryFor(folder / "other.mkv", a.temporaryPath()));
        EXPECT_FALSE(isTemporaryFor(out, folder / "out.mkv.pendra-partial"));
        // What a process killed outright leaves is found by the name.
        removeTemporariesFor(out);
        EXPECT_FALSE(fs::exists(a.temporaryPath()));
        EXPECT_FALSE(fs::exists(b.temporaryPath()));
    }
    // Any name a folder allows can be written, and its temporary is found;
    // another long name alike in its first part is not taken for it.
    const fs::path longName = folder / (std::string(240, 'n') + ".mkv");
    const fs::path alike = folder / (std::string(240, 'n') + ".mp4");
    {
        OutputFile a(longName), b(alike);
        EXPECT_TRUE(isTemporaryFor(longName, a.temporaryPath())) << a.temporaryPath();
        EXPECT_FALSE(isTemporaryFor(longName, b.temporaryPath()));
        removeTemporariesFor(longName);
        EXPECT_FALSE(fs::exists(a.temporaryPath()));
        EXPECT_TRUE(fs::exists(b.temporaryPath()));
        OutputFile c(longName);
        c.commit();
    }
    EXPECT_TRUE(fs::is_regular_file(longName));
    // Abandoned, a temporary goes; committed, it becomes the file.
    fs::path abandonedName;
    {
        OutputFile abandoned(out);
        abandonedName = abandoned.temporaryPath();
        EXPECT_TRUE(fs::exists(abandonedName));
    }
    EXPECT_FALSE(fs::exists(abandonedName));
    EXPECT_FALSE(fs::exists(out));
    {
        OutputFile kept(out);
        ASSERT_EQ(::write(kept.fd(), "abc", 3), 3);
        kept.commit();
        EXPECT_FALSE(fs::exists(kept.temporaryPath()));
    }
    EXPECT_EQ(textOf(out), "abc");
    // removeTemporariesIn takes every temporary of a folder and nothing else.
    writeText(folder / "keep.txt", "x");
    OutputFile one(folder / "x.json"), two(folder / "y.bmp");
    removeTemporariesIn(folder);
    EXPECT_FALSE(fs::exists(one.temporaryPath()));
    EXPECT_FALSE(fs::exists(two.temporaryPath()));
    EXPECT_EQ(textOf(out), "abc");
    EXPECT_EQ(textOf(folder / "keep.txt"), "x");
}

TEST(OutputFile, AFailedWriteLeavesNothingAndNamesTheFile) {
    const fs::path folder = freshFolder("failed");
    const fs::path out = folder / "missing" / "file.txt";
    try {
        writeWholeFile(out, "x");
        ADD_FAILURE() << "wrote into a folder that does not exist";
    } catch (const CliError &e) {
        EXPECT_EQ(std::string(e.what()),
                  out.string() + ": cannot write: no such file or directory");
    }
    EXPECT_TRUE(fs::is_empty(folder));
}

// The commit observer (a batch worker's record of what it made) hears of a
// file before it is in place, with the temporary already holding what the
// file will: a kill between the two leaves a record of a file not yet
// placed, never a placed file with no record.
TEST(OutputFile, TheObserverHearsOfAFileBeforeItIsInPlace) {
    const fs::path folder = freshFolder("observed");
    const fs::path file = folder / "out.txt";
    bool heard = false;
    OutputFile::onEachCommit([&](const fs::path &made, const fs::path &temporary) {
        heard = true;
        EXPECT_EQ(made, file);
        EXPECT_FALSE(fs::exists(file));
        EXPECT_EQ(textOf(temporary), "bytes");
    });
    writeWholeFile(file, "bytes");
    OutputFile::onEachCommit(nullptr);
    EXPECT_TRUE(heard);
    EXPECT_EQ(textOf(file), "bytes");
}
