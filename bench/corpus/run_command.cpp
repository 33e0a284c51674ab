// Shell commands for the corpus bench; a failed preparation step ends the
// run, since a table from half-made media would mislead.
#include "bench/corpus/run_command.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>

namespace pendra::corpus {

int commandStatus(const std::string &command) {
    const int status = std::system(command.c_str());
    return status == -1 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void runCommand(const std::string &command) {
    if (commandStatus(command) != 0) {
        std::fprintf(stderr, "corpus-bench: failed: %s\n", command.c_str());
        std::exit(1);
    }
}

std::string lastLine(const std::string &path) {
    std::ifstream in(path);
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty())
            last = line;
    return last;
}

} // namespace pendra::corpus
