// The real-footage corpus bench: semi-transparent logos of known opacity laid
// over real clips (Debian's opencv-doc samples, the shared footage), encoded
// as users' recordings are, then taken out by FFmpeg's delogo on the true
// rectangle, by pendra with the true captures and by pendra --auto. Prints a
// Markdown table per case and shot, the cases' analysis results and a
// summary, and keeps it in WORK/corpus-table.md.
//   pendra-corpus-bench [--quick] [--only c01,c02] [PENDRA [WORK]]
#include "bench/corpus/case_run.h"
#include "bench/corpus/corpus_case.h"
#include "bench/corpus/table.h"
#include "cli/av_support.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using namespace pendra::corpus;

int main(int argc, char **argv) {
    bool quick = false;
    std::string only, pendra;
    fs::path work;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick")
            quick = true;
        else if (a == "--only" && i + 1 < argc)
            only = "," + std::string(argv[++i]) + ",";
        else if (pendra.empty())
            pendra = a;
        else
            work = a;
    }
    // By default the command beside this program, and a folder in its build.
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    pendra = pendra.empty() ? (bin / "pendra").string() : fs::absolute(pendra).string();
    if (work.empty())
        work = bin.parent_path() / "corpus";
    work = fs::absolute(work);
    av_log_set_level(AV_LOG_FATAL);
    const auto started = std::chrono::steady_clock::now();
    std::vector<CaseReport> reports;
    for (const Case &c : corpusCases(quick)) {
        if (!only.empty() && only.find("," + c.name + ",") == std::string::npos)
            continue;
        std::fprintf(stderr, "corpus-bench: %s (%s, %s)\n", c.name.c_str(), c.footage.c_str(),
                     c.encoding.name.c_str());
        const fs::path folder = work / (quick ? "quick" : "full") / c.name;
        CaseMedia media = makeCaseMedia(c, work / "cache", folder, pendra);
        reports.push_back({c, media, runCase(media, pendra)});
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string table = formatTables(reports, seconds);
    std::fputs(table.c_str(), stdout);
    std::ofstream(work / "corpus-table.md") << table;
    return 0;
}
