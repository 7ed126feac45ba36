#include "ValueSource.h"

#include "platform/wire/WireFormat.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korimado::wire {

namespace {

// All of fd; false with errno set on a read error.
bool readAll(int fd, std::string& out)
{
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0)
        out.reserve(std::size_t(status.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out.append(buffer, std::size_t(n));
    }
}

}  // namespace

std::optional<std::string> ValueSource::read(std::string_view value, std::string* error)
{
    const std::string path(value.substr(1));
    std::string bytes;
    if (path == "-") {
        if (readStandardInput_) {
            *error = "標準入力（@-）から読めるのは一つの値だけです。";
            return std::nullopt;
        }
        readStandardInput_ = true;
        if (!readAll(STDIN_FILENO, bytes)) {
            *error = std::string("標準入力を読めません: ") + std::strerror(errno);
            return std::nullopt;
        }
    } else {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat status {};
        if (fd >= 0 && ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
            ::close(fd);
            *error = "フォルダは値にできません: " + path;
            return std::nullopt;
        }
        const bool read = fd >= 0 && readAll(fd, bytes);
        const int reason = errno;
        if (fd >= 0)
            ::close(fd);
        if (!read) {
            *error = "ファイル「" + path + "」を読めません: " + std::strerror(reason);
            return std::nullopt;
        }
    }
    if (!isWellFormedUtf8(bytes)) {
        *error = (path == "-" ? std::string("標準入力") : "ファイル「" + path + "」") + "はUTF-8のテキストではありません。";
        return std::nullopt;
    }
    return bytes;
}

}  // namespace korimado::wire
