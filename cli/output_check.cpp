#include "cli/output_check.h"

#include "cli/av_support.h"

#include <cerrno>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace pendra::cli {

namespace fs = std::filesystem;

fs::path resolvedPath(const fs::path &path) {
    std::error_code error;
    fs::path real = fs::weakly_canonical(fs::absolute(path), error);
    return error ? fs::absolute(path).lexically_normal() : real;
}

std::string fileIdentity(const fs::path &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return "inode " + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    return "path " + resolvedPath(path).string();
}

void checkOutputFile(const fs::path &output, const std::vector<fs::path> &inputs, bool overwrite) {
    const std::string name = output.string();
    for (const fs::path &input : inputs)
        if (fileIdentity(output) == fileIdentity(input))
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
