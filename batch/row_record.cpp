#include "batch/row_record.h"

#include "cli/config_line.h"
#include "cli/filter_session.h"
#include "cli/job_run_options.h"
#include "cli/logo_set_check.h"
#include "host/host_error.h"
#include "host/job_script.h"
#include "module/user_settings.h"

#include "cli/av_support.h"
#include "cli/output_file.h"
#include "pendra_version.h"

#include <nlohmann/json.hpp>

extern "C" {
#include <libavutil/sha.h>
}

#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace pendra::batch {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace {

bool readWhole(const fs::path &path, std::string &bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::stringstream text;
    text << in.rdbuf();
    bytes = text.str();
    return !in.bad();
}

json stampJson(const FileStamp &s) {
    return {{"size", s.size}, {"modified_ns", s.modified}};
}

FileStamp stampFrom(const json &j) {
    return {j.at("size").get<int64_t>(), j.at("modified_ns").get<int64_t>()};
}

// Hex SHA-256 of the bytes.
std::string sha256Hex(const std::string &bytes) {
    std::unique_ptr<AVSHA, decltype(&av_free)> sha(av_sha_alloc(), &av_free);
    if (!sha)
        throw std::bad_alloc();
    av_sha_init(sha.get(), 256);
    av_sha_update(sha.get(), reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    uint8_t digest[32];
    av_sha_final(sha.get(), digest);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : digest) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

} // namespace

std::optional<FileStamp> stampOf(const fs::path &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileStamp{static_cast<int64_t>(st.st_size),
                     static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::vector<fs::path> logoSets(const ManifestRow &row) {
    std::vector<fs::path> sets;
    if (row.job) {
        try {
            for (const host::JobEntry &e : host::readJobFile(row.job->string()))
                if (std::optional<cli::ConfigValues> v = cli::parseConfigLine(e.call);
                    v && !v->logo.empty())
                    // The worker runs in the manifest's folder, so a relative
                    // capture is found there whatever folder asks.
                    sets.push_back(row.folder / v->logo);
        } catch (const host::HostError &) {
            // An unreadable job fails its row when run; its bytes are hashed as they are.
        }
    }
    if (row.logo)
        sets.push_back(*row.logo);
    return sets;
}

namespace {

// Whether the row's output can depend on the defaults file: a new instance
// takes every setting from it, and a job's Config call holds all but the run
// settings (noise, feather), which the options or the job's run-settings
// line (as `pendra process --save-job` writes it) may give instead. A job
// saved by the video host has no such line.
bool readsDefaultsFile(const ManifestRow &row) {
    if (!row.job)
        return true;
    try {
        cli::SettingOptions settings = cli::parseOptions(processArguments(row)).settings;
        cli::takeRunOptions(row.job->string(), settings);
        for (size_t i = 0; i < userSettingCount; ++i)
            if (userSettings[i].use == SETTING_RUN && !settings.get(userSettings[i].name))
                return true;
        return false;
    } catch (const cli::CliError &) {
        return true; // the row fails when run; hashing more costs nothing
    }
}

// The defaults file the row's worker reads: the one PENDRA_DEFAULTS_FILE
// names (the worker runs in the manifest's folder, so a relative name is
// found there), else the one installed beside this program.
fs::path defaultsFileOf(const ManifestRow &row) {
    fs::path file = cli::installedDefaultsFile();
    return file.is_relative() ? row.folder / file : file;
}

} // namespace

std::optional<std::string> settingsHash(const ManifestRow &row) {
    // Each part tagged and its length given, so no two settings run together alike.
    std::string text = "pendra batch settings 3\n";
    if (row.job) {
        std::string bytes;
        if (!readWhole(*row.job, bytes))
            return std::nullopt;
        text += "job " + std::to_string(bytes.size()) + "\n" + bytes;
    } else {
        text += "no job\n";
    }
    for (const std::string &w : row.options)
        text += "option " + std::to_string(w.size()) + "\n" + w;
    // A capture made again under the same name changes the output too.
    for (const fs::path &set : logoSets(row))
        for (char digit : {'0', '1', '2'}) {
            std::string bytes;
            if (readWhole(cli::logoSetMember(set.string(), digit), bytes))
                text += "capture " + std::to_string(bytes.size()) + "\n" + bytes;
            else
                text += "no capture\n";
        }
    // Settings the row does not give are the defaults file's; one missing is
    // the module's built-in values.
    if (readsDefaultsFile(row)) {
        std::string bytes;
        if (readWhole(defaultsFileOf(row), bytes))
            text += "defaults " + std::to_string(bytes.size()) + "\n" + bytes;
        else
            text += "no defaults\n";
    }
    return sha256Hex(text);
}

fs::path recordPath(const fs::path &stateFolder, const ManifestRow &row) {
    // Named by a hash of the output's path alone: any name an output may
    // have gives a record's name of the same short length.
    return stateFolder / "records" / (sha256Hex(row.output.string()) + ".json");
}

std::optional<RowRecord> readRecord(const fs::path &path) {
    std::string bytes;
    if (!readWhole(path, bytes))
        return std::nullopt;
    try {
        json j = json::parse(bytes);
        RowRecord r;
        r.version = j.at("version").get<std::string>();
        r.settings = j.at("settings").get<std::string>();
        r.input = stampFrom(j.at("input"));
        r.output = stampFrom(j.at("output"));
        r.frames = j.value("frames", int64_t{0});
        r.started = j.value("started", 0.0);
        r.seconds = j.value("seconds", 0.0);
        r.host = j.value("host", std::string());
        for (const char *key : {"made", "placing"})
            if (j.contains(key))
                for (const auto &entry : j.at(key).items())
                    (key == std::string("made") ? r.made : r.placing)[entry.key()] =
                        stampFrom(entry.value());
        return r;
    } catch (const json::exception &) {
        return std::nullopt; // a damaged record vouches for nothing
    }
}

void writeRecord(const fs::path &path, const RowRecord &r) {
    json j = {{"version", r.version},        {"settings", r.settings},
              {"input", stampJson(r.input)}, {"output", stampJson(r.output)},
              {"frames", r.frames},          {"started", r.started},
              {"seconds", r.seconds},        {"host", r.host}};
    json made = json::object();
    for (const auto &[file, stamp] : r.made)
        made[file] = stampJson(stamp);
    j["made"] = made;
    if (!r.placing.empty()) {
        json placing = json::object();
        for (const auto &[file, stamp] : r.placing)
            placing[file] = stampJson(stamp);
        j["placing"] = placing;
    }
    cli::writeWholeFile(path, j.dump(2) + "\n");
}

std::optional<RowRecord> currentRecord(const fs::path &stateFolder, const ManifestRow &row) {
    std::optional<RowRecord> record = readRecord(recordPath(stateFolder, row));
    if (!record || record->version != PENDRA_VERSION)
        return std::nullopt;
    std::optional<std::string> settings = settingsHash(row);
    std::optional<FileStamp> input = stampOf(row.input), output = stampOf(row.output);
    if (!settings || *settings != record->settings || !input || *input != record->input ||
        !output || *output != record->output)
        return std::nullopt;
    return record;
}

} // namespace pendra::batch
