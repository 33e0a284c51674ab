// One instance of a registered filter: the record the host allocates with the
// definition's inst_data_size, the activation record every callback receives,
// and the frame buffers and state record it points at.
#pragma once

#include "host/frame_buffer.h"
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
    // Calls the end callback (run or not), then the deinit callback.
    ~FilterInstance();
    FilterInstance(const FilterInstance &) = delete;
    FilterInstance &operator=(const FilterInstance &) = delete;

    const FilterDefinition &definition() const { return filter_.definition; }
    const FilterFunctions &functions() const { return filter_.owner->functions(); }
    FilterActivation &activation() { return activation_; }
    void *data() { return data_.get(); }
    // The record seen as the module's own type (for tests built with its headers).
    template <typename T> T &dataAs() { return *static_cast<T *>(data_.get()); }

    // Frames of a run. The host allocates the source and destination (or one
    // buffer for both when inPlace) of that size and pitch, then points the
    // activation record at them.
    void setFrames(int w, int h, ptrdiff_t pitchBytes = 0, bool inPlace = false);
    FrameBuffer &source() { return source_; }
    // The destination: the source itself when processing in place.
    FrameBuffer &destination() { return inPlace_ ? source_ : destination_; }
    bool inPlace() const { return inPlace_; }

    // The callbacks of a run; each returns the callback's result.
    int start();
    // Processes the source into the destination as frame number frameNumber.
    int run(int32_t frameNumber);
    int end();

  private:
    struct FreeDeleter {
        void operator()(void *p) const { std::free(p); }
    };

    const RegisteredFilter &filter_;
    std::unique_ptr<void, FreeDeleter> data_;
    FrameBuffer source_;
    FrameBuffer destination_;
    bool inPlace_ = false;
    VFBitmap src_{};
    VFBitmap dst_{};
    VFBitmap last_{};
    FilterStateInfo state_{};
    FilterActivation activation_{};
};

} // namespace pendra::host
