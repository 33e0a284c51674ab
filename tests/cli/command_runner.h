// Running the pendra command beside the test program, making clips with the
// ffmpeg command, and reading videos back for comparison.
#pragma once

#include "host/frame_buffer.h"

extern "C" {
#include <libavutil/rational.h>
}

#include <filesystem>
#include <string>
#include <vector>

namespace pendra::test {

struct CommandResult {
    int exitCode = -1;
    std::string errors; // what it wrote to stderr
    std::string output; // what it wrote to stdout
};

// Runs <test folder>/pendra with these arguments, from the test folder.
CommandResult runPendra(const std::vector<std::string> &args);

// Makes a clip with the ffmpeg command: `arguments` go between "ffmpeg -y" and
// the output name. Fails the test when ffmpeg fails.
void makeClip(const std::string &arguments, const std::filesystem::path &output);

struct VideoContents {
    int width = 0;
    int height = 0;
    AVRational frameRate{0, 1};
    std::string videoCodec;
    std::string audioCodec;                // empty without sound
    std::vector<unsigned char> audioBytes; // every audio packet's data, in order
    std::vector<host::FrameBuffer> frames; // decoded, as the module sees them
};

// Reads a whole video; fails the test when it cannot.
VideoContents readVideo(const std::filesystem::path &path);

// What a test's logo set holds beside the capture over black.
struct TestLogoSet {
    bool withWhite = true;        // the capture over white
    bool maskTouchesEdge = false; // a mask pixel with no clean pixel below it
};

// Writes stem0.bmp (and stem1.bmp) and stem2.bmp in the test folder: a light
// grey logo at about half opacity inside a clean border of three pixels.
void writeTestLogoSet(const std::string &stem, int width, int height, TestLogoSet what = {});

// The two lists one after the other.
std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string> &b);

// Writes the tests' logo set in the test folder: logo0.bmp, logo1.bmp and
// logo2.bmp, 24x16 with a light grey logo at about half opacity inside a
// clean border of three pixels. Returns the options that place it at x, y
// with a fixed alpha, so that the command chooses nothing and says nothing.
std::vector<std::string> testLogoOptions(int x, int y);

// The half-written files of `path` beside it: its name, a random part and
// ".pendra-partial".
std::vector<std::filesystem::path> partialFilesOf(const std::filesystem::path &path);

// True when neither the file nor a half-written one beside it exists.
bool leftNoOutput(const std::filesystem::path &path);

} // namespace pendra::test
