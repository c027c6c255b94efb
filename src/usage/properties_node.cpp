#include "usage/properties_node.h"

#include <iostream>

#include "usage/utf8_check.h"

namespace usage_analytics {

void PropertiesNode::SetNumber(const std::string& key, double value) {
    set(key, ValueNode::number(value));
}

void PropertiesNode::SetNumber(const std::string& key, std::int32_t value) {
    set(key, ValueNode::integer(value));
}

bool PropertiesNode::SetString(const std::string& key, const std::string& value) {
    if (value.size() > kMaxStringBytes) {
        std::cerr << "String property '" << key << "' is too long, value: " << value << "\n";
        return false;
    }
    if (!isValidUtf8(value)) {
        std::cerr << "String property '" << key << "' is not valid UTF-8 string, value: " << value
                  << "\n";
        return false;
    }
    set(key, ValueNode::string(value));
    return true;
}

void PropertiesNode::SetBool(const std::string& key, bool value) {
    set(key, ValueNode::boolean(value));
}

void PropertiesNode::SetList(const std::string& key, const std::vector<std::string>& values) {
    set(key, ValueNode::list(values));
}

void PropertiesNode::SetDateTime(const std::string& key, std::int64_t seconds,
                                 std::int32_t milliseconds) {
    set(key, ValueNode::dateTime(seconds, milliseconds));
}

void PropertiesNode::SetObject(const std::string& key, const utils::ObjectNode& value) {
    set(key, ValueNode::object(value));
}

}  // namespace usage_analytics
