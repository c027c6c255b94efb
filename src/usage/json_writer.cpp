#include "usage/json_writer.h"

#include <time.h>

#include <cstdio>
#include <locale>
#include <sstream>

namespace usage_analytics {

namespace {

constexpr int kFirstTmYear = 1900;
constexpr std::size_t kDateTimeChars = 64;

void appendNumber(std::string& out, double value) {
    std::ostringstream stream;
    // The toolkit switches the process locale at start-up; a decimal comma would break the JSON.
    stream.imbue(std::locale::classic());
    stream << value;
    out += stream.str();
}

void appendString(std::string& out, const std::string& text) {
    out += '"';
    for (const char byte : text) {
        switch (byte) {
            case '\b':
                out += "\\b";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\r':
                out += "\\r";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += byte;
        }
    }
    out += '"';
}

void appendDateTime(std::string& out, std::int64_t seconds, std::int32_t milliseconds) {
    const time_t when = static_cast<time_t>(seconds);
    tm parts{};
    localtime_r(&when, &parts);
    char text[kDateTimeChars];
    std::snprintf(text, sizeof text, "\"%04d-%02d-%02d %02d:%02d:%02d.%03d\"",
                  parts.tm_year + kFirstTmYear, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                  parts.tm_min, parts.tm_sec, static_cast<int>(milliseconds));
    out += text;
}

}  // namespace

std::string toJson(const utils::ObjectNode& object) {
    std::string out;
    appendJson(out, object);
    return out;
}

std::string toJson(const ValueNode& value) {
    std::string out;
    appendJson(out, value);
    return out;
}

void appendJson(std::string& out, const utils::ObjectNode& object) {
    out += '{';
    bool first = true;
    for (const auto& [key, value] : object.members()) {
        if (!first) {
            out += ',';
        }
        first = false;
        out += '"';
        out += key;
        out += "\":";
        appendJson(out, value);
    }
    out += '}';
}

void appendJson(std::string& out, const ValueNode& value) {
    switch (value.type()) {
        case ValueType::Number:
            appendNumber(out, value.numberValue());
            break;
        case ValueType::Integer:
            out += std::to_string(value.integerValue());
            break;
        case ValueType::String:
            appendString(out, value.text());
            break;
        case ValueType::List: {
            out += '[';
            bool first = true;
            for (const std::string& text : value.texts()) {
                if (!first) {
                    out += ',';
                }
                first = false;
                appendString(out, text);
            }
            out += ']';
            break;
        }
        case ValueType::DateTime:
            appendDateTime(out, value.seconds(), value.milliseconds());
            break;
        case ValueType::Boolean:
            out += value.booleanValue() ? "true" : "false";
            break;
        case ValueType::Object:
            appendJson(out, *value.objectValue());
            break;
    }
}

}  // namespace usage_analytics
