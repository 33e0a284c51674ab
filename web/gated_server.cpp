#include "web/gated_server.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace pendra::web {

namespace {

using Clock = std::chrono::steady_clock;

// Set by keepConnection() while a worker answers a request.
thread_local bool keepThisConnection = false;

// Runs the accept's task (process_and_close_socket) on the accepting thread:
// it only hands the socket to the gate.
class RunAtOnce : public httplib::TaskQueue {
  public:
    void enqueue(std::function<void()> fn) override { fn(); }
    void shutdown() override {}
};

// Milliseconds from now to `deadline` for poll(), rounded up; 0 when past.
int millisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, 3600 * 1000));
}

// Waits until `fd` is ready for `events` (or hung up, which the next call
// reports); false at the deadline.
bool waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = poll(&p, 1, millisecondsUntil(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

Clock::duration timeoutOf(time_t sec, time_t usec) {
    return std::chrono::seconds(sec) + std::chrono::microseconds(usec);
}

void addressOf(int fd, bool peer, std::string &ip, int &port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    sockaddr *a = reinterpret_cast<sockaddr *>(&address);
    if ((peer ? getpeername(fd, a, &length) : getsockname(fd, a, &length)) != 0)
        return;
    char host[NI_MAXHOST], service[NI_MAXSERV];
    if (getnameinfo(a, length, host, sizeof host, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        ip = host;
        port = std::atoi(service);
    }
}

} // namespace

struct GatedServer::Connection {
    int fd = -1;
    std::string buffer; // received and not yet read by the parser, from `offset`
    size_t offset = 0;
    size_t lineStart = 0;    // where the search for the head's end goes on
    Clock::time_point since; // began to wait for its request, or to linger
    bool lingering = false;
    int served = 0;

    size_t unread() const { return buffer.size() - offset; }

    // Drops what the parser has read.
    void compact() {
        buffer.erase(0, offset);
        lineStart = lineStart > offset ? lineStart - offset : 0;
        offset = 0;
    }

    // Whether the buffer holds a whole request line and headers: up to the
    // first empty line, ended by CRLF or LF as httplib's parser takes it (a
    // blank first line is a request of its own, which httplib refuses).
    bool headComplete() {
        lineStart = std::max(lineStart, offset);
        for (;;) {
            const size_t end = buffer.find('\n', lineStart);
            if (end == std::string::npos)
                return false;
            const size_t length = end - lineStart;
            const bool blank = length == 0 || (length == 1 && buffer[lineStart] == '\r');
            lineStart = end + 1;
            if (blank)
                return true;
        }
    }
};

// A connection as httplib's parser reads it: first the bytes the gate has
// buffered (the whole head), then the socket, within the head's deadline
// until the head has been parsed and within httplib's timeout per read after.
class GatedServer::ConnectionStream : public httplib::Stream {
  public:
    ConnectionStream(Connection &c, Clock::time_point headDeadline, Clock::duration readTimeout,
                     Clock::duration writeTimeout)
        : c_(c), headDeadline_(headDeadline), readTimeout_(readTimeout),
          writeTimeout_(writeTimeout) {}

    // The head has been parsed: what follows is the body.
    void headRead() { headRead_ = true; }

    bool is_readable() const override {
        return c_.unread() > 0 || waitFor(c_.fd, POLLIN, readDeadline());
    }
    bool is_writable() const override {
        return waitFor(c_.fd, POLLOUT, Clock::now() + writeTimeout_);
    }

    ssize_t read(char *ptr, size_t size) override {
        if (c_.unread() > 0) {
            const size_t n = std::min(size, c_.unread());
            std::memcpy(ptr, c_.buffer.data() + c_.offset, n);
            c_.offset += n;
            return static_cast<ssize_t>(n);
        }
        const Clock::time_point deadline = readDeadline();
        for (;;) {
            if (!waitFor(c_.fd, POLLIN, deadline))
                return -1;
            const ssize_t n = recv(c_.fd, ptr, size, MSG_DONTWAIT);
            if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                return n;
        }
    }

    ssize_t write(const char *ptr, size_t size) override {
        const Clock::time_point deadline = Clock::now() + writeTimeout_;
        for (;;) {
            if (!waitFor(c_.fd, POLLOUT, deadline))
                return -1;
            const ssize_t n = send(c_.fd, ptr, size, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                return n;
        }
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override {
        addressOf(c_.fd, true, ip, port);
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override {
        addressOf(c_.fd, false, ip, port);
    }
    socket_t socket() const override { return c_.fd; }

  private:
    Clock::time_point readDeadline() const {
        return headRead_ ? Clock::now() + readTimeout_ : headDeadline_;
    }

    Connection &c_;
    const Clock::time_point headDeadline_;
    const Clock::duration readTimeout_, writeTimeout_;
    bool headRead_ = false;
};

GatedServer::GatedServer(GateLimits limits) : limits_(limits) {
    new_task_queue = [] { return new RunAtOnce; };
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe");
    set_keep_alive_max_count(static_cast<size_t>(limits_.requestsPerConnection));
    set_keep_alive_timeout(
        std::chrono::duration_cast<std::chrono::seconds>(limits_.requestTime).count());
    gate_ = std::thread([this] { gateLoop(); });
    for (int i = 0; i < limits_.workers; ++i)
        workers_.emplace_back([this] { workerLoop(); });
}

int GatedServer::bindTo(const std::string &host, int port) {
    if (port == 0)
        port = bind_to_any_port(host);
    else if (!bind_to_port(host, port))
        port = -1;
    // Listening again on a listening socket sets its queue's length.
    if (port > 0 && ::listen(svr_sock_, SOMAXCONN) != 0)
        port = -1;
    return port;
}

GatedServer::~GatedServer() {
    stopGate();
    close(wake_[0]);
    close(wake_[1]);
}

void GatedServer::keepConnection() {
    keepThisConnection = true;
}

void GatedServer::wakeGate() {
    const char byte = 0;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &byte, 1); // full: a wake is pending anyway
}

bool GatedServer::process_and_close_socket(socket_t sock) {
    auto c = std::make_unique<Connection>();
    c->fd = sock;
    c->since = Clock::now();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // The gate closes the longest waiting beyond `connections`; this
        // bounds what arrives faster than it can.
        if (stopping_ || open_.size() >= 2 * limits_.connections) {
            close(sock);
            return false;
        }
        open_.insert(sock);
        arrivals_.push_back(std::move(c));
    }
    wakeGate();
    return true;
}

void GatedServer::toGate(std::unique_ptr<Connection> c) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        arrivals_.push_back(std::move(c));
    }
    wakeGate();
}

void GatedServer::toWorkers(std::unique_ptr<Connection> c) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ready_.push_back(std::move(c));
    }
    work_.notify_one();
}

