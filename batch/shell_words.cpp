#include "batch/shell_words.h"

#include <cstring>

namespace pendra::batch {

std::optional<std::vector<std::string>> splitShellWords(const std::string &line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false; // "" is a word of its own, so quotes start one
    for (size_t at = 0; at < line.size(); ++at) {
        char c = line[at];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            if (++at == line.size())
                return std::nullopt;
            if (line[at] != '\n') // an escaped line break joins the lines
                word += line[at];
        } else if (c == '\'') {
            size_t close = line.find('\'', at + 1);
            if (close == std::string::npos)
                return std::nullopt;
            word += line.substr(at + 1, close - at - 1);
            at = close;
        } else if (c == '"') {
            for (++at;; ++at) {
                if (at == line.size())
                    return std::nullopt;
                if (line[at] == '"')
                    break;
                if (line[at] == '\\' && at + 1 < line.size() &&
                    std::strchr("\"\\$`\n", line[at + 1])) {
                    if (line[++at] != '\n')
                        word += line[at];
                } else {
                    word += line[at];
                }
            }
        } else {
            word += c;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

} // namespace pendra::batch
