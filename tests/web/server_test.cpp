// The configuration page's server, run in this process on a small clip: who
// it answers, what it refuses to read or write, how it takes malformed,
// out-of-range and stalled requests, and that frames fetched by seeking are
// the frames a run decodes.
#include "cli/options.h"
#include "cli/pixel_convert.h"
#include "tests/cli/command_runner.h"
#include "web/configure_session.h"
#include "web/frame_source.h"
#include "web/page_server.h"
#include "web/settings_form.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace pendra::test {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr int clipFrames = 12;

class ServerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        makeClip("-f lavfi -i testsrc2=size=160x120:rate=25 -frames:v 12 -c:v ffv1 "
                 "-pix_fmt bgr0",
                 "clip.mkv");
        writeTestLogoSet("logo_x_40_y_30_", 24, 16);
    }

    void SetUp() override {
        fs::remove("page.job");
        options_ = cli::parseOptions({"configure", "clip.mkv", "--job", "page.job"});
        session_ = std::make_unique<web::ConfigureSession>(options_);
        server_ = std::make_unique<web::PageServer>(*session_, "127.0.0.1:0");
        serving_ = std::thread([this] { server_->run(); });
        const std::string address = server_->guard().address();
        port_ = std::stoi(address.substr(address.rfind(':') + 1));
        root_ = "/" + server_->guard().token() + "/";
        client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
        client_->set_read_timeout(30, 0);
    }

    void TearDown() override {
        server_->stop();
        serving_.join();
    }

    // The settings the page starts with, with the test's set loaded.
    json settings() {
        json s = json::parse(client_->Get(root_ + "api/state")->body)["settings"];
        s["logo"] = fs::absolute("logo_x_40_y_30_0.bmp").string();
        s["x"] = 40;
        s["y"] = 30;
        return s;
    }

    httplib::Result post(const std::string &path, const json &body) {
        return client_->Post(root_ + path, body.dump(), "application/json");
    }

    // A raw request on a socket of its own; returns the status line.
    std::string rawRequest(const std::string &text) {
        int fd = connectRaw();
        EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        char reply[256] = {};
        ssize_t n = read(fd, reply, sizeof reply - 1);
        close(fd);
        std::string line(reply, n > 0 ? static_cast<size_t>(n) : 0);
        return line.substr(0, line.find("\r\n"));
    }

    int connectRaw() {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port_));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
        return fd;
    }

    cli::Options options_;
    std::unique_ptr<web::ConfigureSession> session_;
    std::unique_ptr<web::PageServer> server_;
    std::thread serving_;
    int port_ = 0;
    std::string root_;
    std::unique_ptr<httplib::Client> client_;
};

TEST_F(ServerTest, AnswersOnlyWithTheTokenAndItsOwnHost) {
    EXPECT_EQ(client_->Get(root_ + "api/state")->status, 200);
    EXPECT_EQ(client_->Get(root_)->status, 200);
    const std::string token = server_->guard().token();
    for (const std::string &path :
         {std::string("/"), std::string("/api/state"), "/" + token + "x/api/state",
          "/" + token.substr(0, 31) + "/api/state", "/" + std::string(32, '0') + "/"})
        EXPECT_EQ(client_->Get(path)->status, 403) << path;

    // A page on another name that resolves here sends that name.
    for (const std::string &host :
         {"attacker.example:" + std::to_string(port_), std::string("127.0.0.1:1"),
          std::string("127.0.0.1"), std::string("")}) {
        httplib::Headers headers{{"Host", host}};
        EXPECT_EQ(client_->Get(root_ + "api/state", headers)->status, 403) << host;
    }
    httplib::Headers local{{"Host", "localhost:" + std::to_string(port_)}};
    EXPECT_EQ(client_->Get(root_ + "api/state", local)->status, 200);
}

