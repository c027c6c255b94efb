#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace usage_analytics {

namespace utils {
class ObjectNode;
}

// The tags are part of the record model shared with the collector's decoder: never renumber.
enum class ValueType : std::uint8_t {
    Number = 0,    // double
    Integer = 1,   // signed 64-bit
    String = 2,    // UTF-8 text
    List = 3,      // ordered UTF-8 texts
    DateTime = 4,  // seconds since 1970 and milliseconds 0..999
    Boolean = 5,
    Object = 6,  // nested ObjectNode
};

// One property value. Immutable once made, so copies share a nested object safely between the
// threads that build records from the same super properties.
class ValueNode {
public:
    static ValueNode number(double value);
    static ValueNode integer(std::int64_t value);
    static ValueNode string(std::string value);
    static ValueNode list(std::vector<std::string> values);
    static ValueNode dateTime(std::int64_t seconds, std::int32_t milliseconds);
    static ValueNode boolean(bool value);
    static ValueNode object(const utils::ObjectNode& value);

    ValueType type() const { return type_; }

    // Each accessor is meaningful only for its own type; another type gives 0, false or empty.
    double numberValue() const;
    std::int64_t integerValue() const;
    bool booleanValue() const;
    std::int64_t seconds() const;
    std::int32_t milliseconds() const;
    const std::string& text() const { return text_; }
    const std::vector<std::string>& texts() const { return list_; }
    // Null unless the type is Object.
    const utils::ObjectNode* objectValue() const { return object_.get(); }

private:
    explicit ValueNode(ValueType type) : type_(type) {}

    ValueType type_;
    union Slot {
        double number;
        std::int64_t integer;  // also the date-time seconds
        bool boolean;
    } slot_{.integer = 0};
    std::int32_t milliseconds_ = 0;
    std::string text_;
    std::vector<std::string> list_;
    std::shared_ptr<const utils::ObjectNode> object_;
};

}  // namespace usage_analytics
