#include "cli/logo_set_check.h"

#include "cli/av_support.h"
#include "logo/bitmap_file.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace pendra::cli {

namespace {

std::string sizeText(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

std::string faultText(BitmapFault fault, const std::vector<unsigned char> &image) {
    switch (fault) {
    case BITMAP_SOUND:
        return "";
    case BITMAP_NOT_BMP:
        return "not a Windows bitmap (.bmp)";
    case BITMAP_NOT_24_BIT:
        return "has " + std::to_string(image[BMP_BIT_DEPTH] | image[BMP_BIT_DEPTH + 1] << 8) +
               " bits per pixel; the filter reads 24-bit bitmaps only: save it as a 24-bit BMP";
    case BITMAP_COMPRESSED:
        return "is compressed; save it as an uncompressed 24-bit BMP";
    case BITMAP_TOP_DOWN:
        return "is stored top line first (a negative height), which the filter would read "
               "upside down; save it as an ordinary (bottom-up) 24-bit BMP";
    case BITMAP_BAD_SIZE:
        return "has no usable width and height";
    }
    return "not readable";
}

// One member's image and header shape, or the problem with it.
struct Member {
    std::string problem;
    BitmapShape shape{};
    std::vector<unsigned char> image;
};

Member readMember(const std::string &path) {
    Member m;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        m.problem = path + ": cannot open: " + systemErrorText(errno);
        return m;
    }
    m.image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    // The loader reads no further than the header's file size.
    if (m.image.size() >= BMP_FILE_SIZE + 4) {
        size_t declared = readLe32(m.image.data() + BMP_FILE_SIZE);
        if (declared < m.image.size())
            m.image.resize(declared);
    }
    if (BitmapFault f = bitmapHeaderFault(m.image.data(), m.image.size(), &m.shape); f)
        m.problem = path + ": " + faultText(f, m.image);
    else if (checkPixelRowsFit(m.image.data(), m.image.size(), &m.shape))
        m.problem = path + ": is cut short: its pixel rows end past the end of the file";
    return m;
}

} // namespace

// The loader opens the named file and, for a capture over black, its
// companions when they exist. Opening a FIFO waits for a writer, for ever if
// none comes, and a device may do as badly; so each is looked at with stat()
// before anything opens it, then opened without waiting and looked at again,
// so that a file swapped in between is seen as well. A missing or unreadable
// file is left to the set's check, which names it.
std::string irregularSetFile(const std::string &logo) {
    std::vector<std::string> members{logo};
    if (logo.size() >= 5 && logo[logo.size() - 5] == '0')
        for (char digit : {'1', '2'})
            members.push_back(logoSetMember(logo, digit));
    for (const std::string &path : members) {
        struct stat named {};
        if (stat(path.c_str(), &named) != 0)
            continue;
        bool regular = S_ISREG(named.st_mode);
        if (regular) {
            const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd < 0)
                continue;
            struct stat opened {};
            regular = fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
                      opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
            close(fd);
        }
        if (!regular)
            return path + ": not a regular file (a FIFO, a device or a folder); a bitmap set is "
                          "files of the disk";
    }
    return "";
}

std::string logoSetMember(const std::string &logo, char digit) {
    std::string path = logo;
    if (path.size() >= 5)
        path[path.size() - 5] = digit;
    return path;
}

LogoSetCheck checkLogoSet(const std::string &path) {
    LogoSetCheck check;
    const std::string naming =
        ": the name must end in 0 (the logo over black) or 2 (the interpolate mask) "
        "before a three-letter extension, as in logo0.bmp";
    if (std::string irregular = irregularSetFile(path); !irregular.empty()) {
        check.problem = irregular;
        return check;
    }
    if (path.size() < 5 || path.find('.') == std::string::npos ||
        (path[path.size() - 5] != '0' && path[path.size() - 5] != '2')) {
        check.problem = path + naming;
        return check;
    }
    Member first = readMember(path);
    if (!first.problem.empty()) {
        check.problem = first.problem;
        return check;
    }
    check.width = first.shape.width;
    check.height = first.shape.height;
    if (path[path.size() - 5] == '2')
        return check;
    const std::string firstSize = sizeText(first.shape.width, first.shape.height);
    for (char companion : {'1', '2'}) {
        const std::string other = logoSetMember(path, companion);
        if (!std::filesystem::exists(other))
            continue;
        Member m = readMember(other);
        const char *role = companion == '1' ? "capture over white" : "interpolate mask";
        if (!m.problem.empty()) {
            check.problem = m.problem;
            return check;
        }
        const std::string size = sizeText(m.shape.width, m.shape.height);
        // The loader reads a companion with the black bitmap's shape.
        if (checkPixelRowsFit(m.image.data(), m.image.size(), &first.shape)) {
            check.problem = other + ": the " + std::string(role) + " is " + size +
                            ", smaller than " + path + " (" + firstSize +
                            "); every capture of a set must have the same size";
            return check;
        }
        if (m.shape.width != first.shape.width || m.shape.height != first.shape.height)
            check.warnings.push_back(other + ": the " + role + " is " + size + " but " + path +
                                     " is " + firstSize + "; the filter reads it as " + firstSize +
                                     (m.shape.width != first.shape.width
                                          ? " rows of the wrong length, so its pixels "
                                            "land in the wrong places"
                                          : ", leaving out its top lines") +
                                     ": crop it to the same size");
    }
    return check;
}

std::string logoSetProblem(const std::string &path) {
    if (path.empty())
        return "no logo given: name its bitmap with --logo or use a job file with --job";
    LogoSetCheck check = checkLogoSet(path);
    if (!check.problem.empty())
        return check.problem;
    std::string text = path + ": the filter refused this logo set: every pixel the interpolate "
                              "mask marks needs clean pixels (the key colour of its bottom-left "
                              "pixel) between it and each edge of the bitmap";
    for (const std::string &w : check.warnings)
        text += " (also " + w + ")";
    return text;
}

} // namespace pendra::cli
