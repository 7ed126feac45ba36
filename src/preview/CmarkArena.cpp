#include "preview/CmarkArena.h"

#include "platform/foundation/MemoryAdvice.h"

#include <cmark-gfm.h>

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace korimado {

namespace {

thread_local CmarkArena* current = nullptr;

constexpr std::size_t alignment = 16;
// Blocks from this size on come from the heap: the page as it is written grows to megabytes,
// and the heap resizes it without copying.
constexpr std::size_t largeSize = 64 * 1024;
constexpr std::size_t minimumBlock = 256 * 1024;
constexpr std::size_t maximumBlock = 64u << 20;

std::size_t roundUp(std::size_t size, std::size_t to)
{
    return (size + to - 1) / to * to;
}

}  // namespace

struct CmarkArena::Header {
    std::size_t size;  // what the block can hold
    std::uint32_t large;
    std::uint32_t index;  // of a large block in large_
};

CmarkArena::CmarkArena(std::size_t sourceBytes)
    :  // A parse takes some forty times its source.
      nextBlockSize_(std::clamp(roundUp(sourceBytes * 40, minimumBlock), minimumBlock, maximumBlock))
{
    static_assert(sizeof(Header) == alignment, "what follows a header is aligned as the heap's blocks are");
}

CmarkArena::~CmarkArena()
{
    for (Header* block : large_) std::free(block);
    for (const Block& block : blocks_) munmap(block.data, block.size);
}

CmarkArena::Use::Use(CmarkArena& arena) : outer_(current)
{
    current = &arena;
}

CmarkArena::Use::~Use()
{
    current = outer_;
}

cmark_mem* CmarkArena::mem()
{
    static cmark_mem callbacks{&CmarkArena::calloc, &CmarkArena::realloc, &CmarkArena::free};
    return &callbacks;
}

void* CmarkArena::calloc(std::size_t count, std::size_t size)
{
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    return current->allocate(count * size);
}

void* CmarkArena::realloc(void* block, std::size_t size)
{
    return current->resize(block, size);
}

void CmarkArena::free(void* block)
{
    current->release(block);
}

void* CmarkArena::allocate(std::size_t size)
{
    if (size >= largeSize) {
        auto* header = static_cast<Header*>(std::calloc(1, sizeof(Header) + size));
        if (!header) return nullptr;
        *header = {size, 1, std::uint32_t(large_.size())};
        large_.push_back(header);
        return header + 1;
    }
    const std::size_t rounded = std::max(roundUp(size, alignment), alignment);
    const std::size_t sizeClass = rounded / alignment;
    if (sizeClass <= sizeClasses && freed_[sizeClass]) {
        void* block = freed_[sizeClass];
        std::memcpy(&freed_[sizeClass], block, sizeof(void*));
        std::memset(block, 0, rounded);
        return block;
    }
    return take(rounded);  // fresh from the system, so already zero
}

void* CmarkArena::take(std::size_t rounded)
{
    if (std::size_t(limit_ - top_) < sizeof(Header) + rounded) addBlock(sizeof(Header) + rounded);
    if (!top_) return nullptr;
    auto* header = reinterpret_cast<Header*>(top_);
    *header = {rounded, 0, 0};
    last_ = header;
    top_ += sizeof(Header) + rounded;
    return header + 1;
}

void CmarkArena::addBlock(std::size_t atLeast)
{
    const std::size_t size = std::max(nextBlockSize_, roundUp(atLeast, minimumBlock));
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED) {
        top_ = limit_ = nullptr;
        last_ = nullptr;
        return;
    }
    adviseLargeBuffer(data, size);
    blocks_.push_back({static_cast<char*>(data), size});
    top_ = static_cast<char*>(data);
    limit_ = top_ + size;
    last_ = nullptr;
    nextBlockSize_ = std::min(size * 2, maximumBlock);
}

void* CmarkArena::resize(void* block, std::size_t size)
{
    if (!block) return allocate(size);
    Header* header = static_cast<Header*>(block) - 1;
    if (header->large && size >= largeSize) {
        auto* moved = static_cast<Header*>(std::realloc(header, sizeof(Header) + size));
        if (!moved) return nullptr;
        moved->size = size;
        large_[moved->index] = moved;
        return moved + 1;
    }
    if (!header->large) {
        const std::size_t rounded = std::max(roundUp(size, alignment), alignment);
        if (rounded <= header->size) return block;
        // The newest block grows where it stands, as a buffer being written does.
        if (header == last_ && size < largeSize && rounded - header->size <= std::size_t(limit_ - top_)) {
            top_ += rounded - header->size;
            header->size = rounded;
            return block;
        }
    }
    void* moved = allocate(size);
    if (!moved) return nullptr;
    std::memcpy(moved, block, std::min(header->size, size));
    release(block);
    return moved;
}

void CmarkArena::release(void* block)
{
    if (!block) return;
    Header* header = static_cast<Header*>(block) - 1;
    if (header->large) {
        Header* moved = large_.back();
        moved->index = header->index;
        large_[header->index] = moved;
        large_.pop_back();
        std::free(header);
        return;
    }
    const std::size_t sizeClass = header->size / alignment;
    if (sizeClass > sizeClasses) return;  // kept until the arena goes
    std::memcpy(block, &freed_[sizeClass], sizeof(void*));
    freed_[sizeClass] = block;
}

}  // namespace korimado
