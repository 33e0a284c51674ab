// Finding and preparing the corpus's clips. opencv-doc is fetched with
// `apt-get download`, which needs no root and only Debian's mirror; the
// package is kept in the cache so a rerun is offline.
#include "bench/corpus/footage.h"

#include "bench/corpus/run_command.h"
#include "cli/video_reader.h"

#include <cmath>
#include <cstdio>
#include <map>

namespace fs = std::filesystem;

namespace pendra::corpus {

namespace {

const fs::path sharedFootage = "/work/shared/footage";
const fs::path opencvDoc = "x/usr/share/doc/opencv-doc";

void fetchOpencvDoc(const fs::path &cache) {
    fs::create_directories(cache);
    std::fprintf(stderr, "corpus-bench: fetching Debian's opencv-doc into %s\n", cache.c_str());
    runCommand("cd " + cache.string() +
               " && { ls opencv-doc_*.deb >/dev/null 2>&1 || apt-get download opencv-doc; }"
               " && dpkg-deb -x opencv-doc_*.deb x");
    for (const char *clip : {"box.mp4", "cup.mp4"})
        runCommand("gunzip -kf " + (cache / opencvDoc / "opencv4/html" / clip).string() + ".gz");
}

} // namespace

fs::path footagePath(const std::string &key, const fs::path &cache) {
    static const std::map<std::string, fs::path> opencv = {
        {"megamind", "examples/data/Megamind.avi"},
        {"megamind_bugy", "examples/data/Megamind_bugy.avi"},
        {"vtest", "examples/data/vtest.avi"},
        {"tree", "examples/data/tree.avi"},
        {"box", "opencv4/html/box.mp4"},
        {"cup", "opencv4/html/cup.mp4"},
    };
    const auto found = opencv.find(key);
    if (found == opencv.end())
        return sharedFootage / (key + ".mp4");
    const fs::path path = cache / opencvDoc / found->second;
    if (!fs::exists(path))
        fetchOpencvDoc(cache);
    return path;
}

fs::path makeCleanSource(const Case &c, const fs::path &cache, const fs::path &work) {
    const fs::path clean = work / "clean-source.mkv";
    if (fs::exists(clean))
        return clean;
    const fs::path source = footagePath(c.footage, cache);
    const AVRational rate = cli::VideoReader(source.string()).frameRate();
    const long frames = std::lround(c.seconds * av_q2d(rate));
    const std::string rateText = std::to_string(rate.num) + "/" + std::to_string(rate.den);
    runCommand("ffmpeg -v error -nostdin -y -stream_loop -1 -i " + source.string() +
               " -vf \"setpts=N/(" + rateText + ")/TB,format=rgb24\" -r " + rateText +
               " -frames:v " + std::to_string(frames) + " -an -c:v ffv1 -threads 1 " +
               (work / "clean-source.part.mkv").string());
    fs::rename(work / "clean-source.part.mkv", clean);
    return clean;
}

} // namespace pendra::corpus