void GatedServer::release(std::unique_ptr<Connection> c) {
    // Under the lock: stopGate() shuts down the sockets in open_, and a
    // number closed here may be reused at once.
    std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(c->fd);
    close(c->fd);
}

void GatedServer::startLinger(Connection &c) {
    shutdown(c.fd, SHUT_WR);
    c.lingering = true;
    c.since = Clock::now();
    c.buffer.clear();
    c.offset = c.lineStart = 0;
}

void GatedServer::refuse(std::unique_ptr<Connection> &c, const char *status) {
    const std::string body = std::string("{\"error\":\"") + status + "\"}";
    const std::string answer =
        std::string("HTTP/1.1 ") + status +
        "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\n\r\n" + body;
    // Into an empty send buffer; a client that lets it fill gets less.
    [[maybe_unused]] ssize_t n =
        send(c->fd, answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    startLinger(*c);
}

void GatedServer::gateLoop() {
    std::list<std::unique_ptr<Connection>> waiting;
    std::vector<pollfd> polled;
    for (;;) {
        std::vector<std::unique_ptr<Connection>> arrived;
        size_t open = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_)
                break;
            arrived.swap(arrivals_);
            open = open_.size();
        }
        for (std::unique_ptr<Connection> &c : arrived) {
            // A pipelined request may be buffered already.
            if (!c->lingering && c->headComplete())
                toWorkers(std::move(c));
            else
                waiting.push_back(std::move(c));
        }
        evictBeyondLimit(waiting, open);

        Clock::time_point next = Clock::now() + std::chrono::seconds(60);
        polled.assign(1, pollfd{wake_[0], POLLIN, 0});
        for (const std::unique_ptr<Connection> &c : waiting) {
            polled.push_back(pollfd{c->fd, POLLIN, 0});
            next = std::min(next, deadlineOf(*c));
        }
        if (poll(polled.data(), polled.size(), millisecondsUntil(next)) < 0 && errno != EINTR)
            continue;
        if (polled[0].revents) {
            char drained[64];
            while (::read(wake_[0], drained, sizeof drained) > 0) {
            }
        }
        size_t at = 1;
        for (auto it = waiting.begin(); it != waiting.end(); ++at)
            it = attend(*it, polled[at].revents != 0) ? waiting.erase(it) : std::next(it);
    }
    for (std::unique_ptr<Connection> &c : waiting)
        release(std::move(c));
}

