// An output written under a temporary name beside its real one and renamed
// only when complete, so that a failed or interrupted run never leaves a
// half-written file under the name the user gave.
//
// The temporary name cannot be guessed (the real name, a dot, a random part,
// then ".pendra-partial") and the file is created afresh (O_EXCL), never
// through a link, so that nothing planted in a shared folder can redirect the
// write; the writer writes through the descriptor that created it. The rename
// replaces the real name at once, a link found there included (never what it
// points to). The file gets the permissions of any newly created file
// (0666 less the umask).
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace pendra::cli {

// How every temporary name ends, so that tests and clean-up can find one.
inline constexpr const char *partialSuffix = ".pendra-partial";

// Whether `candidate` is the name of a temporary file for `finalPath`, in its folder.
bool isTemporaryFor(const std::filesystem::path &finalPath, const std::filesystem::path &candidate);

// Removes the temporary files of `finalPath` that a process killed outright
// could not remove itself.
void removeTemporariesFor(const std::filesystem::path &finalPath);

// Removes every temporary file directly in `folder`, whatever its real name.
void removeTemporariesIn(const std::filesystem::path &folder);

class OutputFile {
  public:
    // Creates the temporary file beside `finalPath`; throws CliError naming it.
    explicit OutputFile(std::filesystem::path finalPath);
    // Closes and removes the temporary file unless commit() ran.
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // The temporary file, open for reading and writing: write through this,
    // never by the name. -1 once committed.
    int fd() const { return fd_; }
    // The temporary's name, for messages and clean-up; not to be opened.
    const std::filesystem::path &temporaryPath() const { return temporary_; }
    const std::filesystem::path &finalPath() const { return final_; }
    // Closes the temporary file and renames it to the real name; throws
    // CliError naming it.
    void commit();

    // Called at each commit of this process with the real name and the
    // temporary's, just before the rename puts it in place (a batch's worker
    // records what it makes); empty to stop. Not for several threads.
    static void onEachCommit(
        std::function<void(const std::filesystem::path &, const std::filesystem::path &)> observer);

  private:
    void notifyObserver() const;

    std::filesystem::path final_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    bool committed_ = false;
};

// Writes `bytes` to `path` through a temporary file, with `mode` instead of
// the usual permissions when given; throws CliError naming the file.
void writeWholeFile(const std::filesystem::path &path, const std::string &bytes,
                    std::optional<mode_t> mode = std::nullopt);

} // namespace pendra::cli
