#include "batch/csv_table.h"

namespace pendra::batch {

std::optional<std::vector<CsvRecord>> parseCsv(const std::string &text, int &errorLine) {
    std::vector<CsvRecord> records;
    CsvRecord record;
    std::string field;
    bool quoted = false;   // inside a quoted field
    bool anyField = false; // the record has text or a separator so far
    int line = 1, quoteLine = 0;
    record.line = 1;
    auto endRecord = [&] {
        if (anyField) {
            record.fields.push_back(field);
            records.push_back(record);
        }
        record = CsvRecord{};
        record.line = line;
        field.clear();
        anyField = false;
    };
    // A byte order mark, as some spreadsheets write, is not part of the first name.
    size_t at = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    for (; at < text.size(); ++at) {
        char c = text[at];
        if (quoted) {
            if (c == '"' && at + 1 < text.size() && text[at + 1] == '"') {
                field += '"';
                ++at;
            } else if (c == '"') {
                quoted = false;
            } else {
                if (c == '\n')
                    ++line;
                field += c;
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
            quoteLine = line;
            anyField = true;
        } else if (c == ',') {
            record.fields.push_back(field);
            field.clear();
            anyField = true;
        } else if (c == '\n') {
            ++line;
            endRecord();
        } else if (c != '\r') {
            field += c;
            anyField = true;
        }
    }
    if (quoted) {
        errorLine = quoteLine;
        return std::nullopt;
    }
    endRecord();
    return records;
}

} // namespace pendra::batch
