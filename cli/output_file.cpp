#include "cli/output_file.h"

#include "cli/av_support.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/random.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace pendra::cli {

namespace fs = std::filesystem;

namespace {

constexpr size_t randomLength = 10;

std::mutex observerMutex;
std::function<void(const fs::path &, const fs::path &)> commitObserver;

// Letters and digits no one can foresee.
std::string randomPart() {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[randomLength];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno != EINTR)
            throw CliError(std::string("cannot choose a temporary name: ") +
                           systemErrorText(errno));
        if (n > 0)
            got += static_cast<size_t>(n);
    }
    std::string part;
    for (unsigned char b : bytes)
        part += alphabet[b % (sizeof alphabet - 1)];
    return part;
}

// The part of a temporary's name that stands for the real name `name`: the
// name itself, or, when the whole would pass the longest name a folder
// allows, its start and a hash of the rest, so that any name that can be
// written can be written through a temporary.
std::string temporaryStem(const std::string &name) {
    const size_t room = NAME_MAX - 1 - randomLength - std::strlen(partialSuffix);
    if (name.size() <= room)
        return name;
    uint64_t hash = 14695981039346656037u; // FNV-1a: the same in every build
    for (unsigned char c : name)
        hash = (hash ^ c) * 1099511628211u;
    static const char hex[] = "0123456789abcdef";
    std::string tail = "~";
    for (int shift = 60; shift >= 0; shift -= 4)
        tail += hex[hash >> shift & 15];
    return name.substr(0, room - tail.size()) + tail;
}

// Whether `name` is "<stem>.<random>.pendra-partial" for some stem, which it gives.
bool splitTemporaryName(const std::string &name, std::string &stem) {
    const std::string suffix = partialSuffix;
    if (name.size() <= suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string rest = name.substr(0, name.size() - suffix.size());
    const size_t dot = rest.rfind('.');
    if (dot == std::string::npos || dot == 0 || rest.size() - dot - 1 != randomLength)
        return false;
    for (size_t i = dot + 1; i < rest.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(rest[i])))
            return false;
    stem = rest.substr(0, dot);
    return true;
}

fs::path folderOf(const fs::path &path) {
    return path.parent_path().empty() ? fs::path(".") : path.parent_path();
}

void removeMatching(const fs::path &folder, const std::function<bool(const std::string &)> &ours) {
    std::error_code error;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        std::string stem;
        if (splitTemporaryName(it->path().filename().string(), stem) && ours(stem)) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

} // namespace

bool isTemporaryFor(const fs::path &finalPath, const fs::path &candidate) {
    std::string stem;
    return folderOf(candidate) == folderOf(finalPath) &&
           splitTemporaryName(candidate.filename().string(), stem) &&
           stem == temporaryStem(finalPath.filename().string());
}

void removeTemporariesFor(const fs::path &finalPath) {
    const std::string name = temporaryStem(finalPath.filename().string());
    removeMatching(folderOf(finalPath), [&name](const std::string &stem) { return stem == name; });
}

void removeTemporariesIn(const fs::path &folder) {
    removeMatching(folder, [](const std::string &) { return true; });
}

OutputFile::OutputFile(fs::path finalPath) : final_(std::move(finalPath)) {
    // Exclusively and never through a link: a name someone else made first,
    // even one they guessed, is passed over for another.
    for (int attempt = 0; fd_ < 0; ++attempt) {
        temporary_ = final_.parent_path() / (temporaryStem(final_.filename().string()) + "." +
                                             randomPart() + partialSuffix);
        fd_ = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ < 0 && (errno != EEXIST || attempt >= 100))
            throw CliError(final_.string() + ": cannot write: " + systemErrorText(errno));
    }
}

OutputFile::~OutputFile() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_) {
        std::error_code ignored;
        fs::remove(temporary_, ignored);
    }
}

void OutputFile::commit() {
    // A network file system may report a failed write only at the close.
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        throw CliError(final_.string() + ": cannot write: " + systemErrorText(errno));
    // Told before the rename, so that an observer's record of the file is
    // on disk before the file is in place: a kill in between leaves a
    // record of a file not yet placed, never a file with no record. The
    // rename keeps the temporary's size and time.
    notifyObserver();
    std::error_code error;
    fs::rename(temporary_, final_, error);
    if (error)
        throw CliError(final_.string() + ": cannot write: " + systemErrorText(error.value()));
    committed_ = true;
}

void OutputFile::notifyObserver() const {
    // Taken out while it runs: writes of its own (a record) do not call it again.
    std::function<void(const fs::path &, const fs::path &)> observer;
    {
        std::lock_guard<std::mutex> lock(observerMutex);
        observer.swap(commitObserver);
    }
    if (!observer)
        return;
    struct PutBack {
        std::function<void(const fs::path &, const fs::path &)> &observer;
        ~PutBack() {
            std::lock_guard<std::mutex> lock(observerMutex);
            if (!commitObserver)
                commitObserver.swap(observer);
        }
    } putBack{observer};
    observer(final_, temporary_);
}

void OutputFile::onEachCommit(std::function<void(const fs::path &, const fs::path &)> observer) {
    std::lock_guard<std::mutex> lock(observerMutex);
    commitObserver = std::move(observer);
}

void writeWholeFile(const fs::path &path, const std::string &bytes, std::optional<mode_t> mode) {
    OutputFile out(path);
    const char *next = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(out.fd(), next, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw CliError(path.string() +
                           ": cannot write: " + systemErrorText(n < 0 ? errno : EIO));
        next += n;
        left -= static_cast<size_t>(n);
    }
    if (mode && ::fchmod(out.fd(), *mode) != 0)
        throw CliError(path.string() + ": cannot write: " + systemErrorText(errno));
    out.commit();
}

} // namespace pendra::cli
