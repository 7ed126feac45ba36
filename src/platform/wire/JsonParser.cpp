#include "platform/wire/JsonParser.h"

#include <cstring>
#include <unordered_set>
#include <vector>

namespace korimado::wire {

namespace {

using Reason = JsonError::Reason;

class Parser {
public:
    Parser(std::string_view in, JsonEvents& events)
        : p_(reinterpret_cast<const unsigned char*>(in.data())), n_(in.size()), events_(events)
    {
    }

    std::optional<JsonError> document()
    {
        if (n_ >= 3 && p_[0] == 0xEF && p_[1] == 0xBB && p_[2] == 0xBF) i_ = 3;
        skipSpace();
        if (i_ >= n_) return JsonError{Reason::empty, i_, {}};
        if (!value(0)) return std::move(error_);
        skipSpace();
        if (i_ < n_) return JsonError{Reason::trailingData, i_, {}};
        return std::nullopt;
    }

private:
    bool fail(Reason reason)
    {
        error_ = JsonError{reason, i_, {}};
        return false;
    }

    bool at(unsigned char c) const { return i_ < n_ && p_[i_] == c; }
    bool digit() const { return i_ < n_ && p_[i_] >= '0' && p_[i_] <= '9'; }

    void skipSpace()
    {
        while (i_ < n_ && (p_[i_] == ' ' || p_[i_] == '\t' || p_[i_] == '\n' || p_[i_] == '\r')) ++i_;
    }

    bool literal(std::string_view word)
    {
        if (n_ - i_ < word.size() || std::memcmp(p_ + i_, word.data(), word.size()) != 0) return false;
        i_ += word.size();
        return true;
    }

    bool value(int depth)
    {
        if (depth >= JsonParser::maximumDepth) return fail(Reason::tooDeep);
        if (i_ >= n_) return fail(Reason::noValue);
        switch (p_[i_]) {
        case '{': return object(depth);
        case '[': return array(depth);
        case '"':
            if (!string()) return false;
            events_.string(text_);
            return true;
        case 't':
            if (!literal("true")) break;
            events_.boolean(true);
            return true;
        case 'f':
            if (!literal("false")) break;
            events_.boolean(false);
            return true;
        case 'n':
            if (!literal("null")) break;
            events_.null();
            return true;
        default:
            if (p_[i_] == '-' || (p_[i_] >= '0' && p_[i_] <= '9')) return number();
            break;
        }
        return fail(Reason::badValue);
    }

    bool object(int depth)
    {
        ++i_;  // {
        events_.beginObject();
        // One set per depth, reused by the objects met there one after another.
        if (keys_.size() <= std::size_t(depth)) keys_.resize(std::size_t(depth) + 1);
        keys_[std::size_t(depth)].clear();
        skipSpace();
        if (at('}')) {
            ++i_;
            events_.endObject();
            return true;
        }
        for (;;) {
            skipSpace();
            if (!at('"')) return fail(Reason::keyExpected);
            const std::size_t keyStart = i_;
            if (!string()) return false;
            if (!keys_[std::size_t(depth)].emplace(text_).second) {
                error_ = JsonError{Reason::duplicateKey, keyStart, std::string(text_)};
                return false;
            }
            events_.key(text_);
            skipSpace();
            if (!at(':')) return fail(Reason::colonExpected);
            ++i_;
            skipSpace();
            if (!value(depth + 1)) return false;
            skipSpace();
            if (at(',')) {
                ++i_;
                continue;
            }
            if (at('}')) {
                ++i_;
                events_.endObject();
                return true;
            }
            return fail(Reason::commaOrBraceExpected);
        }
    }

    bool array(int depth)
    {
        ++i_;  // [
        events_.beginArray();
        skipSpace();
        if (at(']')) {
            ++i_;
            events_.endArray();
            return true;
        }
        for (;;) {
            skipSpace();
            if (!value(depth + 1)) return false;
            skipSpace();
            if (at(',')) {
                ++i_;
                continue;
            }
            if (at(']')) {
                ++i_;
                events_.endArray();
                return true;
            }
            return fail(Reason::commaOrBracketExpected);
        }
    }

    bool number()
    {
        const std::size_t start = i_;
        if (at('-')) ++i_;
        if (!digit()) return fail(Reason::badNumber);
        if (at('0')) {
            ++i_;
            if (digit()) return fail(Reason::leadingZero);
        } else {
            while (digit()) ++i_;
        }
        if (at('.')) {
            ++i_;
            if (!digit()) return fail(Reason::badNumber);
            while (digit()) ++i_;
        }
        if (at('e') || at('E')) {
            ++i_;
            if (at('+') || at('-')) ++i_;
            if (!digit()) return fail(Reason::badNumber);
            while (digit()) ++i_;
        }
        events_.number(std::string_view(reinterpret_cast<const char*>(p_ + start), i_ - start));
        return true;
    }

