// collector [--port N] [--out FILE] [--fail-next N] [--fail-status S]
//
// Serves the analytics collection endpoint on 127.0.0.1 until SIGINT or SIGTERM and prints every
// record it stores as one line on standard output. The address goes to standard error, so that a
// script can read it when the port was chosen by the system (--port 0, the default).
#include <signal.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "collector/collector_server.h"

namespace {

constexpr int kDefaultFailStatus = 500;

struct Arguments {
    int port = 0;
    std::string outPath;
    int failCount = 0;
    int failStatus = kDefaultFailStatus;
};

std::optional<int> number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<Arguments> parseArguments(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (i + 1 >= argc) {
            return std::nullopt;
        }
        const std::string_view value = argv[++i];
        std::optional<int> parsed = name == "--out" ? 0 : number(value);
        if (!parsed) {
            return std::nullopt;
        }
        if (name == "--port") {
            arguments.port = *parsed;
        } else if (name == "--out") {
            arguments.outPath = value;
        } else if (name == "--fail-next") {
            arguments.failCount = *parsed;
        } else if (name == "--fail-status") {
            arguments.failStatus = *parsed;
        } else {
            return std::nullopt;
        }
    }
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Arguments> arguments = parseArguments(argc, argv);
    if (!arguments) {
        std::cerr << "usage: collector [--port N] [--out FILE] [--fail-next N] [--fail-status S]\n";
        return 2;
    }

    // Blocked before any thread starts, so that every thread inherits the mask and the signals
    // reach only the sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    collector::CollectorServer server({arguments->outPath, true});
    server.failNext(arguments->failCount, arguments->failStatus);
    if (!server.start(arguments->port)) {
        std::cerr << "collector: cannot listen on 127.0.0.1:" << arguments->port << ": "
                  << std::strerror(errno) << "\n";
        return 1;
    }
    std::cerr << "collector listening on " << server.url() << std::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    return 0;
}
