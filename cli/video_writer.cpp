#include "cli/video_writer.h"

#include "cli/encoder_settings.h"
#include "cli/stream_metadata.h"

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace pendra::cli {

namespace {

std::string lowerExtension(const std::string &path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

const char *mediaName(AVMediaType type) {
    const char *name = av_get_media_type_string(type);
    return name ? name : "data";
}

// The encoder asked for, or H.264 for the common containers, or the container's own choice.
const AVCodec *chooseEncoder(const AVOutputFormat *format, const std::string &path,
                             const std::string &requested) {
    const AVCodec *codec = nullptr;
    if (!requested.empty()) {
        codec = avcodec_find_encoder_by_name(requested.c_str());
        if (!codec || codec->type != AVMEDIA_TYPE_VIDEO)
            throw CliError("--codec " + requested + ": no such video encoder");
    } else {
        std::string ext = lowerExtension(path);
        if (ext == ".mp4" || ext == ".mkv" || ext == ".mov" || ext == ".m4v") {
            codec = avcodec_find_encoder_by_name("libx264");
            if (!codec)
                codec = avcodec_find_encoder(AV_CODEC_ID_H264);
        }
        if (!codec)
            codec = avcodec_find_encoder(
                av_guess_codec(format, nullptr, path.c_str(), nullptr, AVMEDIA_TYPE_VIDEO));
        if (!codec)
            throw CliError(path +
                           ": no video encoder for this kind of file; choose one with --codec");
    }
    if (avformat_query_codec(format, codec->id, FF_COMPLIANCE_NORMAL) == 0)
        throw CliError(path + ": this kind of file cannot hold " + codec->name + " video");
    return codec;
}

// Containers whose timestamps are free (Matroska, MP4 and QuickTime, NUT, ...).
bool storesAnyTiming(const AVOutputFormat *format) {
    return (format->flags & AVFMT_VARIABLE_FPS) ||
           av_match_name(format->name, "mov,mp4,m4v,ipod,psp,3gp,3g2,ismv,f4v");
}

bool listed(const AVPixelFormat *list, AVPixelFormat format) {
    for (; list && *list != AV_PIX_FMT_NONE; ++list)
        if (*list == format)
            return true;
    return false;
}

bool isRgb(AVPixelFormat format) {
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(format);
    return d && (d->flags & AV_PIX_FMT_FLAG_RGB);
}

// The input's pixel format when the encoder takes it; for H.264 from YUV the
// widely playable 4:2:0 when the size allows; otherwise the encoder's nearest
// (RGB input stays RGB, or becomes 4:4:4, as the help promises).
AVPixelFormat choosePixelFormat(const AVCodec *codec, AVPixelFormat input, int w, int h,
                                const std::string &requested) {
    if (!requested.empty()) {
        AVPixelFormat wanted = av_get_pix_fmt(requested.c_str());
        if (wanted == AV_PIX_FMT_NONE)
            throw CliError("--pixel-format " + requested + ": no such pixel format");
        if (codec->pix_fmts && !listed(codec->pix_fmts, wanted))
            throw CliError("--pixel-format " + requested + ": " + codec->name +
                           " cannot encode it");
        return wanted;
    }
    if (!codec->pix_fmts || listed(codec->pix_fmts, input))
        return input;
    if (codec->id == AV_CODEC_ID_H264 && !isRgb(input) && w % 2 == 0 && h % 2 == 0 &&
        listed(codec->pix_fmts, AV_PIX_FMT_YUV420P))
        return AV_PIX_FMT_YUV420P;
    return avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, input, 0, nullptr);
}

} // namespace

VideoWriter::VideoWriter(const std::string &path, const VideoReader &input,
                         const EncoderChoice &choice)
    : path_(path), file_(path), avio_(file_), input_(input), choice_(choice), picture_(makeFrame()),
      passThrough_(makeFrame()), packet_(makePacket()) {
    const AVOutputFormat *guessed = av_guess_format(nullptr, path.c_str(), nullptr);
    if (!guessed)
        throw CliError(path + ": cannot tell the kind of video file from its name "
                              "(use .mp4, .mkv, .mov, .avi, ...)");
    // The container's own name is the temporary one, which avio_ answers with
    // the file it created whenever the muxer opens it (the MP4 muxer reads it
    // back to move its index).
    if (avformat_alloc_output_context2(&format_, guessed, nullptr, file_.temporaryPath().c_str()) <
        0)
        throw CliError("out of memory");
    // A constructor that throws gets no destructor call: until the end here,
    // a failure (no encoder, an output that cannot be opened) frees the context.
    struct ContextGuard {
        AVFormatContext *&context;
        bool armed = true;
        ~ContextGuard() {
            if (armed) {
                avformat_free_context(context);
                context = nullptr;
            }
        }
    } guard{format_};
    // Fail early on an unusable encoder or setting, before any work is done.
    const AVCodec *codec = chooseEncoder(format_->oformat, path_, choice_.codec);
    checkQualityChoice(codec, choice_);
    if (auto planned = static_cast<AVPixelFormat>(input.videoStream()->codecpar->format);
        planned != AV_PIX_FMT_NONE)
        checkPictureSize(
            codec,
            choosePixelFormat(codec, planned, input.width(), input.height(), choice_.pixelFormat),
            input.width(), input.height(), input.path());

    AVFormatContext *in = input.format();
    if (std::string left = copyFileMetadata(*in, *format_); !left.empty())
        dropped_.push_back(left);
    outputIndex_.assign(in->nb_streams, -1);
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVStream *is = in->streams[i];
        bool isVideo = static_cast<int>(i) == input.videoIndex();
        // A stream the demuxer itself sets aside yields no packets: MP4's
        // chapter track, whose contents are the chapters copied above.
        if (!isVideo && is->discard == AVDISCARD_ALL)
            continue;
        if (!isVideo && avformat_query_codec(format_->oformat, is->codecpar->codec_id,
                                             FF_COMPLIANCE_NORMAL) == 0) {
            const char *codecName = avcodec_get_name(is->codecpar->codec_id);
            dropped_.push_back("stream " + std::to_string(i) + " (" +
                               mediaName(is->codecpar->codec_type) + ", " + codecName + ")");
            continue;
        }
        AVStream *os = avformat_new_stream(format_, nullptr);
        if (!os)
            throw CliError("out of memory");
        outputIndex_[i] = os->index;
        if (std::string left = copyStreamMetadata(*is, *os, isVideo, *format_->oformat);
            !left.empty())
            dropped_.push_back(left);
        if (isVideo)
            continue; // declared when the encoder opens
        if (avcodec_parameters_copy(os->codecpar, is->codecpar) < 0)
            throw CliError("out of memory");
        os->codecpar->codec_tag = 0;
        os->time_base = is->time_base;
        os->avg_frame_rate = is->avg_frame_rate;
    }

    avio_.attach(format_);
    guard.armed = false;
}

