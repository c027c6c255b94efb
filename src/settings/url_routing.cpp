#include "settings/url_routing.h"

#include <algorithm>
#include <array>

#include "utils/text.h"

namespace settings {

namespace {

// Products whose server keeps a 64-bit package. This product is not among them, so its routing
// never picks the 64-bit route; the list stays so the rule reads as it does for its siblings.
constexpr int kThisProductNumber = 327;
constexpr std::array<int, 2> kProductsWith64BitPackage = {329, 341};

constexpr int kArchitectureX64 = 9;
constexpr int kArchitectureItanium = 6;

bool hasPackageFor64Bit(int productNumber) {
    return std::find(kProductsWith64BitPackage.begin(), kProductsWith64BitPackage.end(),
                     productNumber) != kProductsWith64BitPackage.end();
}

}  // namespace

std::wstring routeDownloadUrl(const std::wstring& urlTemplate, const std::wstring& versionName,
                              bool isWow64) {
    if (urlTemplate.find(kRoutePlaceholder) == std::wstring::npos) {
        return urlTemplate;
    }
    std::wstring route = kRouteDefault;
    if (versionName.find(L"XP") != std::wstring::npos) {
        route = kRouteXp;
    } else if (hasPackageFor64Bit(kThisProductNumber) && isWow64) {
        route = kRoute64;
    }
    return Utils::ReplaceAll(urlTemplate, kRoutePlaceholder, route);
}

std::wstring windowsVersionText(unsigned major, unsigned minor, unsigned build, bool serverR2) {
    build &= 0xFFFF;
    if (major < 5) {
        return L"XP-";
    }
    if (major == 5) {
        switch (minor) {
            case 0:
                return L"2K";
            case 1:
                return L"XP";
            case 2:
                return serverR2 ? L"Server 2003 R2" : L"Server 2003";
            default:
                return L"XP+";
        }
    }
    if (major == 6) {
        switch (minor) {
            case 0:
                return L"Vista";
            case 1:
                return L"7";
            case 2:
                return L"8";
            case 3:
                return L"8.1";
            default:
                return L"8.1+";
        }
    }
    if (major == 10) {
        return minor == 0 ? L"10" : L"10+";
    }
    return std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." + std::to_wstring(build);
}

bool wow64FromProbe(bool queryAvailable, std::optional<bool> queryAnswer, int nativeArchitecture) {
    if (!queryAvailable) {
        return false;
    }
    if (queryAnswer.has_value()) {
        return *queryAnswer;
    }
    return nativeArchitecture == kArchitectureX64 || nativeArchitecture == kArchitectureItanium;
}

void GetWindowsVersionName(std::wstring& name, std::wstring& version) {
    name = L"Linux";
    version = L"Linux";
}

bool IsWow64() {
    return false;
}

}  // namespace settings
