#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korimado {

// The merge rank of every token's bytes, read from a rank file: one "<Base64> <rank>" line per
// token, LF line ends. The bytes live in one buffer and an open-addressing table indexes them, so a
// lookup hashes the bytes once and allocates nothing.
class TokenRankTable {
public:
    // Throws CountingError::malformedTable on any line that is not Base64, one space and a decimal
    // rank that fits in 32 bits. A repeated byte sequence keeps the later rank.
    static TokenRankTable parse(const QByteArray& file, std::size_t expectedEntries);

    std::optional<std::uint32_t> rank(std::string_view bytes) const;
    std::size_t size() const { return entries_.size(); }
    bool hasEverySingleByte() const;

private:
    struct Entry {
        std::uint32_t offset;
        std::uint32_t length;
        std::uint32_t rank;
    };

    void reserve(std::size_t entries);
    void insert(std::string_view bytes, std::uint32_t rank);
    void grow();
    std::string_view bytesOf(const Entry& e) const { return {bytes_.data() + e.offset, e.length}; }
    static std::uint64_t hash(std::string_view bytes);

    std::string bytes_;
    std::vector<Entry> entries_;
    std::vector<std::uint32_t> slots_;  // entry index + 1; 0 is empty
    std::uint64_t mask_ = 0;
};

}  // namespace korimado
