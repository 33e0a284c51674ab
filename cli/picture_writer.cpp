#include "cli/picture_writer.h"

#include "cli/av_support.h"
#include "cli/output_file.h"
#include "cli/pixel_convert.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <cstdio>
#include <cstring>

namespace pendra::cli {

namespace {

// The encoder FFmpeg's image2 muxer would use for this name, or null.
const AVCodec *encoderForName(const std::filesystem::path &path) {
    const AVOutputFormat *image2 = av_guess_format("image2", nullptr, nullptr);
    const std::string name = path.string();
    if (!image2 || !av_match_ext(name.c_str(), image2->extensions))
        return nullptr;
    AVCodecID id = av_guess_codec(image2, nullptr, name.c_str(), nullptr, AVMEDIA_TYPE_VIDEO);
    return id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_encoder(id);
}

} // namespace

void checkPictureName(const std::filesystem::path &path) {
    if (!encoderForName(path))
        throw CliError(path.string() +
                           ": cannot tell a picture format FFmpeg writes from the name; end it "
                           "in .png, .jpg, .bmp or .tiff",
                       2);
}

std::string encodePicture(const std::filesystem::path &path, const host::FrameBuffer &frame) {
    checkPictureName(path);
    const AVCodec *codec = encoderForName(path);
    CodecContextPtr encoder(avcodec_alloc_context3(codec));
    if (!encoder)
        throw CliError("out of memory");
    // The encoder's format nearest to the frame's 8-bit RGB.
    AVPixelFormat format = AV_PIX_FMT_RGB24;
    if (codec->pix_fmts)
        format = avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, AV_PIX_FMT_RGB24, 0, nullptr);
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(format);
    const bool rgb = desc && (desc->flags & AV_PIX_FMT_FLAG_RGB);
    encoder->width = frame.width();
    encoder->height = frame.height();
    encoder->pix_fmt = format;
    encoder->time_base = AVRational{1, 25};
    // Pictures are full range, with JPEG's (BT.601) matrix where they are YUV.
    encoder->color_range = AVCOL_RANGE_JPEG;
    encoder->colorspace = rgb ? AVCOL_SPC_RGB : AVCOL_SPC_BT470BG;
    // A fine fixed quality for encoders that have one (JPEG).
    encoder->flags |= AV_CODEC_FLAG_QSCALE;
    encoder->global_quality = FF_QP2LAMBDA * 2;
    int r = avcodec_open2(encoder.get(), codec, nullptr);
    if (r < 0)
        throw CliError(path.string() + ": cannot encode the picture: " + avErrorText(r));

    FramePtr picture = makeFrame();
    FromModulePixels convert(frame.width(), frame.height(), format, encoder->colorspace,
                             AVCOL_RANGE_JPEG);
    convert.convert(frame, *picture);
    picture->pts = 0;
    picture->quality = encoder->global_quality;
    PacketPtr packet = makePacket();
    r = avcodec_send_frame(encoder.get(), picture.get());
    if (r >= 0)
        r = avcodec_send_frame(encoder.get(), nullptr);
    if (r >= 0)
        r = avcodec_receive_packet(encoder.get(), packet.get());
    if (r < 0)
        throw CliError(path.string() + ": cannot encode the picture: " + avErrorText(r));
    return std::string(reinterpret_cast<const char *>(packet->data),
                       static_cast<size_t>(packet->size));
}

void writePicture(const std::filesystem::path &path, const host::FrameBuffer &frame) {
    writeWholeFile(path, encodePicture(path, frame));
}

} // namespace pendra::cli
