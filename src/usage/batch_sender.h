#pragma once

#include <optional>
#include <string>
#include <string_view>

// One batch of analytics records on the wire: the JSON array gzip-compressed, Base64-encoded and
// percent-encoded into the form field data_list of a POST to the collector.
namespace usage_analytics {

// Posts the JSON array to the collector; true when it answered 200. Records the outcome of the
// HTTP exchange as the last send's; a batch that could not be compressed is not posted and
// changes nothing. Throws std::runtime_error when no HTTP handle can be created.
bool sendBatch(const std::string& serverUrl, std::string_view jsonArray);

// The form body "data_list=<percent-encoded Base64 of the gzip stream>&gzip=1"; nothing when the
// array could not be compressed (the reason is on standard error).
std::optional<std::string> encodeBatchBody(std::string_view jsonArray);

// Standard Base64 with "=" padding and no line breaks.
std::string base64Encode(std::string_view bytes);

// Every byte but A-Z a-z 0-9 - _ . ~ as %XX with upper-case digits.
std::string percentEncode(std::string_view text);

}  // namespace usage_analytics
