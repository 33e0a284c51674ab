// One instance of a registered filter: the record the host allocates with the
// definition's inst_data_size, the activation record every callback receives,
// and the frame buffers and state record it points at.
#pragma once

#include "host/loaded_module.h"
#include "module/host_interface.h"

#include <cstdlib>
#include <memory>

namespace pendra::host {

class FilterInstance {
  public:
    // Allocates the record, filled with fillByte (the video host promises no
    // zero fill; tests pass a pattern to prove the module does not rely on it),
    // and calls the init callback. Throws HostError when it fails.
    explicit FilterInstance(const RegisteredFilter &filter, unsigned char fillByte = 0);
    ~FilterInstance();
    FilterInstance(const FilterInstance &) = delete;
    FilterInstance &operator=(const FilterInstance &) = delete;

    const FilterDefinition &definition() const { return filter_.definition; }
    const FilterFunctions &functions() const { return filter_.owner->functions(); }
    FilterActivation &activation() { return activation_; }
    void *data() { return data_.get(); }
    // The record seen as the module's own type (for tests built with its headers).
    template <typename T> T &dataAs() { return *static_cast<T *>(data_.get()); }

  private:
    struct FreeDeleter {
        void operator()(void *p) const { std::free(p); }
    };

    const RegisteredFilter &filter_;
    std::unique_ptr<void, FreeDeleter> data_;
    VFBitmap src_{};
    VFBitmap dst_{};
    VFBitmap last_{};
    FilterStateInfo state_{};
    FilterActivation activation_{};
};

} // namespace pendra::host
