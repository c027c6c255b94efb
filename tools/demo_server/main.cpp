// demo-server --root=DIR [--port=N] [--package=NAME] [fault flags]
//
// Serves every file F of DIR at "/<md5 of F>/F" on 127.0.0.1 and redirects "/software/327" to the
// package, until SIGINT or SIGTERM. The first line on standard output is the address, so that a
// script can read it when the system chose the port (--port=0, the default).
#include <signal.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo_server/package_server.h"

namespace {

constexpr char kUsage[] =
    "usage: demo-server --root=DIR [--port=N] [--package=NAME] [faults]\n"
    "  --root=DIR           serve every file F of DIR at /<md5 of F>/F\n"
    "  --port=N             listen on 127.0.0.1:N (0 or none: any free port)\n"
    "  --package=NAME       /software/327 redirects to this file (default: the only file)\n"
    "faults, each on the first GET of a file (--times=N for more, -1: every one):\n"
    "  --drop-after=BYTES   close the connection after BYTES body bytes\n"
    "  --stall-after=BYTES  send nothing after BYTES body bytes for --stall-ms, then close\n"
    "  --stall-ms=MS        length of the stall (default 10000)\n"
    "  --status=CODE        answer CODE without a body\n"
    "  --ignore-range       answer 200 with the whole file despite a Range header\n"
    "  --wrong-bytes        serve bytes that do not match the file's MD5\n"
    "  --help               this text\n";
constexpr int kDefaultStallMs = 10000;

struct Arguments {
    std::string root;
    int port = 0;
    std::string package;
    std::vector<demo_server::Cue> cues;
    int times = 1;
    int stallMs = kDefaultStallMs;
    bool help = false;
};

template <typename Number>
std::optional<Number> number(std::string_view text) {
    Number value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Parses one "--name=value" or "--name"; false for anything unknown or malformed.
bool parseOne(std::string_view argument, Arguments& arguments) {
    const auto equals = argument.find('=');
    const std::string_view name = argument.substr(0, equals);
    const bool hasValue = equals != std::string_view::npos;
    const std::string_view value = hasValue ? argument.substr(equals + 1) : std::string_view();
    if (!hasValue) {
        if (name == "--help") {
            arguments.help = true;
        } else if (name == "--ignore-range") {
            arguments.cues.push_back(demo_server::ignoreRange());
        } else if (name == "--wrong-bytes") {
            arguments.cues.push_back(demo_server::wrongBytes());
        } else {
            return false;
        }
        return true;
    }
    if (name == "--root") {
        arguments.root = value;
        return !value.empty();
    }
    if (name == "--package") {
        arguments.package = value;
        return !value.empty();
    }
    const auto parsed = number<std::int64_t>(value);
    if (!parsed || *parsed < (name == "--times" ? -1 : 0)) {
        return false;
    }
    const int small = static_cast<int>(std::min<std::int64_t>(*parsed, INT32_MAX));
    if (name == "--port") {
        arguments.port = small;
    } else if (name == "--times") {
        arguments.times = small;
    } else if (name == "--stall-ms") {
        arguments.stallMs = small;
    } else if (name == "--drop-after") {
        arguments.cues.push_back(demo_server::dropAfter(*parsed));
    } else if (name == "--stall-after") {
        arguments.cues.push_back(demo_server::stallAfter(*parsed, 0));
    } else if (name == "--status") {
        arguments.cues.push_back(demo_server::answerStatus(small));
    } else {
        return false;
    }
    return true;
}

std::optional<Arguments> parseArguments(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        if (!parseOne(argv[i], arguments)) {
            return std::nullopt;
        }
    }
    for (demo_server::Cue& cue : arguments.cues) {
        cue.times = arguments.times;
        cue.stallMs = arguments.stallMs;
    }
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Arguments> arguments = parseArguments(argc, argv);
    if (arguments && arguments->help) {
        std::cout << kUsage;
        return 0;
    }
    if (!arguments || arguments->root.empty()) {
        std::cerr << kUsage;
        return 2;
    }

    // Blocked before any thread starts, so that every thread inherits the mask and the signals
    // reach only the sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    demo_server::PackageServer server;
    std::vector<std::string> paths;
    std::string package;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(arguments->root, error)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        const std::string name = entry.path().filename().string();
        const std::string path = server.addDiskFile(name, entry.path().string());
        if (path.empty()) {
            std::cerr << "demo-server: cannot read " << entry.path().string() << "\n";
            return 1;
        }
        paths.push_back(path);
        if (name == arguments->package) {
            package = path;
        }
    }
    if (error) {
        std::cerr << "demo-server: cannot list " << arguments->root << ": " << error.message()
                  << "\n";
        return 1;
    }
    if (package.empty() && arguments->package.empty() && paths.size() == 1) {
        package = paths.front();
    }
    if (package.empty()) {
        if (arguments->package.empty()) {
            std::cerr << "demo-server: " << paths.size()
                      << " files: name the package with --package\n";
        } else {
            std::cerr << "demo-server: no file " << arguments->package << " in " << arguments->root
                      << "\n";
        }
        return 2;
    }
    server.setPackage(package);
    server.setCues(arguments->cues);

    if (!server.start(arguments->port)) {
        std::cerr << "demo-server: cannot listen on 127.0.0.1:" << arguments->port << ": "
                  << std::strerror(errno) << "\n";
        return 1;
    }
    std::cout << "listening on " << server.url("") << std::endl;
    for (const std::string& path : paths) {
        std::cout << "serving " << server.url(path) << "\n";
    }
    std::cout << "package " << server.url("/software/327") << std::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    return 0;
}
