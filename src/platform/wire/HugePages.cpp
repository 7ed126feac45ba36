#include "platform/wire/HugePages.h"

#include <cstdint>

#include <sys/mman.h>

namespace korimado::wire {

void adviseHugePages(void* data, std::size_t size)
{
    constexpr std::uintptr_t hugePage = std::uintptr_t(2) << 20;
    if (!data || size < 4 * hugePage)
        return;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + hugePage - 1) & ~(hugePage - 1);
    const std::uintptr_t last = (start + size) & ~(hugePage - 1);
    // Advice only: where the system says no, the pages stay small.
    if (last > first)
        (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace korimado::wire
