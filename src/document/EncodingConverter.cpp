#include "document/EncodingConverter.h"

#include "document/UnicodeForms.h"
#include "platform/foundation/Bundle.h"

#include <QDir>
#include <QFile>

#include <unicode/ucnv.h>

#include <array>
#include <memory>

namespace korimado {

namespace {

constexpr char16_t kWaveDash = 0x301C;
constexpr char16_t kFullwidthTilde = 0xFF5E;
const char* const kSjisX0213Table = "korimado-sjis-x0213";

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPointer = std::unique_ptr<UConverter, ConverterCloser>;

std::optional<UnicodeForms::Form> unicodeForm(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::utf8: return UnicodeForms::Form::utf8;
    case TextEncoding::utf16LE: return UnicodeForms::Form::utf16LE;
    case TextEncoding::utf16BE: return UnicodeForms::Form::utf16BE;
    case TextEncoding::utf32LE: return UnicodeForms::Form::utf32LE;
    case TextEncoding::utf32BE: return UnicodeForms::Form::utf32BE;
    default: return std::nullopt;
    }
}

const char* icuName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::shiftJIS: return "Shift_JIS";  // the cp932 table: 0x5C stays a backslash
    case TextEncoding::eucJP: return "EUC-JP";
    case TextEncoding::iso2022JP: return "ISO-2022-JP";
    case TextEncoding::ascii: return "US-ASCII";
    case TextEncoding::latin1: return "ISO-8859-1";
    case TextEncoding::latin2: return "ISO-8859-2";
    case TextEncoding::latin9: return "ISO-8859-15";
    case TextEncoding::windows1252: return "windows-1252";
    case TextEncoding::windows1250: return "windows-1250";
    case TextEncoding::windows1251: return "windows-1251";
    case TextEncoding::macRoman: return "macintosh";
    case TextEncoding::gb18030: return "GB18030";
    case TextEncoding::big5: return "Big5";
    case TextEncoding::eucKR: return "EUC-KR";
    default: return nullptr;
    }
}

// ICU's tables for these read the JIS wave dash as U+FF5E and never produce U+301C, so swapping the
// two characters on the way in and out is exact in both directions.
bool swapsWaveDash(TextEncoding encoding)
{
    return encoding == TextEncoding::shiftJIS || encoding == TextEncoding::eucJP
        || encoding == TextEncoding::iso2022JP;
}

ConverterPointer openConverter(TextEncoding encoding)
{
    UErrorCode status = U_ZERO_ERROR;
    ConverterPointer converter;
    if (encoding == TextEncoding::shiftJIS2004) {
        // openPackage reads the folder as a directory only with the trailing separator.
        const QByteArray folder = QFile::encodeName(QDir(EncodingConverter::tablesDirectory()).absolutePath() + '/');
        converter.reset(ucnv_openPackage(folder.constData(), kSjisX0213Table, &status));
    } else if (const char* name = icuName(encoding)) {
        converter.reset(ucnv_open(name, &status));
    }
    if (!converter || U_FAILURE(status)) return nullptr;
    // The default callbacks substitute silently; stop at the first problem instead.
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFallback(converter.get(), false);
    if (U_FAILURE(status)) return nullptr;
    return converter;
}

// A converter is not thread-safe, so each thread keeps its own, reset before every use.
UConverter* converterFor(TextEncoding encoding)
{
    thread_local std::array<ConverterPointer, TextEncoding::count> converters;
    ConverterPointer& slot = converters[encoding.value()];
    if (!slot) slot = openConverter(encoding);
    if (slot) ucnv_reset(slot.get());
    return slot.get();
}

// Runs one ICU streaming conversion into `out`, doubling it whenever it fills up.
template <typename Unit, typename Buffer, typename Step>
bool convertGrowing(Buffer& out, Step step)
{
    qsizetype written = 0;
    for (;;) {
        Unit* const begin = reinterpret_cast<Unit*>(out.data());
        Unit* target = begin + written;
        UErrorCode status = U_ZERO_ERROR;
        step(&target, begin + out.size(), &status);
        written = target - begin;
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(out.size() * 2);
            continue;
        }
        if (U_FAILURE(status)) return false;
        out.truncate(written);
        return true;
    }
}

