#pragma once

#include <concepts>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <source_location>
#include <string>
#include <type_traits>

#include "platform/clock.h"
#include "platform/threads.h"

// The installer's diagnostic lines. Every line is
//   <P%05d><T%05d><%04d-%02d-%02d %02d:%02d:%02d.%03d>(%s)<%04d>: message
// written to the debug-output sink. Formats are written the Windows way (%s takes a wide text,
// %ld a 32-bit value); formatWindowsWide translates them for this C library.
namespace Utils {

inline constexpr wchar_t kLogPrefixFormat[] =
    L"<P%05d><T%05d><%04d-%02d-%02d %02d:%02d:%02d.%03d>(%s)<%04d>: ";

// Formats a Windows-style wide format with its arguments and writes the result to the
// debug-output sink. Nothing is written when the text cannot be built.
void DebugLog(const wchar_t* format, ...);

// The text a Windows-style wide format gives with these arguments; empty on a formatting error.
std::wstring formatWindowsWide(const wchar_t* format, va_list args);

// The text a Windows-style wide format gives with these arguments; empty on a formatting error.
std::wstring FormatWide(const wchar_t* format, ...);

// Where a line comes from: the function name as the catalogue spells it (for example
// "CDownloadInstaller::Start") and the line of the writing statement.
struct LogSite {
    // Implicit so that a call reads Log({L"CurlClient::Start"}, ...) and the line is the caller's.
    LogSite(const wchar_t* functionName,
            std::source_location location = std::source_location::current())
        : function(functionName), line(static_cast<int>(location.line())) {}

    const wchar_t* function;
    int line;
};

namespace detail {

// Arguments are passed with exactly the width the translated format expects.
inline const wchar_t* logArgument(const std::wstring& text) {
    return text.c_str();
}
inline const wchar_t* logArgument(const wchar_t* text) {
    return text;
}
inline double logArgument(double value) {
    return value;
}
template <std::integral T>
auto logArgument(T value) {
    if constexpr (sizeof(T) <= sizeof(std::int32_t)) {
        return static_cast<std::conditional_t<std::is_signed_v<T>, int, unsigned>>(value);
    } else {
        return static_cast<std::conditional_t<std::is_signed_v<T>, long long, unsigned long long>>(
            value);
    }
}

}  // namespace detail

// Writes one diagnostic line: takes the local time first, then passes process id, thread id,
// time, function and line ahead of the message's own arguments. The message format is a literal
// of the catalogue; arguments never become part of the format, so any text is safe in them.
template <typename... Args>
void Log(LogSite site, const wchar_t* messageFormat, const Args&... args) {
    const platform::LocalTime now = platform::localTimeNow();
    const std::wstring format = std::wstring(kLogPrefixFormat) + messageFormat;
    DebugLog(format.c_str(), static_cast<int>(platform::currentProcessId()),
             static_cast<int>(platform::currentThreadId()), now.year, now.month, now.day, now.hour,
             now.minute, now.second, now.millisecond, site.function, site.line,
             detail::logArgument(args)...);
}

// A Windows-style wide format applied to its arguments into a fixed buffer of bufferChars
// characters: the text is cut to bufferChars - 1. The format is a literal; arguments never become
// part of it, so any text is safe in them.
template <typename... Args>
std::wstring FormatText(std::size_t bufferChars, const wchar_t* format, const Args&... args) {
    std::wstring text = FormatWide(format, detail::logArgument(args)...);
    if (bufferChars > 0 && text.size() >= bufferChars) {
        text.resize(bufferChars - 1);
    }
    return text;
}

}  // namespace Utils
