#pragma once

#include <string>

#include "usage/object_node.h"
#include "usage/value_node.h"

// Compact JSON text of records as the collector reads it. Keys are written as they are, without
// escaping (the key rule admits only letters, digits, "$" and "_"); numbers as a classic-locale
// output stream writes a double by default, so 1234567.0 becomes 1.23457e+06 and infinity "inf".
namespace usage_analytics {

std::string toJson(const utils::ObjectNode& object);
std::string toJson(const ValueNode& value);

void appendJson(std::string& out, const utils::ObjectNode& object);
void appendJson(std::string& out, const ValueNode& value);

}  // namespace usage_analytics
