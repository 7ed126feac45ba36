#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korimado {

// The merge rank of every token's bytes, read from a rank file: one "<Base64> <rank>" line per
// token, LF line ends. The bytes live in one buffer; an open-addressing table of at most half
// load holds each token's hash tag, length, offset and rank in its slot, so a lookup reads one
// cache line as a rule, and a miss compares no bytes.
class TokenRankTable {
public:
    // Throws CountingError::malformedTable on any line that is not Base64, one space and a decimal
    // rank that fits in 32 bits. A repeated byte sequence keeps the later rank.
    static TokenRankTable parse(const QByteArray& file, std::size_t expectedEntries);

    std::optional<std::uint32_t> rank(std::string_view bytes) const { return rank(bytes, hash(bytes)); }
    // With the bytes' hash() already made, as a caller that also keeps counts by piece has.
    std::optional<std::uint32_t> rank(std::string_view bytes, std::uint64_t hashed) const;
    static std::uint64_t hash(std::string_view bytes);
    std::size_t size() const { return entries_; }
    bool hasEverySingleByte() const;

private:
    struct Slot {
        std::uint32_t tag;  // the hash's high half, never 0; 0 is an empty slot
        std::uint32_t length;
        std::uint32_t offset;
        std::uint32_t rank;
    };

    void reserve(std::size_t entries);
    void insert(std::string_view bytes, std::uint32_t rank);
    void grow();
    static std::uint32_t tagOf(std::uint64_t hashed) { return static_cast<std::uint32_t>(hashed >> 32) | 1u; }
    std::string_view bytesOf(const Slot& s) const { return {bytes_.data() + s.offset, s.length}; }

    std::string bytes_;
    std::vector<Slot> slots_;
    std::size_t entries_ = 0;
    std::uint64_t mask_ = 0;
};

}  // namespace korimado
