#include "platform/wire/JsonNode.h"

#include <cstdint>

namespace korimado::wire {

namespace {

class Parser {
public:
    explicit Parser(std::string_view in) : p_(reinterpret_cast<const unsigned char*>(in.data())), n_(in.size()) {}

    bool document(JsonNode& node)
    {
        if (n_ >= 3 && p_[0] == 0xEF && p_[1] == 0xBB && p_[2] == 0xBF)
            i_ = 3;
        skipSpace();
        if (!value(node, 0))
            return false;
        skipSpace();
        return i_ == n_;
    }

private:
    bool at(unsigned char c) const { return i_ < n_ && p_[i_] == c; }
    bool digit() const { return i_ < n_ && p_[i_] >= '0' && p_[i_] <= '9'; }

    void skipSpace()
    {
        while (i_ < n_ && (p_[i_] == ' ' || p_[i_] == '\t' || p_[i_] == '\n' || p_[i_] == '\r'))
            ++i_;
    }

    bool literal(std::string_view word)
    {
        if (n_ - i_ < word.size() || std::string_view(reinterpret_cast<const char*>(p_ + i_), word.size()) != word)
            return false;
        i_ += word.size();
        return true;
    }

    bool value(JsonNode& node, int depth)
    {
        if (depth >= JsonNode::maximumDepth || i_ >= n_)
            return false;
        switch (p_[i_]) {
        case '{': node.kind = JsonNode::Kind::object; return object(node, depth);
        case '[': node.kind = JsonNode::Kind::array; return array(node, depth);
        case '"': node.kind = JsonNode::Kind::string; return string(node.text);
        case 't': node.kind = JsonNode::Kind::boolean; node.boolean = true; return literal("true");
        case 'f': node.kind = JsonNode::Kind::boolean; return literal("false");
        case 'n': return literal("null");
        default: node.kind = JsonNode::Kind::number; return number(node.text);
        }
    }

    bool object(JsonNode& node, int depth)
    {
        ++i_;
        skipSpace();
        if (at('}')) {
            ++i_;
            return true;
        }
        for (bool more = true; more;) {
            skipSpace();
            std::string key;
            if (!at('"') || !string(key))
                return false;
            for (const std::string& earlier : node.keys)
                if (earlier == key)
                    return false;
            skipSpace();
            if (!at(':'))
                return false;
            ++i_;
            skipSpace();
            node.keys.push_back(std::move(key));
            node.items.emplace_back();
            if (!value(node.items.back(), depth + 1) || !afterItem('}', more))
                return false;
        }
        return true;
    }

    bool array(JsonNode& node, int depth)
    {
        ++i_;
        skipSpace();
        if (at(']')) {
            ++i_;
            return true;
        }
        for (bool more = true; more;) {
            skipSpace();
            node.items.emplace_back();
            if (!value(node.items.back(), depth + 1) || !afterItem(']', more))
                return false;
        }
        return true;
    }

    // After an item: a comma (more follow) or the closing character (none do); anything else fails.
    bool afterItem(char close, bool& more)
    {
        skipSpace();
        more = at(',');
        if (!more && !at(close))
            return false;
        ++i_;
        return true;
    }

    bool number(std::string& literal)
    {
        const std::size_t start = i_;
        if (at('-'))
            ++i_;
        if (!digit())
            return false;
        if (at('0')) {
            ++i_;
            if (digit())
                return false;
        } else {
            while (digit()) ++i_;
        }
        if (at('.')) {
            ++i_;
            if (!digit())
                return false;
            while (digit()) ++i_;
        }
        if (at('e') || at('E')) {
            ++i_;
            if (at('+') || at('-'))
                ++i_;
            if (!digit())
                return false;
            while (digit()) ++i_;
        }
        literal.assign(reinterpret_cast<const char*>(p_ + start), i_ - start);
        return true;
    }

    bool hex4(char32_t& value)
    {
        if (n_ - i_ < 4)
            return false;
        value = 0;
        for (int k = 0; k < 4; ++k) {
            const unsigned char c = p_[i_ + k];
            int d;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            else return false;
            value = value * 16 + char32_t(d);
        }
        i_ += 4;
        return true;
    }

    // One UTF-8 sequence starting at i_, checked strictly and copied.
    bool utf8Sequence(std::string& out)
    {
        const unsigned char c = p_[i_];
        std::size_t extra;
        char32_t cp;
        char32_t minimum;
        if (c >= 0xC2 && c <= 0xDF) { extra = 1; cp = c & 0x1F; minimum = 0x80; }
        else if (c >= 0xE0 && c <= 0xEF) { extra = 2; cp = c & 0x0F; minimum = 0x800; }
        else if (c >= 0xF0 && c <= 0xF4) { extra = 3; cp = c & 0x07; minimum = 0x10000; }
        else return false;
        if (n_ - i_ <= extra)
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const unsigned char t = p_[i_ + k];
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        out.append(reinterpret_cast<const char*>(p_ + i_), extra + 1);
        i_ += extra + 1;
        return true;
    }

    // \u escapes: a surrogate pair names one character; a surrogate alone becomes U+FFFD.
    bool unicodeEscape(std::string& out)
    {
        char32_t unit = 0;
        if (!hex4(unit))
            return false;
        if (unit >= 0xD800 && unit <= 0xDBFF && n_ - i_ >= 6 && p_[i_] == '\\' && p_[i_ + 1] == 'u') {
            const std::size_t back = i_;
            i_ += 2;
            char32_t low = 0;
            if (hex4(low) && low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                return true;
            }
            i_ = back;
        }
        appendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? char32_t(0xFFFD) : unit);
        return true;
    }

    bool string(std::string& out)
    {
        ++i_;
        for (;;) {
            std::size_t run = i_;
            while (run < n_ && p_[run] >= 0x20 && p_[run] < 0x80 && p_[run] != '"' && p_[run] != '\\')
                ++run;
            out.append(reinterpret_cast<const char*>(p_ + i_), run - i_);
            i_ = run;
            if (i_ >= n_)
                return false;
            const unsigned char c = p_[i_];
            if (c == '"') {
                ++i_;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c >= 0x80) {
                if (!utf8Sequence(out))
                    return false;
                continue;
            }
            if (++i_ >= n_)
                return false;
            switch (p_[i_++]) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u':
                if (!unicodeEscape(out))
                    return false;
                break;
            default: return false;
            }
        }
    }

    const unsigned char* p_;
    std::size_t n_;
    std::size_t i_ = 0;
};

}  // namespace

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::optional<JsonNode> JsonNode::parse(std::string_view utf8)
{
    JsonNode node;
    if (!Parser(utf8).document(node))
        return std::nullopt;
    return node;
}

void appendJsonString(std::string& out, std::string_view utf8)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    std::size_t plain = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = std::uint8_t(utf8[i]);
        const char* escape = nullptr;
        switch (c) {
        case '"': escape = "\\\""; break;
        case '\\': escape = "\\\\"; break;
        case '\b': escape = "\\b"; break;
        case '\f': escape = "\\f"; break;
        case '\n': escape = "\\n"; break;
        case '\r': escape = "\\r"; break;
        case '\t': escape = "\\t"; break;
        default:
            if (c >= 0x20)
                continue;
        }
        out.append(utf8.data() + plain, i - plain);
        plain = i + 1;
        if (escape) {
            out += escape;
        } else {
            const char unit[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
            out.append(unit, sizeof unit);
        }
    }
    out.append(utf8.data() + plain, utf8.size() - plain);
    out += '"';
}

}  // namespace korimado::wire
