#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "download/downloader.h"

// The console output of the product package and of the old uninstaller: "Key=value" lines that
// the runners turn into pipeline events. A runner owns one ConsoleParseState and one
// ConsoleOutputDecoder for its child and, on its worker thread, calls
//   parseConsoleChunk(dialect, decoder.feed(bytesOfOneRead), state, callback)
// for every read of the child's standard output, and once more with decoder.finish() when the
// output has ended.

// Changed by the parser, read by the decoder; lives as long as the runner (a reused package
// runner keeps its code page).
struct ConsoleParseState {
    std::uint32_t codePage = 0;  // Windows code page of the next decoded text; 0 is ANSI
    std::int32_t installVersion[3] = {0, 0, 0};
};

enum class ConsoleDialect { Install, Uninstall };

// Parses decoded text line by line and sends the events through `callback` as it goes, in line
// order. Returns kParseNoFinalState, or kParseSucceeded / kParseFailed for the last final state
// in the text. An "Encode=" line changes state.codePage, which the decoder uses from its next
// feed() on.
std::int32_t parseConsoleChunk(ConsoleDialect dialect, const std::wstring& chunk,
                               ConsoleParseState& state, const PipelineCallback& callback);

// Turns the child's reads into text made of whole lines. A child's line can arrive in two reads
// (and a multi-byte character with it), so the bytes after the last line feed wait for the next
// read and are decoded together with it, under the code page in force when that read is fed.
class ConsoleOutputDecoder {
public:
    explicit ConsoleOutputDecoder(ConsoleParseState& state);

    // The decoded text up to and including the last line feed of what has arrived so far; empty
    // when no line is complete yet. A read ends at its first zero byte.
    std::wstring feed(std::string_view bytes);

    // The decoded unterminated last line at the end of output (empty when there is none).
    std::wstring finish();

private:
    void appendToTail(std::string_view bytes);

    ConsoleParseState& state_;
    std::string tail_;  // raw bytes of the line still being written
};
