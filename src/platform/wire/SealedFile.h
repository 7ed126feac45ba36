#pragma once

#include <cstddef>
#include <string_view>

namespace korimado::wire {

// Large events and replies travel as a memory file sealed before it is handed over: the bus passes
// a descriptor at once where it carries a message a few kilobytes per turn, and the reader can
// map it knowing nobody changes or cuts short what it reads.
class SealedFile {
public:
    SealedFile() = delete;

    // A new memory file holding bytes, positioned at its start and sealed against every change;
    // -1 with errno set when it cannot be made. The descriptor is the caller's to close.
    static int create(const char* name, std::string_view bytes);
    // Whether fd is a file nobody can write to, grow or shrink any more.
    static bool isSealed(int fd);
};

}  // namespace korimado::wire
