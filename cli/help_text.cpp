// The help pages of the command and of each of its commands.
#include "cli/options.h"

#include <string>

namespace pendra::cli {

namespace {

const char *overview = R"(usage: pendra COMMAND ...

Takes a semi-transparent TV logo out of video files with the Pendra filter
module (plugins/Pendra04.vdf beside this program).

commands:
  process IN OUT ...           filter every frame of IN into OUT
  preview IN --frame N --out PICTURE ...
                               frame N before and after, side by side
  configure IN [--job FILE]    tune the settings on a page in the browser,
                               with the frame before and after
  analyze IN [--out DIR] ...   find the logo in IN: its bitmap set, rectangle,
                               frame ranges and a job that takes it out
  demo [--folder DIR]          make a sample clip with a logo and take it out
  batch MANIFEST ...           process every file a CSV manifest names,
                               here or on a Slurm cluster; reruns resume

Run pendra COMMAND --help for a command's options. The filter's own help
page is plugins/pendra/Pendra.html beside this program; a new filter takes
its values from plugins/pendra/Pendra.ini there.
)";

const char *process = R"(usage: pendra process IN OUT [options]

Filters every frame of IN (any video FFmpeg reads) into OUT. The video is
encoded anew (H.264 at CRF 18 for .mp4, .mkv and .mov, VP9 for .webm, the
kind of file's usual encoder otherwise, each at a quality near H.264's CRF 18
unless --codec, --crf or --bitrate say otherwise); sound and other streams,
chapters, tags and the picture's rotation are copied unchanged; frame rate
and timestamps are kept. OUT appears only when complete; an OUT that exists
is refused unless -y is given, and OUT may never be IN.

Given only --logo with captures over black and white (logo0.bmp and
logo1.bmp), the filter un-blends the logo: alpha from the capture as the
dialog's Browse sets it (255 for a faint logo, less for a strong one, where
un-blending would lift compression noise), bitmap blur 0 and noise 0; the line "pendra: settings: ..." says what was
used. Any filter setting named on the command line, or a job file, turns
this off. With --auto the logo is found first (see pendra analyze --help)
and its job run, the analysis folder kept beside OUT. The noise is seeded with a fixed value (--seed), so the same
input and settings always give the same output.
)";

const char *analyze = R"(usage: pendra analyze IN [--out DIR] [--rect X,Y,W,H] [--start N] [--end N]

Finds a semi-transparent logo in IN: what stays still while the picture
moves. From frames where the background under it can be told from the clean
ring around it, estimates the logo's opacity and colour, and finds the frame
ranges where it is present. DIR (default: IN's name + "-logo", beside IN)
then holds:

  logo_x_N_y_M_0.bmp, _1.bmp, _2.bmp
                the logo over black, over white and the interpolate mask,
                placed by --logo and the dialog's Browse
  wide_x_N_y_M_0.bmp, _1.bmp, _2.bmp
                the same with the mask grown by two pixels, kept when a
                stretch's repair starts from it: where the encoder smeared
                the logo's colour past its mask
  rim_x_N_y_M_0.bmp, _1.bmp, _2.bmp
                a set that un-blends nothing and masks the logo's rims,
                kept when a stretch is un-blended and then has the band
                along the logo's edges repaired from around, where
                un-blending alone left its outline
  logo.job      one filter per stretch of the ranges where the logo is
                present (two where its rims are repaired), which
                pendra process IN OUT --job DIR/logo.job runs as it stands
  analysis.json the candidates and their scores, the frames used and why
                others were not, the opacity, the predicted error, the ranges
  alpha.png     the opacity found, enlarged four times
  found.png     a frame with the six first-ranked candidates drawn, the
                chosen one in red

When the logo's opacity cannot be measured (a static camera, too few frames
with a smooth background under it) but its shape persists, the job repairs
it from around (alpha 0) and says so. When no logo can be seen at all, the
command says why, exits with 1 and writes only analysis.json and found.png:
a longer stretch, --rect or captures made by hand may help. Files that exist
are refused unless -y is given. The same input always gives the same files.
)";

const char *preview = R"(usage: pendra preview IN --frame N --out PICTURE [options]

Writes frame N of IN (counted from 0) before and after the filter, side by
side, with the logo rectangle outlined, as a picture in the format its name
asks for (.png, .jpg, ...). The frames before N are filtered too, so the
picture is the one pendra process would write.
)";

const char *configure =
    R"(usage: pendra configure IN [--job FILE] [--listen HOST:PORT] [--no-browser]

Serves a page for tuning the filter on IN in the browser: any frame before
and after the filter, the logo rectangle to drag, every setting, the logo
analysis, and Save, which writes the job file (FILE, or IN's name + ".job"
beside IN) that pendra process --job replays. The first line on standard
output is the page's address; it carries a secret, and the page answers no
one without it. Settings given as options start the page with them. Stop
with the page's Stop button or Ctrl-C.
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

const char *batch = R"(usage: pendra batch MANIFEST [--workers N] [--report FILE]
       pendra batch MANIFEST --slurm [--partition P] [--time T] [--max-running K]
                    [-- sbatch options]
       pendra batch status MANIFEST

Processes every row of MANIFEST, a CSV file whose header names the columns
input, output and, when wanted, job (a job file) and options (more pendra
process options, split into words as a shell would, without running one).
Paths are relative to the manifest's folder, and an output's folders are made
as its row runs; a row without a job (nor --logo in its options) is processed
with --auto. Each row runs as a pendra process of its own, so a bad file costs
its row only.

A rerun skips each row whose output is complete and was made from the same
input, job, options, defaults file (when the row takes settings from it) and
version of pendra, as its record says (kept in
MANIFEST's name + "-batch", beside it, with each row's messages), and makes
the others again, replacing only files the batch made itself. A manifest in
which a row writes a file that a row or the batch reads, or a row would
replace a file the batch did not make, is refused before any row runs, naming
the line and the file. An interrupted batch leaves no
half-written output; run it again to finish it. The report (JSON, default
MANIFEST's name + "-report.json") lists each row as done, skipped or failed,
with the reason of a failure; the exit code is 1 when a row failed.

With --slurm the rows still to do go to Slurm as one job array, a task per
row, and a job after it writes the report; inputs, outputs, the manifest and
this program must be at the same paths on every node. pendra batch status
MANIFEST tells what is done, failed, queued or still to do; submitting again
submits only what is not done.
)";

} // namespace

std::string helpText(const std::string &command) {
    if (command == "process")
        return process + optionsHelp(Command::Process);
    if (command == "preview")
        return preview + optionsHelp(Command::Preview);
    if (command == "analyze")
        return analyze + optionsHelp(Command::Analyze);
    if (command == "configure")
        return configure + optionsHelp(Command::Configure);
    if (command == "batch")
        return batch + optionsHelp(Command::Batch);
    if (command == "demo")
        return demo + optionsHelp(Command::Demo);
    return overview;
}

} // namespace pendra::cli
