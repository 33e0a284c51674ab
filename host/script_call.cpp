#include "host/script_call.h"

#include <climits>

namespace pendra::host {

namespace {

std::string describeLine(const std::string &source, int line, const std::string &text,
                         const std::string &reason) {
    std::string where = line > 0 ? "line " + std::to_string(line) : "script line";
    if (!source.empty())
        where = source + " " + where;
    return where + ": " + reason + "\n    " + text;
}

bool isBlank(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

bool isNameStart(char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || ch == '_';
}

bool isDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

// Reads the characters of a script text one token at a time.
class Scanner {
  public:
    Scanner(std::string_view text, size_t pos) : text_(text), pos_(pos) {}
    size_t pos() const { return pos_; }

    void skipBlanks() {
        while (pos_ < text_.size() && isBlank(text_[pos_]))
            ++pos_;
    }
    // The next character after blanks, or '\0' at the end of the text.
    char peek() {
        skipBlanks();
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }
    bool take(char ch) {
        if (peek() != ch)
            return false;
        ++pos_;
        return true;
    }

    std::string name() {
        if (!isNameStart(peek()))
            throw ScriptSyntaxError("expected a function name");
        size_t first = pos_;
        while (pos_ < text_.size() && (isNameStart(text_[pos_]) || isDigit(text_[pos_])))
            ++pos_;
        return std::string(text_.substr(first, pos_ - first));
    }

    // A string literal, the opening quote next.
    std::string string(size_t argument) {
        ++pos_;
        std::string out;
        while (pos_ < text_.size() && text_[pos_] != '"') {
            char ch = text_[pos_++];
            if (ch == '\\') {
                if (pos_ >= text_.size())
                    break;
                out += unescape(text_[pos_++], argument);
            } else {
                out += ch;
            }
        }
        if (pos_ >= text_.size())
            throw ScriptSyntaxError("argument " + std::to_string(argument) +
                                    ": unterminated string");
        ++pos_;
        return out;
    }

    // A decimal integer with an optional minus sign, within 32 bits.
    int32_t integer(size_t argument) {
        bool negative = text_[pos_] == '-';
        if (negative)
            ++pos_;
        if (pos_ >= text_.size() || !isDigit(text_[pos_]))
            throw ScriptSyntaxError("argument " + std::to_string(argument) +
                                    ": expected a string or an integer");
        long long magnitude = 0;
        while (pos_ < text_.size() && isDigit(text_[pos_])) {
            magnitude = magnitude * 10 + (text_[pos_++] - '0');
            if (magnitude > static_cast<long long>(INT_MAX) + 1)
                throw ScriptSyntaxError("argument " + std::to_string(argument) +
                                        ": integer out of range");
        }
        long long value = negative ? -magnitude : magnitude;
        if (value > INT_MAX)
            throw ScriptSyntaxError("argument " + std::to_string(argument) +
                                    ": integer out of range");
        return static_cast<int32_t>(value);
    }

  private:
    static char unescape(char letter, size_t argument) {
        switch (letter) {
        case '\\':
            return '\\';
        case '"':
            return '"';
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case 't':
            return '\t';
        default:
            throw ScriptSyntaxError("argument " + std::to_string(argument) + ": unknown escape \\" +
                                    std::string(1, letter) +
                                    " in string (write a backslash as \\\\)");
        }
    }

    std::string_view text_;
    size_t pos_;
};

const char *kindName(bool isString) {
    return isString ? "a string" : "an integer";
}

} // namespace

ScriptError::ScriptError(int line, std::string text, std::string reason, const std::string &source)
    : HostError(describeLine(source, line, text, reason)), line_(line), text_(std::move(text)),
      reason_(std::move(reason)) {}

ScriptCall parseScriptCall(std::string_view text, size_t &pos) {
    Scanner scan(text, pos);
    ScriptCall call;
    call.function = scan.name();
    if (!scan.take('('))
        throw ScriptSyntaxError("expected '(' after " + call.function);
    if (!scan.take(')')) {
        for (;;) {
            size_t argument = call.arguments.size() + 1;
            ScriptArgument value;
            char next = scan.peek();
            if (next == '"') {
                value.isString = true;
                value.text = scan.string(argument);
            } else if (next == '-' || isDigit(next)) {
                value.number = scan.integer(argument);
            } else {
                throw ScriptSyntaxError("argument " + std::to_string(argument) +
                                        ": expected a string or an integer");
            }
            call.arguments.push_back(std::move(value));
            if (scan.take(')'))
                break;
            if (!scan.take(','))
                throw ScriptSyntaxError("expected ',' or ')' after argument " +
                                        std::to_string(argument));
        }
    }
    pos = scan.pos();
    return call;
}

ScriptCall parseScriptCall(std::string_view text) {
    size_t pos = 0;
    ScriptCall call = parseScriptCall(text, pos);
    Scanner rest(text, pos);
    if (rest.peek() != '\0')
        throw ScriptSyntaxError("unexpected text after the call");
    return call;
}

std::string filterName(FilterInstance &instance) {
    const char *name = instance.definition().name;
    return name ? name : "";
}

std::string scriptTextOf(FilterInstance &instance) {
    const FilterDefinition &def = instance.definition();
    if (!def.fssProc)
        throw HostError(filterName(instance) + ": the filter saves no script text");
    // Ample for any call a filter writes; the filter refuses a text it had to cut.
    std::vector<char> buffer(4096);
    for (; buffer.size() <= 65536; buffer.resize(buffer.size() * 4)) {
        if (def.fssProc(&instance.activation(), &instance.functions(), buffer.data(),
                        static_cast<int>(buffer.size())))
            return std::string(buffer.data());
    }
    throw HostError(filterName(instance) + ": the filter gave no script text");
}

void runScriptCall(FilterInstance &instance, const ScriptCall &call) {
    const FilterDefinition &def = instance.definition();
    const ScriptFunctionDef *function = nullptr;
    if (def.script_obj && def.script_obj->func_list)
        for (const ScriptFunctionDef *f = def.script_obj->func_list; f->name; ++f)
            if (call.function == f->name)
                function = f;
    if (!function || !function->func_ptr || !function->arg_list)
        throw ScriptSyntaxError(filterName(instance) + " has no script function " + call.function);

    // The signature: the result's kind, then one letter per argument.
    std::string_view expected = function->arg_list;
    expected.remove_prefix(expected.empty() ? 0 : 1);
    if (call.arguments.size() != expected.size())
        throw ScriptSyntaxError(call.function + " takes " + std::to_string(expected.size()) +
                                " arguments, not " + std::to_string(call.arguments.size()));
    for (size_t k = 0; k < expected.size(); ++k) {
        if (expected[k] != 's' && expected[k] != 'i')
            throw ScriptSyntaxError(call.function + ": argument kind '" +
                                    std::string(1, expected[k]) + "' is not supported");
        bool wantString = expected[k] == 's';
        if (call.arguments[k].isString != wantString)
            throw ScriptSyntaxError("argument " + std::to_string(k + 1) + " of " + call.function +
                                    " must be " + kindName(wantString) + ", not " +
                                    kindName(call.arguments[k].isString));
    }

    // A string value points at the host's pointer to its characters.
    std::vector<std::string> texts(call.arguments.size());
    std::vector<char *> pointers(call.arguments.size());
    std::vector<CScriptValue> values(call.arguments.size());
    for (size_t k = 0; k < call.arguments.size(); ++k) {
        CScriptValue &value = values[k];
        value.thisPtr = nullptr;
        if (call.arguments[k].isString) {
            texts[k] = call.arguments[k].text;
            pointers[k] = texts[k].data();
            value.type = SCRIPT_STR;
            value.u.s = &pointers[k];
        } else {
            value.type = SCRIPT_INT;
            value.u.i = call.arguments[k].number;
        }
    }
    function->func_ptr(nullptr, &instance.activation(), values.data(),
                       static_cast<int>(values.size()));
}

void runScriptLine(FilterInstance &instance, std::string_view text, int line) {
    try {
        runScriptCall(instance, parseScriptCall(text));
    } catch (const ScriptSyntaxError &e) {
        throw ScriptError(line, std::string(text), e.what());
    }
}

} // namespace pendra::host