VideoWriter::~VideoWriter() {
    encoder_.reset();
    if (format_) {
        avio_.close();
        avformat_free_context(format_);
    }
}

void VideoWriter::openEncoder(const AVFrame &first) {
    const AVCodec *codec = chooseEncoder(format_->oformat, path_, choice_.codec);
    encoder_.reset(avcodec_alloc_context3(codec));
    if (!encoder_)
        throw CliError("out of memory");
    AVCodecContext *e = encoder_.get();
    const AVStream *is = input_.videoStream();
    auto inputFormat = static_cast<AVPixelFormat>(first.format);
    e->width = first.width;
    e->height = first.height;
    e->pix_fmt = choosePixelFormat(codec, inputFormat, e->width, e->height, choice_.pixelFormat);
    e->framerate = input_.frameRate();
    // Timestamps keep the input's time base where the container stores any
    // timing; a container that counts frames (AVI) gets one tick per frame,
    // or it would fill every unused tick with an empty frame.
    e->time_base = storesAnyTiming(format_->oformat) ? is->time_base : av_inv_q(e->framerate);
    // Encoders that code one of a few fixed rates (MPEG-1 and 2), or whose
    // rate control counts ticks as frames, count in frames.
    if (codec->supported_framerates)
        e->framerate = codec->supported_framerates[av_find_nearest_q_idx(
            e->framerate, codec->supported_framerates)];
    if (codec->supported_framerates || ratesByTicks(codec, choice_))
        e->time_base = av_inv_q(e->framerate);
    e->sample_aspect_ratio =
        first.sample_aspect_ratio.num ? first.sample_aspect_ratio : is->sample_aspect_ratio;
    e->thread_count = 0;
    // Colour tags: kept from a YUV input; an RGB input going to YUV gets the
    // usual matrix for its size.
    if (isRgb(e->pix_fmt)) {
        e->colorspace = AVCOL_SPC_RGB;
    } else if (!isRgb(inputFormat)) {
        e->colorspace = first.colorspace;
        e->color_range = first.color_range;
        e->color_primaries = first.color_primaries;
        e->color_trc = first.color_trc;
    } else {
        bool hd = e->height >= 720;
        e->colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
        e->color_primaries = hd ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
        e->color_trc = hd ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
        e->color_range = AVCOL_RANGE_MPEG;
    }
    if (format_->oformat->flags & AVFMT_GLOBALHEADER)
        e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // MJPEG is full range by its standard; limited-range video stays as it
    // is, tagged so, as FFmpeg's decoders and players expect.
    if (codec->id == AV_CODEC_ID_MJPEG && e->color_range != AVCOL_RANGE_JPEG)
        e->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;

    AVDictionary *options = nullptr;
    applyQualityChoice(e, choice_, &options);
    int r = avcodec_open2(e, codec, &options);
    bool unused = av_dict_count(options) > 0;
    av_dict_free(&options);
    if (r < 0) {
        std::string size =
            pictureSizeProblem(codec, e->pix_fmt, e->width, e->height, input_.path());
        throw CliError(!size.empty() ? size
                                     : std::string("cannot open the ") + codec->name +
                                           " encoder: " + avErrorText(r));
    }
    if (unused)
        throw CliError(std::string("--preset: the ") + codec->name + " encoder has no presets");

    AVStream *os = format_->streams[outputIndex_[input_.videoIndex()]];
    if (avcodec_parameters_from_context(os->codecpar, e) < 0)
        throw CliError("out of memory");
    describeEncoder(*e, *os);
    os->time_base = e->time_base;
    os->avg_frame_rate = e->framerate;
    os->r_frame_rate = e->framerate;
    os->sample_aspect_ratio = e->sample_aspect_ratio;
    frameDuration_ = std::max<int64_t>(1, av_rescale_q(1, av_inv_q(e->framerate), e->time_base));
    writeHeader();
}

