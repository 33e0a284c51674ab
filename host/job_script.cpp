#include "host/job_script.h"

#include <fstream>
#include <istream>
#include <ostream>

namespace pendra::host {

namespace {

constexpr std::string_view chainPrefix = "VirtualDub.video.filters.";
constexpr std::string_view instancePrefix = "instance[";

size_t skipBlanks(std::string_view text, size_t pos) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    return pos;
}

bool startsWith(std::string_view text, size_t pos, std::string_view prefix) {
    return text.substr(pos, prefix.size()) == prefix;
}

// The filter index of "instance[N]." at pos; pos moves past it.
size_t instanceIndex(std::string_view text, size_t &pos) {
    pos += instancePrefix.size();
    size_t first = pos;
    size_t index = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - first < 9)
        index = index * 10 + static_cast<size_t>(text[pos++] - '0');
    if (pos == first || !startsWith(text, pos, "]."))
        throw ScriptSyntaxError("expected instance[N]. with a filter number N");
    pos += 2;
    return index;
}

// The call's text with the escapes a string literal needs.
std::string quoted(const std::string &text) {
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '\\' || ch == '"')
            out += '\\';
        out += ch;
    }
    return out + "\"";
}

// Reads one statement into the chain; a blank or comment line is none.
void readStatement(std::string_view text, int line, std::vector<JobEntry> &entries) {
    size_t pos = skipBlanks(text, 0);
    if (pos == text.size() || startsWith(text, pos, "//"))
        return;
    if (!startsWith(text, pos, chainPrefix))
        throw ScriptSyntaxError("expected a statement beginning " + std::string(chainPrefix));
    pos += chainPrefix.size();

    if (startsWith(text, pos, instancePrefix)) {
        size_t index = instanceIndex(text, pos);
        size_t callStart = pos;
        parseScriptCall(text, pos);
        if (index >= entries.size())
            throw ScriptSyntaxError("instance[" + std::to_string(index) + "] names no filter: " +
                                    std::to_string(entries.size()) + " added so far");
        JobEntry &entry = entries[index];
        if (!entry.call.empty())
            throw ScriptSyntaxError("instance[" + std::to_string(index) +
                                    "] is configured already on line " +
                                    std::to_string(entry.line));
        entry.call = std::string(text.substr(callStart, pos - callStart));
        entry.line = line;
        entry.lineText = std::string(text);
    } else {
        ScriptCall call = parseScriptCall(text, pos);
        if (call.function == "Clear" && call.arguments.empty()) {
            entries.clear();
        } else if (call.function == "Add" && call.arguments.size() == 1 &&
                   call.arguments[0].isString) {
            entries.push_back(JobEntry{call.arguments[0].text, {}, 0, {}});
        } else {
            throw ScriptSyntaxError("expected Clear() or Add(\"filter name\"), not " +
                                    call.function + " with " +
                                    std::to_string(call.arguments.size()) + " arguments");
        }
    }

    pos = skipBlanks(text, pos);
    if (pos == text.size() || text[pos] != ';')
        throw ScriptSyntaxError("missing ';' after the call");
    pos = skipBlanks(text, pos + 1);
    if (pos != text.size() && !startsWith(text, pos, "//"))
        throw ScriptSyntaxError("unexpected text after ';'");
}

} // namespace

std::vector<JobEntry> readJobScript(std::istream &in, const std::string &source) {
    std::vector<JobEntry> entries;
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        try {
            readStatement(text, line, entries);
        } catch (const ScriptSyntaxError &e) {
            throw ScriptError(line, text, e.what(), source);
        }
    }
    return entries;
}

std::vector<JobEntry> readJobFile(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw HostError(file.string() + ": cannot open the job file");
    return readJobScript(in, file.string());
}

void writeJobScript(std::ostream &out, const std::vector<JobEntry> &entries) {
    for (const JobEntry &entry : entries) {
        // A call the reader could not take back is refused before anything is written.
        try {
            if (!entry.call.empty())
                parseScriptCall(entry.call);
        } catch (const ScriptSyntaxError &e) {
            throw HostError(entry.filterName + ": cannot save the call " + entry.call + ": " +
                            e.what());
        }
        if (entry.call.find_first_of("\r\n") != std::string::npos ||
            entry.filterName.find_first_of("\r\n") != std::string::npos)
            throw HostError(entry.filterName + ": a job line cannot hold a line break");
    }
    out << "// Pendra job: the filters in order, each followed by the call that sets it up.\n";
    out << chainPrefix << "Clear();\n";
    for (size_t k = 0; k < entries.size(); ++k) {
        out << chainPrefix << "Add(" << quoted(entries[k].filterName) << ");\n";
        if (!entries[k].call.empty())
            out << chainPrefix << instancePrefix << k << "]." << entries[k].call << ";\n";
    }
}

void writeJobFile(const std::filesystem::path &file, const std::vector<JobEntry> &entries) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        throw HostError(file.string() + ": cannot write the job file");
    writeJobScript(out, entries);
    out.close();
    if (!out)
        throw HostError(file.string() + ": cannot write the job file");
}

JobEntry jobEntryOf(FilterInstance &instance) {
    return JobEntry{filterName(instance), scriptTextOf(instance), 0, {}};
}

void applyJobEntry(FilterInstance &instance, const JobEntry &entry) {
    const std::string &text = entry.lineText.empty() ? entry.call : entry.lineText;
    if (entry.filterName != filterName(instance))
        throw ScriptError(entry.line, text,
                          "the line configures " + entry.filterName + ", not " +
                              filterName(instance));
    if (entry.call.empty())
        return;
    try {
        runScriptCall(instance, parseScriptCall(entry.call));
    } catch (const ScriptSyntaxError &e) {
        throw ScriptError(entry.line, text, e.what());
    }
}

} // namespace pendra::host
