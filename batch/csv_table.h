// Reading a CSV table as spreadsheets write it: fields split by commas,
// quoted with double quotes when they hold commas, quotes or line breaks, a
// quote inside doubled. Nothing here knows what the columns mean.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pendra::batch {

struct CsvRecord {
    int line = 0; // where the record starts, from 1
    std::vector<std::string> fields;
};

// The records of `text`, blank lines left out. On a quote left open, returns
// nothing and sets `errorLine` to the line where the quoted field began.
std::optional<std::vector<CsvRecord>> parseCsv(const std::string &text, int &errorLine);

} // namespace pendra::batch
