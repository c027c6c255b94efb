#include "usage/usage_identity.h"

#include <sys/stat.h>
#include <sys/utsname.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <mutex>
#include <string_view>

#include "platform/environment.h"
#include "platform/guid.h"
#include "platform/ini_file.h"
#include "platform/path.h"
#include "platform/screen_size.h"
#include "platform/text_encoding.h"

namespace pelta::usage {

namespace {

constexpr char kSetIniName[] = "Set.ini";
constexpr wchar_t kInstallSection[] = L"Install";
constexpr wchar_t kAnalyticsIniKey[] = L"KOUsageAnalyticsIni";
constexpr char kLocalFolderName[] = "KOLocal";
constexpr char kConfigurationSuffix[] = "_KOSConfigure.ini";
constexpr char kLogSuffix[] = "_KOSLog.txt";

constexpr wchar_t kBaseSection[] = L"Base";
constexpr wchar_t kDistinctIdKey[] = L"DistinctId";
constexpr wchar_t kPrimaryDistinctIdKey[] = L"PrimaryDistinctId";
constexpr wchar_t kUserIdKey[] = L"UserId";
constexpr wchar_t kVipLevelKey[] = L"UserVipLevel";
constexpr wchar_t kUrlKey[] = L"URL";
constexpr wchar_t kLoggedInKey[] = L"isLogined";
constexpr char kLoggedInText[] = "OK";
constexpr char kLoggedOutText[] = "NG";

constexpr wchar_t kUninstallSection[] = L"UninstallInfo";
constexpr wchar_t kAppStoreKey[] = L"AppStore";
constexpr wchar_t kAppNameKey[] = L"AppName";
constexpr wchar_t kAppVersionKey[] = L"AppVersion";

// Values are read whole: a cut URL would never equal the collector's and would reset the identity
// on every run.
constexpr std::size_t kWholeValueUnits = std::numeric_limits<std::size_t>::max();

// A first GUID is drawn and dropped; then a failing system gets this many tries.
constexpr int kGuidTries = 10;
constexpr std::size_t kGuidTextBytes = 40;
constexpr int kRandomIdDraws = 8;
constexpr int kRandomIdMax = 2147483646;
constexpr unsigned kRandomIdVersionMask = 0xFFF;
constexpr unsigned kRandomIdVersion = 0x4000;
constexpr unsigned kRandomIdVariantModulus = 0x3FFF;
constexpr unsigned kRandomIdVariant = 0x8000;
constexpr std::size_t kRandomIdTextBytes = 80;

constexpr char kOsName[] = "Linux";
constexpr std::array<const char*, 2> kOsReleasePaths = {"/etc/os-release", "/usr/lib/os-release"};
constexpr std::array<const char*, 3> kLocaleVariables = {"LC_ALL", "LC_MESSAGES", "LANG"};

std::string readBaseValue(const std::wstring& file, const wchar_t* key) {
    return platform::encodeText(
        platform::readIniString(file, kBaseSection, key, L"", kWholeValueUnits),
        platform::kCodePageAnsi);
}

void writeValue(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                const std::string& value) {
    // A write that fails leaves the tracker with its in-memory identity, which is all it needs.
    platform::writeIniString(file, section, key,
                             platform::decodeText(value, platform::kCodePageAnsi));
}

// Creates every missing folder along the path, stopping at the first that cannot be made.
void createFolders(const std::string& folder) {
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != '/') {
            continue;
        }
        const std::string prefix = folder.substr(0, at);
        struct stat info {};
        if (stat(prefix.c_str(), &info) != 0 && mkdir(prefix.c_str(), 0777) != 0) {
            return;
        }
    }
}

struct LocaleParts {
    std::string language;
    std::string country;
};

// "zh_CN.UTF-8" and "sr_RS@latin" name a language and a country; C, POSIX and a name without a
// country name neither, as a system that cannot say both reports nothing.
LocaleParts processLocale() {
    std::string name;
    for (const char* variable : kLocaleVariables) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') {
            name = value;
            break;
        }
    }
    name = name.substr(0, name.find_first_of(".@"));
    const std::size_t separator = name.find('_');
    if (separator == std::string::npos || separator == 0 || separator + 1 == name.size()) {
        return {};
    }
    return {name.substr(0, separator), name.substr(separator + 1)};
}

