#include "bench/pendra_runner.h"

#include "module/filter_settings.h"

#include "pendra_version.h"
#include <cstring>
#include <stdexcept>

namespace pendra::bench {

void LogoSet::write(const Logo &logo) const {
    std::filesystem::create_directories(folder);
    writeBmp((folder / "logo0.bmp").string(), logo.capture(0));
    std::filesystem::remove(folder / "logo1.bmp");
    std::filesystem::remove(folder / "logo2.bmp");
    if (withWhite)
        writeBmp((folder / "logo1.bmp").string(), logo.capture(255));
    if (withMask)
        writeBmp((folder / "logo2.bmp").string(), logo.mask());
}

PendraRunner::PendraRunner(int width, int height, bool inPlace, const LogoSet &set, int x, int y,
                           const std::function<void(FilterSettings &)> &configure) {
    module_ = std::make_unique<host::LoadedModule>(host::defaultModulePath());
    instance_ = std::make_unique<host::FilterInstance>(module_->filter(PENDRA_FILTER_NAME));
    FilterSettings &s = instance_->dataAs<FilterSettings>();
    std::string path = set.blackPath().string();
    if (path.size() >= sizeof s.bitmapPath)
        throw std::runtime_error(path + ": path too long");
    std::memcpy(s.bitmapPath, path.c_str(), path.size() + 1);
    s.x = x;
    s.y = y;
    if (configure)
        configure(s);
    instance_->setFrames(width, height, 0, inPlace);
    if (instance_->start() != 0)
        throw std::runtime_error(path + ": the filter refused to start");
    started_ = true;
}

PendraRunner::~PendraRunner() {
    if (started_)
        instance_->end();
}

void PendraRunner::load(const Picture &picture) {
    host::FrameBuffer &src = instance_->source();
    for (int r = 0; r < picture.height; ++r)
        std::memcpy(src.row(r), &picture.pixels[static_cast<size_t>(r) * picture.width],
                    static_cast<size_t>(picture.width) * 4);
}

void PendraRunner::run(int n) {
    instance_->run(n);
}

void PendraRunner::output(Picture &out) {
    host::FrameBuffer &dst = instance_->destination();
    out.width = dst.width();
    out.height = dst.height();
    out.pixels.resize(static_cast<size_t>(out.width) * out.height);
    for (int r = 0; r < out.height; ++r)
        std::memcpy(&out.pixels[static_cast<size_t>(r) * out.width], dst.row(r),
                    static_cast<size_t>(out.width) * 4);
}

} // namespace pendra::bench
