// The corpus bench's Markdown: one row per case and shot, the analysis's
// result per case, and a summary of --auto against delogo.
#pragma once

#include "bench/corpus/case_media.h"
#include "bench/corpus/case_run.h"
#include "bench/corpus/corpus_case.h"

#include <string>
#include <vector>

namespace pendra::corpus {

struct CaseReport {
    Case c;
    CaseMedia media;
    CaseResult result;
};

// The tables and summary; `seconds` is the bench's whole run time.
std::string formatTables(const std::vector<CaseReport> &reports, double seconds);

} // namespace pendra::corpus