void GatedServer::evictBeyondLimit(std::list<std::unique_ptr<Connection>> &waiting, size_t open) {
    // The lingering go first, then those that have waited longest.
    while (open > limits_.connections && !waiting.empty()) {
        auto oldest =
            std::min_element(waiting.begin(), waiting.end(), [](const auto &a, const auto &b) {
                if (a->lingering != b->lingering)
                    return a->lingering;
                return a->since < b->since;
            });
        release(std::move(*oldest));
        waiting.erase(oldest);
        --open;
    }
}

GatedServer::Clock::time_point GatedServer::deadlineOf(const Connection &c) const {
    return c.since + (c.lingering ? limits_.lingerTime : limits_.requestTime);
}

bool GatedServer::receive(Connection &c) {
    char chunk[16384];
    for (;;) {
        // Lingering: read and dropped. Waiting: into the buffer, no more than
        // one head too many.
        size_t room = sizeof chunk;
        if (!c.lingering) {
            const size_t wanted = limits_.headBytes + 1;
            room = std::min(room, wanted > c.unread() ? wanted - c.unread() : 0);
            if (room == 0)
                return true;
        }
        const ssize_t n = recv(c.fd, chunk, room, MSG_DONTWAIT);
        if (n > 0) {
            if (!c.lingering)
                c.buffer.append(chunk, static_cast<size_t>(n));
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    }
}

bool GatedServer::attend(std::unique_ptr<Connection> &c, bool readable) {
    const bool open = !readable || receive(*c);
    if (!c->lingering && c->headComplete()) {
        toWorkers(std::move(c));
        return true;
    }
    const bool late = Clock::now() >= deadlineOf(*c);
    if (!open || (c->lingering && late) || (late && c->unread() == 0)) {
        release(std::move(c)); // gone, lingered enough, or idle to the end
        return true;
    }
    if (!c->lingering && c->unread() > limits_.headBytes)
        refuse(c, "431 Request Header Fields Too Large");
    else if (!c->lingering && late)
        refuse(c, "408 Request Timeout"); // part of a request: told why
    return false;
}

void GatedServer::workerLoop() {
    for (;;) {
        std::unique_ptr<Connection> c;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_.wait(lock, [this] { return stopping_ || !ready_.empty(); });
            if (stopping_)
                return;
            c = std::move(ready_.front());
            ready_.pop_front();
        }
        serve(std::move(c));
    }
}

void GatedServer::serve(std::unique_ptr<Connection> c) {
    ConnectionStream stream(*c, c->since + limits_.requestTime,
                            timeoutOf(read_timeout_sec_, read_timeout_usec_),
                            timeoutOf(write_timeout_sec_, write_timeout_usec_));
    bool last = ++c->served >= limits_.requestsPerConnection;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        last = last || stopping_;
    }
    bool clientCloses = false;
    keepThisConnection = false;
    const bool answered = process_request(stream, last, clientCloses,
                                          [&stream](httplib::Request &) { stream.headRead(); });
    const bool keep = answered && keepThisConnection && !clientCloses && !last;
    keepThisConnection = false;
    if (keep) {
        c->compact();
        c->since = Clock::now();
    } else {
        startLinger(*c);
    }
    toGate(std::move(c));
}

void GatedServer::stopGate() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (joined_)
            return;
        stopping_ = true;
        // Wakes workers waiting on a client.
        for (int fd : open_)
            shutdown(fd, SHUT_RDWR);
    }
    wakeGate();
    work_.notify_all();
    if (gate_.joinable())
        gate_.join();
    for (std::thread &w : workers_)
        if (w.joinable())
            w.join();
    std::lock_guard<std::mutex> lock(mutex_);
    joined_ = true;
    for (const std::unique_ptr<Connection> &c : arrivals_)
        close(c->fd);
    for (const std::unique_ptr<Connection> &c : ready_)
        close(c->fd);
    arrivals_.clear();
    ready_.clear();
    open_.clear();
}

} // namespace pendra::web