void VideoWriter::writeHeader() {
    AVDictionary *options = nullptr;
    std::string ext = lowerExtension(path_);
    if (ext == ".mp4" || ext == ".mov" || ext == ".m4v")
        av_dict_set(&options, "movflags", "+faststart", 0);
    int r = avformat_write_header(format_, &options);
    av_dict_free(&options);
    if (r < 0) {
        bool copies = format_->nb_streams > 1;
        throw CliError(path_ + ": cannot write: " + avErrorText(r) +
                       (copies ? " (perhaps this kind of file cannot hold the input's other "
                                 "streams; .mkv holds nearly any)"
                               : ""));
    }
    headerWritten_ = true;
    for (PacketPtr &p : queued_)
        writePacket(*p, p->stream_index);
    queued_.clear();
}

void VideoWriter::copyPacket(AVPacket &packet) {
    if (packet.stream_index < 0 || packet.stream_index >= static_cast<int>(outputIndex_.size()) ||
        outputIndex_[packet.stream_index] < 0)
        return;
    if (headerWritten_) {
        writePacket(packet, packet.stream_index);
        return;
    }
    PacketPtr copy = makePacket();
    av_packet_move_ref(copy.get(), &packet);
    queued_.push_back(std::move(copy));
}

void VideoWriter::writePacket(AVPacket &packet, int inputIndex) {
    AVStream *os = format_->streams[outputIndex_[inputIndex]];
    av_packet_rescale_ts(&packet, input_.format()->streams[inputIndex]->time_base, os->time_base);
    packet.stream_index = os->index;
    packet.pos = -1;
    int r = av_interleaved_write_frame(format_, &packet);
    if (r < 0)
        throw CliError(path_ + ": cannot write: " + avErrorText(r));
}

