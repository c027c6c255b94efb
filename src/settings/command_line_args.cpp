#include "settings/command_line_args.h"

#include <limits>

#include "settings/number_parsing.h"

namespace settings {

CommandLineArgs::CommandLineArgs(const std::vector<std::wstring>& arguments) {
    for (const std::wstring& argument : arguments) {
        const std::size_t equals = argument.find(L'=');
        if (argument.starts_with(L'-') && equals != std::wstring::npos) {
            options_.try_emplace(argument.substr(0, equals), argument.substr(equals + 1));
        } else {
            options_.try_emplace(argument, std::wstring());
        }
    }
}

bool CommandLineArgs::has(const std::wstring& key) const {
    return options_.contains(key);
}

std::wstring CommandLineArgs::text(const std::wstring& key) const {
    const auto found = options_.find(key);
    return found == options_.end() ? std::wstring() : found->second;
}

std::int32_t CommandLineArgs::integer(const std::wstring& key) const {
    return parseLeadingInt32(text(key)).value_or(0);
}

bool CommandLineArgs::boolean(const std::wstring& key) const {
    return text(key) == L"true";
}

double CommandLineArgs::number(const std::wstring& key) const {
    return parseLeadingDouble(text(key)).value_or(std::numeric_limits<double>::quiet_NaN());
}

}  // namespace settings
