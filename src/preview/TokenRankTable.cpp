#include "preview/TokenRankTable.h"

#include "preview/LocalTokenizer.h"

#include <array>

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
    entries_.reserve(entries);
    bytes_.reserve(entries * 8);
    std::size_t slots = 1024;
    while (slots < entries * 2) slots *= 2;
    slots_.assign(slots, 0);
    mask_ = slots - 1;
}

std::uint64_t TokenRankTable::hash(std::string_view bytes)
{
    // FNV-1a, then a final mix so that the low bits used for the slot are well spread.
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ULL;
    }
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 32;
    return h;
}

void TokenRankTable::grow()
{
    std::vector<std::uint32_t> old;
    old.swap(slots_);
    slots_.assign(old.size() * 2, 0);
    mask_ = slots_.size() - 1;
    for (const std::uint32_t slot : old) {
        if (slot == 0) continue;
        std::uint64_t i = hash(bytesOf(entries_[slot - 1])) & mask_;
        while (slots_[i] != 0) i = (i + 1) & mask_;
        slots_[i] = slot;
    }
}

void TokenRankTable::insert(std::string_view bytes, std::uint32_t rank)
{
    if ((entries_.size() + 1) * 2 > slots_.size()) grow();
    std::uint64_t i = hash(bytes) & mask_;
    while (slots_[i] != 0) {
        Entry& e = entries_[slots_[i] - 1];
        if (bytesOf(e) == bytes) {
            e.rank = rank;
            return;
        }
        i = (i + 1) & mask_;
    }
    entries_.push_back({static_cast<std::uint32_t>(bytes_.size()), static_cast<std::uint32_t>(bytes.size()), rank});
    bytes_.append(bytes);
    slots_[i] = static_cast<std::uint32_t>(entries_.size());
}

std::optional<std::uint32_t> TokenRankTable::rank(std::string_view bytes) const
{
    if (slots_.empty()) return std::nullopt;
    std::uint64_t i = hash(bytes) & mask_;
    while (slots_[i] != 0) {
        const Entry& e = entries_[slots_[i] - 1];
        if (e.length == bytes.size() && bytesOf(e) == bytes) return e.rank;
        i = (i + 1) & mask_;
    }
    return std::nullopt;
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
