#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace settings {

// The installer's options, "-key=value", from the process arguments. Every argument, the program
// path included, is one entry: an argument starting with "-" and containing "=" is split at its
// first "=" (the value may hold more of them); any other argument is a key with an empty value.
// Keys keep their case, and the first occurrence of a key wins.
class CommandLineArgs {
public:
    explicit CommandLineArgs(const std::vector<std::wstring>& arguments);

    bool has(const std::wstring& key) const;

    // Readers for a key that is present.
    std::wstring text(const std::wstring& key) const;
    // Decimal from the start of the value (blanks skipped, trailing text ignored); 0 when it does
    // not start with a number; clamped to the 32-bit range.
    std::int32_t integer(const std::wstring& key) const;
    // True exactly when the value is "true".
    bool boolean(const std::wstring& key) const;
    // A decimal number from the start of the value; not-a-number when it does not start with one.
    double number(const std::wstring& key) const;

private:
    std::map<std::wstring, std::wstring> options_;
};

}  // namespace settings
