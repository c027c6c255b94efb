#pragma once

#include <exception>
#include <string>

namespace Utils {

// The one exception type of the system helpers (pipe and child-process creation). The message is
// kept in the ANSI charset, as the standard exception text is narrow.
class Exception : public std::exception {
public:
    explicit Exception(const std::wstring& message = std::wstring());

    // The message, or "Unknown exception" when there is none.
    const char* what() const noexcept override;

private:
    std::string message_;
};

}  // namespace Utils
