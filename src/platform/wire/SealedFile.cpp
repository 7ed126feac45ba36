#include "platform/wire/SealedFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace korimado::wire {

namespace {

constexpr int allSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;

}  // namespace

int SealedFile::create(const char* name, std::string_view bytes)
{
    const int fd = ::memfd_create(name, MFD_CLOEXEC | MFD_ALLOW_SEALING);
    bool written = fd >= 0;
    // Copied in by the kernel: filling the file's small pages through a mapping costs a page fault
    // each.
    for (std::size_t done = 0; written && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        done += n > 0 ? std::size_t(n) : 0;
    }
    written = written && ::lseek(fd, 0, SEEK_SET) == 0 && ::fcntl(fd, F_ADD_SEALS, allSeals) == 0;
    if (!written && fd >= 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
    return written ? fd : -1;
}

bool SealedFile::isSealed(int fd)
{
    const int seals = ::fcntl(fd, F_GET_SEALS);
    const int needed = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;
    return seals >= 0 && (seals & needed) == needed;
}

}  // namespace korimado::wire
