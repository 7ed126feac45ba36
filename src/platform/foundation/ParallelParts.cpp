#include "platform/foundation/ParallelParts.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace korimado {

std::size_t parallelPartCount(std::size_t size, std::size_t threshold, std::size_t limit)
{
    if (size < threshold) return 1;
    return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, std::max<std::size_t>(limit, 1));
}

void runInParts(std::size_t parts, const std::function<void(std::size_t)>& part)
{
    std::vector<std::thread> threads;
    threads.reserve(parts > 0 ? parts - 1 : 0);
    for (std::size_t i = 1; i < parts; ++i) {
        try {
            threads.emplace_back(part, i);
        } catch (const std::system_error&) {
            part(i);
        }
    }
    if (parts > 0) part(0);
    for (std::thread& thread : threads) thread.join();
}

}  // namespace korimado
