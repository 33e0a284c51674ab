#include "batch/batch_progress.h"

#include "cli/progress.h"

#include <cmath>
#include <cstdio>

namespace pendra::batch {

std::string batchProgressLine(const BatchProgressState &s, double seconds) {
    char text[160];
    std::string line =
        "batch: " + std::to_string(s.finished) + " of " + std::to_string(s.toDo) + " files";
    if (s.failed > 0)
        line += ", " + std::to_string(s.failed) + " failed";
    if (seconds > 0 && s.frames > 0) {
        std::snprintf(text, sizeof text, ", %.1f fps", static_cast<double>(s.frames) / seconds);
        line += text;
    }
    const double doneShare = s.finished + s.runningShare;
    if (doneShare > 0.05 && s.finished < s.toDo) {
        line += ", " + cli::clockText(std::lround(seconds / doneShare * (s.toDo - doneShare))) +
                " left";
    }
    return line;
}

} // namespace pendra::batch
