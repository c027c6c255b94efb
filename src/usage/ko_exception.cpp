#include "usage/ko_exception.h"

#include <utility>

namespace pelta::usage {

KoException::KoException(std::string fileName, std::string functionName, std::int32_t line,
                         std::string message)
    : fileName_(std::move(fileName)),
      functionName_(std::move(functionName)),
      line_(line),
      message_(std::move(message)) {}

}  // namespace pelta::usage
