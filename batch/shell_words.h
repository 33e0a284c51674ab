// Splitting a line of options into words as a POSIX shell would, without
// running one: blanks separate words, single quotes keep everything, double
// quotes keep all but \" \\ \$ and \`, a backslash outside quotes keeps the
// next character. Nothing is expanded: no variables, globs or commands.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pendra::batch {

// The words of `line`; nothing when a quote is left open or the line ends in
// a lone backslash.
std::optional<std::vector<std::string>> splitShellWords(const std::string &line);

} // namespace pendra::batch
