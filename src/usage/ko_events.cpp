#include "usage/ko_events.h"

#include <cstddef>

#include "usage/ko_exception.h"

namespace pelta::usage {

namespace {

constexpr char kFileName[] = "KoEvents";

// Texts indexed by value minus the enumeration's first number; null outside the table.
template <typename Enum, std::size_t Count>
const char* lookUp(const char* const (&texts)[Count], Enum value, std::int32_t first) {
    const std::int32_t index = static_cast<std::int32_t>(value) - first;
    if (index < 0 || static_cast<std::size_t>(index) >= Count) {
        return nullptr;
    }
    return texts[index];
}

// The text of the value, or "Unknown <what> [n]!" raised from the caller's function and line.
template <typename Enum, std::size_t Count>
std::string textOf(const char* const (&texts)[Count], Enum value, const char* what,
                   std::int32_t line, const char* function = "toString", std::int32_t first = 0) {
    if (const char* text = lookUp(texts, value, first)) {
        return text;
    }
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
    return textOf(kTexts, value, "user type", __LINE__, "userType");
}

std::string toString(KoResult value) {
    static const char* const kTexts[] = {"Success", "Cancelled", "Fail", "Unknown"};
    return textOf(kTexts, value, "task result", __LINE__);
}

std::string toString(KoClickType value) {
    static const char* const kTexts[] = {"Button", "Banner", "Tutorial", "File", "Others"};
    return textOf(kTexts, value, "ClickType", __LINE__);
}

std::string toString(KoIoType value) {
    static const char* const kTexts[] = {"Input", "Output"};
    if (const char* text = lookUp(kTexts, value, 0)) {
        return text;
    }
    throw KoException(kFileName, "toString", __LINE__, "the io type is invalid");
}

std::string toString(KoCurrency value) {
    static const char* const kTexts[] = {"CNY", "USD", "EUR", "HKD", "TWD", "MOP",
                                         "SGD", "JPY", "KRW", "INR", "GBP"};
    return textOf(kTexts, value, "currency", __LINE__);
}

std::string toString(KoPaidPlatform value) {
    static const char* const kTexts[] = {"Alipay", "WeChatPay",    "PayPal",    "Tenpay",
                                         "CIECC",  "GooglePay",    "HuaweiPay", "AppleIAP",
                                         "Paddle", "ChinaUnionPay"};
    return textOf(kTexts, value, "paid platform", __LINE__);
}

std::string toString(KoIapType value) {
    static const char* const kTexts[] = {"Consumable", "NonConsumable", "AutoRenewable",
                                         "NonRenewable"};
    return textOf(kTexts, value, "koIapType", __LINE__, "toString",
                  static_cast<std::int32_t>(KoIapType::Consumable));
}

std::string toString(KoUpdateOp value) {
    // "Upgrate" is how the collector's reports have always spelt it.
    static const char* const kTexts[] = {"UpdateCheck", "DownloadStart", "DownloadEnd",
                                         "UpgrateStart", "UpgrateEnd"};
    return textOf(kTexts, value, "KoUpdateOp", __LINE__);
}

std::string toString(KoUpdateResult value) {
    static const char* const kTexts[] = {"Success", "Cancelled", "Timeout",
                                         "Fail",    "Latest",    "Updateable"};
    return textOf(kTexts, value, "KoUpdateResult", __LINE__);
}

std::string toString(KoEdition value) {
    static const char* const kTexts[] = {"china", "overseas"};
    return textOf(kTexts, value, "edition", __LINE__);
}

}  // namespace pelta::usage
