#include "cli/stream_metadata.h"

extern "C" {
#include <libavcodec/version.h>
#include <libavutil/avstring.h>
}

#include <cstring>

namespace pendra::cli {

namespace {

// Side data that belongs to a bitstream, not to the pictures: wrong once the
// video is encoded anew.
bool describesOldBitstream(AVPacketSideDataType type) {
    switch (type) {
    case AV_PKT_DATA_CPB_PROPERTIES:
    case AV_PKT_DATA_DOVI_CONF:
    case AV_PKT_DATA_NEW_EXTRADATA:
    case AV_PKT_DATA_PARAM_CHANGE:
    case AV_PKT_DATA_ENCRYPTION_INIT_INFO:
    case AV_PKT_DATA_ENCRYPTION_INFO:
        return true;
    default:
        return false;
    }
}

void addSideData(AVStream &out, AVPacketSideDataType type, const uint8_t *data, size_t size) {
    uint8_t *copy = av_stream_new_side_data(&out, type, size);
    if (!copy)
        throw CliError("out of memory");
    std::memcpy(copy, data, size);
}

// Kinds of file whose muxers write chapters.
bool holdsChapters(const AVOutputFormat *format) {
    return av_match_name(format->name, "matroska,webm,mov,mp4,m4v,ipod,ismv,ogg,ogv,nut");
}

} // namespace

std::string copyFileMetadata(const AVFormatContext &in, AVFormatContext &out) {
    av_dict_copy(&out.metadata, in.metadata, 0);
    // The file is written anew here, not by whatever wrote the input.
    av_dict_set(&out.metadata, "encoder", nullptr, 0);
    if (in.nb_chapters == 0)
        return {};
    if (!holdsChapters(out.oformat))
        return std::to_string(in.nb_chapters) + (in.nb_chapters == 1 ? " chapter" : " chapters");
    // The context owns its chapters and frees them with itself.
    auto *chapters = static_cast<AVChapter **>(
        av_realloc_array(out.chapters, out.nb_chapters + in.nb_chapters, sizeof(AVChapter *)));
    if (!chapters)
        throw CliError("out of memory");
    out.chapters = chapters;
    for (unsigned i = 0; i < in.nb_chapters; ++i) {
        const AVChapter &from = *in.chapters[i];
        auto *to = static_cast<AVChapter *>(av_mallocz(sizeof(AVChapter)));
        if (!to)
            throw CliError("out of memory");
        out.chapters[out.nb_chapters++] = to;
        to->id = from.id;
        to->time_base = from.time_base;
        to->start = from.start;
        to->end = from.end;
        if (av_dict_copy(&to->metadata, from.metadata, 0) < 0)
            throw CliError("out of memory");
    }
    return {};
}

std::string copyStreamMetadata(const AVStream &in, AVStream &out, bool reencoded,
                               const AVOutputFormat &format) {
    if (av_dict_copy(&out.metadata, in.metadata, 0) < 0)
        throw CliError("out of memory");
    if (reencoded)
        av_dict_set(&out.metadata, "encoder", nullptr, 0);
    out.disposition = in.disposition;
    bool rotated = false;
    for (int i = 0; i < in.nb_side_data; ++i) {
        const AVPacketSideData &sd = in.side_data[i];
        if (!reencoded || !describesOldBitstream(sd.type))
            addSideData(out, sd.type, sd.data, sd.size);
        rotated = rotated || sd.type == AV_PKT_DATA_DISPLAYMATRIX;
    }
    // Only the QuickTime family stores a display matrix: elsewhere the
    // picture would silently show the wrong way up.
    if (rotated && !av_match_name(format.name, "mov,mp4,m4v,ipod,3gp,3g2,psp,ismv,f4v"))
        return "rotation (display matrix) of stream " + std::to_string(in.index);
    return {};
}

void describeEncoder(const AVCodecContext &encoder, AVStream &out) {
    std::string name = std::string(LIBAVCODEC_IDENT) + " " + encoder.codec->name;
    av_dict_set(&out.metadata, "encoder", name.c_str(), 0);
    for (int i = 0; i < encoder.nb_coded_side_data; ++i) {
        const AVPacketSideData &sd = encoder.coded_side_data[i];
        addSideData(out, sd.type, sd.data, sd.size);
    }
}

} // namespace pendra::cli
