#include "install/console_protocol.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "install/install_codes.h"
#include "platform/text_encoding.h"
#include "settings/number_parsing.h"
#include "utils/log.h"
#include "utils/text.h"

namespace {

// The packages write their texts into fixed buffers of this size on the other side; a longer
// value is refused as a whole rather than cut.
constexpr std::size_t kMaxTextUtf16Units = 771;

// No valid line comes near this length (the longest text is 771 characters, four bytes each at
// most), so an endless line from a misbehaving child is kept only as far as it can matter.
constexpr std::size_t kMaxTailBytes = 64 * 1024;

// The value of the failure event of a package's own "Error=" line, which sets it apart from the
// runner's failures.
constexpr double kPackageErrorValue = 1000.0;

constexpr wchar_t kInstallFailedText[] = L"安装包安装失败";
constexpr wchar_t kUninstallFailedText[] = L"安装包卸载失败";

using Result = std::optional<std::int32_t>;  // nullopt: the line leaves the chunk's result alone

bool isScanBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// What "%d" reads at the start of the text: blanks, an optional sign, decimal digits.
struct ScannedInteger {
    std::int32_t value;  // clamped to 32 bits
    bool fits;           // false when the digits say more than 32 bits hold
    std::size_t length;  // characters consumed
};

std::optional<ScannedInteger> scanInteger(std::wstring_view text) {
    constexpr std::int64_t kMagnitudeLimit =
        std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::size_t i = 0;
    while (i < text.size() && isScanBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    const std::size_t digitsBegin = i;
    std::int64_t magnitude = 0;
    bool fits = true;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + (text[i] - L'0');
        if (magnitude > kMagnitudeLimit) {
            magnitude = kMagnitudeLimit;  // saturate so that further digits cannot overflow
            fits = false;
        }
    }
    if (i == digitsBegin) {
        return std::nullopt;
    }
    if (!negative && magnitude == kMagnitudeLimit) {
        fits = false;
    }
    const std::int64_t value = negative ? -magnitude : std::min(magnitude, kMagnitudeLimit - 1);
    return ScannedInteger{static_cast<std::int32_t>(value), fits, i};
}

double scanDouble(std::wstring_view text) {
    return settings::parseLeadingDouble(text).value_or(0.0);
}

double scanIntegerValue(std::wstring_view text) {
    const auto scanned = scanInteger(text);
    return scanned ? scanned->value : 0;
}

// The rest of the line as a text value: as is, or empty when it exceeds the limit.
std::wstring textValue(std::wstring_view rest) {
    if (platform::utf16Length(rest) > kMaxTextUtf16Units) {
        return {};
    }
    return std::wstring(rest);
}

void send(const PipelineCallback& callback, std::int32_t code, double value,
          const wchar_t* text = L"") {
    if (callback) {
        callback(code, value, text);
    }
}

// One row of a dialect: the key that starts the line and what the rest of the line does.
struct KeyRule {
    std::wstring_view key;
    Result (*handle)(std::wstring_view rest, ConsoleParseState& state,
                     const PipelineCallback& callback);
};

template <std::int32_t Code>
Result sendText(std::wstring_view rest, ConsoleParseState&, const PipelineCallback& callback) {
    send(callback, Code, 0.0, textValue(rest).c_str());
    return std::nullopt;
}

template <std::int32_t Code>
Result sendProgress(std::wstring_view rest, ConsoleParseState&, const PipelineCallback& callback) {
    send(callback, Code, scanDouble(rest));
    return std::nullopt;
}

template <std::int32_t Code>
Result sendInteger(std::wstring_view rest, ConsoleParseState&, const PipelineCallback& callback) {
    send(callback, Code, scanIntegerValue(rest));
    return std::nullopt;
}

Result installState(std::wstring_view rest, ConsoleParseState&, const PipelineCallback& callback) {
    const std::wstring value = Utils::Trim(textValue(rest));
    if (value == L"Success") {
        send(callback, INSTALL_SUCCESS, 0.0);
        return kParseSucceeded;
    }
    if (value == L"Fail") {
        send(callback, IST_CODE_FAIL, 0.0, kInstallFailedText);
        return kParseFailed;
    }
    return std::nullopt;
}

// Like "%d.%d.%d": reading stops at the first part or dot that is not there, and the parts not
// read keep their earlier values.
Result installVersion(std::wstring_view rest, ConsoleParseState& state, const PipelineCallback&) {
    for (std::size_t part = 0; part < std::size(state.installVersion); ++part) {
        if (part > 0) {
            if (rest.empty() || rest.front() != L'.') {
                break;
            }
            rest.remove_prefix(1);
        }
        const auto scanned = scanInteger(rest);
        if (!scanned) {
            break;
        }
        state.installVersion[part] = scanned->value;
        rest.remove_prefix(scanned->length);
    }
    return std::nullopt;
}

Result exePath(std::wstring_view rest, ConsoleParseState&, const PipelineCallback& callback) {
    const std::wstring text = textValue(rest);
    Utils::Log({L"CInstaller::Parse"}, L"ExePath: %s", text);
    send(callback, IST_CODE_EXE_PATH, 0.0, text.c_str());
    return std::nullopt;
}

Result installError(std::wstring_view rest, ConsoleParseState&, const PipelineCallback& callback) {
    send(callback, IST_CODE_FAIL, kPackageErrorValue, textValue(rest).c_str());
    return kParseFailed;
}

Result startupStyle(std::wstring_view rest, ConsoleParseState&, const PipelineCallback& callback) {
    const std::wstring value = Utils::Trim(textValue(rest));
    double style = 0.0;
    if (value == L"AutoStartup") {
        style = 1.0;
    } else if (value == L"UserStartup") {
        style = 2.0;
    }
    send(callback, IST_CODE_STARTUP_STYLE, style);
    return std::nullopt;
}

Result installEncode(std::wstring_view rest, ConsoleParseState& state, const PipelineCallback&) {
    const std::wstring value = Utils::Trim(textValue(rest));
    if (value == L"UTF8") {
        state.codePage = platform::kCodePageUtf8;
    } else if (value == L"ACP") {
        state.codePage = platform::kCodePageAnsi;
    } else {
        // A number beyond 32 bits names no code page; clamping it would name an arbitrary one.
        const auto scanned = scanInteger(value);
        state.codePage = scanned && scanned->fits ? static_cast<std::uint32_t>(scanned->value)
                                                  : platform::kCodePageAnsi;
    }
    return std::nullopt;
}

Result uninstallError(std::wstring_view rest, ConsoleParseState&,
                      const PipelineCallback& callback) {
    send(callback, UNIST_CODE_ERROR, 0.0, textValue(rest).c_str());
    return kParseFailed;
}

Result uninstallState(std::wstring_view rest, ConsoleParseState&,
                      const PipelineCallback& callback) {
    const std::wstring value = Utils::Trim(textValue(rest));
    if (value == L"Success") {
        send(callback, UNIST_CODE_SUCCESS, 0.0);
        return kParseSucceeded;
    }
    if (value == L"Fail") {
        send(callback, UNIST_CODE_ERROR, 0.0, kUninstallFailedText);
        return kParseFailed;
    }
    return std::nullopt;
}

Result uninstallEncode(std::wstring_view rest, ConsoleParseState& state, const PipelineCallback&) {
    state.codePage =
        Utils::Trim(textValue(rest)) == L"UTF8" ? platform::kCodePageUtf8 : platform::kCodePageAnsi;
    return std::nullopt;
}

// Keys are tested in this order and the first that starts the line decides.
constexpr std::array kInstallRules = {
    KeyRule{L"Progress=", sendProgress<IST_CODE_PROGRESS>},
    KeyRule{L"InstPath=", sendText<IST_CODE_INST_PATH>},
    KeyRule{L"State=", installState},
    KeyRule{L"InstallVersion=", installVersion},
    KeyRule{L"ExePath=", exePath},
    KeyRule{L"StartExe=", sendText<IST_CODE_EXE_PATH>},
    KeyRule{L"UninstExePath=", sendText<IST_CODE_UNINST_EXE>},
    KeyRule{L"UninstExe=", sendText<IST_CODE_UNINST_EXE>},
    KeyRule{L"UninstEp=", sendText<IST_CODE_UNINST_EP>},
    KeyRule{L"Error=", installError},
    KeyRule{L"TopShowDetention=", sendInteger<IST_CODE_TOP_SHOW_DETENTION>},
    KeyRule{L"FinsihCloseDetention=", sendInteger<IST_CODE_FINISH_CLOSE_DETENTION>},
    KeyRule{L"StartUrl=", sendText<IST_CODE_START_URL>},
    KeyRule{L"StartupStyle=", startupStyle},
    KeyRule{L"Encode=", installEncode},
    KeyRule{L"Message=", sendText<IST_CODE_MESSAGE>},
};

constexpr std::array kUninstallRules = {
    KeyRule{L"Progress=", sendProgress<UNIST_CODE_PROGRESS>},
    KeyRule{L"Error=", uninstallError},
    KeyRule{L"State=", uninstallState},
    KeyRule{L"Encode=", uninstallEncode},
};

template <std::size_t N>
Result parseLine(const std::array<KeyRule, N>& rules, std::wstring_view line,
                 ConsoleParseState& state, const PipelineCallback& callback) {
    for (const KeyRule& rule : rules) {
        if (line.starts_with(rule.key)) {
            return rule.handle(line.substr(rule.key.size()), state, callback);
        }
    }
    return std::nullopt;
}

}  // namespace

