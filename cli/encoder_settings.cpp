#include "cli/encoder_settings.h"

#include "cli/video_writer.h"

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace pendra::cli {

namespace {

enum class Scale {
    Crf,             // a "crf" private option that alone sets the quality
    ConstantQuality, // "crf", and the bit rate at 0, or the rate would cap it
    Quantiser,       // a fixed quantiser through AV_CODEC_FLAG_QSCALE
    Lossless,        // every picture exact: nothing to choose
    None,            // a bit rate only
};

struct QualityScale {
    Scale kind = Scale::None;
    int low = 0, high = 0;
    int fallback = -1;          // the command's default; -1: the encoder's own
    const char *what = nullptr; // the scale's name in messages
    bool higherIsBetter = false;
    int64_t rateCap = 0; // constant quality: the bit rate it may not pass; 0 for none
};

// Encoders whose scale is known, with defaults measured to come near H.264
// at CRF 18 outside the logo (see the README).
struct KnownEncoder {
    const char *names;
    QualityScale scale;
};
const KnownEncoder known[] = {
    {"libx264,libx264rgb", {Scale::Crf, 0, 51, 18, "CRF"}},
    {"libx265", {Scale::Crf, 0, 51, 20, "CRF"}},
    {"libvpx-vp9", {Scale::ConstantQuality, 0, 63, 24, "constant quality"}},
    // VP8 has no uncapped mode: a cap it never meets.
    {"libvpx", {Scale::ConstantQuality, 4, 63, 8, "constant quality", false, 1'000'000'000}},
    {"libaom-av1,libsvtav1", {Scale::ConstantQuality, 0, 63, 24, "constant quality"}},
    // FFmpeg's own MPEG-family encoders read the quantiser from the range
    // it may take, so the range is pinned to it.
    {"mpeg1video,mpeg2video,mpeg4,msmpeg4v2,msmpeg4,wmv1,wmv2,h261,h263,h263p,flv,rv10,rv20",
     {Scale::Quantiser, 1, 31, 2, "quantiser"}},
    {"mjpeg,amv", {Scale::Quantiser, 1, 31, 2, "quantiser"}},
    {"libtheora", {Scale::Quantiser, 0, 10, 8, "quality", true}},
};

QualityScale scaleOf(const AVCodec *codec) {
    for (const KnownEncoder &k : known)
        if (av_match_name(codec->name, k.names))
            return k.scale;
    const AVCodecDescriptor *d = avcodec_descriptor_get(codec->id);
    if (d && (d->props & AV_CODEC_PROP_LOSSLESS) && !(d->props & AV_CODEC_PROP_LOSSY))
        return {Scale::Lossless};
    // Another encoder with a CRF: its option's own range where it states one.
    if (codec->priv_class) {
        const AVClass *c = codec->priv_class;
        if (const AVOption *o =
                av_opt_find2(&c, "crf", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ, nullptr))
            return {Scale::Crf, 0, o->max > 0 && o->max <= 255 ? static_cast<int>(o->max) : 51, -1,
                    "CRF"};
    }
    return {};
}

} // namespace

void checkQualityChoice(const AVCodec *codec, const EncoderChoice &choice) {
    if (choice.crf && choice.bitrate)
        throw CliError("--crf and --bitrate: give one of them (a constant quality or a bit rate)",
                       2);
    const QualityScale s = scaleOf(codec);
    const std::string name = codec->name;
    if (s.kind == Scale::Lossless && (choice.crf || choice.bitrate))
        throw CliError(std::string(choice.crf ? "--crf" : "--bitrate") + ": the " + name +
                           " encoder is lossless and takes no quality or bit rate",
                       2);
    if (choice.bitrate && *choice.bitrate <= 0)
        throw CliError("--bitrate: must be more than 0 bits per second", 2);
    if (!choice.crf)
        return;
    if (s.kind == Scale::None)
        throw CliError("--crf: the " + name + " encoder has no quality scale; give --bitrate", 2);
    if (*choice.crf < s.low || *choice.crf > s.high)
        throw CliError("--crf " + std::to_string(*choice.crf) + ": the " + name + " encoder's " +
                           s.what + " runs from " + std::to_string(s.low) + " to " +
                           std::to_string(s.high) +
                           (s.higherIsBetter ? " (higher is better)" : " (lower is better)"),
                       2);
}

void applyQualityChoice(AVCodecContext *e, const EncoderChoice &choice, AVDictionary **options) {
    const QualityScale s = scaleOf(e->codec);
    if (choice.bitrate) {
        e->bit_rate = *choice.bitrate;
    } else if (int quality = choice.crf.value_or(s.fallback); quality >= 0) {
        switch (s.kind) {
        case Scale::ConstantQuality:
            e->bit_rate = s.rateCap;
            [[fallthrough]];
        case Scale::Crf:
            av_dict_set_int(options, "crf", quality, 0);
            break;
        case Scale::Quantiser:
            e->flags |= AV_CODEC_FLAG_QSCALE;
            e->global_quality = quality * FF_QP2LAMBDA;
            if (!s.higherIsBetter)
                e->qmin = e->qmax = quality;
            break;
        case Scale::Lossless:
        case Scale::None:
            break;
        }
    }
    if (!choice.preset.empty())
        av_dict_set(options, "preset", choice.preset.c_str(), 0);
}

bool ratesByTicks(const AVCodec *codec, const EncoderChoice &choice) {
    const QualityScale s = scaleOf(codec);
    return choice.bitrate && s.kind == Scale::Quantiser && !s.higherIsBetter;
}

std::string pictureSizeProblem(const AVCodec *codec, AVPixelFormat format, int width, int height,
                               const std::string &input) {
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(format);
    if (!d)
        return {};
    const int across = 1 << d->log2_chroma_w, down = 1 << d->log2_chroma_h;
    if (width % across == 0 && height % down == 0)
        return {};
    const bool wide = width % across != 0, tall = height % down != 0;
    // "an even width", "a width divisible by 4", "an even width and height"
    auto side = [](const char *name, int n) {
        return n == 2 ? std::string("an even ") + name
                      : std::string("a ") + name + " divisible by " + std::to_string(n);
    };
    const std::string needs = wide && tall && across == down ? side("width and height", across)
                              : wide && tall
                                  ? side("width", across) + " and " + side("height", down)
                              : wide ? side("width", across)
                                     : side("height", down);
    const std::string grid = across == 2 && down == 2   ? "4:2:0"
                             : across == 2 && down == 1 ? "4:2:2"
                                                        : std::string("its chroma layout");
    bool takes444 = !codec->pix_fmts;
    for (const AVPixelFormat *f = codec->pix_fmts; f && *f != AV_PIX_FMT_NONE; ++f)
        takes444 = takes444 || *f == AV_PIX_FMT_YUV444P;
    return input + ": its " + std::to_string(width) + "x" + std::to_string(height) +
           " pictures cannot be encoded by " + codec->name + " in " + d->name + ": " + grid +
           " needs " + needs +
           (takes444 ? "; give --pixel-format yuv444p"
                     : "; choose another --codec, with --pixel-format yuv444p");
}

void checkPictureSize(const AVCodec *codec, AVPixelFormat format, int width, int height,
                      const std::string &input) {
    // These refuse such sizes when they open; others (FFV1, VP9, the MPEG
    // family) round the chroma planes up and are left to it.
    const bool refuses = codec->id == AV_CODEC_ID_H264 || codec->id == AV_CODEC_ID_HEVC ||
                         av_match_name(codec->name, "libsvtav1,libxvid");
    if (!refuses)
        return;
    std::string problem = pictureSizeProblem(codec, format, width, height, input);
    if (!problem.empty())
        throw CliError(problem);
}

} // namespace pendra::cli
