#include "usage/record_builder.h"

#include <cstddef>
#include <iostream>

#include "usage/json_writer.h"

namespace usage_analytics {

namespace {

constexpr std::size_t kMaxIdBytes = 255;
constexpr std::size_t kMaxKeyBytes = 100;
constexpr std::int64_t kMsPerSec = 1000;
constexpr std::size_t kRandomDigitsFirst = 2;
constexpr std::size_t kRandomDigitsSecond = 3;
constexpr std::size_t kTimeDigits = 4;

bool isLetter(char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

bool isKeyStart(char byte) {
    return isLetter(byte) || byte == '$' || byte == '_';
}

bool isKeyByte(char byte) {
    return isKeyStart(byte) || (byte >= '0' && byte <= '9');
}

std::string lastDigits(std::int64_t value, std::size_t count) {
    const std::string text = std::to_string(value);
    return text.size() <= count ? text : text.substr(text.size() - count);
}

// Checks the property keys in key order and the two keys whose type is fixed.
bool checkProperties(const utils::ObjectNode& properties) {
    for (const auto& [key, value] : properties.members()) {
        if (!checkKey("Property Key", key)) {
            return false;
        }
        if (key == "$time" && value.type() != ValueType::DateTime) {
            std::cerr << "The property '$time' should be DateTime type.\n";
            return false;
        }
        if (key == "$project" && value.type() != ValueType::String) {
            std::cerr << "The property '$project' should be String type.\n";
            return false;
        }
    }
    return true;
}

utils::ObjectNode libObject() {
    utils::ObjectNode lib;
    lib.set("$lib", ValueNode::string("cpp"));
    lib.set("$lib_method", ValueNode::string("code"));
    lib.set("$lib_version", ValueNode::string("0.9"));
    return lib;
}

}  // namespace

bool checkId(const std::string& name, const std::string& value) {
    if (value.empty()) {
        std::cerr << "The " << name << " is empty.\n";
        return false;
    }
    if (value.size() > kMaxIdBytes) {
        std::cerr << "The " << name << " is too long, max length is " << kMaxIdBytes << ".\n";
        return false;
    }
    return true;
}

bool checkKey(const std::string& name, const std::string& value) {
    if (value.empty() || value.size() > kMaxKeyBytes) {
        std::cerr << "The " << name << " is empty or too long, max length is " << kMaxKeyBytes
                  << "\n";
        return false;
    }
    bool valid = isKeyStart(value.front());
    for (std::size_t at = 1; valid && at < value.size(); ++at) {
        valid = isKeyByte(value[at]);
    }
    if (!valid) {
        std::cerr << "The " << name << " need to be a valid variable name.\n";
    }
    return valid;
}

std::int64_t trackId(int firstRandom, int secondRandom, std::int64_t nowMs) {
    const std::string digits = lastDigits(firstRandom, kRandomDigitsFirst) +
                               lastDigits(secondRandom, kRandomDigitsSecond) +
                               lastDigits(nowMs, kTimeDigits);
    return std::stoll(digits);
}

std::optional<std::string> buildRecord(const RecordRequest& request, std::int64_t nowMs,
                                       const RandomSource& random) {
    if (request.properties != nullptr && !checkProperties(*request.properties)) {
        return std::nullopt;
    }
    const bool isTrackType = request.type.find("track") != std::string::npos;
    if (request.type == "track" && !checkKey("Event Name", request.eventName)) {
        return std::nullopt;
    }
    if (request.type == "track_signup" && !checkId("Original ID", request.originalId)) {
        return std::nullopt;
    }

    utils::ObjectNode properties;
    if (isTrackType && request.superProperties != nullptr) {
        properties.merge(*request.superProperties);
    }
    if (request.properties != nullptr) {
        properties.merge(*request.properties);
    }
    std::int64_t timeMs = nowMs;
    if (const ValueNode* time = properties.find("$time")) {
        if (time->type() == ValueType::DateTime) {
            timeMs = time->seconds() * kMsPerSec + time->milliseconds();
        }
        properties.erase("$time");
    }
    std::optional<std::string> project;
    if (const ValueNode* given = properties.find("$project")) {
        if (given->type() == ValueType::String) {
            project = given->text();
        }
        properties.erase("$project");
    }
    if (request.isLoginId) {
        properties.set("$is_login_id", ValueNode::boolean(true));
    }

    utils::ObjectNode record;
    const int firstRandom = random();
    const int secondRandom = random();
    record.set("_track_id", ValueNode::integer(trackId(firstRandom, secondRandom, nowMs)));
    record.set("distinct_id", ValueNode::string(request.distinctId));
    if (isTrackType) {
        record.set("event", ValueNode::string(request.eventName));
    }
    record.set("lib", ValueNode::object(libObject()));
    if (request.type == "track_signup") {
        record.set("original_id", ValueNode::string(request.originalId));
    }
    if (project) {
        record.set("project", ValueNode::string(*project));
    }
    record.set("properties", ValueNode::object(properties));
    record.set("time", ValueNode::integer(timeMs));
    record.set("type", ValueNode::string(request.type));
    return toJson(record);
}

}  // namespace usage_analytics