std::int32_t parseConsoleChunk(ConsoleDialect dialect, const std::wstring& chunk,
                               ConsoleParseState& state, const PipelineCallback& callback) {
    std::int32_t result = kParseNoFinalState;
    const std::wstring_view text(chunk);
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find(L'\n', begin);
        if (end == std::wstring_view::npos) {
            end = text.size();
        }
        const std::wstring_view line = text.substr(begin, end - begin);
        const Result lineResult = dialect == ConsoleDialect::Install
                                      ? parseLine(kInstallRules, line, state, callback)
                                      : parseLine(kUninstallRules, line, state, callback);
        if (lineResult) {
            result = *lineResult;
        }
        begin = end + 1;
    }
    return result;
}

ConsoleOutputDecoder::ConsoleOutputDecoder(ConsoleParseState& state) : state_(state) {}

std::wstring ConsoleOutputDecoder::feed(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    const std::size_t lastLineFeed = bytes.rfind('\n');
    if (lastLineFeed == std::string_view::npos) {
        appendToTail(bytes);
        return {};
    }
    const std::size_t firstLineFeed = bytes.find('\n');
    appendToTail(bytes.substr(0, firstLineFeed));
    std::string complete = std::move(tail_);
    complete.append(bytes.substr(firstLineFeed, lastLineFeed + 1 - firstLineFeed));
    tail_.clear();
    appendToTail(bytes.substr(lastLineFeed + 1));
    return Utils::ToWide(complete, state_.codePage);
}

std::wstring ConsoleOutputDecoder::finish() {
    const std::string rest = std::move(tail_);
    tail_.clear();
    return rest.empty() ? std::wstring() : Utils::ToWide(rest, state_.codePage);
}

void ConsoleOutputDecoder::appendToTail(std::string_view bytes) {
    if (tail_.size() < kMaxTailBytes) {
        tail_.append(bytes.substr(0, kMaxTailBytes - tail_.size()));
    }
}
