// pendra: takes a logo out of video files with the Pendra filter module,
// loaded from plugins/ beside this program as the video host loads it.
#include "batch/batch_command.h"
#include "cli/analyze_command.h"
#include "cli/av_support.h"
#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/options.h"
#include "web/configure_command.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char **argv) {
    using namespace pendra::cli;
    // FFmpeg's own messages would break the one-line errors; ours name the cause.
    av_log_set_level(AV_LOG_FATAL);
    catchInterrupts();
    try {
        Options options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
        switch (options.command) {
        case Command::Help:
            // Without a command, the usage is a complaint: stderr and exit code 2.
            std::fputs(helpText(options.helpTopic).c_str(), options.usageMistake ? stderr : stdout);
            return options.usageMistake ? 2 : 0;
        case Command::Process:
            return runProcess(options);
        case Command::Preview:
            return runPreview(options);
        case Command::Demo:
            return runDemo(options);
        case Command::Analyze:
            return runAnalyze(options);
        case Command::Configure:
            return pendra::web::runConfigure(options);
        case Command::Batch:
            return pendra::batch::runBatch(options);
        }
    } catch (const CliError &e) {
        std::fprintf(stderr, "pendra: %s\n", e.what());
        return e.exitCode();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "pendra: %s\n", e.what());
        return 1;
    }
    return 1;
}
