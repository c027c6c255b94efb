#include "usage/ko_events.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "usage/ko_exception.h"

namespace pelta::usage {
namespace {

template <typename Enum>
std::function<std::string(std::int32_t)> textOf() {
    return [](std::int32_t value) { return toString(static_cast<Enum>(value)); };
}

TEST(KoEvents, EnumerationTexts) {
    const struct {
        const char* enumeration;
        std::function<std::string(std::int32_t)> text;
        std::int32_t first;
        std::vector<std::string> texts;
    } cases[] = {
        {"user type",
         [](std::int32_t value) { return userType(static_cast<KoUserType>(value)); },
         0,
         {"unknown", "mobilephone", "email", "weixin", "qq", "deviceid", "baidu", "huawei", "apple",
          "peltauserid", "google", "facebook"}},
        {"task result", textOf<KoResult>(), 0, {"Success", "Cancelled", "Fail", "Unknown"}},
        {"click type",
         textOf<KoClickType>(),
         0,
         {"Button", "Banner", "Tutorial", "File", "Others"}},
        {"io type", textOf<KoIoType>(), 0, {"Input", "Output"}},
        {"currency",
         textOf<KoCurrency>(),
         0,
         {"CNY", "USD", "EUR", "HKD", "TWD", "MOP", "SGD", "JPY", "KRW", "INR", "GBP"}},
        {"paid platform",
         textOf<KoPaidPlatform>(),
         0,
         {"Alipay", "WeChatPay", "PayPal", "Tenpay", "CIECC", "GooglePay", "HuaweiPay", "AppleIAP",
          "Paddle", "ChinaUnionPay"}},
        {"iap type",
         textOf<KoIapType>(),
         1,
         {"Consumable", "NonConsumable", "AutoRenewable", "NonRenewable"}},
        {"update op",
         textOf<KoUpdateOp>(),
         0,
         {"UpdateCheck", "DownloadStart", "DownloadEnd", "UpgrateStart", "UpgrateEnd"}},
        {"update result",
         textOf<KoUpdateResult>(),
         0,
         {"Success", "Cancelled", "Timeout", "Fail", "Latest", "Updateable"}},
        {"edition", textOf<KoEdition>(), 0, {"china", "overseas"}},
    };
    for (const auto& c : cases) {
        for (std::size_t i = 0; i < c.texts.size(); ++i) {
            const auto value = c.first + static_cast<std::int32_t>(i);
            EXPECT_EQ(c.text(value), c.texts[i]) << c.enumeration << " " << value;
        }
    }
}

TEST(KoEvents, ValuesOutsideTheirTableRaise) {
    const struct {
        std::function<std::string(std::int32_t)> text;
        std::int32_t value;
        std::string function;
        std::string message;
    } cases[] = {
        {[](std::int32_t value) { return userType(static_cast<KoUserType>(value)); }, 12,
         "userType", "Unknown user type [12]!"},
        {textOf<KoResult>(), 4, "toString", "Unknown task result [4]!"},
        {textOf<KoResult>(), -1, "toString", "Unknown task result [-1]!"},
        {textOf<KoClickType>(), 5, "toString", "Unknown ClickType [5]!"},
        {textOf<KoIoType>(), 2, "toString", "the io type is invalid"},
        {textOf<KoCurrency>(), 11, "toString", "Unknown currency [11]!"},
        {textOf<KoPaidPlatform>(), 10, "toString", "Unknown paid platform [10]!"},
        {textOf<KoIapType>(), 0, "toString", "Unknown koIapType [0]!"},
        {textOf<KoIapType>(), 5, "toString", "Unknown koIapType [5]!"},
        {textOf<KoUpdateOp>(), 5, "toString", "Unknown KoUpdateOp [5]!"},
        {textOf<KoUpdateResult>(), 6, "toString", "Unknown KoUpdateResult [6]!"},
        {textOf<KoEdition>(), 2, "toString", "Unknown edition [2]!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        try {
            c.text(c.value);
            ADD_FAILURE() << "nothing raised";
        } catch (const KoException& e) {
            EXPECT_STREQ(e.what(), c.message.c_str());
            EXPECT_EQ(e.functionName(), c.function);
            EXPECT_GT(e.line(), 0);
            EXPECT_EQ(e.errorCode(), -1);
            EXPECT_EQ(e.subCode(), -1);
        }
    }
}

}  // namespace
}  // namespace pelta::usage
