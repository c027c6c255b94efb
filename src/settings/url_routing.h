#pragma once

#include <optional>
#include <string>

// Chooses the route of a download URL template: the server keeps one package per route, and the
// "${ROUTE}" placeholder names it. Windows XP machines get a package of their own.
namespace settings {

inline constexpr wchar_t kRoutePlaceholder[] = L"${ROUTE}";
inline constexpr wchar_t kRouteXp[] = L"download_silent_xp";
inline constexpr wchar_t kRoute64[] = L"download_silent_64";
inline constexpr wchar_t kRouteDefault[] = L"download_silent";

// The template with every placeholder replaced by the route for a system whose version text is
// versionName and whose bitness probe said isWow64; a text without placeholder is kept as it is.
std::wstring routeDownloadUrl(const std::wstring& urlTemplate, const std::wstring& versionName,
                              bool isWow64);

// Windows version text for the numbers an NT system reports; serverR2 is the R2 system metric.
// A build number keeps only its low 16 bits.
std::wstring windowsVersionText(unsigned major, unsigned minor, unsigned build, bool serverR2);

// Bitness from the two Windows answers: isWow64Answer is empty when the query was not possible,
// nativeArchitecture is the processor architecture the system reports then (9 x64, 6 Itanium).
bool wow64FromProbe(bool queryAvailable, std::optional<bool> queryAnswer, int nativeArchitecture);

// The probes as this system answers them: a Linux system is named "Linux" (never a kernel
// release, which could contain "XP") and has no 32-on-64 layer.
void GetWindowsVersionName(std::wstring& name, std::wstring& version);
bool IsWow64();

}  // namespace settings
