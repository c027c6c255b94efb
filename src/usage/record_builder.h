#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "usage/object_node.h"

// Turning one SDK call into the JSON text of one record, with the checks that may drop the
// call. Pure apart from the lines written to standard error, so the record shapes can be pinned
// with a fixed time and a fixed random source.
namespace usage_analytics {

// Ids (distinct id, original id) are 1..255 bytes. On failure writes "The <name> is empty." or
// "The <name> is too long, max length is 255." to standard error.
bool checkId(const std::string& name, const std::string& value);

// Keys (property keys, event names) are 1..100 bytes, a letter, "$" or "_" first, then letters,
// digits, "$" or "_". On failure writes the matching line to standard error.
bool checkKey(const std::string& name, const std::string& value);

// The last two digits of the first random number, the last three of the second and the last
// four of the time, read as one decimal number; a number with fewer digits gives all of them.
std::int64_t trackId(int firstRandom, int secondRandom, std::int64_t nowMs);

struct RecordRequest {
    std::string type;  // "track", "track_signup", "profile_set", ...
    std::string eventName;
    const utils::ObjectNode* properties = nullptr;  // null for none
    std::string distinctId;
    std::string originalId;                              // only written for "track_signup"
    const utils::ObjectNode* superProperties = nullptr;  // null for none
    bool isLoginId = false;
};

// A pseudo-random number in 0..32767.
using RandomSource = std::function<int()>;

// The record text, or nothing when a check failed (its line then went to standard error).
// nowMs is the current time in milliseconds since 1970.
std::optional<std::string> buildRecord(const RecordRequest& request, std::int64_t nowMs,
                                       const RandomSource& random);

}  // namespace usage_analytics
