#include "platform/foundation/OpenStepPropertyList.h"

#include <QStringDecoder>

namespace korimado {

namespace {

[[noreturn]] void fail(const char* reason)
{
    throw PropertyListError(QStringLiteral("text property list: ") + QLatin1String(reason));
}

bool isBareCharacter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_'
        || c == u'$' || c == u'+' || c == u'/' || c == u':' || c == u'.' || c == u'-';
}

int hexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

class Parser {
public:
    explicit Parser(const QString& text) : text_(text), at_(0), end_(text.size()) {}

    PropertyList top()
    {
        skip();
        if (at_ >= end_) fail("empty");
        const char16_t first = peek();
        if (first != u'{' && first != u'(' && first != u'<') {
            // Bare pairs at the top level make a dictionary, as in a strings file.
            const qsizetype start = at_;
            string();
            skip();
            if (at_ < end_ && (peek() == u'=' || peek() == u';')) {
                at_ = start;
                PropertyList::Dictionary entries;
                pairs(entries, false, 0);
                return PropertyList(entries);
            }
            at_ = start;
        }
        PropertyList result = value(0);
        skip();
        if (at_ != end_) fail("text after the value");
        return result;
    }

private:
    char16_t peek() const { return text_[at_].unicode(); }

    void skip()
    {
        while (at_ < end_) {
            const char16_t c = peek();
            if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v' || c == 0x2028
                || c == 0x2029) {
                ++at_;
            } else if (c == u'/' && at_ + 1 < end_ && text_[at_ + 1] == u'/') {
                while (at_ < end_ && peek() != u'\n' && peek() != u'\r') ++at_;
            } else if (c == u'/' && at_ + 1 < end_ && text_[at_ + 1] == u'*') {
                const qsizetype close = text_.indexOf(QStringLiteral("*/"), at_ + 2);
                if (close < 0) fail("unterminated comment");
                at_ = close + 2;
            } else {
                return;
            }
        }
    }

    void count()
    {
        if (++nodes_ > PropertyList::maximumNodes) fail("too many values");
    }

    PropertyList value(int depth)
    {
        skip();
        if (at_ >= end_) fail("value missing");
        count();
        switch (peek()) {
        case u'{': {
            if (depth >= PropertyList::maximumDepth) fail("nested too deeply");
            ++at_;
            PropertyList::Dictionary entries;
            pairs(entries, true, depth + 1);
            return PropertyList(entries);
        }
        case u'(': return array(depth);
        case u'<': return data();
        default: return PropertyList(string());
        }
    }

    // key = value; … up to "}" (inBraces) or the end of the text.
    void pairs(PropertyList::Dictionary& entries, bool inBraces, int depth)
    {
        for (;;) {
            skip();
            if (at_ >= end_) {
                if (inBraces) fail("unterminated dictionary");
                return;
            }
            if (inBraces && peek() == u'}') {
                ++at_;
                return;
            }
            count();
            const QString key = string();
            skip();
            if (at_ < end_ && peek() == u';') {
                // "key;" in a strings file stands for key = key.
                if (inBraces) fail("dictionary key without a value");
                ++at_;
                entries.insert(key, PropertyList(key));
                continue;
            }
            if (at_ >= end_ || peek() != u'=') fail("expected =");
            ++at_;
            PropertyList item = value(depth);
            entries.insert(key, std::move(item));
            skip();
            if (at_ < end_ && peek() == u';') {
                ++at_;
            } else if (!(inBraces && at_ < end_ && peek() == u'}')) {
                fail("expected ;");
            }
        }
    }

    PropertyList array(int depth)
    {
        if (depth >= PropertyList::maximumDepth) fail("nested too deeply");
        ++at_;
        PropertyList::Array items;
        for (;;) {
            skip();
            if (at_ >= end_) fail("unterminated array");
            if (peek() == u')') {
                ++at_;
                return PropertyList(items);
            }
            items.append(value(depth + 1));
            skip();
            if (at_ < end_ && peek() == u',') {
                ++at_;
            } else if (!(at_ < end_ && peek() == u')')) {
                fail("expected , or )");
            }
        }
    }

    PropertyList data()
    {
        ++at_;
        QByteArray bytes;
        int high = -1;
        for (;;) {
            skip();
            if (at_ >= end_) fail("unterminated data");
            const char16_t c = peek();
            ++at_;
            if (c == u'>') break;
            const int digit = hexDigit(c);
            if (digit < 0) fail("bad data");
            if (high < 0) {
                high = digit;
            } else {
                bytes.append(static_cast<char>(high << 4 | digit));
                high = -1;
            }
        }
        if (high >= 0) fail("odd number of digits in data");
        return PropertyList(bytes);
    }

    QString string()
    {
        if (at_ >= end_) fail("string missing");
        const char16_t quote = peek();
        if (quote == u'"' || quote == u'\'') return quoted(quote);
        const qsizetype start = at_;
        while (at_ < end_ && isBareCharacter(peek())) ++at_;
        if (at_ == start) fail("unexpected character");
        return text_.mid(start, at_ - start);
    }

    QString quoted(char16_t quote)
    {
        ++at_;
        QString out;
        qsizetype start = at_;
        for (;;) {
            if (at_ >= end_) fail("unterminated string");
            const char16_t c = peek();
            if (c == quote) {
                out.append(QStringView(text_).mid(start, at_ - start));
                ++at_;
                return out;
            }
            if (c != u'\\') {
                ++at_;
                continue;
            }
            out.append(QStringView(text_).mid(start, at_ - start));
            ++at_;
            if (at_ >= end_) fail("unterminated string");
            const char16_t e = peek();
            ++at_;
            switch (e) {
            case u'a': out.append(QChar(7)); break;
            case u'b': out.append(QChar(8)); break;
            case u'f': out.append(QChar(12)); break;
            case u'n': out.append(QChar(10)); break;
            case u'r': out.append(QChar(13)); break;
            case u't': out.append(QChar(9)); break;
            case u'v': out.append(QChar(11)); break;
            case u'U': {
                char16_t unit = 0;
                int digits = 0;
                for (; digits < 4 && at_ < end_ && hexDigit(peek()) >= 0; ++digits, ++at_) {
                    unit = static_cast<char16_t>(unit * 16 + hexDigit(peek()));
                }
                if (digits == 0) fail("bad \\U escape");
                out.append(QChar(unit));
                break;
            }
            default:
                if (e >= u'0' && e <= u'7') {
                    int code = e - u'0';
                    for (int digits = 1; digits < 3 && at_ < end_ && peek() >= u'0' && peek() <= u'7'; ++digits, ++at_) {
                        code = code * 8 + (peek() - u'0');
                    }
                    out.append(QChar(static_cast<char16_t>(code & 0xFF)));
                } else {
                    out.append(QChar(e));
                }
                break;
            }
            start = at_;
        }
    }

    const QString& text_;
    qsizetype at_;
    const qsizetype end_;
    qsizetype nodes_ = 0;
};

}  // namespace

PropertyList OpenStepPropertyList::read(QByteArrayView data)
{
    QString text;
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(data.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                               QStringConverter::Flag::Stateless);
        text = decoder.decode(data.sliced(2));
        if (decoder.hasError()) fail("not UTF-16");
    } else {
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        text = decoder.decode(data.startsWith("\xEF\xBB\xBF") ? data.sliced(3) : data);
        if (decoder.hasError()) fail("not UTF-8");
    }
    Parser parser(text);
    return parser.top();
}

}  // namespace korimado
