#include "usage/object_node.h"

#include <algorithm>
#include <utility>

namespace usage_analytics::utils {

bool KeyByteOrder::operator()(const std::string& left, const std::string& right) const {
    return std::lexicographical_compare(
        left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
            return static_cast<unsigned char>(a) < static_cast<unsigned char>(b);
        });
}

ObjectNode::~ObjectNode() = default;

const ValueNode* ObjectNode::find(const std::string& key) const {
    const auto found = members_.find(key);
    return found == members_.end() ? nullptr : &found->second;
}

void ObjectNode::set(const std::string& key, ValueNode value) {
    members_.insert_or_assign(key, std::move(value));
}

void ObjectNode::erase(const std::string& key) {
    members_.erase(key);
}

void ObjectNode::merge(const ObjectNode& other) {
    for (const auto& [key, value] : other.members_) {
        members_.insert_or_assign(key, value);
    }
}

}  // namespace usage_analytics::utils
