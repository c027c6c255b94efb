#include "usage/ko_context_properties.h"

#include <cstddef>

#include "usage/ko_exception.h"

namespace pelta::usage {

namespace {

constexpr char kFileName[] = "KoContextProperties";

// The source lines these raises report. Whoever reads collected failures matches them against
// earlier releases of the tracker, so they stay fixed whatever this file looks like.
constexpr std::int32_t kLinePropertyExists = 139;
constexpr std::int32_t kLineSetOverflow = 146;
constexpr std::int32_t kLineTooLong = 169;
constexpr std::int32_t kLineFirstChar = 174;
constexpr std::int32_t kLineSecondChar = 181;
constexpr std::int32_t kLineThirdChar = 189;
constexpr std::int32_t kLineGetOverflow = 233;

constexpr std::size_t kMaxAbValueBytes = 3;

std::string overflowMessage(KoEventType eventType) {
    return "KoEvent[" + std::to_string(static_cast<std::int32_t>(eventType)) + "] overflow!";
}

bool isKnownType(KoEventType eventType) {
    const auto number = static_cast<std::int32_t>(eventType);
    return number >= 0 && static_cast<std::size_t>(number) < kKoEventTypeCount;
}

bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

void KoContextProperties::setProperty(const std::string& value,
                                      const std::vector<KoEventType>& eventTypes) {
    auto shared = std::make_shared<const std::string>(value);
    if (!registry_.emplace(kAbKey, shared).second) {
        throw KoException(kFileName, "setProperty", kLinePropertyExists,
                          std::string("Property[") + kAbKey + "] already exist!");
    }
    for (const KoEventType eventType : eventTypes) {
        if (!isKnownType(eventType)) {
            throw KoException(kFileName, "setProperty", kLineSetOverflow,
                              overflowMessage(eventType));
        }
        eventLists_[static_cast<std::size_t>(eventType)].push_back(
            KoContextProperty{shared, KoPropertyTag::Text, kAbKey});
    }
}

const std::vector<KoContextProperty>& KoContextProperties::getEventProperties(
    KoEventType eventType) const {
    if (!isKnownType(eventType)) {
        throw KoException(kFileName, "getEventProperties", kLineGetOverflow,
                          overflowMessage(eventType));
    }
    return eventLists_[static_cast<std::size_t>(eventType)];
}

bool KoContextProperties::isValidABValue(const std::string& value) {
    if (value.empty()) {
        return false;
    }
    if (value.size() > kMaxAbValueBytes) {
        throw KoException(kFileName, "isValidABValue", kLineTooLong,
                          "value's length is great than 3.");
    }
    if (!isUpper(value[0])) {
        throw KoException(kFileName, "isValidABValue", kLineFirstChar,
                          "First char is not in A to Z");
    }
    if (value.size() > 1 && !isUpper(value[1]) && !isDigit(value[1])) {
        throw KoException(kFileName, "isValidABValue", kLineSecondChar,
                          "second char is not in A to Z and 0 to 9");
    }
    if (value.size() > 2 && !isUpper(value[2]) && !isDigit(value[2])) {
        throw KoException(kFileName, "isValidABValue", kLineThirdChar,
                          "third char is not in A to Z and 0 to 9");
    }
    return true;
}

void applyContextProperties(const KoContextProperties* context, KoEventType eventType,
                            usage_analytics::PropertiesNode& properties) {
    if (context == nullptr) {
        return;
    }
    for (const KoContextProperty& entry : context->getEventProperties(eventType)) {
        properties.SetString(entry.key, *entry.value);
    }
}

}  // namespace pelta::usage
