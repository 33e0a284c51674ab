#include "cli/png_writer.h"

#include "cli/av_support.h"
#include "cli/output_file.h"
#include "cli/pixel_convert.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pendra::cli {

void writePng(const std::filesystem::path &path, const host::FrameBuffer &frame) {
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (!codec)
        throw CliError(path.string() + ": FFmpeg has no PNG encoder");
    CodecContextPtr encoder(avcodec_alloc_context3(codec));
    if (!encoder)
        throw CliError("out of memory");
    encoder->width = frame.width();
    encoder->height = frame.height();
    encoder->pix_fmt = AV_PIX_FMT_RGB24;
    encoder->time_base = AVRational{1, 25};
    int r = avcodec_open2(encoder.get(), codec, nullptr);
    if (r < 0)
        throw CliError(path.string() + ": cannot encode PNG: " + avErrorText(r));

    FramePtr picture = makeFrame();
    FromModulePixels convert(frame.width(), frame.height(), AV_PIX_FMT_RGB24, AVCOL_SPC_RGB,
                             AVCOL_RANGE_JPEG);
    convert.convert(frame, *picture);
    picture->pts = 0;
    PacketPtr packet = makePacket();
    r = avcodec_send_frame(encoder.get(), picture.get());
    if (r >= 0)
        r = avcodec_receive_packet(encoder.get(), packet.get());
    if (r < 0)
        throw CliError(path.string() + ": cannot encode PNG: " + avErrorText(r));

    OutputFile out(path);
    FILE *file = std::fopen(out.temporaryPath().c_str(), "wb");
    if (!file)
        throw CliError(path.string() + ": cannot write: " + systemErrorText(errno));
    size_t size = static_cast<size_t>(packet->size);
    bool ok = std::fwrite(packet->data, 1, size, file) == size;
    ok = std::fclose(file) == 0 && ok;
    if (!ok)
        throw CliError(path.string() + ": cannot write: " + systemErrorText(errno));
    out.commit();
}

} // namespace pendra::cli
