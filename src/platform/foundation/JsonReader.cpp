#include "platform/foundation/JsonReader.h"

#include "platform/foundation/JsonDecodingError.h"

namespace korimado {

namespace {

class Parser {
public:
    explicit Parser(QByteArrayView in) : p_(reinterpret_cast<const unsigned char*>(in.data())), n_(in.size()) {}

    JsonValue document()
    {
        if (n_ >= 3 && p_[0] == 0xEF && p_[1] == 0xBB && p_[2] == 0xBF) i_ = 3;
        skipSpace();
        if (i_ >= n_) fail(QStringLiteral("データが空です。"));
        JsonValue v = value(0);
        skipSpace();
        if (i_ < n_) fail(QStringLiteral("値の後に余分なデータがあります。"));
        return v;
    }

private:
    [[noreturn]] void fail(const QString& reason) const
    {
        throw JsonDecodingError::dataCorrupted(
            QString(), QStringLiteral("JSONとして読めません（") + QString::number(i_ + 1)
                           + QStringLiteral("バイト目）: ") + reason);
    }

    void skipSpace()
    {
        while (i_ < n_ && (p_[i_] == ' ' || p_[i_] == '\t' || p_[i_] == '\n' || p_[i_] == '\r')) ++i_;
    }

    bool literal(const char* word)
    {
        qsizetype k = 0;
        while (word[k]) {
            if (i_ + k >= n_ || p_[i_ + k] != static_cast<unsigned char>(word[k])) return false;
            ++k;
        }
        i_ += k;
        return true;
    }

    JsonValue value(int depth)
    {
        if (depth >= JsonReader::maximumDepth) fail(QStringLiteral("入れ子が深すぎます。"));
        if (i_ >= n_) fail(QStringLiteral("値がありません。"));
        switch (p_[i_]) {
        case '{': return object(depth);
        case '[': return array(depth);
        case '"': return JsonValue(string());
        case 't':
            if (literal("true")) return JsonValue(true);
            break;
        case 'f':
            if (literal("false")) return JsonValue(false);
            break;
        case 'n':
            if (literal("null")) return JsonValue();
            break;
        default:
            if (p_[i_] == '-' || (p_[i_] >= '0' && p_[i_] <= '9')) return number();
            break;
        }
        fail(QStringLiteral("値として読めない文字があります。"));
    }

    JsonValue object(int depth)
    {
        ++i_;  // {
        JsonValue::Object members;
        skipSpace();
        if (i_ < n_ && p_[i_] == '}') {
            ++i_;
            return JsonValue(std::move(members));
        }
        for (;;) {
            skipSpace();
            if (i_ >= n_ || p_[i_] != '"') fail(QStringLiteral("キーの文字列が必要です。"));
            const qsizetype keyStart = i_;
            QString key = string();
            for (const JsonMember& m : members) {
                if (m.key == key) {
                    i_ = keyStart;
                    fail(QStringLiteral("キー「") + key + QStringLiteral("」が重複しています。"));
                }
            }
            skipSpace();
            if (i_ >= n_ || p_[i_] != ':') fail(QStringLiteral("「:」が必要です。"));
            ++i_;
            skipSpace();
            JsonValue v = value(depth + 1);
            members.push_back(JsonMember{std::move(key), std::move(v)});
            skipSpace();
            if (i_ < n_ && p_[i_] == ',') {
                ++i_;
                continue;
            }
            if (i_ < n_ && p_[i_] == '}') {
                ++i_;
                return JsonValue(std::move(members));
            }
            fail(QStringLiteral("「,」か「}」が必要です。"));
        }
    }

    JsonValue array(int depth)
    {
        ++i_;  // [
        JsonValue::Array items;
        skipSpace();
        if (i_ < n_ && p_[i_] == ']') {
            ++i_;
            return JsonValue(std::move(items));
        }
        for (;;) {
            skipSpace();
            items.push_back(value(depth + 1));
            skipSpace();
            if (i_ < n_ && p_[i_] == ',') {
                ++i_;
                continue;
            }
            if (i_ < n_ && p_[i_] == ']') {
                ++i_;
                return JsonValue(std::move(items));
            }
            fail(QStringLiteral("「,」か「]」が必要です。"));
        }
    }