    bool hex4(std::size_t from, char32_t& value) const
    {
        if (n_ - from < 4) return false;
        value = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const unsigned char c = p_[from + k];
            char32_t d;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            else return false;
            value = value * 16 + d;
        }
        return true;
    }

    // One UTF-8 sequence starting at i_, checked strictly and stepped over.
    bool utf8Sequence()
    {
        const unsigned char c = p_[i_];
        std::size_t extra;
        char32_t cp;
        char32_t minimum;
        if (c >= 0xC2 && c <= 0xDF) { extra = 1; cp = c & 0x1F; minimum = 0x80; }
        else if (c >= 0xE0 && c <= 0xEF) { extra = 2; cp = c & 0x0F; minimum = 0x800; }
        else if (c >= 0xF0 && c <= 0xF4) { extra = 3; cp = c & 0x07; minimum = 0x10000; }
        else return fail(Reason::badUtf8);
        for (std::size_t k = 1; k <= extra; ++k) {
            if (i_ + k >= n_) return fail(Reason::truncatedUtf8);
            const unsigned char t = p_[i_ + k];
            if ((t & 0xC0) != 0x80) return fail(Reason::badUtf8);
            cp = (cp << 6) | (t & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return fail(Reason::badUtf8);
        i_ += extra + 1;
        return true;
    }

    // After "\u": a surrogate pair names one character; a surrogate alone is kept as it is.
    bool unicodeEscape()
    {
        char32_t unit = 0;
        if (!hex4(i_, unit)) return fail(Reason::badUnicodeEscape);
        i_ += 4;
        char32_t low = 0;
        if (unit >= 0xD800 && unit <= 0xDBFF && n_ - i_ >= 6 && p_[i_] == '\\' && p_[i_ + 1] == 'u'
            && hex4(i_ + 2, low) && low >= 0xDC00 && low <= 0xDFFF) {
            i_ += 6;
            appendUtf8(buffer_, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            return true;
        }
        appendUtf8(buffer_, unit);
        return true;
    }

    // Reads the string at i_ into text_: a view of the input while it holds no escape, of
    // buffer_ once it does.
    bool string()
    {
        ++i_;  // opening quote
        buffer_.clear();
        bool escaped = false;
        std::size_t run = i_;
        for (;;) {
            while (i_ < n_ && p_[i_] >= 0x20 && p_[i_] < 0x80 && p_[i_] != '"' && p_[i_] != '\\') ++i_;
            if (i_ >= n_) return fail(Reason::unterminatedString);
            const unsigned char c = p_[i_];
            if (c == '"') {
                const std::string_view last(reinterpret_cast<const char*>(p_ + run), i_ - run);
                if (escaped) {
                    buffer_.append(last);
                    text_ = buffer_;
                } else {
                    text_ = last;
                }
                ++i_;
                return true;
            }
            if (c < 0x20) return fail(Reason::controlCharacter);
            if (c >= 0x80) {
                if (!utf8Sequence()) return false;
                continue;
            }
            buffer_.append(reinterpret_cast<const char*>(p_ + run), i_ - run);
            escaped = true;
            if (++i_ >= n_) return fail(Reason::unterminatedString);
            switch (p_[i_++]) {
            case '"': buffer_ += '"'; break;
            case '\\': buffer_ += '\\'; break;
            case '/': buffer_ += '/'; break;
            case 'b': buffer_ += '\b'; break;
            case 'f': buffer_ += '\f'; break;
            case 'n': buffer_ += '\n'; break;
            case 'r': buffer_ += '\r'; break;
            case 't': buffer_ += '\t'; break;
            case 'u':
                if (!unicodeEscape()) return false;
                break;
            default: --i_; return fail(Reason::badEscape);
            }
            run = i_;
        }
    }

    const unsigned char* p_;
    std::size_t n_;
    std::size_t i_ = 0;
    JsonEvents& events_;
    std::string buffer_;
    std::string_view text_;
    std::vector<std::unordered_set<std::string>> keys_;
    JsonError error_{};
};

}  // namespace

std::optional<JsonError> JsonParser::parse(std::string_view utf8, JsonEvents& events)
{
    return Parser(utf8, events).document();
}

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

std::size_t findLoneSurrogate(std::string_view text, std::size_t from)
{
    // In well-formed UTF-8, ED leads U+D000 to U+D7FF only (a second byte below A0).
    for (std::size_t i = text.find('\xED', from); i != std::string_view::npos; i = text.find('\xED', i + 1)) {
        if (i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0xA0) return i;
    }
    return std::string_view::npos;
}

void replaceLoneSurrogates(std::string& text)
{
    for (std::size_t i = findLoneSurrogate(text); i != std::string::npos; i = findLoneSurrogate(text, i + 3)) {
        text[i] = char(0xEF);
        text[i + 1] = char(0xBF);
        text[i + 2] = char(0xBD);
    }
}

}  // namespace korimado::wire
