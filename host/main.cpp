// pendra-host: our stand-in for the video host. It loads a filter module from
// its plugins folder and drives the filter through its real entry points.
#include "host/host_error.h"
#include "host/loaded_module.h"
#if defined(_WIN32)
#include "host/configure_job_win32.h"
#endif

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void usage(FILE *out) {
    std::fputs("usage: pendra-host list [MODULE]\n"
               "  list   load MODULE (default: plugins/Pendra04.vdf beside this program)\n"
               "         and print each filter it registers: name, description, maker\n",
               out);
#if defined(_WIN32)
    std::fputs("       pendra-host configure JOB FRAME.bmp\n"
               "  configure  open the Pendra dialog for the job's Pendra filter, previewing\n"
               "             FRAME.bmp; OK saves the job (exit 0), Cancel leaves it (exit 1)\n",
               out);
#endif
}

int listFilters(const std::filesystem::path &file) {
    pendra::host::LoadedModule module(file);
    std::printf("module:      %s\n", file.string().c_str());
    std::printf("interface:   version %d, compatible with %d\n", module.version(),
                module.compatibleVersion());
    for (const auto &filter : module.filters()) {
        std::printf("filter:      %s\n", filter.definition.name);
        std::printf("description: %s\n", filter.definition.desc);
        std::printf("maker:       %s\n", filter.definition.maker);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    try {
        if (argc >= 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
            usage(stdout);
            return 0;
        }
        if (argc >= 2 && !std::strcmp(argv[1], "list") && argc <= 3)
            return listFilters(argc == 3 ? std::filesystem::path(argv[2])
                                         : pendra::host::defaultModulePath());
#if defined(_WIN32)
        if (argc == 4 && !std::strcmp(argv[1], "configure"))
            return pendra::host::configureJob(argv[2], argv[3]);
#endif
        usage(stderr);
        return 2;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "pendra-host: %s\n", e.what());
        return 1;
    }
}
