#include "document/TextEncodingNames.h"

namespace korimado {

QString TextEncodingNames::localizedName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::utf8: return QStringLiteral("Unicode (UTF-8)");
    case TextEncoding::utf16LE: return QStringLiteral("Unicode (UTF-16 LE)");
    case TextEncoding::utf16BE: return QStringLiteral("Unicode (UTF-16 BE)");
    case TextEncoding::shiftJIS: return QStringLiteral("日本語 (Shift JIS)");
    case TextEncoding::eucJP: return QStringLiteral("日本語 (EUC)");
    case TextEncoding::iso2022JP: return QStringLiteral("日本語 (ISO-2022-JP)");
    default: return encoding.rawValue();
    }
}

QString TextEncodingNames::ianaName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::utf8: return QStringLiteral("utf-8");
    case TextEncoding::utf16LE: return QStringLiteral("utf-16le");
    case TextEncoding::utf16BE: return QStringLiteral("utf-16be");
    case TextEncoding::shiftJIS: return QStringLiteral("shift_jis");
    case TextEncoding::eucJP: return QStringLiteral("euc-jp");
    case TextEncoding::iso2022JP: return QStringLiteral("iso-2022-jp");
    case TextEncoding::utf32LE: return QStringLiteral("utf-32le");
    case TextEncoding::utf32BE: return QStringLiteral("utf-32be");
    case TextEncoding::ascii: return QStringLiteral("us-ascii");
    case TextEncoding::latin1: return QStringLiteral("iso-8859-1");
    case TextEncoding::latin2: return QStringLiteral("iso-8859-2");
    case TextEncoding::latin9: return QStringLiteral("iso-8859-15");
    case TextEncoding::windows1252: return QStringLiteral("windows-1252");
    case TextEncoding::windows1250: return QStringLiteral("windows-1250");
    case TextEncoding::windows1251: return QStringLiteral("windows-1251");
    case TextEncoding::macRoman: return QStringLiteral("macintosh");
    case TextEncoding::gb18030: return QStringLiteral("gb18030");
    case TextEncoding::big5: return QStringLiteral("big5");
    case TextEncoding::eucKR: return QStringLiteral("euc-kr");
    case TextEncoding::shiftJIS2004: break;
    }
    return encoding.rawValue();
}

}  // namespace korimado