// An os-release value: shell-style, optionally quoted, with backslash escapes.
std::string unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    std::string out;
    for (std::size_t at = 0; at < value.size(); ++at) {
        if (value[at] == '\\' && at + 1 < value.size()) {
            ++at;
        }
        out += value[at];
    }
    return out;
}

std::string machineName() {
    struct utsname names {};
    return uname(&names) == 0 ? names.machine : "";
}

}  // namespace

void UsageIdentity::chooseFiles(const std::string& appName, std::string& logPath) {
    chooseFiles(appName, logPath,
                platform::nativePath(platform::parentFolder(platform::modulePath())));
}

void UsageIdentity::chooseFiles(const std::string& appName, std::string& logPath,
                                const std::string& executableFolder) {
    std::wstring configured;
    const std::wstring setIni = platform::findFileNoCase(platform::widePath(executableFolder),
                                                         platform::wideFromUtf8(kSetIniName));
    if (platform::fileExists(setIni)) {
        configured = platform::toPlatformSeparators(platform::readIniString(
            setIni, kInstallSection, kAnalyticsIniKey, L"", kWholeValueUnits));
    }
    if (configured.find(platform::kPathSeparator) != std::wstring::npos) {
        configurationFile_ = platform::nativePath(configured);
        localFolder_ = configurationFile_.substr(0, configurationFile_.rfind('/'));
        createFolders(localFolder_);
    } else {
        // A value without a separator names no file; the installer's download folder has no
        // Set.ini at all.
        const std::string base = platform::nativePath(platform::dataHomeFolder());
        localFolder_ = base + "/" + kLocalFolderName + "/" + appName;
        createFolders(localFolder_);
        configurationFile_ = localFolder_ + "/" + appName + kConfigurationSuffix;
    }
    if (logPath.empty()) {
        logPath = localFolder_ + "/" + appName + kLogSuffix;
    }
}

void UsageIdentity::load() {
    userId_.clear();
    distinctId_.clear();
    primaryDistinctId_.clear();
    storedUrl_.clear();
    loggedIn_ = false;
    const std::wstring file = platform::widePath(configurationFile_);
    if (platform::fileExists(file)) {
        distinctId_ = readBaseValue(file, kDistinctIdKey);
        primaryDistinctId_ = readBaseValue(file, kPrimaryDistinctIdKey);
        if (primaryDistinctId_.empty()) {
            primaryDistinctId_ = distinctId_;
        }
        userId_ = readBaseValue(file, kUserIdKey);
        vipLevel_ = platform::readIniInt(file, kBaseSection, kVipLevelKey, 0);
        loggedIn_ = readBaseValue(file, kLoggedInKey) == kLoggedInText;
        storedUrl_ = readBaseValue(file, kUrlKey);
    }
    if (distinctId_.empty()) {
        distinctId_ = newDistinctId();
        save();
    }
}

void UsageIdentity::reconcile(const std::string& serverUrl) {
    if (storedUrl_ == serverUrl && !distinctId_.empty()) {
        return;
    }
    userId_.clear();
    loggedIn_ = false;
    if (primaryDistinctId_.empty()) {
        distinctId_ = newDistinctId();
        primaryDistinctId_ = distinctId_;
    } else {
        distinctId_ = primaryDistinctId_;
    }
    storedUrl_ = serverUrl;
    save();
}

void UsageIdentity::save() const {
    const std::wstring file = platform::widePath(configurationFile_);
    writeValue(file, kBaseSection, kDistinctIdKey, distinctId_);
    writeValue(file, kBaseSection, kPrimaryDistinctIdKey, primaryDistinctId_);
    writeValue(file, kBaseSection, kUserIdKey, userId_);
    writeValue(file, kBaseSection, kVipLevelKey, std::to_string(vipLevel_));
    writeValue(file, kBaseSection, kUrlKey, storedUrl_);
    writeValue(file, kBaseSection, kLoggedInKey, loggedIn_ ? kLoggedInText : kLoggedOutText);
}

void UsageIdentity::writeInstallRecord(const std::string& appStore, const std::string& appName,
                                       const std::string& appVersion) {
    const std::wstring file = platform::widePath(configurationFile_);
    writeValue(file, kUninstallSection, kAppStoreKey, appStore);
    writeValue(file, kUninstallSection, kAppNameKey, appName);
    writeValue(file, kUninstallSection, kAppVersionKey, appVersion);
}

