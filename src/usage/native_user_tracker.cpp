#include "usage/native_user_tracker.h"

#include <string_view>
#include <unordered_map>

#include "usage/ko_exception.h"
#include "usage/properties_node.h"
#include "usage/sdk.h"

namespace pelta::usage {

namespace {

using Operation = NativeUserTracker::ProfileOperation;
using usage_analytics::PropertiesNode;
using usage_analytics::Sdk;

constexpr char kFileName[] = "NativeUserTracker";
constexpr std::int64_t kMillisecondsPerSecond = 1000;

const std::unordered_map<std::string, Operation>& bindings() {
    static const std::unordered_map<std::string, Operation> table = [] {
        std::unordered_map<std::string, Operation> built;
        for (const char* key : {"$first_visit_time", "ko_first_visit_date", "$ios_install_source",
                                "ko_first_paid_date"}) {
            built.emplace(key, Operation::SetOnce);
        }
        for (const char* key : {"ko_visit_count", "ko_paid_count", "ko_consumption"}) {
            built.emplace(key, Operation::Increment);
        }
        for (const char* key : {"ko_label",
                                "ko_os",
                                "ko_os_version",
                                "ko_manufacturer",
                                "ko_model",
                                "ko_app_store",
                                "ko_app_platform",
                                "ko_last_app_id",
                                "ko_last_app_version",
                                "ko_carrier",
                                "ko_last_visit_date",
                                "aurora_pushid",
                                "ko_user_id",
                                "ko_user_name",
                                "ko_user_type",
                                "ko_user_nickname",
                                "ko_user_portrait",
                                "ko_user_mobilephone",
                                "ko_user_email",
                                "ko_user_weixin",
                                "ko_user_qq",
                                "ko_user_did",
                                "ko_user_created",
                                "ko_user_last_login",
                                "ko_user_last_ip",
                                "ko_user_vip_level",
                                "ko_user_vip_enddate",
                                "idfa",
                                "imei",
                                "android_id",
                                "oaid",
                                "ko_ip",
                                "ko_country_code",
                                "ko_country",
                                "ko_province",
                                "ko_city",
                                "ko_last_paid_date"}) {
            built.emplace(key, Operation::Set);
        }
        return built;
    }();
    return table;
}

Operation boundOperation(const std::string& key, const char* function, std::int32_t line) {
    Operation operation{};
    if (!NativeUserTracker::bindingOf(key, operation)) {
        throw KoException(kFileName, function, line, "Not supported user property [" + key + "]!");
    }
    return operation;
}

[[noreturn]] void refuse(const char* function, std::int32_t line, const std::string& key,
                         std::string_view why) {
    throw KoException(kFileName, function, line, "user property [" + key + "] " + std::string(why));
}

}  // namespace

bool NativeUserTracker::bindingOf(const std::string& key, ProfileOperation& operation) {
    const auto& table = bindings();
    const auto found = table.find(key);
    if (found == table.end()) {
        return false;
    }
    operation = found->second;
    return true;
}

void NativeUserTracker::ProfileUserPropertyString(const std::string& key,
                                                  const std::string& value) {
    constexpr char kFunction[] = "ProfileUserPropertyString";
    switch (boundOperation(key, kFunction, __LINE__)) {
        case Operation::SetOnce:
            Sdk::ProfileSetOnce(key, value);
            return;
        case Operation::Set:
            Sdk::ProfileSet(key, value);
            return;
        case Operation::Append:
            Sdk::ProfileAppend(key, {value});
            return;
        case Operation::Increment:
            break;
    }
    refuse(kFunction, __LINE__, key, "is string type value, it cannot be accumulated!");
}

void NativeUserTracker::ProfileUserPropertyNumber(const std::string& key, double value) {
    constexpr char kFunction[] = "ProfileUserPropertyNumber";
    switch (boundOperation(key, kFunction, __LINE__)) {
        case Operation::SetOnce:
            Sdk::ProfileSetOnce(key, value);
            return;
        case Operation::Increment:
            Sdk::ProfileIncrement(key, value);
            return;
        case Operation::Set:
            Sdk::ProfileSet(key, value);
            return;
        case Operation::Append:
            break;
    }
    refuse(kFunction, __LINE__, key, "is number value, it cannot be append to list!");
}

void NativeUserTracker::ProfileUserPropertyDateTime(const std::string& key, std::int64_t value) {
    constexpr char kFunction[] = "ProfileUserPropertyDateTime";
    const Operation operation = boundOperation(key, kFunction, __LINE__);
    if (operation == Operation::Increment) {
        refuse(kFunction, __LINE__, key, "is boolean value, it cannot be accumulative!");
    }
    if (operation == Operation::Append) {
        refuse(kFunction, __LINE__, key, "is boolean value, it cannot be append to list!");
    }
    PropertiesNode properties;
    if (value >= kMillisecondsFrom) {
        properties.SetDateTime(key, value / kMillisecondsPerSecond,
                               static_cast<std::int32_t>(value % kMillisecondsPerSecond));
    } else {
        properties.SetDateTime(key, value, 0);
    }
    if (operation == Operation::SetOnce) {
        Sdk::ProfileSetOnce(properties);
    } else {
        Sdk::ProfileSet(properties);
    }
}

}  // namespace pelta::usage
