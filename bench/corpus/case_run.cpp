// One case's runs. Every output is FFV1 so that only the method is scored.
// delogo is enabled over the presence ranges, as a user who knows them would.
#include "bench/corpus/case_run.h"

#include "bench/corpus/opacity_error.h"
#include "bench/corpus/run_command.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>

namespace fs = std::filesystem;

namespace pendra::corpus {

namespace {

double timed(const std::string &command, int &status) {
    const auto started = std::chrono::steady_clock::now();
    status = commandStatus(command);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

std::string delogoFilter(const CaseMedia &m) {
    std::string enable;
    for (const Range &r : m.schedule.ranges)
        enable += (enable.empty() ? "" : "+") + std::string("between(n,") +
                  std::to_string(r.start) + "," + std::to_string(r.end) + ")";
    // delogo keeps its rectangle's outermost pixels and interpolates inside
    // from them: the true box grown by one pixel.
    return "delogo=x=" + std::to_string(m.x - 1) + ":y=" + std::to_string(m.y - 1) +
           ":w=" + std::to_string(m.art.width + 2) + ":h=" + std::to_string(m.art.height + 2) +
           ":enable='" + enable + "'";
}

bool holdsCentre(const nlohmann::json &rect, const CaseMedia &m) {
    const int cx = m.x + m.art.width / 2, cy = m.y + m.art.height / 2;
    const int x = rect["x"].get<int>(), y = rect["y"].get<int>();
    return cx >= x && cy >= y && cx < x + rect["width"].get<int>() &&
           cy < y + rect["height"].get<int>();
}

// The rectangle analysis.json chose, whether it is only repaired, and where
// the candidate holding the true logo's centre ranked.
void readFound(const fs::path &json, const CaseMedia &m, CaseResult &r) {
    std::ifstream in(json);
    if (!in)
        return;
    const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
    if (j.is_discarded())
        return;
    if (j.contains("candidates"))
        for (size_t i = 0; i < j["candidates"].size() && r.trueRank == 0; ++i)
            if (holdsCentre(j["candidates"][i]["rect"], m))
                r.trueRank = int(i) + 1;
    if (!j.contains("rect") || j["rect"]["width"].get<int>() == 0)
        return;
    const nlohmann::json &rect = j["rect"];
    r.found = true;
    r.foundX = rect["x"].get<int>(), r.foundY = rect["y"].get<int>();
    r.foundWidth = rect["width"].get<int>(), r.foundHeight = rect["height"].get<int>();
    r.repairOnly = j.value("repairOnly", false);
}

} // namespace

CaseResult runCase(const CaseMedia &m, const std::string &pendra) {
    const fs::path work = m.input.parent_path();
    const fs::path delogo = work / "delogo.mkv", captures = work / "true.mkv",
                   automatic = work / "auto.mkv";
    for (const fs::path &old : {delogo, captures, automatic})
        fs::remove(old);
    fs::remove_all(work / "auto-logo");
    runCommand("ffmpeg -v error -nostdin -y -i " + m.input.string() + " -vf \"" + delogoFilter(m) +
               "\" -fps_mode passthrough -c:v ffv1 -threads 1 " + delogo.string());
    CaseResult r;
    int status = 0;
    r.trueSeconds = timed(pendra + " process " + m.input.string() + " " + captures.string() +
                              " --job " + m.trueJob.string() + " --codec ffv1 -y >" +
                              (work / "true.log").string() + " 2>&1",
                          status);
    if (status != 0)
        runCommand("cat " + (work / "true.log").string() + " >&2; false");
    r.autoSeconds = timed(pendra + " process " + m.input.string() + " " + automatic.string() +
                              " --auto --codec ffv1 -y >" + (work / "auto.log").string() + " 2>&1",
                          status);
    r.refused = status != 0;
    if (r.refused) {
        // The reason alone: the line names the program and the input first.
        r.message = lastLine((work / "auto.log").string());
        const size_t named = r.message.find(m.input.string() + ": ");
        if (named != std::string::npos)
            r.message.erase(0, named + m.input.string().size() + 2);
    }
    readFound(work / "auto-logo" / "analysis.json", m, r);
    CaseScores scores =
        scoreShots(m, {m.input, delogo, captures, r.refused ? fs::path() : automatic});
    r.shots = std::move(scores.shots);
    r.awayFrames = scores.awayFrames;
    r.awayPsnr = scores.awayPsnr;
    if (r.found && !r.repairOnly)
        r.opacityError = opacityError(m, work / "auto-logo", r.foundX, r.foundY);
    return r;
}

} // namespace pendra::corpus
