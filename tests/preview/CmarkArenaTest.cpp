#include "preview/CmarkArena.h"

#include <cmark-gfm.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace korimado;

namespace {

bool allZero(const void* block, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(block);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

}  // namespace

TEST(CmarkArena, BlocksAreZeroedKeptAcrossResizesAndReusedOnlyOnceFreed)
{
    CmarkArena arena(1000);
    const CmarkArena::Use use(arena);
    cmark_mem* mem = CmarkArena::mem();

    auto* first = static_cast<char*>(mem->calloc(3, 40));
    ASSERT_TRUE(first);
    EXPECT_TRUE(allZero(first, 120));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % 16, 0u);
    std::memset(first, 'a', 120);
    // The newest block grows where it stands; an older one moves with its bytes.
    auto* grown = static_cast<char*>(mem->realloc(first, 4000));
    EXPECT_EQ(grown, first);
    auto* other = static_cast<char*>(mem->calloc(1, 24));
    std::memset(other, 'b', 24);
    auto* moved = static_cast<char*>(mem->realloc(grown, 9000));
    EXPECT_NE(moved, grown);
    EXPECT_EQ(std::string(moved, 120), std::string(120, 'a'));
    EXPECT_EQ(std::string(other, 24), std::string(24, 'b')) << "moving one block leaves its neighbour alone";

    // A freed block comes back zeroed to the next request of its size, and not while in use.
    mem->free(other);
    auto* again = static_cast<char*>(mem->calloc(1, 20));
    EXPECT_EQ(again, other);
    EXPECT_TRUE(allZero(again, 20));
    auto* fresh = static_cast<char*>(mem->calloc(1, 20));
    EXPECT_NE(fresh, again);

    // Large blocks keep their bytes through growth into and out of the heap's range.
    auto* large = static_cast<char*>(mem->realloc(moved, 200 * 1024));
    EXPECT_EQ(std::string(large, 120), std::string(120, 'a'));
    large = static_cast<char*>(mem->realloc(large, 3 << 20));
    EXPECT_EQ(std::string(large, 120), std::string(120, 'a'));
    auto* secondLarge = static_cast<char*>(mem->calloc(1, 100 * 1024));
    EXPECT_TRUE(allZero(secondLarge, 100 * 1024));
    mem->free(large);
    secondLarge = static_cast<char*>(mem->realloc(secondLarge, 400 * 1024));
    EXPECT_TRUE(allZero(secondLarge, 100 * 1024)) << "the large block left behind is still tracked";
    auto* small = static_cast<char*>(mem->realloc(secondLarge, 100));
    EXPECT_TRUE(allZero(small, 100));

    // Many more blocks than the first block holds.
    for (int i = 0; i < 100000; ++i) ASSERT_TRUE(mem->calloc(1, 48 + i % 900));
    EXPECT_FALSE(mem->calloc(SIZE_MAX / 2, 4)) << "a size that overflows is refused";
}

TEST(CmarkArena, UsesNestAndAParseLivesInTheArena)
{
    CmarkArena outer(100);
    CmarkArena inner(100);
    const CmarkArena::Use useOuter(outer);
    cmark_parser* parser = nullptr;
    {
        const CmarkArena::Use useInner(inner);
        parser = cmark_parser_new_with_mem(CMARK_OPT_DEFAULT, CmarkArena::mem());
        cmark_parser_feed(parser, "*a* b\n", 6);
        cmark_node* document = cmark_parser_finish(parser);
        char* html = cmark_render_html_with_mem(document, CMARK_OPT_DEFAULT, nullptr, CmarkArena::mem());
        EXPECT_STREQ(html, "<p><em>a</em> b</p>\n");
    }
    // Served by the outer arena again: its blocks are its own.
    auto* block = static_cast<char*>(CmarkArena::mem()->calloc(1, 64));
    ASSERT_TRUE(block);
    EXPECT_TRUE(allZero(block, 64));
}
