// The page's HTTP server with a gate before its workers, so that clients
// that hold connections open cannot take the page from its browser.
//
// cpp-httplib as Debian 12 has it (0.11.4) hands every accepted connection to
// a worker of a fixed pool (eight threads) at once, and the worker then
// waits for the request line and headers with a timeout per read only: a
// connection that sends nothing holds a worker for the keep-alive time (five
// seconds), one that sends a header byte every few seconds holds it for as
// long as it likes, and anyone on the machine may do either without the
// token. More threads or shorter timeouts only raise the number of
// connections that stop the page; SO_RCVTIMEO is a timeout per read too.
//
// So here no worker waits for a client. One thread, the gate, watches every
// connection that waits for a request with poll(): it reads what arrives
// into the connection's own buffer without blocking, and hands the
// connection to a worker only once the request line and headers are all
// there. The worker runs httplib's own parser and routing
// (Server::process_request) on a Stream of this file that reads the buffer
// first, so the head is parsed from memory; the body, read only after the
// pre-routing handler has admitted the request, and the answer go to the
// socket with httplib's timeouts per read and write. A request's head must
// be complete within a deadline counted from when its connection began to
// wait for it (the accept, or the answer before), whatever the pace of its
// bytes; a connection idle that long is closed, and when too many are open
// those that have waited longest go first. A kept connection goes back to
// the gate between requests, so idle keep-alive connections hold no worker
// either.
//
// Only a request that a handler admitted (keepConnection(): the token and
// Host were right) keeps its connection. Any other is closed after its
// answer, with a lingering close: the gate reads and drops what the client
// still sends for a short while, so that the client sees the answer instead
// of a reset.
//
// The hooks are httplib's own, as its SSLServer uses them: new_task_queue
// (here a queue that runs the accept's task at once, on the accepting
// thread), the virtual process_and_close_socket (here: give the socket to
// the gate) and the protected process_request.
#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace pendra::web {

struct GateLimits {
    int workers = 16;
    // Connections open at once, waiting or at work; beyond it the gate closes
    // the waiting ones that have waited longest.
    size_t connections = 256;
    // A request's line and headers must arrive within this, counted from when
    // its connection began to wait for it; an idle connection closes then.
    std::chrono::milliseconds requestTime{10000};
    // How long a closed connection's unread input is read and dropped.
    std::chrono::milliseconds lingerTime{2000};
    size_t headBytes = 64 * 1024; // a request's line and headers together
    int requestsPerConnection = 100;
};

class GatedServer : public httplib::Server {
  public:
    explicit GatedServer(GateLimits limits = {});
    ~GatedServer() override;
    GatedServer(const GatedServer &) = delete;
    GatedServer &operator=(const GatedServer &) = delete;

    // Binds to HOST:PORT (PORT 0: any free port) and listens with a queue of
    // connections not yet accepted as long as the system allows; httplib's
    // own is five long, and a burst of connections beyond it has its
    // handshakes dropped and retried a second or more later. Returns the
    // port, or -1.
    int bindTo(const std::string &host, int port);

    // Closes every connection and ends the gate's threads; call after
    // Server::stop(). Waits for answers in progress.
    void stopGate();

    // Said by a handler while it answers (the pre-routing handler): the
    // client may send its next request on this connection. Without it the
    // connection is closed after the answer.
    static void keepConnection();

  private:
    using Clock = std::chrono::steady_clock;
    struct Connection;
    class ConnectionStream;

    bool process_and_close_socket(socket_t sock) override;
    void gateLoop();
    void evictBeyondLimit(std::list<std::unique_ptr<Connection>> &waiting, size_t open);
    Clock::time_point deadlineOf(const Connection &c) const;
    // Reads what has come; false when the client has closed or failed.
    bool receive(Connection &c);
    // Takes a waiting connection on; true when it leaves the gate's list (to
    // a worker, or closed).
    bool attend(std::unique_ptr<Connection> &c, bool readable);
    void workerLoop();
    void serve(std::unique_ptr<Connection> c);
    // Hands a connection to the gate from any thread.
    void toGate(std::unique_ptr<Connection> c);
    void toWorkers(std::unique_ptr<Connection> c);
    // Answers `status` ("408 Request Timeout") and closes, lingering.
    void refuse(std::unique_ptr<Connection> &c, const char *status);
    void startLinger(Connection &c);
    void release(std::unique_ptr<Connection> c);
    void wakeGate();

    const GateLimits limits_;
    std::mutex mutex_;
    std::condition_variable work_;
    bool stopping_ = false;
    bool joined_ = false;
    std::vector<std::unique_ptr<Connection>> arrivals_; // for the gate
    std::deque<std::unique_ptr<Connection>> ready_;     // heads complete, for a worker
    std::set<int> open_; // every open connection's socket, shut down at stop
    int wake_[2] = {-1, -1};
    std::thread gate_;
    std::vector<std::thread> workers_;
};

} // namespace pendra::web
