// The hand-over between the threads of `pendra process` (decoding, filtering,
// encoding): a queue of bounded length (or none: a hand-over that waits for
// the taker), so that a fast stage waits for a slow one instead of piling up
// decoded pictures, and that can be stopped from any side, so that a failure
// in one stage wakes and ends all of them.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace pendra::cli {

template <typename T> class StageQueue {
  public:
    // capacity 0: a hand-over, where push() returns once the consumer has the item.
    explicit StageQueue(size_t capacity) : capacity_(capacity) {}

    // Waits for room; false when the pipeline has been stopped (the item is dropped).
    bool push(T item) {
        std::unique_lock lock(mutex_);
        roomFreed_.wait(lock,
                        [&] { return stopped_ || items_.size() < std::max<size_t>(capacity_, 1); });
        if (stopped_)
            return false;
        items_.push_back(std::move(item));
        const uint64_t mine = ++pushed_;
        itemAdded_.notify_one();
        if (capacity_ == 0)
            roomFreed_.wait(lock, [&] { return stopped_ || taken_ >= mine; });
        return !stopped_;
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
        ++taken_;
        roomFreed_.notify_all();
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
    uint64_t pushed_ = 0;
    uint64_t taken_ = 0;
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
