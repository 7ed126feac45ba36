#pragma once

#include <cstddef>

namespace korimado::wire {

// Asks for huge pages over the whole 2 MiB pages of a large buffer not yet written: a text of
// 64 MiB in 4 KiB pages costs tens of thousands of page faults, most of the time it takes to fill.
// Buffers under a few MiB are left alone.
void adviseHugePages(void* data, std::size_t size);

}  // namespace korimado::wire
