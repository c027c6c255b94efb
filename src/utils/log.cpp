#include "utils/log.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <new>

#include "platform/debug_output.h"

namespace Utils {

namespace {

// A wide in-memory stream and the buffer the C library grows for it. The buffer belongs to us
// once the stream is closed; both are released however formatting ends.
class WideMemoryStream {
public:
    WideMemoryStream() : file_(open_wmemstream(&buffer_, &length_)) {}
    ~WideMemoryStream() {
        close();
        std::free(buffer_);
    }
    WideMemoryStream(const WideMemoryStream&) = delete;
    WideMemoryStream& operator=(const WideMemoryStream&) = delete;

    FILE* file() const { return file_; }

    // Closing is what makes buffer and length final; false when the last flush failed.
    bool close() {
        if (file_ == nullptr) {
            return true;
        }
        const bool flushed = std::fclose(file_) == 0;
        file_ = nullptr;
        return flushed;
    }

    std::wstring text() const {
        return buffer_ == nullptr ? std::wstring() : std::wstring(buffer_, length_);
    }

private:
    wchar_t* buffer_ = nullptr;
    std::size_t length_ = 0;
    FILE* file_;
};

bool isFlag(wchar_t c) {
    return c == L'-' || c == L'+' || c == L' ' || c == L'#' || c == L'0';
}

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// Rewrites one conversion from its Windows meaning to this C library's. Windows wide printf reads
// %s and %c as wide, %S, %hs, %C and %hc as narrow, and "l" on an integer as 32 bits; glibc reads
// %s and %c as narrow, %ls and %lc as wide, and "l" on an integer as 64 bits. The callers pass
// 32-bit values for "l" integers, so the "l" goes.
void appendConversion(std::wstring& out, std::wstring_view length, wchar_t conversion) {
    switch (conversion) {
        case L's':
        case L'c':
            if (length == L"h") {
                out += conversion;
            } else {
                out += L'l';
                out += conversion;
            }
            return;
        case L'S':
            out += L's';
            return;
        case L'C':
            out += L'c';
            return;
        case L'd':
        case L'i':
        case L'u':
        case L'x':
        case L'X':
        case L'o':
            if (length == L"l" || length == L"I32") {
                // 32-bit on Windows: no modifier here.
            } else if (length == L"I64") {
                out += L"ll";
            } else {
                out += length;
            }
            out += conversion;
            return;
        default:
            out += length;
            out += conversion;
            return;
    }
}

std::wstring translateFormat(std::wstring_view format) {
    std::wstring out;
    out.reserve(format.size() + 8);
    std::size_t i = 0;
    while (i < format.size()) {
        const wchar_t c = format[i++];
        out += c;
        if (c != L'%') {
            continue;
        }
        if (i < format.size() && format[i] == L'%') {
            out += format[i++];
            continue;
        }
        // Flags, width and precision pass unchanged; "*" takes an int on both systems.
        while (i < format.size() && isFlag(format[i])) {
            out += format[i++];
        }
        while (i < format.size() && (isDigit(format[i]) || format[i] == L'*')) {
            out += format[i++];
        }
        if (i < format.size() && format[i] == L'.') {
            out += format[i++];
            while (i < format.size() && (isDigit(format[i]) || format[i] == L'*')) {
                out += format[i++];
            }
        }
        // glibc would take the Windows size prefix "I" for its locale-digits flag.
        std::wstring_view length;
        const std::wstring_view rest = format.substr(i);
        for (std::wstring_view candidate :
             {L"I64", L"I32", L"hh", L"ll", L"h", L"l", L"L", L"z", L"j", L"t", L"q"}) {
            if (rest.starts_with(candidate)) {
                length = candidate;
                break;
            }
        }
        i += length.size();
        if (i >= format.size()) {
            out += length;  // a cut-off conversion stays as written; the formatter rejects it
            break;
        }
        appendConversion(out, length, format[i++]);
    }
    return out;
}

}  // namespace

std::wstring formatWindowsWide(const wchar_t* format, va_list args) {
    try {
        const std::wstring translated = translateFormat(format);
        WideMemoryStream stream;
        if (stream.file() == nullptr) {
            return {};
        }
        if (std::vfwprintf(stream.file(), translated.c_str(), args) < 0 || !stream.close()) {
            return {};
        }
        return stream.text();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::wstring FormatWide(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = formatWindowsWide(format, args);
    va_end(args);
    return text;
}

void DebugLog(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::wstring text = formatWindowsWide(format, args);
    va_end(args);
    if (text.empty()) {
        return;
    }
    // A line that cannot be built for lack of memory is dropped; the writer goes on.
    try {
        platform::outputDebugString(text);
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace Utils
