#include "tests/cli/command_runner.h"

#include "cli/av_support.h"
#include "cli/bmp_file.h"
#include "cli/pixel_convert.h"
#include "cli/video_reader.h"
#include "host/module_library.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace pendra::test {

namespace {

std::string wholeFile(const std::filesystem::path &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string quoted(const std::string &s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

int exitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Each command run to its end gets this long (the sanitizer builds run several
// times slower), then is ended: a hung command fails its test, saying so,
// rather than stalling the suite. `timeout` exits with 124 then.
constexpr const char *bounded = "timeout -k 10 900 ";
constexpr int timedOut = 124;

// Runs `command` through the shell, bounded, after `setUp` (a cd).
int runBounded(const std::string &setUp, const std::string &command) {
    const int code = exitCodeOf(std::system((setUp + bounded + command).c_str()));
    if (code == timedOut)
        ADD_FAILURE() << "did not end within 900 s: " << command;
    return code;
}

} // namespace

CommandResult runPendra(const std::vector<std::string> &args) {
    std::filesystem::path folder = host::executableFolder();
    std::filesystem::path errors = folder / "pendra-stderr.txt";
    std::filesystem::path output = folder / "pendra-stdout.txt";
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on
    // "literal" + a temporary string.
    std::string setUp = "cd ";
    setUp += quoted(folder.string());
    setUp += " && ";
    std::string command = "./pendra";
    for (const std::string &a : args) {
        command += ' ';
        command += quoted(a);
    }
    command += " >";
    command += quoted(output.string());
    command += " 2>";
    command += quoted(errors.string());
    command += " </dev/null";
    CommandResult result;
    result.exitCode = runBounded(setUp, command);
    result.errors = wholeFile(errors);
    result.output = wholeFile(output);
    return result;
}

void makeClip(const std::string &arguments, const std::filesystem::path &output) {
    std::string command =
        "ffmpeg -v error -nostdin -y " + arguments + " " + quoted(output.string());
    ASSERT_EQ(runBounded("", command), 0) << command;
}

VideoContents readVideo(const std::filesystem::path &path) {
    VideoContents v;
    cli::VideoReader reader(path.string());
    v.width = reader.width();
    v.height = reader.height();
    v.frameRate = reader.videoStream()->avg_frame_rate;
    v.videoCodec = avcodec_get_name(reader.videoStream()->codecpar->codec_id);
    int audio = av_find_best_stream(reader.format(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio >= 0)
        v.audioCodec = avcodec_get_name(reader.format()->streams[audio]->codecpar->codec_id);
    reader.setOtherPacketSink([&](AVPacket &p) {
        if (p.stream_index == audio)
            v.audioBytes.insert(v.audioBytes.end(), p.data, p.data + p.size);
    });
    cli::ToModulePixels convert;
    while (AVFrame *picture = reader.nextFrame()) {
        v.frames.emplace_back(picture->width, picture->height);
        convert.convert(*picture, v.frames.back());
    }
    return v;
}

void writeTestLogoSet(const std::string &stem, int width, int height, TestLogoSet what) {
    cli::RgbImage black(width, height, 0x000000), white(width, height, 0xFFFFFF),
        mask(width, height, 0x000000);
    for (int line = 3; line < height - 3; ++line)
        for (int column = 3; column < width - 3; ++column) {
            black.at(column, line) = 0x787878;
            white.at(column, line) = 0xF8F8F8;
            mask.at(column, line) = 0xFFFFFF;
        }
    if (what.maskTouchesEdge)
        for (int line = height - 3; line < height; ++line)
            mask.at(width / 2, line) = 0xFFFFFF;
    const std::filesystem::path folder = host::executableFolder();
    cli::writeBmp(folder / (stem + "0.bmp"), black);
    if (what.withWhite)
        cli::writeBmp(folder / (stem + "1.bmp"), white);
    cli::writeBmp(folder / (stem + "2.bmp"), mask);
}

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> testLogoOptions(int x, int y) {
    writeTestLogoSet("logo", 24, 16);
    const std::filesystem::path folder = host::executableFolder();
    return {"--logo",  (folder / "logo0.bmp").string(),
            "--x",     std::to_string(x),
            "--y",     std::to_string(y),
            "--alpha", "255"};
}

std::vector<std::filesystem::path> partialFilesOf(const std::filesystem::path &path) {
    const std::string stem = path.filename().string() + ".", suffix = ".pendra-partial";
    std::vector<std::filesystem::path> found;
    std::error_code error;
    const std::filesystem::path folder =
        path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
    for (auto it = std::filesystem::directory_iterator(folder, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() > stem.size() + suffix.size() && name.starts_with(stem) &&
            name.ends_with(suffix))
            found.push_back(it->path());
    }
    return found;
}

bool leftNoOutput(const std::filesystem::path &path) {
    return !std::filesystem::exists(std::filesystem::symlink_status(path)) &&
           partialFilesOf(path).empty();
}

} // namespace pendra::test
