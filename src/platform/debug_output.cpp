#include "platform/debug_output.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "platform/text_encoding.h"

namespace platform {

namespace {

constexpr char kSinkVariable[] = "BRIVANO_DEBUG_LOG";
constexpr char kStderrSinkName[] = "stderr";
constexpr char kSyslogSocketPath[] = "/dev/log";
// Facility user (1) * 8 + priority debug (7).
constexpr char kSyslogPriority[] = "<15>";
constexpr mode_t kLogFileMode = 0600;

// Where the lines go, chosen from the environment on first use and fixed for the process: the
// variable is read once, as the other start-up settings are, and the descriptor stays open.
class Sink {
public:
    Sink() {
        const char* choice = getenv(kSinkVariable);
        if (choice != nullptr && std::strcmp(choice, kStderrSinkName) == 0) {
            kind_ = Kind::Stderr;
        } else if (choice != nullptr && *choice != '\0') {
            kind_ = Kind::File;
            fd_ = open(choice, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kLogFileMode);
        } else {
            kind_ = Kind::Syslog;
            fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        }
    }
    ~Sink() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    void write(std::wstring_view text) const {
        switch (kind_) {
            case Kind::Stderr:
                writeOnce(STDERR_FILENO, utf8FromWide(text));
                break;
            case Kind::File:
                writeOnce(fd_, utf8FromWide(text));
                break;
            case Kind::Syslog:
                sendToSyslog(text);
                break;
        }
    }

private:
    enum class Kind { Syslog, Stderr, File };

    // One write per text, so lines of several threads or processes sharing the file interleave
    // whole. A short write is not continued: that would break exactly this.
    static void writeOnce(int fd, const std::string& bytes) {
        if (fd < 0) {
            return;
        }
        while (::write(fd, bytes.data(), bytes.size()) < 0 && errno == EINTR) {
        }
    }

    void sendToSyslog(std::wstring_view text) const {
        if (fd_ < 0) {
            return;
        }
        std::string line = utf8FromWide(text);
        // Syslog records are lines of their own; a trailing line end would show as an empty one.
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        const std::string datagram = std::string(kSyslogPriority) + program_invocation_short_name +
                                     "[" + std::to_string(getpid()) + "]: " + line;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, kSyslogSocketPath, sizeof(kSyslogSocketPath));
        // Nobody listening, or a listener that is behind: the line is dropped, never waited for.
        sendto(fd_, datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
               reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    }

    Kind kind_ = Kind::Syslog;
    int fd_ = -1;
};

const Sink& sink() {
    static const Sink theSink;
    return theSink;
}

// The capture that is active, if any. Global because outputDebugString is a free function called
// from everywhere (as its Windows counterpart is) and a test must be able to redirect all of it;
// the mutex makes a capture's end wait for a writer that is still appending to it.
std::mutex gCaptureMutex;
DebugOutputCapture* gActiveCapture = nullptr;

}  // namespace

void outputDebugString(std::wstring_view text) {
    {
        std::lock_guard lock(gCaptureMutex);
        if (gActiveCapture != nullptr) {
            gActiveCapture->append(text);
            return;
        }
    }
    sink().write(text);
}

DebugOutputCapture::DebugOutputCapture() {
    std::lock_guard lock(gCaptureMutex);
    gActiveCapture = this;
}

DebugOutputCapture::~DebugOutputCapture() {
    std::lock_guard lock(gCaptureMutex);
    if (gActiveCapture == this) {
        gActiveCapture = nullptr;
    }
}

std::vector<std::wstring> DebugOutputCapture::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

void DebugOutputCapture::append(std::wstring_view text) {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(text);
}

}  // namespace platform
