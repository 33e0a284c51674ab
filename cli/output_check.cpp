#include "cli/output_check.h"

#include "cli/av_support.h"

#include <cerrno>
#include <system_error>
#include <unistd.h>

namespace pendra::cli {

namespace {

namespace fs = std::filesystem;

// Whether two names reach one file: the same device and inode when both
// exist, else the same path once links and ".." are resolved.
bool sameFile(const fs::path &a, const fs::path &b) {
    std::error_code error;
    if (fs::exists(a, error) && fs::exists(b, error))
        return fs::equivalent(a, b, error);
    fs::path ra = fs::weakly_canonical(fs::absolute(a), error);
    if (error)
        return false;
    fs::path rb = fs::weakly_canonical(fs::absolute(b), error);
    return !error && ra == rb;
}

} // namespace

void checkOutputFile(const fs::path &output, const std::vector<fs::path> &inputs, bool overwrite) {
    const std::string name = output.string();
    for (const fs::path &input : inputs)
        if (sameFile(output, input))
            throw CliError(name + ": is the input " + input.string() +
                           "; writing it would destroy it, so name another output file");
    std::error_code error;
    fs::file_status status = fs::status(output, error);
    if (fs::is_directory(status))
        throw CliError(name + ": is a folder; name the output file itself");
    if (fs::exists(status) && !overwrite)
        throw CliError(name + ": already exists; use -y (--overwrite) to replace it");
    fs::path folder = output.parent_path().empty() ? fs::path(".") : output.parent_path();
    if (!fs::is_directory(folder, error))
        throw CliError(name + ": its folder " + folder.string() + " does not exist");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw CliError(name + ": cannot write in its folder " + folder.string() + ": " +
                       systemErrorText(errno));
}

} // namespace pendra::cli
