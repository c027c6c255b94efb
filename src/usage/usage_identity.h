#pragma once

#include <random>
#include <string>

namespace pelta::usage {

// Local state of the tracker: identity, file paths and locale. Texts are the ANSI charset's bytes,
// paths the bytes the kernel sees. One object per tracker, which serialises the access to it.
class UsageIdentity {
public:
    // Chooses the local folder and configuration file (Set.ini beside the executable with
    // [Install] KOUsageAnalyticsIni, else <data
    // home>/KOLocal/<appName>/<appName>_KOSConfigure.ini), creating folders; sets the default log
    // path <local folder>/<appName>_KOSLog.txt when logPath is empty. The local folder has no
    // trailing separator.
    void chooseFiles(const std::string& appName, std::string& logPath);
    // The same with the folder that is searched for Set.ini given.
    void chooseFiles(const std::string& appName, std::string& logPath,
                     const std::string& executableFolder);
    void load();  // from the configuration file
    void reconcile(
        const std::string& serverUrl);  // logs out and falls back to the primary id on a new URL
    void save() const;                  // the six [Base] keys in order
    void writeInstallRecord(const std::string& appStore, const std::string& appName,
                            const std::string& appVersion);
    // A fresh GUID text; the process-wide random fallback when the system gives no GUID.
    static std::string newDistinctId();

    const std::string& localFolder() const;
    const std::string& configurationFile() const;
    bool loggedIn() const;
    void setLoggedIn(bool loggedIn);
    const std::string& userId() const;
    void setUserId(std::string userId);
    const std::string& distinctId() const;
    void setDistinctId(std::string distinctId);
    const std::string& primaryDistinctId() const;
    int vipLevel() const;
    void setVipLevel(int vipLevel);
    // locale pieces: setLocale text, else the process locale (LC_ALL/LC_MESSAGES/LANG)
    void setLocale(std::string locale);
    std::string locale() const;
    std::string language() const;
    std::string country() const;

private:
    bool loggedIn_ = false;
    std::string userId_;
    std::string distinctId_;
    std::string primaryDistinctId_;
    int vipLevel_ = 0;
    std::string storedUrl_;
    std::string locale_;
    std::string localFolder_;
    std::string configurationFile_;
};

// The id used when the system gives no GUID: eight draws from the generator, formatted as
// "%x%x-%x-%x-%x-%x%x%x" with the version and variant bits of a random GUID forced in.
std::string randomDistinctId(std::mt19937& generator);

// System description texts.
std::string osName();     // "Linux"
std::string osVersion();  // from os-release
// NAME and, when present, VERSION_ID of an os-release file; empty when it cannot be read.
std::string osVersionFromFile(const std::string& osReleasePath);
std::string userAgent();  // "Mozilla/5.0(" os " " version "; " machine ";)"
int screenWidth();        // primary monitor, 0 without a display (platform layer)
int screenHeight();

}  // namespace pelta::usage
