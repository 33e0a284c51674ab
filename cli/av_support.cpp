#include "cli/av_support.h"

#include <cctype>
#include <cstring>

namespace pendra::cli {

namespace {

// "No such file" becomes "no such file"; "EOF" stays.
std::string asClause(std::string s) {
    if (!s.empty() && std::isupper(static_cast<unsigned char>(s[0])) &&
        !(s.size() > 1 && std::isupper(static_cast<unsigned char>(s[1]))))
        s[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[0])));
    return s;
}

} // namespace

std::string avErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return asClause(text);
}

std::string systemErrorText(int error) {
    return asClause(std::strerror(error));
}

FramePtr makeFrame() {
    FramePtr f(av_frame_alloc());
    if (!f)
        throw CliError("out of memory");
    return f;
}

PacketPtr makePacket() {
    PacketPtr p(av_packet_alloc());
    if (!p)
        throw CliError("out of memory");
    return p;
}

} // namespace pendra::cli
