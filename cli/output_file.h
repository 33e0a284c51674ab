// An output written under a temporary name beside its real one and renamed
// only when complete, so that a failed or interrupted run never leaves a
// half-written file under the name the user gave.
#pragma once

#include <filesystem>
#include <string>

namespace pendra::cli {

// The name an output is written under until it is complete.
std::filesystem::path temporaryPathFor(const std::filesystem::path &finalPath);

class OutputFile {
  public:
    explicit OutputFile(std::filesystem::path finalPath);
    // Removes the temporary file unless commit() ran.
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Where to write while working.
    const std::filesystem::path &temporaryPath() const { return temporary_; }
    const std::filesystem::path &finalPath() const { return final_; }
    // Renames the temporary file to the real name; throws CliError naming it.
    void commit();

  private:
    std::filesystem::path final_;
    std::filesystem::path temporary_;
    bool committed_ = false;
};

// Writes `bytes` to `path` through a temporary file; throws CliError naming the file.
void writeWholeFile(const std::filesystem::path &path, const std::string &bytes);

} // namespace pendra::cli
