#include "usage/ko_events.h"

#include <cstddef>

#include "usage/ko_exception.h"

namespace pelta::usage {

namespace {

constexpr char kFileName[] = "KoEvents";

// Texts indexed by value minus the enumeration's first number.
template <typename Enum, std::size_t Count>
const char* lookUp(const char* const (&texts)[Count], Enum value, std::int32_t first = 0) {
    const std::int32_t index = static_cast<std::int32_t>(value) - first;
    if (index < 0 || static_cast<std::size_t>(index) >= Count) {
        return nullptr;
    }
    return texts[index];
}

template <typename Enum>
[[noreturn]] void raiseUnknown(const char* function, std::int32_t line, const char* what,
                               Enum value) {
    throw KoException(kFileName, function, line,
                      std::string("Unknown ") + what + " [" +
                          std::to_string(static_cast<std::int32_t>(value)) + "]!");
}

}  // namespace

std::string userType(KoUserType value) {
    static const char* const kTexts[] = {
        "unknown", "mobilephone", "email", "weixin",      "qq",     "deviceid",
        "baidu",   "huawei",      "apple", "peltauserid", "google", "facebook",
    };
    if (const char* text = lookUp(kTexts, value)) {
        return text;
    }
    raiseUnknown("userType", __LINE__, "user type", value);
}

std::string toString(KoResult value) {
    static const char* const kTexts[] = {"Success", "Cancelled", "Fail", "Unknown"};
    if (const char* text = lookUp(kTexts, value)) {
        return text;
    }
    raiseUnknown("toString", __LINE__, "task result", value);
}

std::string toString(KoClickType value) {
    static const char* const kTexts[] = {"Button", "Banner", "Tutorial", "File", "Others"};
    if (const char* text = lookUp(kTexts, value)) {
        return text;
    }
    raiseUnknown("toString", __LINE__, "ClickType", value);
}

std::string toString(KoIoType value) {
    static const char* const kTexts[] = {"Input", "Output"};
    if (const char* text = lookUp(kTexts, value)) {
        return text;
    }
    throw KoException(kFileName, "toString", __LINE__, "the io type is invalid");
}

std::string toString(KoCurrency value) {
    static const char* const kTexts[] = {"CNY", "USD", "EUR", "HKD", "TWD", "MOP",
                                         "SGD", "JPY", "KRW", "INR", "GBP"};
    if (const char* text = lookUp(kTexts, value)) {
        return text;
    }
    raiseUnknown("toString", __LINE__, "currency", value);
}

std::string toString(KoPaidPlatform value) {
    static const char* const kTexts[] = {"Alipay", "WeChatPay",    "PayPal",    "Tenpay",
                                         "CIECC",  "GooglePay",    "HuaweiPay", "AppleIAP",
                                         "Paddle", "ChinaUnionPay"};
    if (const char* text = lookUp(kTexts, value)) {
        return text;
    }
    raiseUnknown("toString", __LINE__, "paid platform", value);
}

std::string toString(KoIapType value) {
    static const char* const kTexts[] = {"Consumable", "NonConsumable", "AutoRenewable",
                                         "NonRenewable"};
    if (const char* text =
            lookUp(kTexts, value, static_cast<std::int32_t>(KoIapType::Consumable))) {
        return text;
    }
    raiseUnknown("toString", __LINE__, "koIapType", value);
}

std::string toString(KoUpdateOp value) {
    // "Upgrate" is how the collector's reports have always spelt it.
    static const char* const kTexts[] = {"UpdateCheck", "DownloadStart", "DownloadEnd",
                                         "UpgrateStart", "UpgrateEnd"};
    if (const char* text = lookUp(kTexts, value)) {
        return text;
    }
    raiseUnknown("toString", __LINE__, "KoUpdateOp", value);
}

std::string toString(KoUpdateResult value) {
    static const char* const kTexts[] = {"Success", "Cancelled", "Timeout",
                                         "Fail",    "Latest",    "Updateable"};
    if (const char* text = lookUp(kTexts, value)) {
        return text;
    }
    raiseUnknown("toString", __LINE__, "KoUpdateResult", value);
}

std::string toString(KoEdition value) {
    static const char* const kTexts[] = {"china", "overseas"};
    if (const char* text = lookUp(kTexts, value)) {
        return text;
    }
    raiseUnknown("toString", __LINE__, "edition", value);
}

}  // namespace pelta::usage
