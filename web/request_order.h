// Which picture request is the newest. The page numbers its requests; a
// request it aborted may still reach the server after the one that replaced
// it (each may travel on its own connection), so arrival order cannot say
// which is newer, the page's number can. Requests without a number (other
// clients) are ordered by arrival.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

namespace pendra::web {

class RequestOrder {
  public:
    // The ticket of a request that arrives now, numbered `order` by its page.
    uint64_t take(std::optional<uint64_t> order) {
        if (!order)
            return ++latest_;
        uint64_t seen = latest_.load();
        while (seen < *order && !latest_.compare_exchange_weak(seen, *order)) {
        }
        return *order;
    }

    // True once a newer request than `ticket` has arrived, or when an older
    // one arrived after a newer (it was overtaken before it started).
    bool overtaken(uint64_t ticket) const { return latest_.load() != ticket; }

  private:
    std::atomic<uint64_t> latest_{0};
};

} // namespace pendra::web