std::string UsageIdentity::newDistinctId() {
    platform::Guid guid;
    platform::newGuid(guid);
    for (int attempt = 0; attempt < kGuidTries; ++attempt) {
        if (platform::newGuid(guid)) {
            char text[kGuidTextBytes] = {};
            std::snprintf(text, sizeof(text), "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                          guid.data1, guid.data2, guid.data3, guid.data4[0], guid.data4[1],
                          guid.data4[2], guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6],
                          guid.data4[7]);
            return text;
        }
    }
    // One generator for the process, in its default seeding, so that two fallback ids of one run
    // differ.
    static std::mutex generatorMutex;
    static std::mt19937 generator;
    const std::lock_guard<std::mutex> lock(generatorMutex);
    return randomDistinctId(generator);
}

const std::string& UsageIdentity::localFolder() const {
    return localFolder_;
}
const std::string& UsageIdentity::configurationFile() const {
    return configurationFile_;
}
bool UsageIdentity::loggedIn() const {
    return loggedIn_;
}
void UsageIdentity::setLoggedIn(bool loggedIn) {
    loggedIn_ = loggedIn;
}
const std::string& UsageIdentity::userId() const {
    return userId_;
}
void UsageIdentity::setUserId(std::string userId) {
    userId_ = std::move(userId);
}
const std::string& UsageIdentity::distinctId() const {
    return distinctId_;
}
void UsageIdentity::setDistinctId(std::string distinctId) {
    distinctId_ = std::move(distinctId);
}
const std::string& UsageIdentity::primaryDistinctId() const {
    return primaryDistinctId_;
}
int UsageIdentity::vipLevel() const {
    return vipLevel_;
}
void UsageIdentity::setVipLevel(int vipLevel) {
    vipLevel_ = vipLevel;
}
void UsageIdentity::setLocale(std::string locale) {
    locale_ = std::move(locale);
}

std::string UsageIdentity::locale() const {
    if (locale_.find('_') != std::string::npos) {
        return locale_;
    }
    const LocaleParts parts = processLocale();
    return parts.language.empty() ? std::string() : parts.language + "_" + parts.country;
}

std::string UsageIdentity::language() const {
    const std::size_t separator = locale_.find('_');
    return separator != std::string::npos ? locale_.substr(0, separator) : processLocale().language;
}

std::string UsageIdentity::country() const {
    const std::size_t separator = locale_.find('_');
    return separator != std::string::npos ? locale_.substr(separator + 1) : processLocale().country;
}

std::string randomDistinctId(std::mt19937& generator) {
    std::uniform_int_distribution<int> draw(0, kRandomIdMax);
    std::array<unsigned, kRandomIdDraws> numbers{};
    for (unsigned& number : numbers) {
        number = static_cast<unsigned>(draw(generator));
    }
    char text[kRandomIdTextBytes] = {};
    std::snprintf(text, sizeof(text), "%x%x-%x-%x-%x-%x%x%x", numbers[0], numbers[1], numbers[2],
                  (numbers[3] & kRandomIdVersionMask) | kRandomIdVersion,
                  (numbers[4] % kRandomIdVariantModulus) + kRandomIdVariant, numbers[5], numbers[6],
                  numbers[7]);
    return text;
}

std::string osName() {
    return kOsName;
}

std::string osVersion() {
    for (const char* path : kOsReleasePaths) {
        std::string version = osVersionFromFile(path);
        if (!version.empty()) {
            return version;
        }
    }
    // What os-release itself says to assume when it names nothing.
    return kOsName;
}

std::string osVersionFromFile(const std::string& osReleasePath) {
    std::ifstream in(osReleasePath, std::ios::binary);
    if (!in) {
        return {};
    }
    std::string name = kOsName;
    std::string versionId;
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string_view key = std::string_view(line).substr(0, equals);
        const std::string_view value = std::string_view(line).substr(equals + 1);
        if (key == "NAME") {
            name = unquote(value);
        } else if (key == "VERSION_ID") {
            versionId = unquote(value);
        }
    }
    return versionId.empty() ? name : name + " " + versionId;
}

std::string userAgent() {
    return "Mozilla/5.0(" + osName() + " " + osVersion() + "; " + machineName() + ";)";
}

int screenWidth() {
    return platform::primaryScreenSize().width;
}
int screenHeight() {
    return platform::primaryScreenSize().height;
}

}  // namespace pelta::usage
