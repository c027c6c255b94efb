#pragma once

#include <string>
#include <string_view>
#include <system_error>

// The package's side of the installer's console dialects: "key=value" lines on standard output.
namespace demo_package {

// Writes one line and hands it on at once: the installer acts on each line as it arrives, and a
// line left in a buffer would reach it only when the program ends.
void sayLine(std::string_view line);

// "Progress=<fraction>", then a short pause, so that the installer's bar moves in visible steps
// and the progress lines come in reads of their own.
void sayProgress(std::string_view fraction);

// "Encode=UTF8", alone in its read: the installer switches code page from the next read on, and
// the paths that follow may hold Chinese.
void sayEncoding();

// "Error=" with what failed, the path (left out when the line would pass the installer's text
// limit) and the system's reason, for the installer to show. Returns the failed run's exit code.
int reportFailure(std::string_view what, const std::string& path = {}, std::error_code error = {});

}  // namespace demo_package
