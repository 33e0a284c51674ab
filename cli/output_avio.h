// FFmpeg's muxers writing an OutputFile through the descriptor that created
// it, never by its name: the container's writes, and any reopening of the
// temporary name (the MP4 muxer reads its file back to move its index to the
// front; the image muxer opens the name it was given), reach that one file
// whatever has become of the name meanwhile.
#pragma once

#include "cli/av_support.h"
#include "cli/output_file.h"

#include <memory>

namespace pendra::cli {

class OutputAvio {
  public:
    explicit OutputAvio(const OutputFile &file);
    // Frees what close() has not.
    ~OutputAvio();
    OutputAvio(const OutputAvio &) = delete;
    OutputAvio &operator=(const OutputAvio &) = delete;

    // For a muxer whose url is the file's temporary name: its pb (unless the
    // muxer opens its files itself) and its way of opening that name. Call
    // before the header is written; throws CliError.
    void attach(AVFormatContext *format);
    // Flushes and frees the muxer's pb, after its trailer; returns FFmpeg's
    // error (negative) when some write failed, else 0.
    int close();

    struct State;

  private:
    std::unique_ptr<State> state_;
};

} // namespace pendra::cli
