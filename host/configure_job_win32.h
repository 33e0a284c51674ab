// `pendra-host configure JOB FRAME.bmp` (Windows): opens the configuration
// dialog of the job's Pendra filter, with the preview showing FRAME as the
// filter outputs it, and saves the job when the user presses OK.
#pragma once

#include <filesystem>

namespace pendra::host {

// Returns 0 when the job was saved, 1 when the dialog was cancelled. A job
// file that does not exist yet starts a job with one Pendra filter. Faults in
// the job, the frame or the module are HostErrors.
int configureJob(const std::filesystem::path &job, const std::filesystem::path &frame);

} // namespace pendra::host
