#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace pelta::usage {

// The one exception type of the tracker library: every rejected track call, malformed context
// property and enumeration value outside its table. The wrapper absorbs it, so it never reaches
// the installer's callers. Besides the message it names where it was raised.
class KoException : public std::exception {
public:
    KoException(std::string fileName, std::string functionName, std::int32_t line,
                std::string message);

    const char* what() const noexcept override { return message_.c_str(); }

    const std::string& fileName() const { return fileName_; }
    const std::string& functionName() const { return functionName_; }
    std::int32_t line() const { return line_; }
    // Two codes the exception's shape carries for errors with numbers of their own; the tracker
    // raises none, so both are always -1.
    std::int32_t errorCode() const { return kNoCode; }
    std::int32_t subCode() const { return kNoCode; }

private:
    static constexpr std::int32_t kNoCode = -1;

    std::string fileName_;
    std::string functionName_;
    std::int32_t line_;
    std::string message_;
};

}  // namespace pelta::usage
