#include "cli/job_file.h"

#include "cli/av_support.h"
#include "cli/output_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace pendra::cli {

std::string readJobConfig(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw CliError(path + ": cannot open: " + systemErrorText(errno));
    std::string line;
    while (std::getline(in, line)) {
        size_t at = line.find("Config(");
        if (at == std::string::npos)
            continue;
        std::string call = line.substr(at);
        while (!call.empty() && (call.back() == '\r' || call.back() == ';' || call.back() == ' '))
            call.pop_back();
        return call;
    }
    throw CliError(path + ": holds no settings of the filter");
}

void writeJob(const std::string &path, const std::string &configLine) {
    std::string text = "VirtualDub.video.filters.Clear();\n"
                       "VirtualDub.video.filters.Add(\"Pendra (0.4.1)\");\n"
                       "VirtualDub.video.filters.instance[0]." +
                       configLine + ";\n";
    writeWholeFile(path, text);
}

} // namespace pendra::cli
