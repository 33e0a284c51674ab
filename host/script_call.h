// One call of the video host's script language, such as
//     Config("D:\\logos\\news0.bmp",1, 2, 600, 20, 0, 0, 0, 0, 255, 661800, 332810, 230, 0, 10)
// parsed from text, checked against the signature in a filter's script
// function table, and run on a filter instance. Nothing reaches the instance
// unless the whole call is valid.
#pragma once

#include "host/filter_instance.h"
#include "host/host_error.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pendra::host {

// A script line that cannot be parsed or run: where it comes from (a file
// name, or empty), the line's number (0 when it came from no file) and text,
// and what is wrong with it.
class ScriptError : public HostError {
  public:
    ScriptError(int line, std::string text, std::string reason, const std::string &source = {});
    int line() const { return line_; }
    const std::string &text() const { return text_; }
    const std::string &reason() const { return reason_; }

  private:
    int line_;
    std::string text_;
    std::string reason_;
};

// The fault in a script text, without the line; parsers throw it and callers
// that know the line turn it into a ScriptError.
class ScriptSyntaxError : public HostError {
  public:
    using HostError::HostError;
};

struct ScriptArgument {
    bool isString = false;
    std::string text;   // a string argument's characters, escapes resolved
    int32_t number = 0; // an integer argument
};

struct ScriptCall {
    std::string function;
    std::vector<ScriptArgument> arguments;
};

// Parses a call that begins at text[pos]: a name, then a bracketed list of
// string literals (double quotes, backslash escapes) and decimal integers
// that may be negative, blanks allowed between tokens. On return pos is just
// past the closing bracket. Throws ScriptSyntaxError.
ScriptCall parseScriptCall(std::string_view text, size_t &pos);
// Parses text that holds one call and nothing else but blanks.
ScriptCall parseScriptCall(std::string_view text);

// The name the instance's filter registered (empty when it gave none).
std::string filterName(FilterInstance &instance);

// The instance's script text from its script-string callback. Throws
// HostError when the filter has none or its text does not fit the host's
// largest buffer.
std::string scriptTextOf(FilterInstance &instance);

// Finds the call's function in the instance's script function table, checks
// the arguments against its signature, and calls it with the activation
// record. Throws ScriptSyntaxError, leaving the instance untouched, when the
// function is unknown or the arguments do not match.
void runScriptCall(FilterInstance &instance, const ScriptCall &call);

// Parses and runs one line of script text; any fault is a ScriptError naming
// the line.
void runScriptLine(FilterInstance &instance, std::string_view text, int line = 0);

} // namespace pendra::host