void VideoWriter::writeFrame(const AVFrame &picture) {
    if (!encoder_)
        openEncoder(picture);
    AVCodecContext *e = encoder_.get();
    if (picture.width != e->width || picture.height != e->height)
        throw CliError(input_.path() + ": the picture size changes within the video (" +
                       std::to_string(e->width) + "x" + std::to_string(e->height) + " to " +
                       std::to_string(picture.width) + "x" + std::to_string(picture.height) +
                       "), which is not supported");
    AVFrame *out = passThrough_.get();
    av_frame_unref(out);
    if (picture.format == e->pix_fmt) {
        if (av_frame_ref(out, &picture) < 0)
            throw CliError("out of memory");
    } else {
        if (!toEncoder_)
            toEncoder_ = std::make_unique<FormatConverter>(picture, e->pix_fmt, e->colorspace,
                                                           e->color_range);
        toEncoder_->convert(picture, *picture_);
        out = picture_.get();
        out->colorspace = e->colorspace;
        out->color_range = e->color_range;
        out->color_primaries = e->color_primaries;
        out->color_trc = e->color_trc;
        out->sample_aspect_ratio = e->sample_aspect_ratio;
    }
    // Timestamps as decoded; made up only where the input has none or repeats one.
    int64_t pts = picture.pts;
    if (pts != AV_NOPTS_VALUE)
        pts = av_rescale_q_rnd(pts, input_.videoStream()->time_base, e->time_base,
                               static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    if (pts == AV_NOPTS_VALUE)
        pts = lastPts_ == AV_NOPTS_VALUE ? 0 : lastPts_ + frameDuration_;
    else if (lastPts_ != AV_NOPTS_VALUE && pts <= lastPts_)
        pts = lastPts_ + 1;
    lastPts_ = pts;
    out->pts = pts;
    out->pict_type = AV_PICTURE_TYPE_NONE;
    int r = avcodec_send_frame(e, out);
    av_frame_unref(passThrough_.get()); // the encoder keeps what it needs
    if (r < 0)
        throw CliError(path_ + ": cannot encode: " + avErrorText(r));
    drainEncoder();
}

void VideoWriter::drainEncoder() {
    AVStream *os = format_->streams[outputIndex_[input_.videoIndex()]];
    for (;;) {
        int r = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return;
        if (r < 0)
            throw CliError(path_ + ": cannot encode: " + avErrorText(r));
        // Containers that store durations need them; one frame's worth, as encoders omit it.
        if (packet_->duration <= 0)
            packet_->duration = frameDuration_;
        av_packet_rescale_ts(packet_.get(), encoder_->time_base, os->time_base);
        packet_->stream_index = os->index;
        r = av_interleaved_write_frame(format_, packet_.get());
        if (r < 0)
            throw CliError(path_ + ": cannot write: " + avErrorText(r));
    }
}

void VideoWriter::finish() {
    if (!encoder_)
        throw CliError(input_.path() + ": has no video frames");
    int r = avcodec_send_frame(encoder_.get(), nullptr);
    if (r < 0)
        throw CliError(path_ + ": cannot encode: " + avErrorText(r));
    drainEncoder();
    r = av_write_trailer(format_);
    if (r < 0)
        throw CliError(path_ + ": cannot write: " + avErrorText(r));
    r = avio_.close();
    if (r < 0)
        throw CliError(path_ + ": cannot write: " + avErrorText(r));
    file_.commit();
    finished_ = true;
}

} // namespace pendra::cli
