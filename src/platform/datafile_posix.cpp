// Data files on POSIX systems: the installed folder beside the program's prefix, and opening
// without blocking.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/datafile.h"
#include "platform/printable.h"

#ifndef VARNIS_DATADIR
#define VARNIS_DATADIR "/usr/local/share/varnis"
#endif

namespace platform {

namespace {

// <prefix>/share/varnis for an executable in <prefix>/bin (or any one folder below the prefix).
std::string besideExecutable() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string exe(buf, size_t(n));
    const size_t bin = exe.rfind('/');
    if (bin == std::string::npos || bin == 0) return {};
    const size_t prefix = exe.rfind('/', bin - 1);
    if (prefix == std::string::npos) return {};
    return exe.substr(0, prefix) + "/share/varnis";
}

}  // namespace

const std::vector<std::string>& installedDataFolders() {
    static const std::vector<std::string> folders = [] {
        std::vector<std::string> f;
        const std::string beside = besideExecutable();
        if (!beside.empty() && beside != VARNIS_DATADIR) f.push_back(beside);
        f.push_back(VARNIS_DATADIR);
        return f;
    }();
    return folders;
}

std::FILE* openRegularFile(const std::string& path, uint64_t* size) {
    // Opened without blocking, so a FIFO with no writer (or a device) cannot stop the open for
    // ever; anything but a regular file is then closed again unread.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        return nullptr;
    }
    if (size) *size = uint64_t(st.st_size);
    return f;
}

bool readWholeFile(const std::string& path, size_t limit, std::string& text, std::string& error,
                   bool pipes) {
    text.clear();
    // Opened without blocking: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    const bool pipe = ok && pipes && S_ISFIFO(st.st_mode);
    if (!ok)
        error = std::strerror(errno);
    else if (!S_ISREG(st.st_mode) && !pipe)
        error = detail::notAFile(S_ISDIR(st.st_mode)), ok = false;
    else if (!pipe && uint64_t(st.st_size) > limit)
        error = detail::tooLarge(limit), ok = false;
    // A read of an empty pipe ends (0) when nothing has it open for writing and waits (EAGAIN)
    // while something does; the wait is poll's, and ends with data or with the last writer gone.
    // A FIFO with no writer at all when it is opened is refused rather than read as empty.
    bool first = true;
    char buf[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, limit + 1 - text.size()));
        if (n > 0) {
            text.append(buf, size_t(n));
            if (text.size() > limit) error = detail::tooLarge(limit), ok = false;
        } else if (n == 0) {
            if (pipe && first) error = "it is a pipe that nothing writes to", ok = false;
            break;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, 1000);  // the timeout only guards against a wake-up that never comes
        } else if (errno != EINTR) {
            error = std::string("it cannot be read: ") + std::strerror(errno), ok = false;
        }
        first = false;
    }
    ::close(fd);
    if (!ok) text.clear();
    return ok;
}

namespace {

// The trace's stream writes through here, so that a failing write is noticed where it happens;
// the writers of the trace do not look at what their writes return.
struct TraceSink {
    int fd;
    std::string path;
    bool failed = false;
};
// The sink of the trace still open: a replay's trace stays open to the end, flushed by the exit.
TraceSink* openSink = nullptr;

ssize_t writeTrace(void* cookie, const char* bytes, size_t size) {
    auto* sink = static_cast<TraceSink*>(cookie);
    size_t done = 0;
    while (!sink->failed && done < size) {
        const ssize_t n = ::write(sink->fd, bytes + done, size - done);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            sink->failed = true;
            std::fprintf(stderr,
                         "varnis: cannot write the trace file %s: %s; the trace ends here\n",
                         printable(sink->path).c_str(), std::strerror(n < 0 ? errno : ENOSPC));
        }
    }
    return ssize_t(size);  // after a failure the rest is let go: the run goes on without it
}

int closeTrace(void* cookie) {
    auto* sink = static_cast<TraceSink*>(cookie);
    const int result = ::close(sink->fd);
    if (sink == openSink) openSink = nullptr;
    delete sink;
    return result;
}

}  // namespace

std::FILE* openTraceFile(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    auto* sink = openSink = new TraceSink{fd, path};
    std::FILE* f =
        ::fopencookie(sink, "w", cookie_io_functions_t{nullptr, writeTrace, nullptr, closeTrace});
    if (!f) {
        error = std::strerror(errno);
        closeTrace(sink);
    }
    return f;
}

bool replaceFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace platform
