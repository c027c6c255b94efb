#include "usage/value_node.h"

#include <utility>

#include "usage/object_node.h"

namespace usage_analytics {

ValueNode ValueNode::number(double value) {
    ValueNode node(ValueType::Number);
    node.slot_.number = value;
    return node;
}

ValueNode ValueNode::integer(std::int64_t value) {
    ValueNode node(ValueType::Integer);
    node.slot_.integer = value;
    return node;
}

ValueNode ValueNode::string(std::string value) {
    ValueNode node(ValueType::String);
    node.text_ = std::move(value);
    return node;
}

ValueNode ValueNode::list(std::vector<std::string> values) {
    ValueNode node(ValueType::List);
    node.list_ = std::move(values);
    return node;
}

ValueNode ValueNode::dateTime(std::int64_t seconds, std::int32_t milliseconds) {
    ValueNode node(ValueType::DateTime);
    node.slot_.integer = seconds;
    node.milliseconds_ = milliseconds;
    return node;
}

ValueNode ValueNode::boolean(bool value) {
    ValueNode node(ValueType::Boolean);
    node.slot_.boolean = value;
    return node;
}

ValueNode ValueNode::object(const utils::ObjectNode& value) {
    ValueNode node(ValueType::Object);
    // A plain ObjectNode copy: a PropertiesNode argument keeps its members, nothing else.
    node.object_ = std::make_shared<const utils::ObjectNode>(value);
    return node;
}

double ValueNode::numberValue() const {
    return type_ == ValueType::Number ? slot_.number : 0.0;
}

std::int64_t ValueNode::integerValue() const {
    return type_ == ValueType::Integer ? slot_.integer : 0;
}

bool ValueNode::booleanValue() const {
    return type_ == ValueType::Boolean && slot_.boolean;
}

std::int64_t ValueNode::seconds() const {
    return type_ == ValueType::DateTime ? slot_.integer : 0;
}

std::int32_t ValueNode::milliseconds() const {
    return type_ == ValueType::DateTime ? milliseconds_ : 0;
}

}  // namespace usage_analytics
