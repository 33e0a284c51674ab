#include "cli/output_avio.h"

#include <cerrno>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace pendra::cli {

namespace {

// FFmpeg 7 made the written bytes const.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
using WrittenBytes = const uint8_t *;
#else
using WrittenBytes = uint8_t *;
#endif

using OpenFunction = int (*)(AVFormatContext *, AVIOContext **, const char *, int, AVDictionary **);
using CloseFunction = int (*)(AVFormatContext *, AVIOContext *);

constexpr int bufferSize = 32768;

// One context's place in the file: each has its own, the descriptor is shared.
struct Cursor {
    int fd = -1;
    int64_t position = 0;
};

int readAt(void *opaque, uint8_t *bytes, int size) {
    auto *c = static_cast<Cursor *>(opaque);
    for (;;) {
        ssize_t n = ::pread(c->fd, bytes, static_cast<size_t>(size), c->position);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return AVERROR(errno);
        if (n == 0)
            return AVERROR_EOF;
        c->position += n;
        return static_cast<int>(n);
    }
}

int writeAt(void *opaque, WrittenBytes bytes, int size) {
    auto *c = static_cast<Cursor *>(opaque);
    int done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(c->fd, bytes + done, static_cast<size_t>(size - done), c->position);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return AVERROR(n < 0 ? errno : EIO);
        done += static_cast<int>(n);
        c->position += n;
    }
    return size;
}

int64_t seekTo(void *opaque, int64_t offset, int whence) {
    auto *c = static_cast<Cursor *>(opaque);
    whence &= ~AVSEEK_FORCE;
    struct stat st {};
    if ((whence == AVSEEK_SIZE || whence == SEEK_END) && ::fstat(c->fd, &st) != 0)
        return AVERROR(errno);
    int64_t base = 0;
    switch (whence) {
    case AVSEEK_SIZE:
        return st.st_size;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        base = c->position;
        break;
    case SEEK_END:
        base = st.st_size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (base + offset < 0)
        return AVERROR(EINVAL);
    c->position = base + offset;
    return c->position;
}

} // namespace

struct OutputAvio::State {
    int fd = -1;
    std::string url;
    AVFormatContext *format = nullptr;
    OpenFunction otherOpen = nullptr;
    CloseFunction otherClose = nullptr;
    std::map<AVIOContext *, std::unique_ptr<Cursor>> open; // ours
    int error = 0;                                         // the first a closing found

    AVIOContext *make(int flags) {
        const bool writing = (flags & AVIO_FLAG_WRITE) != 0;
        // Opened again to write, as the image muxer does for each picture: a new file.
        if (writing && format && format->pb == nullptr && ::ftruncate(fd, 0) != 0)
            return nullptr;
        auto cursor = std::make_unique<Cursor>();
        cursor->fd = fd;
        auto *buffer = static_cast<unsigned char *>(av_malloc(bufferSize));
        if (!buffer)
            return nullptr;
        AVIOContext *pb = avio_alloc_context(buffer, bufferSize, writing ? 1 : 0, cursor.get(),
                                             readAt, writing ? writeAt : nullptr, seekTo);
        if (!pb) {
            av_free(buffer);
            return nullptr;
        }
        open.emplace(pb, std::move(cursor));
        return pb;
    }

    // Flushes and frees one of ours; the first failure is kept.
    int free(AVIOContext *pb) {
        if (pb->write_flag)
            avio_flush(pb);
        const int result = pb->error;
        if (result < 0 && error == 0)
            error = result;
        av_freep(&pb->buffer);
        open.erase(pb);
        avio_context_free(&pb);
        return result;
    }
};

namespace {

int openHook(AVFormatContext *s, AVIOContext **pb, const char *url, int flags,
             AVDictionary **options) {
    auto *state = static_cast<OutputAvio::State *>(s->opaque);
    if (url && state->url == url) {
        *pb = state->make(flags);
        return *pb ? 0 : AVERROR(ENOMEM);
    }
    return state->otherOpen(s, pb, url, flags, options);
}

int closeHook(AVFormatContext *s, AVIOContext *pb) {
    auto *state = static_cast<OutputAvio::State *>(s->opaque);
    if (state->open.count(pb))
        return state->free(pb);
    return state->otherClose ? state->otherClose(s, pb) : 0;
}

} // namespace

OutputAvio::OutputAvio(const OutputFile &file) : state_(std::make_unique<State>()) {
    state_->fd = file.fd();
    state_->url = file.temporaryPath().string();
}

OutputAvio::~OutputAvio() {
    while (!state_->open.empty())
        state_->free(state_->open.begin()->first);
}

void OutputAvio::attach(AVFormatContext *format) {
    state_->format = format;
    state_->otherOpen = format->io_open;
    state_->otherClose = format->io_close2;
    format->opaque = state_.get();
    format->io_open = openHook;
    format->io_close2 = closeHook;
    if (!(format->oformat->flags & AVFMT_NOFILE)) {
        format->pb = state_->make(AVIO_FLAG_WRITE);
        if (!format->pb)
            throw CliError("out of memory");
        format->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
}

int OutputAvio::close() {
    if (state_->format && state_->format->pb && state_->open.count(state_->format->pb)) {
        state_->free(state_->format->pb);
        state_->format->pb = nullptr;
    }
    while (!state_->open.empty())
        state_->free(state_->open.begin()->first);
    return state_->error;
}

} // namespace pendra::cli
