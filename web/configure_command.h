// pendra configure: the configuration page for a video, served until the
// page says stop or the user presses Ctrl-C.
#pragma once

#include "cli/options.h"

namespace pendra::web {

int runConfigure(const cli::Options &options);

} // namespace pendra::web
