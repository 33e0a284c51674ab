/*
 * The run callback. For now it passes every frame through unchanged: the
 * logo stages come with the frame-processing work.
 */
#include "module/callbacks.h"
#include "module/filter_settings.h"

#include <cstring>

int VDCDECL filterRun(const FilterActivation *fa, const FilterFunctions *) {
    const VFBitmap *src = fa->src;
    const VFBitmap *dst = fa->dst;
    const unsigned char *from = reinterpret_cast<const unsigned char *>(src->data);
    unsigned char *to = reinterpret_cast<unsigned char *>(dst->data);
    if (from == to)
        return 0;
    for (int row = 0; row < src->h; ++row) {
        std::memcpy(to, from, static_cast<size_t>(src->w) * 4);
        from += src->pitch;
        to += dst->pitch;
    }
    return 0;
}