TEST_F(ServerTest, ReadsAndWritesOnlyWhatTheUserNamed) {
    // No file of the disk is served and nothing is listed.
    for (const std::string &path :
         {root_ + "../etc/passwd", root_ + "clip.mkv", root_ + "api/", root_ + "page",
          root_ + "api/analysis/logo.job", root_ + "api/analysis/alpha.png"})
        EXPECT_EQ(client_->Get(path)->status, 404) << path;

    // The page can name only settings, never where to write.
    json s = settings();
    for (const char *field : {"job", "save-job", "trace", "out"}) {
        json bad = s;
        bad[field] = "/tmp/pendra-web-test-elsewhere";
        EXPECT_EQ(post("api/save", {{"settings", bad}})->status, 400) << field;
        EXPECT_EQ(post("api/after", {{"frame", 0}, {"settings", bad}})->status, 400) << field;
    }
    EXPECT_FALSE(fs::exists("/tmp/pendra-web-test-elsewhere"));
    // A file that is not a bitmap set is not read as one.
    json notSet = s;
    notSet["logo"] = "/etc/passwd";
    auto refused = post("api/after", {{"frame", 0}, {"settings", notSet}});
    EXPECT_EQ(refused->status, 422);
    EXPECT_NE(refused->body.find("/etc/passwd"), std::string::npos);
    EXPECT_EQ(post("api/browse", {{"settings", notSet}})->body.find("root:"), std::string::npos);

    // Save writes the job file named on the command line, and only it.
    std::set<fs::path> before;
    for (const auto &entry : fs::directory_iterator("."))
        before.insert(entry.path());
    auto saved = post("api/save", {{"settings", s}});
    ASSERT_EQ(saved->status, 200) << saved->body;
    EXPECT_EQ(json::parse(saved->body)["job"], fs::absolute("page.job").string());
    std::set<fs::path> after;
    for (const auto &entry : fs::directory_iterator("."))
        after.insert(entry.path());
    before.insert("./page.job");
    EXPECT_EQ(after, before);
    EXPECT_EQ(runPendra({"process", "clip.mkv", "replay.mkv", "-y", "--job", "page.job"}).exitCode,
              0);
}

TEST_F(ServerTest, MalformedRequestsAreAnswered400) {
    json s = settings();
    const std::vector<std::string> bodies = {
        "{\"frame\": 1,",
        "[1, 2]",
        "\"text\"",
        json({{"frame", "one"}, {"settings", s}}).dump(),
        json({{"frame", -1}, {"settings", s}}).dump(),
        json({{"frame", 1.5}, {"settings", s}}).dump(),
        json({{"frame", 1}}).dump(),
        json({{"frame", 1}, {"settings", json::array()}}).dump(),
        json({{"frame", 1}, {"settings", {{"alpha", 256}}}}).dump(),
        json({{"frame", 1}, {"settings", {{"x", -3}}}}).dump(),
        json({{"frame", 1}, {"settings", {{"side", "up"}}}}).dump(),
        json({{"frame", 1}, {"settings", {{"alpha", json::object()}}}}).dump(),
    };
    for (const std::string &body : bodies) {
        auto r = client_->Post(root_ + "api/after", body, "application/json");
        EXPECT_EQ(r->status, 400) << body;
        EXPECT_TRUE(json::parse(r->body, nullptr, false).contains("error")) << body;
    }
    for (const char *frame : {"", "x", "-1", "1e3", "99999999999999999999999", "1%00"})
        EXPECT_EQ(client_->Get(root_ + "api/before?frame=" + std::string(frame))->status, 400)
            << frame;
    EXPECT_EQ(
        client_->Post(root_ + "api/save", std::string(2 << 20, ' '), "application/json")->status,
        413);
    // Broken HTTP itself.
    EXPECT_EQ(rawRequest("GARBAGE\r\n\r\n").substr(0, 12), "HTTP/1.1 400");
    EXPECT_EQ(rawRequest("GET " + root_ + "api/state HTTP/7\r\n\r\n").substr(0, 12),
              "HTTP/1.1 400");
    // And it still works.
    EXPECT_EQ(client_->Get(root_ + "api/state")->status, 200);
}

// A page numbers its picture requests: one it made earlier but that reaches
// the server later (an aborted request still on its way) is the one dropped,
// never the newer one the page waits for. Between pages, and for clients
// that number nothing, the later arrival is the newer.
TEST_F(ServerTest, ALateOlderPictureRequestDoesNotOvertakeANewerOne) {
    auto after = [&](const std::string &page, uint64_t order) {
        return post("api/after",
                    {{"frame", 2}, {"settings", settings()}, {"page", page}, {"order", order}})
            ->status;
    };
    auto before = [&](const std::string &page, uint64_t order) {
        return client_
            ->Get(root_ + "api/before?frame=1&page=" + page + "&order=" + std::to_string(order))
            ->status;
    };
    using Request = std::function<int(const std::string &, uint64_t)>;
    for (const Request &request : {Request(after), Request(before)}) {
        EXPECT_EQ(request("a1", 5), 200);
        EXPECT_EQ(request("a1", 4), 409);
        EXPECT_EQ(request("b2", 1), 200);
        EXPECT_EQ(request("a1", 3), 409);
        EXPECT_EQ(request("a1", 6), 200);
    }
    EXPECT_EQ(post("api/after", {{"frame", 2}, {"settings", settings()}, {"order", "x"}})->status,
              400);
    EXPECT_EQ(post("api/after", {{"frame", 2}, {"settings", settings()}})->status, 200);
}

