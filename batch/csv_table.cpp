#include "batch/csv_table.h"

namespace pendra::batch {

std::optional<std::vector<CsvRecord>> parseCsv(const std::string &text, CsvError &error) {
    enum class State {
        FieldStart, // nothing of the field read yet
        Plain,      // in a field without quotes
        Quoted,     // inside a quoted field
        Closed      // after a quoted field's closing quote
    };
    std::vector<CsvRecord> records;
    CsvRecord record;
    std::string field;
    State state = State::FieldStart;
    bool anyField = false; // the record has text, a quote or a separator so far
    int line = 1, quoteLine = 0;
    record.line = 1;
    auto endField = [&] {
        record.fields.push_back(field);
        field.clear();
        state = State::FieldStart;
    };
    auto endRecord = [&] {
        if (anyField) {
            endField();
            records.push_back(record);
        }
        record = CsvRecord{};
        record.line = line;
        field.clear();
        state = State::FieldStart;
        anyField = false;
    };
    auto refuse = [&](std::string problem) {
        error = CsvError{line, std::move(problem)};
        return std::nullopt;
    };
    // A byte order mark, as some spreadsheets write, is not part of the first name.
    size_t at = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (state == State::Quoted) {
            if (c == '"' && at + 1 < text.size() && text[at + 1] == '"') {
                field += '"';
                ++at;
            } else if (c == '"') {
                state = State::Closed;
            } else {
                if (c == '\n')
                    ++line;
                field += c;
            }
            continue;
        }
        // A line ends with LF or CR LF; a CR alone ends nothing.
        if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n')
            continue;
        if (c == '\n') {
            ++line;
            endRecord();
        } else if (c == ',') {
            endField();
            anyField = true;
        } else if (state == State::Closed) {
            return refuse(std::string("text after the closing quote of a quoted field (a quote "
                                      "inside one is written twice: \"\")"));
        } else if (c == '"') {
            if (state == State::Plain) {
                // The field as written, and as it would be quoted.
                std::string whole = field + text.substr(at, text.find_first_of(",\r\n", at) - at);
                std::string quoted;
                for (char w : whole)
                    quoted += w == '"' ? std::string("\"\"") : std::string(1, w);
                return refuse("a quote inside a field that does not start with one: " + whole +
                              " (to keep it, quote the field and double its quotes: \"" + quoted +
                              "\")");
            }
            state = State::Quoted;
            quoteLine = line;
            anyField = true;
        } else if (c == '\r') {
            return refuse("a carriage return that does not end a line, outside quotes");
        } else {
            field += c;
            state = State::Plain;
            anyField = true;
        }
    }
    if (state == State::Quoted) {
        error = CsvError{quoteLine, "a quote is not closed"};
        return std::nullopt;
    }
    endRecord();
    return records;
}

} // namespace pendra::batch
