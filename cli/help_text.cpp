// The help pages of the command and of each of its commands.
#include "cli/options.h"

namespace pendra::cli {

namespace {

const char *overview = R"(usage: pendra COMMAND ...

Takes a semi-transparent TV logo out of video files with the Pendra filter
module (plugins/Pendra04.vdf beside this program).

commands:
  process IN OUT ...           filter every frame of IN into OUT
  preview IN --frame N --out PNG ...
                               frame N before and after, side by side
  demo [--folder DIR]          make a sample clip with a logo and take it out

Run pendra COMMAND --help for a command's options. The filter's own help
page is plugins/pendra/Pendra.html beside this program; a new filter takes
its values from plugins/pendra/Pendra.ini there.
)";

const char *settings = R"(
filter settings (any not given come from the job file, else from the
defaults file plugins/pendra/Pendra.ini):
  --job FILE           settings from a saved job file
  --save-job FILE      save the settings as a job file
  --logo FILE          the logo over black (name ending in 0, e.g. logo0.bmp;
                       logo1.bmp over white and logo2.bmp, the interpolate
                       mask, are used when present), or a mask alone (ending in 2)
  --x N, --y N         the rectangle's left edge and top line, in pixels from
                       the picture's left edge and top line
  --alpha N            0 = all interpolation .. 255 = no interpolation (pure
                       un-blending of the logo)
  --start N, --end N   first and last frame to work on (frames count from 0;
                       --end 0 = to the last frame)
  --fade-in N          the N+1 frames from --start are fully interpolated
  --fade-out N         so are the N+1 frames up to --end (none when --end is 0)
  --threshold1 N, --threshold2 N, --threshold3 N
                       colour thresholds of the three repair passes (0..255)
  --blur N             smoothing of pixels repaired by passes 1 and 2 (0..255)
  --blur3 N            smoothing of the other logo pixels (0..255)
  --bitmap-blur N      blur passes over the whole rectangle (0 = none)
  --white N            white level assumed when there is no logo1.bmp (0..255)
  --side S             none, north, east, south or west: border line rebuilt
                       as a gradient
  --scene N            scene-change threshold, in percent

settings of this run only (not saved in job files):
  --noise N            noise level added to the rectangle (0 = none)
  --feather N          width of the bitmap blur's feathered border
  --trace FILE         write the filter's debug trace of each frame to FILE
)";

const char *process = R"(usage: pendra process IN OUT [options]

Filters every frame of IN (any video FFmpeg reads) into OUT. The video is
encoded anew (H.264 at CRF 18 for .mp4, .mkv and .mov, VP9 for .webm, the
kind of file's usual encoder otherwise, each at a quality near H.264's CRF 18
unless --codec, --crf or --bitrate say otherwise); sound and other streams,
chapters, tags and the picture's rotation are copied unchanged; frame rate
and timestamps are kept. OUT appears only when complete.

output:
  --codec NAME         FFmpeg video encoder (e.g. libx264, ffv1, libx264rgb)
  --crf N              quality on the encoder's own scale, lower is better:
                       H.264/HEVC CRF 0..51 (default 18/17), VP9/AV1 0..63
                       (24), MPEG-4/MPEG-2/MJPEG quantiser 1..31 (2)
  --preset NAME        encoder speed preset (H.264: ultrafast .. veryslow)
  --pixel-format NAME  pixel format of the encoded video (default: the input's)
)";

const char *preview = R"(usage: pendra preview IN --frame N --out PNG [options]

Writes frame N of IN (counted from 0) before and after the filter, side by
side, with the logo rectangle outlined, as a PNG picture. The frames before N
are filtered too, so the picture is the one pendra process would write.
)";

const char *demo = R"(usage: pendra demo [--folder DIR]

Makes a five-second sample clip of moving, textured pictures, lays a
semi-transparent logo of known opacity over it, writes the logo captures over
black and over white and the interpolate mask as a user would, and takes the
logo out twice: with the settings that suit such a logo (pure un-blending:
--alpha 255 --bitmap-blur 0 --noise 0) and with the built-in defaults. It
prints the logo rectangle's PSNR against the clean clip before and after, and
leaves the clip, the bitmaps, the job file, both outputs and a before/after
PNG in DIR (default: pendra-demo).
)";

} // namespace

std::string helpText(const std::string &command) {
    if (command == "process")
        return std::string(process) + settings;
    if (command == "preview")
        return std::string(preview) + settings;
    if (command == "demo")
        return demo;
    return overview;
}

} // namespace pendra::cli
