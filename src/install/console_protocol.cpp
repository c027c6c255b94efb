#include "install/console_protocol.h"

#include "install/install_codes.h"

std::int32_t parseConsoleChunk(ConsoleDialect, const std::wstring&, ConsoleParseState&,
                               const PipelineCallback&) {
    return kParseNoFinalState;
}
