#include "cli/commands.h"

#include "cli/analyze_command.h"
#include "cli/filter_job.h"
#include "cli/output_check.h"
#include "cli/picture_writer.h"
#include "cli/process_video.h"

#include <cstdio>

namespace pendra::cli {

namespace {

void warnDropped(const std::string &output, const ProcessSummary &summary) {
    for (const std::string &s : summary.droppedStreams)
        std::fprintf(stderr, "pendra: warning: %s: cannot hold the input's %s; left out\n",
                     output.c_str(), s.c_str());
    if (summary.skippedPackets > 0)
        std::fprintf(stderr, "pendra: warning: %d damaged video packets were skipped\n",
                     summary.skippedPackets);
}

// Refuses, before any work, outputs (OUT, the saved job, the trace) that
// would destroy an input or one another, or replace a file unasked.
void checkOutputs(const Options &o, std::vector<std::filesystem::path> inputs) {
    checkOutputFile(o.output, inputs, o.overwrite);
    inputs.emplace_back(o.output);
    if (o.saveJob) {
        checkOutputFile(*o.saveJob, inputs, o.overwrite);
        inputs.emplace_back(*o.saveJob);
    }
    if (o.run.trace)
        checkOutputFile(*o.run.trace, inputs, o.overwrite);
}

// Outputs checked, the job saved when asked and the trace begun.
void prepare(const Options &o, FilterJob &job) {
    checkOutputs(o, job.inputFiles(o.input));
    if (o.saveJob)
        job.save(*o.saveJob);
    job.openTrace();
}

// After the work, so that a failure stays one line.
void tellChosenSettings(const FilterJob &job) {
    if (!job.chosenSettings().empty())
        std::fprintf(stderr, "pendra: %s\n", job.chosenSettings().c_str());
}

// Analyses IN into the folder beside OUT, then processes with the job found
// (which carries its run settings: no noise unless asked for).
int runAutomatic(const Options &o, int64_t *frames) {
    // The job's own files are checked again once the analysis has made it.
    checkOutputs(o, {o.input});
    AnalyzeRequest request;
    request.input = o.input;
    request.folder = analysisFolderFor(o.output);
    request.rect = o.rect;
    request.overwrite = o.overwrite;
    Options run = o;
    run.autoAnalysis = false;
    run.job = analyzeVideo(request).string();
    return runProcess(run, frames);
}

} // namespace

int runProcess(const Options &o, int64_t *frames) {
    if (o.autoAnalysis)
        return runAutomatic(o, frames);
    FilterJob job(o);
    prepare(o, job);
    ProcessSummary summary = processVideo(o.input, o.output, job.chain(), o.encoder);
    job.commitTrace();
    tellChosenSettings(job);
    job.warnIfNothingFiltered(summary.frames, o.input);
    warnDropped(o.output, summary);
    if (frames)
        *frames = summary.frames;
    return 0;
}

int runPreview(const Options &o) {
    checkPictureName(o.output);
    FilterJob job(o);
    prepare(o, job);
    if (!job.inRange(*o.frame))
        std::fprintf(stderr,
                     "pendra: warning: frame %lld lies outside the range the filter works on; "
                     "the picture shows it unfiltered\n",
                     static_cast<long long>(*o.frame));
    previewFrame(o.input, *o.frame, o.output, job.chain());
    job.commitTrace();
    tellChosenSettings(job);
    return 0;
}

} // namespace pendra::cli
