#include "cli/output_file.h"

#include "cli/av_support.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

namespace pendra::cli {

std::filesystem::path temporaryPathFor(const std::filesystem::path &finalPath) {
    std::filesystem::path temporary = finalPath;
    temporary += ".pendra-partial";
    return temporary;
}

OutputFile::OutputFile(std::filesystem::path finalPath)
    : final_(std::move(finalPath)), temporary_(temporaryPathFor(final_)) {}

OutputFile::~OutputFile() {
    if (!committed_) {
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
}

void OutputFile::commit() {
    std::error_code error;
    std::filesystem::rename(temporary_, final_, error);
    if (error)
        throw CliError(final_.string() + ": cannot write: " + systemErrorText(error.value()));
    committed_ = true;
}

void writeWholeFile(const std::filesystem::path &path, const std::string &bytes) {
    OutputFile out(path);
    FILE *file = std::fopen(out.temporaryPath().c_str(), "wb");
    if (!file)
        throw CliError(path.string() + ": cannot write: " + systemErrorText(errno));
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok)
        throw CliError(path.string() + ": cannot write: " + systemErrorText(errno));
    out.commit();
}

} // namespace pendra::cli
