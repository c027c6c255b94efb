#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "usage/object_node.h"

namespace usage_analytics {

// The properties of one tracking call, or the super properties. Every setter replaces a value
// already stored under the same key.
class PropertiesNode : public utils::ObjectNode {
public:
    static constexpr std::size_t kMaxStringBytes = 8192;

    void SetNumber(const std::string& key, double value);
    // Stored as an integer, not a number, so that it is written without a fraction.
    void SetNumber(const std::string& key, std::int32_t value);
    // Refuses a value longer than kMaxStringBytes or one that fails the UTF-8 check, with a line
    // on standard error; the key then keeps what it had. Returns whether the value was stored.
    bool SetString(const std::string& key, const std::string& value);
    void SetBool(const std::string& key, bool value);
    void SetList(const std::string& key, const std::vector<std::string>& values);
    void SetDateTime(const std::string& key, std::int64_t seconds, std::int32_t milliseconds);
    void SetObject(const std::string& key, const utils::ObjectNode& value);
};

}  // namespace usage_analytics
