#pragma once

#include <map>
#include <string>

#include "usage/value_node.h"

namespace usage_analytics::utils {

// Orders keys by unsigned byte value. std::string's own order compares `char`, which is signed
// here, and would put keys with bytes from 0x80 up before "A"; the collector's records list
// their keys in ascending byte order.
struct KeyByteOrder {
    bool operator()(const std::string& left, const std::string& right) const;
};

// Property values by key, in ascending byte order of the key: every JSON object is written
// from this order, which makes the key order of a record fixed.
class ObjectNode {
public:
    using Members = std::map<std::string, ValueNode, KeyByteOrder>;

    ObjectNode() = default;
    ObjectNode(const ObjectNode&) = default;
    ObjectNode(ObjectNode&&) = default;
    ObjectNode& operator=(const ObjectNode&) = default;
    ObjectNode& operator=(ObjectNode&&) = default;
    virtual ~ObjectNode();

    const Members& members() const { return members_; }
    bool empty() const { return members_.empty(); }
    // Null when the key is absent.
    const ValueNode* find(const std::string& key) const;

    // Stores the value, replacing one under the same key.
    void set(const std::string& key, ValueNode value);
    void erase(const std::string& key);
    // Copies every member of the other node in, replacing on equal keys.
    void merge(const ObjectNode& other);

protected:
    Members members_;
};

}  // namespace usage_analytics::utils
