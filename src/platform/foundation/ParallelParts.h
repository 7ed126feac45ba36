#pragma once

#include <cstddef>
#include <functional>

namespace korimado {

// How many parts a job of `size` is worth cutting into: one below `threshold`, else one per
// processor, at most `limit`.
std::size_t parallelPartCount(std::size_t size, std::size_t threshold, std::size_t limit);

// Runs part(0) … part(parts − 1) at once, part 0 on the calling thread and each other on a thread
// of its own, and returns when all have ended. A part that cannot get a thread runs on the caller.
// For work of tens of milliseconds or more, cut into independent parts.
void runInParts(std::size_t parts, const std::function<void(std::size_t part)>& part);

}  // namespace korimado