std::optional<QString> icuToText(UConverter* converter, QByteArrayView bytes)
{
    QString out(bytes.size() + 16, Qt::Uninitialized);
    const char* source = bytes.data();
    const char* const sourceEnd = source + bytes.size();
    const bool ok = convertGrowing<UChar>(out, [&](UChar** target, UChar* limit, UErrorCode* status) {
        ucnv_toUnicode(converter, target, limit, &source, sourceEnd, nullptr, true, status);
    });
    return ok ? std::optional<QString>(std::move(out)) : std::nullopt;
}

std::optional<QByteArray> icuFromText(UConverter* converter, QStringView text)
{
    QByteArray out(text.size() * 2 + 16, Qt::Uninitialized);
    const UChar* source = reinterpret_cast<const UChar*>(text.utf16());
    const UChar* const sourceEnd = source + text.size();
    const bool ok = convertGrowing<char>(out, [&](char** target, char* limit, UErrorCode* status) {
        ucnv_fromUnicode(converter, target, limit, &source, sourceEnd, nullptr, true, status);
    });
    return ok ? std::optional<QByteArray>(std::move(out)) : std::nullopt;
}

std::optional<QString> waveDashToText(UConverter* converter, QByteArrayView bytes)
{
    std::optional<QString> text = icuToText(converter, bytes);
    if (text) text->replace(QChar(kFullwidthTilde), QChar(kWaveDash));
    return text;
}

std::optional<QByteArray> waveDashFromText(UConverter* converter, QStringView text)
{
    // U+FF5E would come back as U+301C.
    if (text.contains(QChar(kFullwidthTilde))) return std::nullopt;
    if (!text.contains(QChar(kWaveDash))) return icuFromText(converter, text);
    QString swapped = text.toString();
    swapped.replace(QChar(kWaveDash), QChar(kFullwidthTilde));
    return icuFromText(converter, swapped);
}

// EUC-JP has a second tilde, JIS X 0212's 8F A2 B7, which ICU also reads as U+FF5E. It is no wave
// dash: it keeps U+FF5E and is written back as those bytes. Only a lead byte starts a character in
// EUC-JP (8F is never a trail byte), so the sequence is found by a plain search.
std::optional<QString> eucJPToText(UConverter* converter, QByteArrayView bytes)
{
    static constexpr char tilde[] = "\x8F\xA2\xB7";
    QString text;
    qsizetype from = 0;
    for (;;) {
        const qsizetype found = bytes.indexOf(QByteArrayView(tilde, 3), from);
        const std::optional<QString> part = waveDashToText(converter, bytes.sliced(from, (found < 0 ? bytes.size() : found) - from));
        if (!part) return std::nullopt;
        text += *part;
        if (found < 0) return text;
        text += QChar(kFullwidthTilde);
        from = found + 3;
    }
}

std::optional<QByteArray> eucJPFromText(UConverter* converter, QStringView text)
{
    QByteArray bytes;
    qsizetype from = 0;
    for (;;) {
        const qsizetype found = text.indexOf(QChar(kFullwidthTilde), from);
        const std::optional<QByteArray> part = waveDashFromText(converter, text.sliced(from, (found < 0 ? text.size() : found) - from));
        if (!part) return std::nullopt;
        bytes += *part;
        if (found < 0) return bytes;
        bytes += "\x8F\xA2\xB7";
        from = found + 1;
    }
}

}  // namespace

std::optional<QString> EncodingConverter::toText(TextEncoding encoding, QByteArrayView bytes)
{
    if (const auto form = unicodeForm(encoding)) return UnicodeForms::decode(*form, bytes);
    UConverter* converter = converterFor(encoding);
    if (!converter) return std::nullopt;
    if (encoding == TextEncoding::eucJP) return eucJPToText(converter, bytes);
    if (swapsWaveDash(encoding)) return waveDashToText(converter, bytes);
    return icuToText(converter, bytes);
}

std::optional<QByteArray> EncodingConverter::fromText(TextEncoding encoding, QStringView text)
{
    if (const auto form = unicodeForm(encoding)) return UnicodeForms::encode(*form, text);
    UConverter* converter = converterFor(encoding);
    if (!converter) return std::nullopt;
    if (encoding == TextEncoding::eucJP) return eucJPFromText(converter, text);
    if (swapsWaveDash(encoding)) return waveDashFromText(converter, text);
    return icuFromText(converter, text);
}

QString EncodingConverter::tablesDirectory()
{
    return Bundle::main().resourcePath() + QStringLiteral("/encodings");
}

}  // namespace korimado
