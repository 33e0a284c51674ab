// The configuration page's server, run in this process on a small clip: who
// it answers, what it refuses to read or write, how it takes malformed,
// out-of-range and stalled requests, and that frames fetched by seeking are
// the frames a run decodes.
#include "cli/options.h"
#include "cli/pixel_convert.h"
#include "host/module_library.h"
#include "tests/cli/command_runner.h"
#include "tests/support/needed_component.h"
#include "web/access_guard.h"
#include "web/analysis_task.h"
#include "web/configure_session.h"
#include "web/frame_source.h"
#include "web/page_server.h"
#include "web/settings_form.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace pendra::test {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr int clipFrames = 12;

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

// The first line of what arrives on `fd` within `wait`; empty when nothing
// whole arrives (the server closed, or is silent).
std::string statusLineWithin(int fd, milliseconds wait) {
    const Clock::time_point until = Clock::now() + wait;
    std::string text;
    while (text.find("\r\n") == std::string::npos) {
        const auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now());
        pollfd ready{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) != 1)
            return "";
        char part[512];
        const ssize_t n = recv(fd, part, sizeof part, 0);
        if (n <= 0)
            return "";
        text.append(part, static_cast<size_t>(n));
    }
    return text.substr(0, text.find("\r\n"));
}

// Sends what it can without waiting for ever: a server that refuses stops reading.
void sendSome(int fd, const std::string &text) {
    size_t at = 0;
    while (at < text.size()) {
        pollfd ready{fd, POLLOUT, 0};
        if (poll(&ready, 1, 2000) != 1)
            return;
        const ssize_t n = send(fd, text.data() + at, text.size() - at, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        at += static_cast<size_t>(n);
    }
}

// `text` with the first `"@"` (a JSON string) replaced by `literal`: numbers
// that nlohmann::json would not write, as a client may send them.
std::string withLiteral(std::string text, const std::string &literal) {
    const size_t at = text.find("\"@\"");
    return at == std::string::npos ? text : text.replace(at, 3, literal);
}

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

    // The start of a request of the page's, by hand.
    std::string head(const std::string &method, const std::string &path,
                     const std::string &more = "") {
        return method + " " + root_ + path +
               " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\n" + more + "\r\n";
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

// Every number a request carries is checked against its range before use:
// beyond a 64-bit integer, negative, fractional or of another type, it is a
// mistake in the request (400), never a frame or a setting.
TEST_F(ServerTest, EveryNumberIsCheckedAgainstItsRange) {
    const json s = settings();
    const std::vector<std::string> notFrames = {"9223372036854775808",
                                                "18446744073709551615",
                                                "18446744073709551616",
                                                "-1",
                                                "-9223372036854775808",
                                                "1.5",
                                                "2.0",
                                                "1e3",
                                                "1e300",
                                                "-0.5",
                                                "true",
                                                "null",
                                                "\"3\"",
                                                "[3]"};
    for (const std::string &frame : notFrames) {
        auto after = client_->Post(
            root_ + "api/after", withLiteral(json({{"frame", "@"}, {"settings", s}}).dump(), frame),
            "application/json");
        ASSERT_TRUE(after) << frame << ": no answer (did the server fall?)";
        EXPECT_EQ(after->status, 400) << frame << ": " << after->body;
    }
    for (const char *frame :
         {"9223372036854775808", "18446744073709551615", "-1", "1.5", "1e3", "%2B1", "0x1"})
        EXPECT_EQ(client_->Get(root_ + "api/before?frame=" + frame)->status, 400) << frame;
    // The largest frame number is one, past the end.
    EXPECT_EQ(client_->Get(root_ + "api/before?frame=9223372036854775807")->status, 404);
    EXPECT_EQ(post("api/after", {{"frame", INT64_MAX}, {"settings", s}})->status, 404);
    // Nothing out of range reached the state.
    EXPECT_EQ(json::parse(client_->Get(root_ + "api/state")->body)["frame"], 0);

    // The order of a picture request, and the page's name.
    for (const char *order :
         {"-1", "1.5", "18446744073709551616", "9223372036854775808", "\"1\"", "null"}) {
        auto r = client_->Post(
            root_ + "api/after",
            withLiteral(json({{"frame", 1}, {"settings", s}, {"order", "@"}}).dump(), order),
            "application/json");
        EXPECT_EQ(r->status, 400) << order;
    }
    for (const char *order : {"-1", "1.5", "9223372036854775808", "x"})
        EXPECT_EQ(client_->Get(root_ + "api/before?frame=1&order=" + order)->status, 400) << order;
    EXPECT_EQ(post("api/after",
                   {{"frame", 1}, {"settings", s}, {"order", 1}, {"page", std::string(1000, 'p')}})
                  ->status,
              400);
    EXPECT_EQ(post("api/after", {{"frame", 1}, {"settings", s}, {"order", 1}, {"page", 7}})->status,
              400);

    // Every numeric setting, on every route that takes settings.
    const json fields = json::parse(client_->Get(root_ + "api/state")->body)["fields"];
    int checked = 0;
    for (const json &field : fields) {
        if (field["kind"] == "path")
            continue;
        const std::string name = field["name"];
        const long long high = field["high"];
        for (const std::string &value :
             {std::string("-1"), std::to_string(high + 1), std::string("9223372036854775808"),
              std::string("18446744073709551615"), std::string("18446744073709551616"),
              std::string("-9223372036854775809"), std::string("1.5"), std::string("1e2"),
              std::string("true"), std::string("\"1e2\""), std::string("\"0x10\""),
              std::string("\"\"")}) {
            json bad = s;
            bad[name] = "@";
            for (const char *route : {"api/after", "api/save", "api/browse"}) {
                auto r = client_->Post(
                    root_ + route,
                    withLiteral(json({{"frame", 1}, {"settings", bad}}).dump(), value),
                    "application/json");
                EXPECT_EQ(r->status, 400)
                    << route << " " << name << " = " << value << ": " << r->body;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 100);
    EXPECT_FALSE(fs::exists("page.job"));

    // The largest rectangle the options take does not fit the picture: refused
    // as the process command refuses it, by every route.
    for (const char *axis : {"x", "y"}) {
        json huge = s;
        huge[axis] = INT_MAX;
        auto after = post("api/after", {{"frame", 3}, {"settings", huge}});
        EXPECT_EQ(after->status, 422) << axis;
        EXPECT_NE(after->body.find("does not fit"), std::string::npos) << after->body;
        auto saved = post("api/save", {{"settings", huge}});
        EXPECT_EQ(saved->status, 422) << axis << ": " << saved->body;
        EXPECT_NE(saved->body.find("does not fit"), std::string::npos) << saved->body;
    }
    EXPECT_FALSE(fs::exists("page.job"));
    EXPECT_EQ(post("api/after", {{"frame", 3}, {"settings", s}})->status, 200);
}

// Connections that send nothing, or their headers a byte every three
// seconds, hold no worker: the page's own requests are answered meanwhile,
// and such connections are closed at the request deadline (ten seconds).
TEST_F(ServerTest, SlowAndIdleClientsDoNotHoldThePage) {
    const Clock::time_point start = Clock::now();
    std::vector<int> idle, slow;
    for (int i = 0; i < 48; ++i)
        idle.push_back(connectRaw());
    const std::string trickled = head("GET", "api/state", "X-Slow: 1\r\n");
    for (int i = 0; i < 8; ++i) {
        slow.push_back(connectRaw());
        EXPECT_EQ(send(slow.back(), trickled.data(), 1, MSG_NOSIGNAL), 1);
    }
    // A byte every three seconds on each, until the test ends.
    struct Trickle {
        std::atomic<bool> done{false};
        std::thread thread;
        void stop() {
            done = true;
            if (thread.joinable())
                thread.join();
        }
        ~Trickle() { stop(); }
    } trickle;
    trickle.thread = std::thread([&] {
        for (size_t at = 1; !trickle.done && at < trickled.size(); ++at) {
            for (int i = 0; i < 30 && !trickle.done; ++i)
                std::this_thread::sleep_for(milliseconds(100));
            for (int fd : slow)
                send(fd, trickled.data() + at, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
    });

    // For seven seconds, longer than a worker's five-second timeouts, each of
    // the page's requests is answered within a second (they take milliseconds).
    client_->set_read_timeout(5, 0);
    int answered = 0;
    const Clock::time_point opened = Clock::now();
    while (Clock::now() < opened + seconds(7)) {
        const Clock::time_point asked = Clock::now();
        auto r =
            answered % 2
                ? client_->Get(root_ + "api/state")
                : client_->Get(root_ + "api/before?frame=" + std::to_string(answered % clipFrames));
        ASSERT_TRUE(r) << "no answer within five seconds";
        EXPECT_EQ(r->status, 200);
        EXPECT_LT(Clock::now() - asked, seconds(1)) << "request " << answered;
        ++answered;
        std::this_thread::sleep_for(milliseconds(200));
    }
    EXPECT_GT(answered, 10);

    // The deadline: the trickling connections are told 408 and closed, the
    // idle ones closed, ten seconds after they were opened.
    for (int fd : slow) {
        const auto left =
            std::chrono::duration_cast<milliseconds>(start + seconds(13) - Clock::now());
        EXPECT_EQ(statusLineWithin(fd, left), "HTTP/1.1 408 Request Timeout");
    }
    for (int fd : idle) {
        pollfd ready{fd, POLLIN, 0};
        ASSERT_EQ(poll(&ready, 1, 3000), 1);
        char byte;
        EXPECT_EQ(recv(fd, &byte, 1, 0), 0);
    }
    trickle.stop();
    for (int fd : idle)
        close(fd);
    for (int fd : slow)
        close(fd);
    EXPECT_EQ(client_->Get(root_ + "api/state")->status, 200);
}

// The 1 MiB limit holds for every body, whatever its framing: a body is
// refused before it is read unless it comes as plain bytes with a length
// (the page sends nothing else).
TEST_F(ServerTest, EveryBodyIsHeldToTheLimit) {
    const std::string json1 = "{\"settings\": {}}";
    // The answer to `text`, while more of the body keeps coming (a space
    // every half second, so that no read times out): a server that reads the
    // body first never answers.
    auto answerTo = [&](const std::string &text) {
        int fd = connectRaw();
        sendSome(fd, text);
        std::string answer;
        for (int i = 0; i < 20 && answer.find("\r\n") == std::string::npos; ++i) {
            pollfd ready{fd, POLLIN, 0};
            char part[512];
            ssize_t n = 0;
            if (poll(&ready, 1, 500) == 1 && (n = recv(fd, part, sizeof part, 0)) <= 0)
                break;
            answer.append(part, static_cast<size_t>(n));
            send(fd, " ", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        close(fd);
        return answer.substr(0, answer.find("\r\n"));
    };
    // A chunk that says it is 400 MB long, of which a little has come.
    EXPECT_EQ(answerTo(head("POST", "api/save", "Transfer-Encoding: chunked\r\n") + "17D78400\r\n" +
                       std::string(1000, ' ')),
              "HTTP/1.1 411 Length Required");
    // A whole chunked body of 2 MiB, and a small one.
    std::string chunks;
    for (int i = 0; i < 32; ++i)
        chunks += "10000\r\n" + std::string(0x10000, ' ') + "\r\n";
    EXPECT_EQ(
        answerTo(head("POST", "api/save", "Transfer-Encoding: chunked\r\n") + chunks + "0\r\n\r\n"),
        "HTTP/1.1 411 Length Required");
    EXPECT_EQ(answerTo(head("POST", "api/browse", "Transfer-Encoding: chunked\r\n") + "10\r\n" +
                       json1 + "\r\n0\r\n\r\n"),
              "HTTP/1.1 411 Length Required");
    // A transfer coding under another spelling is no way around it.
    EXPECT_EQ(answerTo(head("POST", "api/browse", "Transfer-Encoding: gzip, chunked\r\n") +
                       "10\r\n" + json1 + "\r\n0\r\n\r\n"),
              "HTTP/1.1 411 Length Required");
    // A body without a length, which would be read until the connection closes.
    EXPECT_EQ(answerTo(head("POST", "api/save") + std::string(100000, ' ')),
              "HTTP/1.1 411 Length Required");
    // A compressed body would be inflated past the limit before any check.
    EXPECT_EQ(
        answerTo(head("POST", "api/browse", "Content-Encoding: gzip\r\nContent-Length: 20\r\n") +
                 std::string(20, '\0')),
        "HTTP/1.1 415 Unsupported Media Type");
    // A length over the limit is refused at once, not read first.
    EXPECT_EQ(answerTo(head("POST", "api/save", "Content-Length: 400000000\r\n") +
                       std::string(1000, ' ')),
              "HTTP/1.1 413 Payload Too Large");
    for (const char *length : {"-1", "1e3", "18446744073709551616", "0x10", "+5", "5, 5"})
        EXPECT_EQ(
            answerTo(head("POST", "api/save", std::string("Content-Length: ") + length + "\r\n") +
                     json1)
                .substr(0, 12),
            "HTTP/1.1 400")
            << length;
    // The page's own way is answered.
    EXPECT_EQ(answerTo(head("POST", "api/browse",
                            "Content-Type: application/json\r\nContent-Length: " +
                                std::to_string(json1.size()) + "\r\n") +
                       json1)
                  .substr(0, 12),
              "HTTP/1.1 400"); // no logo named
    EXPECT_EQ(client_->Get(root_ + "api/state")->status, 200);
}

// A logo named by the page that is a FIFO (or a device, or a folder) would
// block the worker that opens it for good: refused at once, as is a set with
// such a member, on every route that reads the set.
TEST_F(ServerTest, AFifoAsTheLogoIsRefusedAtOnce) {
    const std::vector<std::string> fifos = {"fifo_x_40_y_30_0.bmp", "fifoset_x_40_y_30_1.bmp"};
    for (const std::string &name : fifos) {
        fs::remove(name);
        ASSERT_EQ(mkfifo(name.c_str(), 0600), 0);
    }
    fs::copy_file("logo_x_40_y_30_0.bmp", "fifoset_x_40_y_30_0.bmp",
                  fs::copy_options::overwrite_existing);
    // A reader the old server left waiting is let go, so that a failure ends.
    struct Release {
        std::vector<std::string> names;
        ~Release() {
            for (int i = 0; i < 100; ++i) {
                for (const std::string &name : names)
                    if (int fd = open(name.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0)
                        close(fd);
                std::this_thread::sleep_for(milliseconds(10));
            }
        }
    } release{fifos};

    client_->set_read_timeout(10, 0);
    json s = settings();
    for (const std::string &logo :
         {fs::absolute("fifo_x_40_y_30_0.bmp").string(),
          fs::absolute("fifoset_x_40_y_30_0.bmp").string(), fs::current_path().string() + "/"}) {
        s["logo"] = logo;
        for (const char *route : {"api/after", "api/browse", "api/save"}) {
            auto r = post(route, {{"frame", 1}, {"settings", s}});
            ASSERT_TRUE(r) << route << " " << logo << ": no answer";
            // Browse answers a set's problem for the page to show.
            EXPECT_EQ(r->status, std::string(route) == "api/browse" ? 200 : 422)
                << route << " " << logo;
            EXPECT_NE(r->body.find("not a regular file"), std::string::npos) << r->body;
        }
    }
    EXPECT_FALSE(fs::exists("page.job"));
    EXPECT_EQ(post("api/after", {{"frame", 1}, {"settings", settings()}})->status, 200);
}

// A NUL in a path would end the name the system opens early: the set named
// is not the set opened.
TEST_F(ServerTest, ANulInAPathIsRefused) {
    json s = settings();
    s["logo"] = fs::absolute("logo_x_40_y_30_0.bmp").string() + std::string(1, '\0') + "_0.bmp";
    for (const char *route : {"api/after", "api/browse", "api/save"}) {
        auto r = post(route, {{"frame", 1}, {"settings", s}});
        EXPECT_EQ(r->status, 400) << route << ": " << r->body;
        EXPECT_NE(r->body.find("NUL"), std::string::npos) << r->body;
    }
    EXPECT_FALSE(fs::exists("page.job"));
}

// Save refuses what pendra process would refuse, and says why, instead of
// writing a job that does not run.
TEST_F(ServerTest, SaveRefusesASetThatProcessRefuses) {
    json s = settings();
    s["logo"] = fs::absolute("missing_x_40_y_30_0.bmp").string();
    auto missing = post("api/save", {{"settings", s}});
    EXPECT_EQ(missing->status, 422) << missing->body;
    EXPECT_NE(missing->body.find("missing_x_40_y_30_0.bmp: cannot open"), std::string::npos)
        << missing->body;
    s["logo"] = fs::absolute("clip.mkv").string();
    auto notSet = post("api/save", {{"settings", s}});
    EXPECT_EQ(notSet->status, 422) << notSet->body;
    EXPECT_FALSE(fs::exists("page.job"));
    ASSERT_EQ(post("api/save", {{"settings", settings()}})->status, 200);
    EXPECT_EQ(runPendra({"process", "clip.mkv", "replay.mkv", "-y", "--job", "page.job"}).exitCode,
              0);
}

// Without the token, or from another host, Browse says nothing about the
// disk: the answer is the same whether the file named exists or not.
TEST_F(ServerTest, BrowseTellsNothingWithoutTheToken) {
    std::vector<std::string> answers;
    for (const std::string &path :
         {std::string("/api/browse"), "/" + std::string(32, '0') + "/api/browse",
          root_ + "api/browse"})
        for (const std::string &host : {"127.0.0.1:" + std::to_string(port_),
                                        std::string("attacker.example:") + std::to_string(port_)})
            for (const std::string &file :
                 {std::string("/etc/passwd"), std::string("/nonesuch0.bmp"),
                  fs::absolute("logo_x_40_y_30_0.bmp").string()}) {
                if (path == root_ + "api/browse" && host.rfind("127.", 0) == 0)
                    continue; // the page's own request
                httplib::Headers headers{{"Host", host}};
                auto r = client_->Post(path, headers, json({{"settings", {{"logo", file}}}}).dump(),
                                       "application/json");
                ASSERT_TRUE(r);
                EXPECT_EQ(r->status, 403);
                answers.push_back(path + " " + host + ": " + r->body);
                if (answers.size() % 3 == 0) {
                    EXPECT_EQ(answers[answers.size() - 1], answers[answers.size() - 2]);
                    EXPECT_EQ(answers[answers.size() - 2], answers[answers.size() - 3]);
                }
            }
}

// Browsers leave the port out of the Host header when it is the scheme's
// default; the server answers its own name either way, and no other.
TEST(AccessGuardTest, TheHostHeaderNamesThisServer) {
    const web::AccessGuard on80("t", "127.0.0.1", 80);
    for (const char *host : {"127.0.0.1", "127.0.0.1:80", "localhost", "localhost:80", "[::1]",
                             "[::1]:80", "10.0.0.1"})
        EXPECT_TRUE(on80.hostMatches(host)) << host;
    for (const char *host : {"",
                             ":80",
                             "127.0.0.1:",
                             "127.0.0.1:8080",
                             "127.0.0.1:80x",
                             "127.0.0.1:080",
                             "127.0.0.1:80:80",
                             "127.0.0.1.evil.com",
                             "127.0.0.1.evil.com:80",
                             "evil.com",
                             "evil.com:80",
                             "localhost.evil.com",
                             "127.0.0.1 ",
                             " 127.0.0.1",
                             "127.0.0.1@evil.com",
                             "[::1]x",
                             "[::1",
                             "::1",
                             "[::1]:8080",
                             "127.0.0.1/",
                             "127.0.0.1:+80"})
        EXPECT_FALSE(on80.hostMatches(host)) << host;

    const web::AccessGuard on8080("t", "127.0.0.1", 8080);
    EXPECT_TRUE(on8080.hostMatches("127.0.0.1:8080"));
    EXPECT_TRUE(on8080.hostMatches("localhost:8080"));
    for (const char *host :
         {"127.0.0.1", "localhost", "127.0.0.1:80", "127.0.0.1:8080x", "127.0.0.1:80800",
          "127.0.0.1.evil.com:8080", "127.0.0.1:8080.evil.com"})
        EXPECT_FALSE(on8080.hostMatches(host)) << host;

    const web::AccessGuard v6("t", "::1", 80);
    EXPECT_TRUE(v6.hostMatches("[::1]"));
    EXPECT_TRUE(v6.hostMatches("[::1]:80"));
    EXPECT_FALSE(v6.hostMatches("[::1]:81"));
    EXPECT_EQ(v6.address(), "http://[::1]/t/");
    EXPECT_EQ(on8080.address(), "http://127.0.0.1:8080/t/");
}

// End to end on port 80, where browsers send the host without the port.
// Binding port 80 takes root (as the tests have in CI); elsewhere this skips.
TEST(PagePortTest, PortEightyIsAnsweredWithoutThePortInTheHost) {
    makeClip("-f lavfi -i testsrc2=size=160x120:rate=25 -frames:v 12 -c:v ffv1 -pix_fmt bgr0",
             "clip80.mkv");
    web::ConfigureSession session(cli::parseOptions({"configure", "clip80.mkv"}));
    std::unique_ptr<web::PageServer> server;
    try {
        server = std::make_unique<web::PageServer>(session, "127.0.0.1:80");
    } catch (const cli::CliError &e) {
        REQUIRE_COMPONENT(std::string("port 80 cannot be bound: ") + e.what());
    }
    std::thread serving([&] { server->run(); });
    EXPECT_EQ(server->guard().address(), "http://127.0.0.1/" + server->guard().token() + "/");
    httplib::Client client("127.0.0.1", 80);
    const std::string state = "/" + server->guard().token() + "/api/state";
    for (const char *host : {"127.0.0.1", "127.0.0.1:80", "localhost"}) {
        auto r = client.Get(state, httplib::Headers{{"Host", host}});
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200) << host;
    }
    for (const char *host : {"127.0.0.1.evil.com", "127.0.0.1:8080", "127.0.0.1:80x"}) {
        auto r = client.Get(state, httplib::Headers{{"Host", host}});
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 403) << host;
    }
    server->stop();
    serving.join();
}

// The browser is handed the address in a file only the user can read, so
// that the token is not in the opener's command line for every user's ps to
// see; the file goes when the server does.
TEST(OpenerTest, TheTokenIsNotOnTheOpenersCommandLine) {
    makeClip("-f lavfi -i testsrc2=size=160x120:rate=25 -frames:v 12 -c:v ffv1 -pix_fmt bgr0",
             "clip-open.mkv");
    const fs::path bin = fs::absolute("opener-bin"), record = fs::absolute("opener-record");
    fs::remove_all(bin);
    fs::remove_all(record);
    fs::create_directories(bin);
    fs::create_directories(record);
    {
        std::ofstream script(bin / "xdg-open");
        script << "#!/bin/sh\n"
               << "cd '" << record.string() << "' || exit 1\n"
               << "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > argv.tmp\n"
               << "stat -c %a \"$1\" > mode; stat -c %a \"$(dirname \"$1\")\" > folder-mode\n"
               << "cat \"$1\" > page.html\n"
               << "mv argv.tmp argv\n";
    }
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    std::vector<std::string> environment;
    for (char **e = environ; *e; ++e)
        if (std::string(*e).rfind("PATH=", 0) != 0)
            environment.push_back(*e);
    const char *path = std::getenv("PATH");
    environment.push_back("PATH=" + bin.string() + ":" + (path ? path : "/usr/bin:/bin"));
    std::vector<char *> envp;
    for (std::string &e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string pendra = (host::executableFolder() / "pendra").string();
    std::vector<std::string> args = {pendra, "configure", "clip-open.mkv", "--listen",
                                     "127.0.0.1:0"};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, pendra.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string address;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n')
        address += c;
    close(out[0]);
    ASSERT_EQ(address.rfind("http://127.0.0.1:", 0), 0u) << address;
    const std::string token = address.substr(address.size() - 33, 32);

    for (int i = 0; i < 200 && !fs::exists(record / "argv"); ++i)
        std::this_thread::sleep_for(milliseconds(50));
    std::ifstream argvFile(record / "argv");
    const std::string opened((std::istreambuf_iterator<char>(argvFile)), {});
    std::ifstream pageFile(record / "page.html");
    const std::string page((std::istreambuf_iterator<char>(pageFile)), {});
    std::ifstream modeFile(record / "mode"), folderModeFile(record / "folder-mode");
    std::string mode, folderMode;
    modeFile >> mode;
    folderModeFile >> folderMode;

    EXPECT_EQ(opened.find(token), std::string::npos) << opened;
    ASSERT_FALSE(opened.empty());
    const std::string handed = opened.substr(0, opened.find('\n'));
    EXPECT_EQ(handed.front(), '/') << "a file's path: " << handed;
    EXPECT_NE(page.find(address), std::string::npos) << page;
    EXPECT_EQ(mode, "600");
    EXPECT_EQ(folderMode, "700");
    EXPECT_TRUE(fs::exists(handed));

    httplib::Client client("127.0.0.1", std::stoi(address.substr(17)));
    auto stopped =
        client.Post(address.substr(address.find('/', 7)) + "api/stop", "{}", "application/json");
    EXPECT_TRUE(stopped && stopped->status == 200);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(fs::exists(handed)) << "the file outlived the server";
    EXPECT_FALSE(fs::exists(fs::path(handed).parent_path()));
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

// The ranges the page shows after an analysis: a stretch whose rims are
// repaired is two filters of one range, shown once.
TEST(AnalysisRanges, TheRimSetsFilterAddsNoRange) {
    std::vector<pendra::host::JobEntry> entries;
    for (const char *call :
         {"Config(\"/a/logo_x_8_y_4_0.bmp\",2, 1, 8, 4, 0, 99, 0, 0, 255, 661800, 332800, 230, 0, "
          "10)",
          "Config(\"/a/rim_x_8_y_4_0.bmp\",2, 1, 8, 4, 0, 99, 0, 0, 0, 661800, 332800, 230, 0, 10)",
          "Config(\"/a/logo_x_8_y_4_0.bmp\",2, 1, 8, 4, 100, 0, 0, 0, 128, 661800, 332800, 230, 0, "
          "10)"}) {
        pendra::host::JobEntry e;
        e.filterName = "Pendra";
        e.call = call;
        entries.push_back(e);
    }
    EXPECT_EQ(pendra::web::jobRanges(entries),
              nlohmann::json::parse(R"([{"start":0,"end":99},{"start":100,"end":0}])"));
}
