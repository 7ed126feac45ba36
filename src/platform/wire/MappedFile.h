#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korimado::wire {

// A file read through a private read-only mapping, faulted in at once: a reply of 64 MiB is read
// without copying it into the heap first. Only a file sealed against shrinking is mapped (another
// process cutting it short would kill the reader); any other is read into memory.
class MappedFile {
public:
    // None, with errno set, when the file cannot be mapped. The descriptor stays the caller's.
    static std::optional<MappedFile> map(int fd);

    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    ~MappedFile();

    std::string_view bytes() const { return data_ ? std::string_view(data_, size_) : std::string_view(read_); }

private:
    MappedFile() = default;

    const char* data_ = nullptr;  // mapped
    std::size_t size_ = 0;
    std::string read_;            // or read
};

}  // namespace korimado::wire
