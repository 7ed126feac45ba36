#include "preview/TokenRankTable.h"

#include "preview/LocalTokenizer.h"

#include <array>
#include <cstring>

namespace korimado {

namespace {

constexpr std::array<std::int8_t, 256> base64Values = [] {
    std::array<std::int8_t, 256> values{};
    values.fill(-1);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) values[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
    return values;
}();

// Standard alphabet with padding; anything else is no Base64 text.
bool decodeBase64(std::string_view text, std::string& out)
{
    out.clear();
    if (text.empty() || text.size() % 4 != 0) return false;
    std::size_t padding = 0;
    if (text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        std::uint32_t quad = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const char c = text[i + j];
            const bool padded = i + 4 == text.size() && j >= 4 - padding;
            int v = 0;
            if (padded) {
                if (c != '=') return false;
            } else {
                v = base64Values[static_cast<unsigned char>(c)];
                if (v < 0) return false;
            }
            quad = (quad << 6) | static_cast<std::uint32_t>(v);
        }
        out.push_back(static_cast<char>(quad >> 16));
        if (!(i + 4 == text.size() && padding == 2)) out.push_back(static_cast<char>((quad >> 8) & 0xFF));
        if (!(i + 4 == text.size() && padding >= 1)) out.push_back(static_cast<char>(quad & 0xFF));
    }
    return true;
}

bool parseRank(std::string_view text, std::uint32_t& rank)
{
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > UINT32_MAX) return false;
    rank = static_cast<std::uint32_t>(value);
    return true;
}

}  // namespace

TokenRankTable TokenRankTable::parse(const QByteArray& file, std::size_t expectedEntries)
{
    TokenRankTable table;
    table.reserve(expectedEntries);
    const std::string_view all(file.constData(), static_cast<std::size_t>(file.size()));
    std::string decoded;
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find('\n', start);
        if (end == std::string_view::npos) end = all.size();
        const std::string_view line = all.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos) throw CountingError::malformedTable;
        std::uint32_t rank = 0;
        if (!decodeBase64(line.substr(0, space), decoded) || !parseRank(line.substr(space + 1), rank)) {
            throw CountingError::malformedTable;
        }
        table.insert(decoded, rank);
    }
    return table;
}

void TokenRankTable::reserve(std::size_t entries)
{
    bytes_.reserve(entries * 8);
    std::size_t slots = 1024;
    while (slots < entries * 2) slots *= 2;
    slots_.assign(slots, Slot{});
    mask_ = slots - 1;
}

std::uint64_t TokenRankTable::hash(std::string_view bytes)
{
    // Eight bytes at a time with a multiply-xorshift mix: pieces are short, and byte-wise hashing
    // was a tenth of a count.
    const auto mix = [](std::uint64_t x) {
        x ^= x >> 32;
        x *= 0xd6e8feb86659fd93ULL;
        x ^= x >> 32;
        return x;
    };
    std::uint64_t h = 0x9e3779b97f4a7c15ULL ^ (bytes.size() * 0xff51afd7ed558ccdULL);
    const char* p = bytes.data();
    std::size_t n = bytes.size();
    while (n >= 8) {
        std::uint64_t k;
        std::memcpy(&k, p, 8);
        h = mix(h ^ k) * 0x9e3779b97f4a7c15ULL;
        p += 8;
        n -= 8;
    }
    if (n > 0) {
        std::uint64_t k = 0;
        std::memcpy(&k, p, n);
        h = mix(h ^ k) * 0x9e3779b97f4a7c15ULL;
    }
    return mix(h);
}

void TokenRankTable::grow()
{
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.size() * 2, Slot{});
    mask_ = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.tag == 0) continue;
        std::uint64_t i = hash(bytesOf(slot)) & mask_;
        while (slots_[i].tag != 0) i = (i + 1) & mask_;
        slots_[i] = slot;
    }
}

void TokenRankTable::insert(std::string_view bytes, std::uint32_t rank)
{
    if ((entries_ + 1) * 2 > slots_.size()) grow();
    const std::uint64_t h = hash(bytes);
    const std::uint32_t tag = tagOf(h);
    std::uint64_t i = h & mask_;
    while (slots_[i].tag != 0) {
        Slot& s = slots_[i];
        if (s.tag == tag && bytesOf(s) == bytes) {
            s.rank = rank;
            return;
        }
        i = (i + 1) & mask_;
    }
    slots_[i] = {tag, static_cast<std::uint32_t>(bytes.size()), static_cast<std::uint32_t>(bytes_.size()), rank};
    bytes_.append(bytes);
    ++entries_;
}

std::optional<std::uint32_t> TokenRankTable::rank(std::string_view bytes, std::uint64_t hashed) const
{
    if (slots_.empty()) return std::nullopt;
    const std::uint32_t tag = tagOf(hashed);
    const auto length = static_cast<std::uint32_t>(bytes.size());
    for (std::uint64_t i = hashed & mask_;; i = (i + 1) & mask_) {
        const Slot& s = slots_[i];
        if (s.tag == 0) return std::nullopt;
        if (s.tag == tag && s.length == length && std::memcmp(bytes_.data() + s.offset, bytes.data(), length) == 0) {
            return s.rank;
        }
    }
}

bool TokenRankTable::hasEverySingleByte() const
{
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        if (!rank(std::string_view(&c, 1))) return false;
    }
    return true;
}

}  // namespace korimado
