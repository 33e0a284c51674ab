#include "cli/clip_writer.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <cmath>
#include <numbers>

namespace pendra::cli {

namespace {
constexpr int sampleRate = 48000;
}

ClipWriter::ClipWriter(const std::string &path, const ClipFormat &format)
    : path_(path), format_(format), file_(path), avio_(file_), picture_(makeFrame()),
      sound_(makeFrame()), packet_(makePacket()) {
    const AVOutputFormat *guessed = av_guess_format(nullptr, path.c_str(), nullptr);
    if (!guessed || avformat_alloc_output_context2(&container_, guessed, nullptr,
                                                   file_.temporaryPath().c_str()) < 0)
        throw CliError(path + ": cannot tell the kind of video file from its name");
    openVideo();
    if (format_.tone)
        openAudio();
    avio_.attach(container_);
    int r = avformat_write_header(container_, nullptr);
    if (r < 0)
        throw CliError(path + ": cannot write: " + avErrorText(r));
}

ClipWriter::~ClipWriter() {
    video_.reset();
    audio_.reset();
    if (container_) {
        avio_.close();
        avformat_free_context(container_);
    }
}

void ClipWriter::openVideo() {
    const AVCodec *codec = avcodec_find_encoder_by_name(format_.codec.c_str());
    if (!codec)
        throw CliError("FFmpeg has no " + format_.codec + " encoder");
    video_.reset(avcodec_alloc_context3(codec));
    AVCodecContext *e = video_.get();
    e->width = format_.width;
    e->height = format_.height;
    e->time_base = av_inv_q(format_.frameRate);
    e->framerate = format_.frameRate;
    e->pix_fmt = codec->pix_fmts ? codec->pix_fmts[0] : AV_PIX_FMT_BGR0;
    for (const AVPixelFormat *p = codec->pix_fmts; p && *p != AV_PIX_FMT_NONE; ++p)
        if (*p == AV_PIX_FMT_BGR0)
            e->pix_fmt = AV_PIX_FMT_BGR0;
    e->colorspace = AVCOL_SPC_RGB;
    if (container_->oformat->flags & AVFMT_GLOBALHEADER)
        e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary *options = nullptr;
    if (av_opt_find(e->priv_data, "qp", nullptr, 0, 0))
        av_dict_set(&options, "qp", "0", 0);
    int r = avcodec_open2(e, codec, &options);
    av_dict_free(&options);
    if (r < 0)
        throw CliError("cannot open the " + format_.codec + " encoder: " + avErrorText(r));
    videoStream_ = avformat_new_stream(container_, nullptr);
    if (!videoStream_ || avcodec_parameters_from_context(videoStream_->codecpar, e) < 0)
        throw CliError("out of memory");
    videoStream_->time_base = e->time_base;
    videoStream_->avg_frame_rate = e->framerate;
    convert_ = std::make_unique<FromModulePixels>(e->width, e->height, e->pix_fmt, AVCOL_SPC_RGB,
                                                  AVCOL_RANGE_JPEG);
}

void ClipWriter::openAudio() {
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec)
        throw CliError("FFmpeg has no AAC encoder");
    audio_.reset(avcodec_alloc_context3(codec));
    AVCodecContext *a = audio_.get();
    a->sample_rate = sampleRate;
    a->sample_fmt = AV_SAMPLE_FMT_FLTP;
    a->time_base = AVRational{1, sampleRate};
    a->bit_rate = 96000;
    av_channel_layout_default(&a->ch_layout, 2);
    if (container_->oformat->flags & AVFMT_GLOBALHEADER)
        a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int r = avcodec_open2(a, codec, nullptr);
    if (r < 0)
        throw CliError("cannot open the AAC encoder: " + avErrorText(r));
    audioStream_ = avformat_new_stream(container_, nullptr);
    if (!audioStream_ || avcodec_parameters_from_context(audioStream_->codecpar, a) < 0)
        throw CliError("out of memory");
    audioStream_->time_base = a->time_base;
}

void ClipWriter::drain(AVCodecContext *encoder, AVStream *stream) {
    for (;;) {
        int r = avcodec_receive_packet(encoder, packet_.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return;
        if (r < 0)
            throw CliError(path_ + ": cannot encode: " + avErrorText(r));
        av_packet_rescale_ts(packet_.get(), encoder->time_base, stream->time_base);
        packet_->stream_index = stream->index;
        r = av_interleaved_write_frame(container_, packet_.get());
        if (r < 0)
            throw CliError(path_ + ": cannot write: " + avErrorText(r));
    }
}

// Encodes tone blocks until `samples` samples exist (rounded up to a block).
void ClipWriter::writeToneUntil(int64_t samples) {
    AVCodecContext *a = audio_.get();
    while (samples_ < samples) {
        av_frame_unref(sound_.get());
        sound_->format = a->sample_fmt;
        sound_->nb_samples = a->frame_size;
        sound_->sample_rate = a->sample_rate;
        av_channel_layout_copy(&sound_->ch_layout, &a->ch_layout);
        if (av_frame_get_buffer(sound_.get(), 0) < 0)
            throw CliError("out of memory");
        for (int c = 0; c < a->ch_layout.nb_channels; ++c) {
            auto *out = reinterpret_cast<float *>(sound_->data[c]);
            for (int i = 0; i < a->frame_size; ++i) {
                double t = static_cast<double>(samples_ + i) / sampleRate;
                out[i] = static_cast<float>(0.2 * std::sin(2 * std::numbers::pi * 440 * t));
            }
        }
        sound_->pts = samples_;
        samples_ += a->frame_size;
        if (avcodec_send_frame(a, sound_.get()) < 0)
            throw CliError(path_ + ": cannot encode the sound");
        drain(a, audioStream_);
    }
}

void ClipWriter::addFrame(const host::FrameBuffer &frame) {
    convert_->convert(frame, *picture_);
    picture_->pts = frames_++;
    if (avcodec_send_frame(video_.get(), picture_.get()) < 0)
        throw CliError(path_ + ": cannot encode the picture");
    drain(video_.get(), videoStream_);
    if (audio_)
        writeToneUntil(av_rescale_q(frames_, video_->time_base, audio_->time_base));
}

void ClipWriter::finish() {
    avcodec_send_frame(video_.get(), nullptr);
    drain(video_.get(), videoStream_);
    if (audio_) {
        avcodec_send_frame(audio_.get(), nullptr);
        drain(audio_.get(), audioStream_);
    }
    int r = av_write_trailer(container_);
    if (r >= 0)
        r = avio_.close();
    if (r < 0)
        throw CliError(path_ + ": cannot write: " + avErrorText(r));
    file_.commit();
}

} // namespace pendra::cli
