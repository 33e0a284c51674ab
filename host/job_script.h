// A job script: the filter chain of a job as a text file a user can read and
// edit, in the style of the video host's processing-settings scripts:
//
//     // comment lines and blank lines are ignored
//     VirtualDub.video.filters.Clear();
//     VirtualDub.video.filters.Add("Pendra (0.4.1)");
//     VirtualDub.video.filters.instance[0].Config("D:\\logos\\news0.bmp",1, 2, ...);
//
// Add appends a filter by name; instance[N] names the N-th filter added since
// the last Clear, and its one script call restores that filter's settings.
#pragma once

#include "host/filter_instance.h"
#include "host/script_call.h"

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace pendra::host {

// One filter of a job: its name and the script call that configures it
// (empty when the job gives none).
struct JobEntry {
    std::string filterName;
    std::string call; // e.g. Config("D:\\logos\\news0.bmp",1, 2, ...)
    int line = 0;     // where the call stands in its file; 0 when made in memory
    std::string lineText;
};

// Reads a job script. Every statement is checked as it is read; a fault is a
// ScriptError naming the line (and source, when given).
std::vector<JobEntry> readJobScript(std::istream &in, const std::string &source = {});
// Reads a job file; a file that cannot be opened is a HostError naming it.
std::vector<JobEntry> readJobFile(const std::filesystem::path &file);

// Writes the entries as a job script.
void writeJobScript(std::ostream &out, const std::vector<JobEntry> &entries);
void writeJobFile(const std::filesystem::path &file, const std::vector<JobEntry> &entries);

// The entry that saves an instance: its filter's name and its script text.
JobEntry jobEntryOf(FilterInstance &instance);

// Restores an instance from an entry for the same filter. A fault is a
// ScriptError naming the entry's line, and the instance is left untouched.
void applyJobEntry(FilterInstance &instance, const JobEntry &entry);

} // namespace pendra::host
