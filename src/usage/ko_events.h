#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The records the tracker's operations take and the enumerations inside them. Texts are UTF-8.
// An optional field is empty when the caller has nothing to say; the tracker sends only what is
// present. The enumerations' numbers are what callers pass, so they are fixed: append only.
namespace pelta::usage {

enum class KoUserType : std::int32_t {
    Unknown = 0,
    MobilePhone = 1,
    Email = 2,
    Weixin = 3,
    Qq = 4,
    DeviceId = 5,
    Baidu = 6,
    Huawei = 7,
    Apple = 8,
    PeltaUserId = 9,
    Google = 10,
    Facebook = 11,
};

enum class KoResult : std::int32_t {
    Success = 0,
    Cancelled = 1,
    Fail = 2,
    Unknown = 3,
};

enum class KoClickType : std::int32_t {
    Button = 0,
    Banner = 1,
    Tutorial = 2,
    File = 3,
    Others = 4,
};

enum class KoIoType : std::int32_t {
    Input = 0,
    Output = 1,
};

enum class KoCurrency : std::int32_t {
    Cny = 0,
    Usd = 1,
    Eur = 2,
    Hkd = 3,
    Twd = 4,
    Mop = 5,
    Sgd = 6,
    Jpy = 7,
    Krw = 8,
    Inr = 9,
    Gbp = 10,
};

enum class KoPaidPlatform : std::int32_t {
    Alipay = 0,
    WeChatPay = 1,
    PayPal = 2,
    Tenpay = 3,
    Ciecc = 4,
    GooglePay = 5,
    HuaweiPay = 6,
    AppleIap = 7,
    Paddle = 8,
    ChinaUnionPay = 9,
};

// Numbered from 1.
enum class KoIapType : std::int32_t {
    Consumable = 1,
    NonConsumable = 2,
    AutoRenewable = 3,
    NonRenewable = 4,
};

enum class KoUpdateOp : std::int32_t {
    UpdateCheck = 0,
    DownloadStart = 1,
    DownloadEnd = 2,
    UpgradeStart = 3,
    UpgradeEnd = 4,
};

enum class KoUpdateResult : std::int32_t {
    Success = 0,
    Cancelled = 1,
    Timeout = 2,
    Fail = 3,
    Latest = 4,
    Updateable = 5,
};

enum class KoEdition : std::int32_t {
    China = 0,
    Overseas = 1,
};

// The texts the collector receives for each value. A value outside its enumeration (a number
// cast in by a caller) raises KoException naming it.
std::string userType(KoUserType value);
std::string toString(KoResult value);
std::string toString(KoClickType value);
std::string toString(KoIoType value);
std::string toString(KoCurrency value);
std::string toString(KoPaidPlatform value);
std::string toString(KoIapType value);
std::string toString(KoUpdateOp value);
std::string toString(KoUpdateResult value);
std::string toString(KoEdition value);

struct KoEventClick {
    std::string aname;
    std::string name;  // required
    KoClickType clickType = KoClickType::Button;
    std::string title;
    std::string module;
    std::string position;
    std::optional<std::int32_t> tabIndex;
    std::string tabName;
    std::optional<std::int32_t> bannerIndex;
    std::string bannerName;
};

struct KoEventView {
    std::string aname;
    std::string name;  // required
    std::string title;
    std::string position;
};

struct KoEventTask {
    std::string aname;
    std::string name;  // required
    std::string reason;
    std::optional<float> elapsedSec;
    std::optional<KoResult> result;
};

struct KoEventCashier {
    std::string cashierName;  // required
    std::string cashierTitle;
    std::string subitem;
};

struct KoEventShare {
    std::string aname;
    std::string channel;
    std::string position;
    std::string sharedName;
    std::optional<KoResult> result;
};

struct KoEventFile {
    std::string aname;  // required
    std::string name;
    std::optional<KoIoType> ioType;
    std::string ext;
    std::optional<float> size;
    std::optional<std::int32_t> duration;
    std::optional<float> fps;
    std::optional<float> bps;
    std::optional<std::int32_t> width;
    std::optional<std::int32_t> height;
    std::optional<std::int32_t> depth;
    std::optional<KoResult> result;
};

struct KoEventOrder {
    std::string orderId;
    std::string subitem;
    std::string sku;
    std::string suitId;                  // required
    std::optional<KoCurrency> currency;  // required
    float originalAmount = 0;
    std::optional<std::int32_t> campaignCode;
    std::string voucherId;
    float paidAmount = 0;
    float curOriginalAmount = 0;  // in the buyer's own currency
    float curPaidAmount = 0;
    std::string cashierName;
    std::string cashierTitle;
};

struct KoEventPayment {
    std::string orderId;  // required
    std::string subitem;
    std::string sku;
    KoCurrency currency = KoCurrency::Cny;
    float paidAmount = 0;
    float originalAmount = 0;
    std::optional<std::int32_t> campaignCode;
    std::string voucherId;
    std::string usedVoucherId;
    std::string suitId;
    KoPaidPlatform paidPlatform = KoPaidPlatform::Alipay;
    std::string cashierName;
    std::string cashierTitle;
    std::optional<KoResult> result;  // required
    std::optional<KoIapType> iapType;
    float curOriginalAmount = 0;
    float curPaidAmount = 0;
};

struct KoEventUninstall {
    std::string uninstallReason;
};

struct KoEventUpdate {
    KoUpdateOp operation = KoUpdateOp::UpdateCheck;
    std::optional<KoUpdateResult> result;
    std::optional<float> elapsedSec;
};

struct KoAppOpenNotification {
    std::string msgTitle;  // required
    std::string msgContent;
    std::string linkUrl;
    std::string planId;  // required
    std::string audienceId;
    std::string planStrategyId;
    std::string planType;  // required
    std::string strategyUnitId;
};

// The user a Login event is about. Times are seconds since 1970.
struct KoUserInfo {
    std::string userId;
    std::string userName;
    KoUserType userType = KoUserType::Unknown;
    std::string nickname;
    std::string portrait;
    std::string mobilePhone;
    std::string email;
    std::string weixin;
    std::string qq;
    std::string did;
    std::int64_t createdSec = 0;
    std::int64_t lastLoginSec = 0;
    std::string lastIp;
    std::int32_t vipLevel = 0;
    std::int64_t vipEndDateSec = 0;
};

}  // namespace pelta::usage
