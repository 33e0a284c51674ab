// Which picture request is the newest. A page numbers its requests; one it
// aborted may still reach the server after the one that replaced it (each
// may travel on its own connection and be taken by its own thread), so
// arrival order cannot say which of a page's requests is newer, its number
// can. Between pages, and for clients that number nothing, the later arrival
// is the newer.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace pendra::web {

// A page's name for itself and its number for one request.
struct PageOrder {
    std::string page;
    uint64_t number = 0;
};

class RequestOrder {
  public:
    // The ticket of a request that arrives now.
    uint64_t take(const std::optional<PageOrder> &order) {
        std::lock_guard<std::mutex> lock(lock_);
        if (order) {
            uint64_t &newest = newestOf_[order->page];
            if (order->number < newest)
                return 0; // its page has asked for a newer one already
            newest = order->number;
            // Each page load adds a name; a long session keeps only its own.
            if (newestOf_.size() > 256)
                newestOf_ = {{order->page, newest}};
        }
        return ++current_;
    }

    // True once a newer request than `ticket` has arrived.
    bool overtaken(uint64_t ticket) const {
        std::lock_guard<std::mutex> lock(lock_);
        return ticket != current_;
    }

  private:
    mutable std::mutex lock_;
    uint64_t current_ = 0;
    std::map<std::string, uint64_t> newestOf_;
};

} // namespace pendra::web
