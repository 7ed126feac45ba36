#pragma once

#include <cstddef>
#include <vector>

struct cmark_mem;

namespace korimado {

// The memory of one cmark parse and render, taken from a few large blocks and given back at once.
// A parse of a large page makes hundreds of thousands of small blocks; from the heap, on a thread
// of its own, they cost one page fault every 4 KiB and a walk of the heap per block, which took
// more time than the parse. The blocks here are backed by large pages where the system offers
// them, small freed blocks are reused by size, and nothing is freed one by one at the end.
//
// cmark's allocator has no context, so mem() serves the arena in use on the calling thread: parse
// and render through it while a Use lives, and let the arena go (on any thread) once what it holds
// is copied out. Nothing need be freed in it before.
class CmarkArena {
public:
    // `sourceBytes` sizes the first block: small sources take little.
    explicit CmarkArena(std::size_t sourceBytes);
    ~CmarkArena();
    CmarkArena(const CmarkArena&) = delete;
    CmarkArena& operator=(const CmarkArena&) = delete;

    // The arena that mem() serves on this thread while it lives; uses nest.
    class Use {
    public:
        explicit Use(CmarkArena& arena);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

    private:
        CmarkArena* outer_;
    };

    static cmark_mem* mem();

private:
    struct Header;
    static void* calloc(std::size_t count, std::size_t size);
    static void* realloc(void* block, std::size_t size);
    static void free(void* block);

    void* allocate(std::size_t size);
    void* resize(void* block, std::size_t size);
    void release(void* block);
    void* take(std::size_t rounded);
    void addBlock(std::size_t atLeast);

    struct Block {
        char* data;
        std::size_t size;
    };
    static constexpr std::size_t sizeClasses = 64;  // of 16 bytes each, up to 1 KiB

    std::vector<Block> blocks_;
    std::vector<Header*> large_;
    std::size_t nextBlockSize_;
    char* top_ = nullptr;
    char* limit_ = nullptr;
    Header* last_ = nullptr;
    void* freed_[sizeClasses + 1] = {};
};

}  // namespace korimado
