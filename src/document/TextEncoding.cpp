#include "document/TextEncoding.h"

namespace korimado {

namespace {

const char* const kDisplayNames[TextEncoding::count] = {
    "UTF-8",      "UTF-16 LE",   "UTF-16 BE",    "Shift JIS",    "EUC-JP",       "ISO-2022-JP",     "UTF-32 LE",
    "UTF-32 BE",  "US-ASCII",    "ISO-8859-1",   "ISO-8859-2",   "ISO-8859-15",  "Windows-1252",    "Windows-1250",
    "Windows-1251", "Mac Roman", "Shift JIS X0213", "GB18030",   "Big5",         "EUC-KR",
};

QString normalizedName(const QString& name)
{
    QString out;
    out.reserve(name.size());
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if ((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')) {
            out += c;
        } else if (u >= 'A' && u <= 'Z') {
            out += QChar(u - 'A' + 'a');
        }
    }
    return out;
}

}  // namespace

QString TextEncoding::rawValue() const
{
    return QString::fromLatin1(kDisplayNames[value_]);
}

QByteArray TextEncoding::marker() const
{
    switch (value_) {
    case utf8: return QByteArray("\xEF\xBB\xBF", 3);
    case utf16LE: return QByteArray("\xFF\xFE", 2);
    case utf16BE: return QByteArray("\xFE\xFF", 2);
    case utf32LE: return QByteArray("\xFF\xFE\x00\x00", 4);
    case utf32BE: return QByteArray("\x00\x00\xFE\xFF", 4);
    default: return {};
    }
}

qint64 TextEncoding::foundation() const
{
    constexpr qint64 registered = 0x80000000LL;
    switch (value_) {
    case utf8: return 4;
    case utf16LE: return 0x94000100LL;
    case utf16BE: return 0x90000100LL;
    case shiftJIS: return 8;
    case eucJP: return 3;
    case iso2022JP: return 21;
    case utf32LE: return 0x9C000100LL;
    case utf32BE: return 0x98000100LL;
    case ascii: return 1;
    case latin1: return 5;
    case latin2: return 9;
    case windows1252: return 12;
    case windows1250: return 15;
    case windows1251: return 11;
    case macRoman: return 30;
    case latin9: return registered | 527;
    case shiftJIS2004: return registered | 1576;
    case gb18030: return registered | 1586;
    case big5: return registered | 2563;
    case eucKR: return registered | 2368;
    }
    return 4;
}

std::optional<TextEncoding> TextEncoding::fromRawValue(const QString& name)
{
    for (TextEncoding e : allCases()) {
        if (e.rawValue() == name) return e;
    }
    return std::nullopt;
}

std::optional<TextEncoding> TextEncoding::named(const QString& name)
{
    QString candidate = name;
    const qsizetype open = name.indexOf(QChar('('));
    if (open >= 0) {
        const qsizetype close = name.indexOf(QChar(')'), open + 1);
        if (close > open) candidate = name.mid(open + 1, close - open - 1);
    }
    const QString key = normalizedName(candidate);
    for (TextEncoding e : allCases()) {
        if (normalizedName(e.rawValue()) == key) return e;
    }
    if (key == u"unicode" || key == u"utf16") return TextEncoding(utf16LE);
    if (key == u"utf32") return TextEncoding(utf32LE);
    if (key == u"sjis" || key == u"mskanji" || key == u"cp932" || key == u"windows31j") return TextEncoding(shiftJIS);
    if (key == u"ascii") return TextEncoding(ascii);
    if (key == u"macintosh") return TextEncoding(macRoman);
    if (key == u"latin1") return TextEncoding(latin1);
    if (key == u"latin2") return TextEncoding(latin2);
    return std::nullopt;
}

const std::array<TextEncoding, TextEncoding::count>& TextEncoding::allCases()
{
    static const std::array<TextEncoding, count> cases = [] {
        std::array<TextEncoding, count> a{utf8, utf8, utf8, utf8, utf8, utf8, utf8, utf8, utf8, utf8,
                                          utf8, utf8, utf8, utf8, utf8, utf8, utf8, utf8, utf8, utf8};
        for (int i = 0; i < count; ++i) a[i] = TextEncoding(static_cast<Value>(i));
        return a;
    }();
    return cases;
}

}  // namespace korimado
