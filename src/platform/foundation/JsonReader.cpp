#include "platform/foundation/JsonReader.h"

#include "platform/foundation/JsonDecodingError.h"
#include "platform/wire/JsonParser.h"

#include <QStringDecoder>

namespace korimado {

namespace {

using Reason = wire::JsonError::Reason;

// A U+FEFF that begins a text is a character of it, not a byte-order mark.
QString fromUtf8(const char* bytes, std::size_t size)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(bytes, qsizetype(size)));
}

// UTF-16 keeps a surrogate the text left unpaired as that unit.
QString decoded(std::string_view text)
{
    std::size_t lone = wire::findLoneSurrogate(text);
    if (lone == std::string_view::npos) return fromUtf8(text.data(), text.size());
    QString out;
    out.reserve(qsizetype(text.size()));
    std::size_t from = 0;
    for (; lone != std::string_view::npos; lone = wire::findLoneSurrogate(text, from)) {
        out += fromUtf8(text.data() + from, lone - from);
        const auto byte = [&](std::size_t k) { return char16_t(static_cast<unsigned char>(text[lone + k])); };
        out += QChar(char16_t(((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F)));
        from = lone + 3;
    }
    out += fromUtf8(text.data() + from, text.size() - from);
    return out;
}

class ValueBuilder final : public wire::JsonEvents {
public:
    JsonValue take() { return std::move(done_); }

    void null() override { add(JsonValue()); }
    void boolean(bool value) override { add(JsonValue(value)); }
    void number(std::string_view literal) override
    {
        add(JsonValue::numberLiteral(QByteArray(literal.data(), qsizetype(literal.size()))));
    }
    void string(std::string_view text) override { add(JsonValue(decoded(text))); }
    void key(std::string_view text) override { open_.back().key = decoded(text); }
    void beginArray() override { open_.push_back(Open{}); }
    void beginObject() override { open_.push_back(Open{true, {}, {}, {}}); }
    void endArray() override { close(); }
    void endObject() override { close(); }

private:
    struct Open {
        bool object = false;
        JsonValue::Array items;
        JsonValue::Object members;
        QString key;
    };

    void add(JsonValue value)
    {
        if (open_.empty()) {
            done_ = std::move(value);
            return;
        }
        Open& top = open_.back();
        if (top.object) top.members.push_back(JsonMember{std::move(top.key), std::move(value)});
        else top.items.push_back(std::move(value));
    }

    void close()
    {
        Open top = std::move(open_.back());
        open_.pop_back();
        add(top.object ? JsonValue(std::move(top.members)) : JsonValue(std::move(top.items)));
    }

    std::vector<Open> open_;
    JsonValue done_;
};

QString reasonText(const wire::JsonError& error)
{
    switch (error.reason) {
    case Reason::empty: return QStringLiteral("データが空です。");
    case Reason::trailingData: return QStringLiteral("値の後に余分なデータがあります。");
    case Reason::tooDeep: return QStringLiteral("入れ子が深すぎます。");
    case Reason::noValue: return QStringLiteral("値がありません。");
    case Reason::badValue: return QStringLiteral("値として読めない文字があります。");
    case Reason::keyExpected: return QStringLiteral("キーの文字列が必要です。");
    case Reason::duplicateKey:
        return QStringLiteral("キー「") + decoded(error.key) + QStringLiteral("」が重複しています。");
    case Reason::colonExpected: return QStringLiteral("「:」が必要です。");
    case Reason::commaOrBraceExpected: return QStringLiteral("「,」か「}」が必要です。");
    case Reason::commaOrBracketExpected: return QStringLiteral("「,」か「]」が必要です。");
    case Reason::badNumber: return QStringLiteral("数値が正しくありません。");
    case Reason::leadingZero: return QStringLiteral("数値の先頭に0は置けません。");
    case Reason::badUnicodeEscape: return QStringLiteral("\\u の後に16進数4桁が必要です。");
    case Reason::badUtf8: return QStringLiteral("UTF-8として正しくないバイトがあります。");
    case Reason::truncatedUtf8: return QStringLiteral("UTF-8の文字が途中で切れています。");
    case Reason::unterminatedString: return QStringLiteral("文字列が閉じていません。");
    case Reason::controlCharacter: return QStringLiteral("文字列の中に制御文字があります。");
    case Reason::badEscape: return QStringLiteral("使えないエスケープがあります。");
    }
    return QString();
}

}  // namespace

JsonValue JsonReader::parse(QByteArrayView utf8)
{
    ValueBuilder builder;
    if (const auto error = wire::JsonParser::parse(std::string_view(utf8.data(), std::size_t(utf8.size())), builder)) {
        throw JsonDecodingError::dataCorrupted(QString(), QStringLiteral("JSONとして読めません（")
                                                              + QString::number(error->offset + 1)
                                                              + QStringLiteral("バイト目）: ") + reasonText(*error));
    }
    return builder.take();
}

}  // namespace korimado
