#include "host/filter_instance.h"

#include "host/host_error.h"

#include <cstring>
#include <string>

namespace pendra::host {

FilterInstance::FilterInstance(const RegisteredFilter &filter, unsigned char fillByte)
    : filter_(filter) {
    const FilterDefinition &def = filter.definition;
    if (def.inst_data_size < 0)
        throw HostError(std::string(def.name ? def.name : "filter") + ": negative instance size");
    size_t size = def.inst_data_size > 0 ? static_cast<size_t>(def.inst_data_size) : 1;
    data_.reset(std::malloc(size));
    if (!data_)
        throw HostError(std::string(def.name ? def.name : "filter") +
                        ": cannot allocate the instance record");
    std::memset(data_.get(), fillByte, size);

    activation_.filter = const_cast<FilterDefinition *>(&def);
    activation_.filter_data = data_.get();
    activation_.dst = &dst_;
    activation_.src = &src_;
    activation_.last = &last_;
    activation_.pfsi = &state_;
    if (def.initProc && def.initProc(&activation_, &functions()) != 0)
        throw HostError(std::string(def.name ? def.name : "filter") + ": init callback failed");
}

void FilterInstance::setFrames(int w, int h, ptrdiff_t pitchBytes, bool inPlace) {
    source_ = FrameBuffer(w, h, pitchBytes);
    destination_ = inPlace ? FrameBuffer() : FrameBuffer(w, h, pitchBytes);
    inPlace_ = inPlace;
    source_.describe(src_);
    destination().describe(dst_);
}

int FilterInstance::start() {
    const FilterDefinition &def = filter_.definition;
    return def.startProc ? def.startProc(&activation_, &functions()) : 0;
}

int FilterInstance::run(int32_t frameNumber) {
    state_.lCurrentFrame = frameNumber;
    state_.lCurrentSourceFrame = frameNumber;
    return filter_.definition.runProc(&activation_, &functions());
}

int FilterInstance::end() {
    const FilterDefinition &def = filter_.definition;
    return def.endProc ? def.endProc(&activation_, &functions()) : 0;
}

FilterInstance::~FilterInstance() {
    // A replayed script call may have loaded what only the end callback gives
    // back, and a filter may have no deinit callback (Pendra has none): end
    // every instance, run or not. The end callback takes any state.
    if (filter_.definition.endProc)
        filter_.definition.endProc(&activation_, &functions());
    if (filter_.definition.deinitProc)
        filter_.definition.deinitProc(&activation_, &functions());
}

} // namespace pendra::host