    JsonValue number()
    {
        const qsizetype start = i_;
        auto digit = [this] { return i_ < n_ && p_[i_] >= '0' && p_[i_] <= '9'; };
        if (p_[i_] == '-') ++i_;
        if (!digit()) fail(QStringLiteral("数値が正しくありません。"));
        if (p_[i_] == '0') {
            ++i_;
            if (digit()) fail(QStringLiteral("数値の先頭に0は置けません。"));
        } else {
            while (digit()) ++i_;
        }
        if (i_ < n_ && p_[i_] == '.') {
            ++i_;
            if (!digit()) fail(QStringLiteral("数値が正しくありません。"));
            while (digit()) ++i_;
        }
        if (i_ < n_ && (p_[i_] == 'e' || p_[i_] == 'E')) {
            ++i_;
            if (i_ < n_ && (p_[i_] == '+' || p_[i_] == '-')) ++i_;
            if (!digit()) fail(QStringLiteral("数値が正しくありません。"));
            while (digit()) ++i_;
        }
        return JsonValue::numberLiteral(QByteArray(reinterpret_cast<const char*>(p_ + start), i_ - start));
    }

    int hex4()
    {
        if (i_ + 4 > n_) fail(QStringLiteral("\\u の後に16進数4桁が必要です。"));
        int v = 0;
        for (int k = 0; k < 4; ++k) {
            const unsigned char c = p_[i_ + k];
            int d;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            else fail(QStringLiteral("\\u の後に16進数4桁が必要です。"));
            v = v * 16 + d;
        }
        i_ += 4;
        return v;
    }

    // One UTF-8 sequence starting at i_, checked strictly; appended to out.
    void utf8Sequence(QString& out)
    {
        const unsigned char c = p_[i_];
        int extra;
        char32_t cp;
        char32_t minimum;
        if (c >= 0xC2 && c <= 0xDF) { extra = 1; cp = c & 0x1F; minimum = 0x80; }
        else if (c >= 0xE0 && c <= 0xEF) { extra = 2; cp = c & 0x0F; minimum = 0x800; }
        else if (c >= 0xF0 && c <= 0xF4) { extra = 3; cp = c & 0x07; minimum = 0x10000; }
        else fail(QStringLiteral("UTF-8として正しくないバイトがあります。"));
        for (int k = 1; k <= extra; ++k) {
            if (i_ + k >= n_) fail(QStringLiteral("UTF-8の文字が途中で切れています。"));
            const unsigned char t = p_[i_ + k];
            if ((t & 0xC0) != 0x80) fail(QStringLiteral("UTF-8として正しくないバイトがあります。"));
            cp = (cp << 6) | (t & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            fail(QStringLiteral("UTF-8として正しくないバイトがあります。"));
        i_ += extra + 1;
        if (cp >= 0x10000) {
            out += QChar(QChar::highSurrogate(cp));
            out += QChar(QChar::lowSurrogate(cp));
        } else {
            out += QChar(char16_t(cp));
        }
    }

    QString string()
    {
        ++i_;  // opening quote
        QString out;
        for (;;) {
            // Plain ASCII runs are taken in one step.
            qsizetype run = i_;
            while (run < n_ && p_[run] >= 0x20 && p_[run] < 0x80 && p_[run] != '"' && p_[run] != '\\') ++run;
            if (run > i_) {
                out += QLatin1StringView(reinterpret_cast<const char*>(p_ + i_), run - i_);
                i_ = run;
            }
            if (i_ >= n_) fail(QStringLiteral("文字列が閉じていません。"));
            const unsigned char c = p_[i_];
            if (c == '"') {
                ++i_;
                return out;
            }
            if (c < 0x20) fail(QStringLiteral("文字列の中に制御文字があります。"));
            if (c >= 0x80) {
                utf8Sequence(out);
                continue;
            }
            // backslash
            ++i_;
            if (i_ >= n_) fail(QStringLiteral("文字列が閉じていません。"));
            const unsigned char e = p_[i_++];
            switch (e) {
            case '"': out += u'"'; break;
            case '\\': out += u'\\'; break;
            case '/': out += u'/'; break;
            case 'b': out += u'\b'; break;
            case 'f': out += u'\f'; break;
            case 'n': out += u'\n'; break;
            case 'r': out += u'\r'; break;
            case 't': out += u'\t'; break;
            case 'u': out += QChar(char16_t(hex4())); break;
            default: --i_; fail(QStringLiteral("使えないエスケープがあります。"));
            }
        }
    }

    const unsigned char* p_;
    qsizetype n_;
    qsizetype i_ = 0;
};

}  // namespace

JsonValue JsonReader::parse(QByteArrayView utf8)
{
    return Parser(utf8).document();
}

}  // namespace korimado
