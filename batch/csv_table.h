// Reading a CSV table as RFC 4180 has it, and as spreadsheets write it:
// fields split by commas, quoted with double quotes when they hold commas,
// quotes or line breaks, a quote inside doubled. What the rules do not allow
// (a quote inside a field that is not quoted, text after a quoted field's
// closing quote, a quote never closed) is refused with its line rather than
// guessed at, since a guess can merge two rows into one. Nothing here knows
// what the columns mean.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pendra::batch {

struct CsvRecord {
    int line = 0; // where the record starts, from 1
    std::vector<std::string> fields;
};

// Where and why a text is not CSV.
struct CsvError {
    int line = 0; // from 1
    std::string problem;
};

// The records of `text`, blank lines left out. On text the rules do not
// allow, returns nothing and fills `error` (a quote left open: the line
// where its field began).
std::optional<std::vector<CsvRecord>> parseCsv(const std::string &text, CsvError &error);

} // namespace pendra::batch
