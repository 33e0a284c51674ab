// The hand-over between the threads of `pendra process` (decoding, filtering,
// encoding): a queue of bounded length, so that a fast stage waits for a slow
// one instead of piling up decoded pictures, and that can be stopped from any
// side, so that a failure in one stage wakes and ends all of them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace pendra::cli {

template <typename T> class StageQueue {
  public:
    explicit StageQueue(size_t capacity) : capacity_(capacity) {}

    // Waits for room; false when the pipeline has been stopped (the item is dropped).
    bool push(T item) {
        std::unique_lock lock(mutex_);
        roomFreed_.wait(lock, [&] { return stopped_ || items_.size() < capacity_; });
        if (stopped_)
            return false;
        items_.push_back(std::move(item));
        itemAdded_.notify_one();
        return true;
    }
    // Waits for an item; nothing once the producer has closed the queue and
    // it is empty, or when the pipeline has been stopped.
    std::optional<T> pop() {
        std::unique_lock lock(mutex_);
        itemAdded_.wait(lock, [&] { return stopped_ || closed_ || !items_.empty(); });
        if (stopped_ || items_.empty())
            return std::nullopt;
        T item = std::move(items_.front());
        items_.pop_front();
        roomFreed_.notify_one();
        return item;
    }
    // The producer is done: the consumer gets what is queued, then the end.
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        itemAdded_.notify_all();
    }
    // Ends the waits of both sides at once; queued items are dropped.
    void stop() {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        items_.clear();
        itemAdded_.notify_all();
        roomFreed_.notify_all();
    }

  private:
    size_t capacity_;
    std::mutex mutex_;
    std::condition_variable itemAdded_;
    std::condition_variable roomFreed_;
    std::deque<T> items_;
    bool closed_ = false;
    bool stopped_ = false;
};

// A stage on a thread of its own. What it throws is kept for the thread that
// joins it; `onFailure` runs first (it stops the queues, so no stage waits for
// one that has ended). The destructor joins, so a stage never outlives its scope.
class StageThread {
  public:
    template <typename Work, typename Failure>
    StageThread(Work work, Failure onFailure)
        : thread_([this, work = std::move(work), onFailure = std::move(onFailure)]() mutable {
              try {
                  work();
              } catch (...) {
                  error_ = std::current_exception();
                  onFailure();
              }
          }) {}
    ~StageThread() { join(); }
    StageThread(const StageThread &) = delete;
    StageThread &operator=(const StageThread &) = delete;

    void join() {
        if (thread_.joinable())
            thread_.join();
    }
    // What the stage threw, after join(); null when it ended normally.
    std::exception_ptr error() const { return error_; }

  private:
    std::exception_ptr error_;
    std::thread thread_;
};

} // namespace pendra::cli