// A reload comes back to the frame and settings last shown, with or without a set.
TEST_F(ServerTest, TheStateKeepsWhatWasLastShown) {
    json bare = json::parse(client_->Get(root_ + "api/state")->body)["settings"];
    ASSERT_EQ(bare.value("logo", "x"), "");
    bare["alpha"] = 17;
    ASSERT_EQ(post("api/after", {{"frame", 5}, {"settings", bare}})->status, 200);
    json state = json::parse(client_->Get(root_ + "api/state")->body);
    EXPECT_EQ(state["frame"], 5);
    EXPECT_EQ(state["settings"]["alpha"], 17);
    ASSERT_EQ(post("api/after", {{"frame", 7}, {"settings", settings()}})->status, 200);
    state = json::parse(client_->Get(root_ + "api/state")->body);
    EXPECT_EQ(state["frame"], 7);
    EXPECT_EQ(state["settings"]["x"], 40);
}

TEST_F(ServerTest, FramePastTheEndIsNamed) {
    EXPECT_EQ(json::parse(client_->Get(root_ + "api/state")->body)["frames"], clipFrames);
    auto last = client_->Get(root_ + "api/before?frame=" + std::to_string(clipFrames - 1));
    EXPECT_EQ(last->status, 200);
    EXPECT_EQ(last->get_header_value("Content-Type"), "image/png");
    for (int64_t frame : {int64_t(clipFrames), int64_t(1000000)}) {
        auto before = client_->Get(root_ + "api/before?frame=" + std::to_string(frame));
        EXPECT_EQ(before->status, 404);
        EXPECT_NE(before->body.find("has only 12 frames"), std::string::npos) << before->body;
        auto after = post("api/after", {{"frame", frame}, {"settings", settings()}});
        EXPECT_EQ(after->status, 404);
    }
}

// Clients that stall, sending half a request or never reading a picture,
// hold a worker each until they time out; the page is answered meanwhile.
TEST_F(ServerTest, StalledClientsDoNotStopThePage) {
    std::vector<int> stalled;
    for (int i = 0; i < 3; ++i) {
        int fd = connectRaw();
        const std::string half = "GET " + root_ + "api/st";
        EXPECT_GT(write(fd, half.data(), half.size()), 0);
        stalled.push_back(fd);
    }
    for (int i = 0; i < 3; ++i) {
        int fd = connectRaw();
        int small = 1024;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        auto request = [&](const std::string &what) {
            return "GET " + root_ + what + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) +
                   "\r\n\r\n";
        };
        // A picture it never reads, with requests pipelined behind it. Only
        // the first asks for a picture, so none can overtake ours below
        // (a newer picture request drops an older one, 409).
        std::string pipelined = request("api/before?frame=3");
        for (int k = 0; k < 19; ++k)
            pipelined += request("api/state");
        EXPECT_GT(write(fd, pipelined.data(), pipelined.size()), 0);
        stalled.push_back(fd);
        // Its picture is on its way before ours are asked for.
        pollfd ready{fd, POLLIN, 0};
        ASSERT_EQ(poll(&ready, 1, 20000), 1);
        char start[12];
        ASSERT_EQ(recv(fd, start, sizeof start, MSG_WAITALL), 12);
        EXPECT_EQ(std::string(start, 12), "HTTP/1.1 200");
    }
    // Answered well before the stalled clients' time runs out (five seconds).
    client_->set_read_timeout(4, 0);
    for (int i = 0; i < 4; ++i) {
        auto r = client_->Get(root_ + "api/before?frame=" + std::to_string(i));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200);
    }
    for (int fd : stalled)
        close(fd);
}

