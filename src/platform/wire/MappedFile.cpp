#include "platform/wire/MappedFile.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <unistd.h>
#include <sys/mman.h>
#include <sys/stat.h>

namespace korimado::wire {

std::optional<MappedFile> MappedFile::map(int fd)
{
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0)
        return std::nullopt;
    if (!S_ISREG(status.st_mode)) {
        errno = EINVAL;
        return std::nullopt;
    }
    MappedFile file;
    const std::size_t size = std::size_t(status.st_size);
    const int seals = ::fcntl(fd, F_GET_SEALS);
    if (size > 0 && seals >= 0 && (seals & F_SEAL_SHRINK)) {
        void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (data == MAP_FAILED)
            return std::nullopt;
        file.data_ = static_cast<const char*>(data);
        file.size_ = size;
        return file;
    }
    file.read_.resize(size);
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pread(fd, file.read_.data() + done, size - done, off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0) {  // cut short meanwhile
            file.read_.resize(done);
            break;
        }
        done += std::size_t(n);
    }
    return file;
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(other.data_), size_(other.size_), read_(std::move(other.read_))
{
    other.data_ = nullptr;
    other.size_ = 0;
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept
{
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(read_, other.read_);
    return *this;
}

MappedFile::~MappedFile()
{
    if (data_)
        ::munmap(const_cast<char*>(data_), size_);
}

}  // namespace korimado::wire
