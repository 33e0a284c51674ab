/*
 * The debug trace: with debug output on, each processed frame rewrites a
 * small text file with its frame number, the scene measurement and the
 * repair map after each repair pass, so that a user can see why a logo was
 * or was not repaired. Nothing reads it back, and a trace that cannot be
 * written never stops the processing: every writer accepts a null file.
 *
 * One documented hook: when the environment variable PENDRA_TRACE_FILE is set
 * and not empty, it names the trace file instead; our pendra command uses it
 * for --trace. Unset, the trace goes where it always does.
 *
 * Grids print workMap bottom row first (the rectangle upside down), each
 * entry in two columns: 0 logo pixel not repaired by the first two passes,
 * 1 clean, 2 first pass, 3 second pass.
 */
#include "process/stages.h"

#include <cstdlib>

bool tracePath(char *path, size_t size) {
    const char *own = std::getenv("PENDRA_TRACE_FILE");
    if (own && *own) {
        int n = std::snprintf(path, size, "%s", own);
        return n > 0 && static_cast<size_t>(n) < size;
    }
#if defined(_WIN32)
    int n = std::snprintf(path, size, "%s", "c:/pendra-debug.txt");
#else
    /* No drive letters here: the trace goes to the temporary folder. */
    const char *folder = std::getenv("TMPDIR");
    if (!folder || !*folder)
        folder = "/tmp";
    int n = std::snprintf(path, size, "%s/pendra-debug.txt", folder);
#endif
    return n > 0 && static_cast<size_t>(n) < size;
}

FILE *traceOpen() {
    char path[1024];
    if (!tracePath(path, sizeof path))
        return nullptr;
    return std::fopen(path, "w");
}

/* The w * h entries of workMap, row 0 first, and an empty line. */
static void traceGrid(FILE *trace, const FilterSettings *s) {
    for (int r = 0; r < s->logoHeight; ++r) {
        for (int c = 0; c < s->logoWidth; ++c)
            std::fprintf(trace, "%2d", static_cast<int>(s->workMap[r * s->logoWidth + c]));
        std::fputs("\n", trace);
    }
    std::fputs("\n", trace);
}

void traceHeader(FILE *trace, const FilterSettings *s, int32_t frame,
                 const SceneMeasure *measured) {
    if (!trace)
        return;
    std::fprintf(trace, "Frame: %d\n", static_cast<int>(frame));
    if (measured) {
        std::fprintf(trace, "Diff_ns: %5u Diff_ew: %5u\n", static_cast<unsigned>(measured->diffNs),
                     static_cast<unsigned>(measured->diffEw));
        std::fprintf(trace, "Scene Change: %d\n", measured->scenePercent);
    }
    std::fputs("Bitmap mask:\n\n", trace);
    traceGrid(trace, s);
}

void tracePass(FILE *trace, const FilterSettings *s, const char *title, int weight) {
    if (!trace)
        return;
    std::fprintf(trace, "%s:  Weight = %d\n\n", title, weight);
    traceGrid(trace, s);
}

void traceClose(FILE *trace) {
    if (trace)
        std::fclose(trace);
}