// A job's settings come to the page under the options' names and go back
// unchanged: every packed threshold and blur in its place.
TEST_F(ServerTest, AJobLoadsAndSavesUnchanged) {
    ASSERT_EQ(runPendra({"process",       "clip.mkv",
                         "out.mkv",       "-y",
                         "--logo",        "logo_x_40_y_30_0.bmp",
                         "--alpha",       "77",
                         "--threshold1",  "11",
                         "--threshold2",  "22",
                         "--threshold3",  "33",
                         "--blur",        "4",
                         "--blur3",       "6",
                         "--bitmap-blur", "2",
                         "--white",       "200",
                         "--side",        "east",
                         "--scene",       "15",
                         "--start",       "2",
                         "--end",         "9",
                         "--fade-in",     "1",
                         "--fade-out",    "3",
                         "--save-job",    "original.job"})
                  .exitCode,
              0);
    fs::copy_file("original.job", "copy.job", fs::copy_options::overwrite_existing);
    web::ConfigureSession session(
        cli::parseOptions({"configure", "clip.mkv", "--job", "copy.job"}));
    const json s = session.state()["settings"];
    const json expected = {
        {"x", 40},          {"y", 30},          {"alpha", 77},  {"threshold1", 11},
        {"threshold2", 22}, {"threshold3", 33}, {"blur", 4},    {"blur3", 6},
        {"bitmap-blur", 2}, {"white", 200},     {"side", 2},    {"scene", 15},
        {"start", 2},       {"end", 9},         {"fade-in", 1}, {"fade-out", 3}};
    for (const auto &[name, value] : expected.items())
        EXPECT_EQ(s[name], value) << name;
    EXPECT_EQ(session.state()["set"]["white"], "(255,255,255)");

    session.save(s);
    auto text = [](const char *name) {
        std::ifstream in(name);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    // The page holds noise and feather as set values, so they travel with the job.
    EXPECT_EQ(text("copy.job"),
              text("original.job") + "// pendra process: --feather 8 --noise 2\n");
}

// The kept run goes on where it stopped, also after a newer request cut it
// short: its pictures are those of a run from the start, noise included.
TEST_F(ServerTest, AKeptRunGivesTheFramesOfAWholeRun) {
    json s = settings();
    s["alpha"] = 200;
    s["noise"] = 3;
    s["start"] = 2;
    const cli::Options o = web::optionsFromJson("clip.mkv", s);
    const web::JobRequest request{s.dump(), [&o] { return std::make_unique<cli::FilterJob>(o); }};

    web::PreviewRenderer whole("clip.mkv");
    const host::FrameBuffer expected = whole.after(10, request, {});
    EXPECT_FALSE(expected.samePixels(whole.before(10, {})));

    web::PreviewRenderer stepping("clip.mkv");
    stepping.after(4, request, {});
    int checks = 0;
    EXPECT_THROW(stepping.after(10, request, [&] { return ++checks > 3; }), web::Overtaken);
    stepping.before(7, {}); // the before pictures keep out of the run's way
    EXPECT_TRUE(stepping.after(10, request, {}).samePixels(expected));
    // Going back starts the run again.
    EXPECT_TRUE(stepping.after(3, request, {}).samePixels(whole.after(3, request, {})));
}

// Frames fetched in any order, by seeking, are the frames decoded in order:
// on a clip with B-frames and key frames every five frames.
TEST(FrameSourceTest, SeekingGivesTheFramesDecodedInOrder) {
    makeClip("-f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 23 -c:v libx264 -g 5 -bf 2 "
             "-pix_fmt yuv420p",
             "gop.mp4");
    const VideoContents whole = readVideo("gop.mp4");
    ASSERT_EQ(whole.frames.size(), 23u);
    web::PreviewRenderer renderer("gop.mp4");
    EXPECT_EQ(renderer.source().frames(), 23);
    for (int64_t n : {17, 3, 4, 22, 0, 9, 10, 8, 21, 1}) {
        host::FrameBuffer frame = renderer.before(n, {});
        EXPECT_TRUE(frame.samePixels(whole.frames[static_cast<size_t>(n)])) << "frame " << n;
    }
    EXPECT_THROW(renderer.before(23, {}), web::PastTheEnd);
}

// A damaged frame the decoder drops: its packet is in the index, so the
// index would number the frames after it one too high. Every frame comes
// once, numbered and counted as a run decodes them.
TEST(FrameSourceTest, AFrameTheDecoderDropsLeavesTheFramesAsARunNumbersThem) {
    makeClip("-f lavfi -i testsrc2=size=160x120:rate=25 -frames:v 12 -c:v ffv1 -level 3 "
             "-slicecrc 1 -slices 4 -pix_fmt bgr0",
             "damaged.nut");
    // Bytes of the middle packet overwritten: its slices fail their checksums.
    {
        std::fstream file("damaged.nut", std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(fs::file_size("damaged.nut") / 2));
        const std::string garbage(4000, '\xff');
        file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    const VideoContents whole = readVideo("damaged.nut");
    ASSERT_EQ(whole.frames.size(), 11u) << "the damage should cost exactly one frame";
    web::FrameSource source("damaged.nut", web::FrameIndex::of("damaged.nut"));
    ASSERT_EQ(source.frames(), 12) << "the index counts the damaged packet";
    std::vector<int64_t> numbers;
    source.decode(0, 10, [&](const AVFrame &frame, int64_t n) {
        numbers.push_back(n);
        host::FrameBuffer picture(source.width(), source.height());
        cli::ToModulePixels().convert(frame, picture);
        EXPECT_TRUE(picture.samePixels(whole.frames.at(static_cast<size_t>(n)))) << "frame " << n;
    });
    EXPECT_EQ(numbers, (std::vector<int64_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_THROW(source.decode(11, 11, [](const AVFrame &, int64_t) {}), web::PastTheEnd);
}

} // namespace
} // namespace pendra::test
