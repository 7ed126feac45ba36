#include "document/TextCodec.h"
#include "platform/foundation/ParallelParts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

using korimado::CodecError;
using korimado::DecodedText;
using korimado::LineEnding;
using korimado::TextCodec;
using korimado::TextEncoding;
using korimado::TextFormat;

namespace {

QByteArray bytes(const char* data, qsizetype size) { return QByteArray(data, size); }
QByteArray bytes(const char* data) { return QByteArray(data); }

TextFormat formatOf(TextEncoding encoding, bool bom = false)
{
    TextFormat format;
    format.encoding = encoding;
    format.bom = bom;
    return format;
}

// Runs the call and returns the CodecError it throws (a test failure when it throws nothing).
CodecError thrownBy(const std::function<void()>& call)
{
    try {
        call();
    } catch (const CodecError& error) {
        return error;
    }
    ADD_FAILURE() << "no CodecError was thrown";
    return CodecError::makeTooLarge();
}

CodecError decodeError(const QByteArray& data, std::optional<TextEncoding> requested = std::nullopt)
{
    return thrownBy([&] { TextCodec::decode(data, requested); });
}

CodecError encodeError(const QString& text, TextEncoding encoding)
{
    return thrownBy([&] { TextCodec::encode(text, formatOf(encoding)); });
}

}  // namespace

TEST(TextCodec, EveryEncodingRoundTripsWhatItHoldsAndRefusesWhatItCannot)
{
    struct Case {
        TextEncoding encoding;
        QString holds;
        QString cannotHold;
    };
    const QString loneSurrogate(QChar(0xD800));
    const Case cases[] = {
        {TextEncoding::utf8, u"日本語 text 😀\n"_qs, loneSurrogate},
        {TextEncoding::utf16LE, u"日本語 text 😀\n"_qs, loneSurrogate},
        {TextEncoding::utf16BE, u"日本語 text 😀\n"_qs, QString(QChar(0xDC00)) + u"a"_qs},
        {TextEncoding::shiftJIS, u"日本語のテキスト〜①\\~ｱ"_qs, u"한국"_qs},
        {TextEncoding::eucJP, u"日本語のテキスト〜ｱ"_qs, u"한국"_qs},
        {TextEncoding::iso2022JP, u"日本語のテキスト〜 abc"_qs, u"한국"_qs},
        {TextEncoding::utf32LE, u"日本語 😀"_qs, loneSurrogate},
        {TextEncoding::utf32BE, u"日本語 😀"_qs, u"a"_qs + loneSurrogate},
        {TextEncoding::ascii, u"plain text ~\\"_qs, u"café"_qs},
        {TextEncoding::latin1, u"café ÿ"_qs, u"€"_qs},
        {TextEncoding::latin2, u"Łódź"_qs, u"€"_qs},
        {TextEncoding::latin9, u"€uro œ"_qs, u"¤"_qs},
        {TextEncoding::windows1252, u"€ “quoted” café"_qs, u"Ł"_qs},
        {TextEncoding::windows1250, u"Łódź €"_qs, u"日"_qs},
        {TextEncoding::windows1251, u"Привет"_qs, u"日"_qs},
        {TextEncoding::macRoman, u"café ∑ π"_qs, u"日"_qs},
        {TextEncoding::shiftJIS2004, u"𠀋か゚〜～①\\~"_qs, u"한국"_qs},
        {TextEncoding::gb18030, u"中文 😀 한국"_qs, loneSurrogate},
        {TextEncoding::big5, u"中文繁體"_qs, u"한국"_qs},
        {TextEncoding::eucKR, u"한국어"_qs, u"😀"_qs},
    };
    ASSERT_EQ(std::size(cases), size_t(TextEncoding::count));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding.rawValue().toStdString());
        const QByteArray data = TextCodec::encode(c.holds, formatOf(c.encoding));
        const DecodedText decoded = TextCodec::decode(data, c.encoding);
        EXPECT_EQ(decoded.text, c.holds);
        EXPECT_EQ(decoded.format.encoding, c.encoding);
        EXPECT_FALSE(decoded.format.bom);

        const CodecError error = encodeError(c.cannotHold, c.encoding);
        EXPECT_EQ(error.kind(), CodecError::unrepresentable);
        EXPECT_EQ(error.encoding(), c.encoding);
    }
}

TEST(TextCodec, UnrepresentableNamesTheEncodingInItsMessage)
{
    const CodecError error = encodeError(u"é"_qs, TextEncoding::ascii);
    EXPECT_EQ(error.errorDescription(),
              u"US-ASCIIでは保存できない文字があります。UTF-8へ変更してください。ファイルは変更していません。"_qs);
    EXPECT_STREQ(error.what(), error.errorDescription().toUtf8().constData());
}

TEST(TextCodec, ConversionsThatSubstituteAreRefused)
{
    // ICU would write halfwidth katakana as fullwidth ones in ISO-2022-JP; the read-back check refuses.
    EXPECT_EQ(encodeError(u"ｱｲｳ"_qs, TextEncoding::iso2022JP).kind(), CodecError::unrepresentable);
    // The text ICU's default callback would turn into 0x1A.
    EXPECT_EQ(encodeError(u"a😀b"_qs, TextEncoding::latin1).kind(), CodecError::unrepresentable);
}

TEST(TextCodec, ByteOrderMarksAreFoundInOrder)
{
    struct Case {
        QByteArray data;
        TextEncoding encoding;
        QString text;
    };
    const Case cases[] = {
        {bytes("\xFF\xFE\x00\x00\x41\x00\x00\x00", 8), TextEncoding::utf32LE, u"A"_qs},
        {bytes("\x00\x00\xFE\xFF\x00\x00\x00\x41", 8), TextEncoding::utf32BE, u"A"_qs},
        {bytes("\xEF\xBB\xBF\xE3\x81\x82"), TextEncoding::utf8, u"あ"_qs},
        {bytes("\xFF\xFE\x41\x00\x42\x30", 6), TextEncoding::utf16LE, u"Aあ"_qs},
        {bytes("\xFE\xFF\x30\x42", 4), TextEncoding::utf16BE, u"あ"_qs},
        // A mark alone is an empty text.
        {bytes("\xFE\xFF"), TextEncoding::utf16BE, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding.rawValue().toStdString());
        const DecodedText automatic = TextCodec::decode(c.data);
        EXPECT_EQ(automatic.format.encoding, c.encoding);
        EXPECT_TRUE(automatic.format.bom);
        EXPECT_EQ(automatic.text, c.text);

        const DecodedText requested = TextCodec::decode(c.data, c.encoding);
        EXPECT_EQ(requested.format.encoding, c.encoding);
        EXPECT_TRUE(requested.format.bom);

        // The mark written back is the one read.
        EXPECT_EQ(TextCodec::encode(automatic.text, automatic.format), c.data);
    }
}

TEST(TextCodec, RequestedEncodingMustAgreeWithTheMark)
{
    const QByteArray utf8WithMark = bytes("\xEF\xBB\xBFok");
    EXPECT_EQ(decodeError(utf8WithMark, TextEncoding::utf16LE).kind(), CodecError::unsupported);
    // FF FE 00 00 is a UTF-32 mark even when UTF-16 LE is asked for.
    EXPECT_EQ(decodeError(bytes("\xFF\xFE\x00\x00", 4), TextEncoding::utf16LE).kind(), CodecError::unsupported);
    // The message names the encoding asked for: it was given, not undetectable.
    EXPECT_EQ(decodeError(utf8WithMark, TextEncoding::utf16LE).errorDescription(),
              u"このファイルは"_qs + TextEncoding(TextEncoding::utf16LE).rawValue() + u"として読めません。別の文字コードを指定してください。"_qs);
    EXPECT_TRUE(decodeError(bytes("\xC3\x28"), TextEncoding::utf8).errorDescription().contains(u"UTF-8として読めません"_qs));

    const DecodedText decoded = TextCodec::decode(utf8WithMark, TextEncoding::utf8);
    EXPECT_TRUE(decoded.format.bom);
    EXPECT_EQ(decoded.text, u"ok"_qs);

    // Encodings without a mark read those bytes as the characters they are.
    const struct {
        TextEncoding encoding;
        QByteArray data;
        QString text;
    } unmarked[] = {
        {TextEncoding::latin1, bytes("\xFF\xFE" "ab"), u"ÿþab"_qs},
        {TextEncoding::latin1, bytes("\xFE\xFF" "ab"), u"þÿab"_qs},
        {TextEncoding::windows1252, bytes("\xEF\xBB\xBF" "ok"), u"ï»¿ok"_qs},
        {TextEncoding::macRoman, bytes("\xFF\xFE\x00\x00", 4).replace('\0', 'a'), u"ˇ˛aa"_qs},
    };
    for (const auto& c : unmarked) {
        SCOPED_TRACE(c.encoding.rawValue().toStdString());
        const DecodedText read = TextCodec::decode(c.data, c.encoding);
        EXPECT_EQ(read.text, c.text);
        EXPECT_FALSE(read.format.bom);
        EXPECT_EQ(TextCodec::encode(read.text, read.format), c.data);
    }

    // Without a mark a requested encoding is taken as it is, with no detection.
    const DecodedText latin = TextCodec::decode(bytes("caf\xE9"), TextEncoding::latin1);
    EXPECT_EQ(latin.text, u"café"_qs);
    EXPECT_FALSE(latin.format.bom);
}

TEST(TextCodec, EmptyDataIsUtf8WithoutMark)
{
    const DecodedText decoded = TextCodec::decode(QByteArray());
    EXPECT_TRUE(decoded.text.isEmpty());
    EXPECT_EQ(decoded.format, formatOf(TextEncoding::utf8));
    EXPECT_EQ(decoded.format.lineEnding, LineEnding::lf);
}

TEST(TextCodec, LineEndingsAreReportedNotConverted)
{
    const DecodedText decoded = TextCodec::decode(bytes("a\r\nb\nc\r"));
    EXPECT_EQ(decoded.text, u"a\r\nb\nc\r"_qs);
    EXPECT_EQ(decoded.format.lineEnding, LineEnding::crlf);
    EXPECT_TRUE(decoded.format.mixedLineEndings);

    const DecodedText single = TextCodec::decode(bytes("a\rb"));
    EXPECT_EQ(single.format.lineEnding, LineEnding::cr);
    EXPECT_FALSE(single.format.mixedLineEndings);

    TextFormat crlf = formatOf(TextEncoding::utf8);
    crlf.lineEnding = LineEnding::crlf;
    EXPECT_EQ(TextCodec::encode(u"a\nb"_qs, crlf), bytes("a\nb"));
}

TEST(TextCodec, DetectsIso2022JpByItsEscapesBeforeUtf8)
{
    // Seven-bit data, so valid UTF-8 as well; the escapes decide.
    const QByteArray jis = bytes("\x1B$BF|K\\\x1B(B text");
    const DecodedText decoded = TextCodec::decode(jis);
    EXPECT_EQ(decoded.format.encoding, TextEncoding::iso2022JP);
    EXPECT_EQ(decoded.text, u"日本 text"_qs);

    // An escape that is not ISO-2022-JP (terminal colours) leaves the data to UTF-8.
    const DecodedText colours = TextCodec::decode(bytes("\x1B[31mred\x1B[0m"));
    EXPECT_EQ(colours.format.encoding, TextEncoding::utf8);

    // Escapes that decode but do not encode back the same way (a redundant switch to ASCII).
    const DecodedText redundant = TextCodec::decode(bytes("\x1B(Babc"));
    EXPECT_EQ(redundant.format.encoding, TextEncoding::utf8);
}

TEST(TextCodec, DetectsJapaneseEncodingsThatReencodeExactly)
{
    const QString japanese = u"日本語のテキストです。〜"_qs;
    const QByteArray sjis = TextCodec::encode(japanese, formatOf(TextEncoding::shiftJIS));
    DecodedText decoded = TextCodec::decode(sjis);
    EXPECT_EQ(decoded.format.encoding, TextEncoding::shiftJIS);
    EXPECT_EQ(decoded.text, japanese);

    // A1 C1 B4 C1 BB FA: Shift JIS would end in the middle of a character.
    decoded = TextCodec::decode(bytes("\xA1\xC1\xB4\xC1\xBB\xFA"));
    EXPECT_EQ(decoded.format.encoding, TextEncoding::eucJP);
    EXPECT_EQ(decoded.text, u"〜漢字"_qs);

    // Not UTF-8 and no Japanese encoding holds it.
    EXPECT_EQ(decodeError(bytes("\x80\x80\xFF")).kind(), CodecError::unsupported);
}

TEST(TextCodec, BytesThatFitSeveralCandidatesAreAmbiguous)
{
    // EUC-JP ア (A5 A2) is also two halfwidth Shift JIS characters.
    const CodecError error = decodeError(bytes("\xA5\xA2"));
    ASSERT_EQ(error.kind(), CodecError::ambiguous);
    EXPECT_EQ(error.candidates(), (QList<TextEncoding>{TextEncoding::shiftJIS, TextEncoding::eucJP}));
    EXPECT_EQ(error.errorDescription(),
              u"文字コードの候補が複数あります（Shift JIS、EUC-JP）。「文字コードを指定して開く」を使ってください。"_qs);
    // Either can still be chosen.
    EXPECT_EQ(TextCodec::decode(bytes("\xA5\xA2"), TextEncoding::eucJP).text, u"ア"_qs);
    EXPECT_EQ(TextCodec::decode(bytes("\xA5\xA2"), TextEncoding::shiftJIS).text, u"･｢"_qs);
}

TEST(TextCodec, NulIsRefused)
{
    // UTF-16 without a mark holds NUL bytes: refused when detecting, read when asked for.
    const QByteArray utf16 = bytes("A\0B\0", 4);
    EXPECT_EQ(decodeError(utf16).kind(), CodecError::unsupported);
    EXPECT_EQ(TextCodec::decode(utf16, TextEncoding::utf16LE).text, u"AB"_qs);

    // A decoded U+0000 is refused whatever the encoding.
    EXPECT_EQ(decodeError(bytes("a\0b", 3), TextEncoding::latin1).kind(), CodecError::unsupported);
    EXPECT_EQ(decodeError(bytes("a\0b", 3), TextEncoding::utf8).kind(), CodecError::unsupported);
    EXPECT_EQ(decodeError(bytes("\xFE\xFF\x00\x00", 4)).kind(), CodecError::unsupported);
    EXPECT_EQ(decodeError(bytes("\x00\x00\x00\x00", 4), TextEncoding::utf32BE).kind(), CodecError::unsupported);
}

TEST(TextCodec, SixtyFourMebibytesIsTheLimit)
{
    QByteArray data(TextCodec::maximumFileSize, 'a');
    const DecodedText decoded = TextCodec::decode(data);
    EXPECT_EQ(decoded.text.size(), TextCodec::maximumFileSize);
    EXPECT_EQ(decoded.format.encoding, TextEncoding::utf8);

    data.append('a');
    EXPECT_EQ(decodeError(data).kind(), CodecError::tooLarge);
    EXPECT_EQ(decodeError(data, TextEncoding::latin1).kind(), CodecError::tooLarge);
    EXPECT_EQ(decodeError(data).errorDescription(), u"この版で開けるファイルは64 MiBまでです。"_qs);
}

TEST(TextCodec, MarkIsWrittenOnlyForUnicodeEncodings)
{
    EXPECT_EQ(TextCodec::encode(u"あ"_qs, formatOf(TextEncoding::shiftJIS, true)), bytes("\x82\xA0"));
    EXPECT_EQ(TextCodec::encode(u"a"_qs, formatOf(TextEncoding::latin1, true)), bytes("a"));
    EXPECT_EQ(TextCodec::encode(u"a"_qs, formatOf(TextEncoding::utf16BE, true)), bytes("\xFE\xFF\x00\x61", 4));
    EXPECT_EQ(TextCodec::encode(u"a"_qs, formatOf(TextEncoding::utf8, false)), bytes("a"));
}

TEST(TextCodec, MalformedUnicodeIsRefused)
{
    const QByteArray badUtf8[] = {
        bytes("\xC0\x80"),          // overlong NUL
        bytes("\xE0\x80\xAF"),      // overlong slash
        bytes("\xED\xA0\x80"),      // a surrogate
        bytes("\xF4\x90\x80\x80"),  // past U+10FFFF
        bytes("abc\xE3\x81"),       // truncated at the end
        bytes("\xE3\x81 x"),        // truncated in the middle
        bytes("\x80"),              // a lone continuation byte
    };
    for (const QByteArray& data : badUtf8) {
        EXPECT_EQ(decodeError(data, TextEncoding::utf8).kind(), CodecError::unsupported) << data.toHex().constData();
    }
    // Longest valid forms pass.
    EXPECT_EQ(TextCodec::decode(bytes("\xF4\x8F\xBF\xBF\xEF\xBF\xBF\xDF\xBF")).text,
              QString::fromUcs4(U"\U0010FFFF\uFFFF\u07FF", 3));

    EXPECT_EQ(decodeError(bytes("A\0B", 3), TextEncoding::utf16LE).kind(), CodecError::unsupported);
    EXPECT_EQ(decodeError(bytes("\x00\xD8\x41\x00", 4), TextEncoding::utf16LE).kind(), CodecError::unsupported);
    EXPECT_EQ(decodeError(bytes("\x00\x00\x11\x00", 4), TextEncoding::utf32LE).kind(), CodecError::unsupported);
    EXPECT_EQ(decodeError(bytes("\x00\x00\xD8\x00", 4), TextEncoding::utf32BE).kind(), CodecError::unsupported);
    EXPECT_EQ(decodeError(bytes("\x41\x00\x00", 3), TextEncoding::utf32LE).kind(), CodecError::unsupported);
    EXPECT_EQ(TextCodec::decode(bytes("\x00\xF6\x01\x00", 4), TextEncoding::utf32LE).text, u"😀"_qs);
}

TEST(TextCodec, WaveDashIsTheJapaneseTilde)
{
    const QString waveDash = u"〜"_qs;
    const struct {
        TextEncoding encoding;
        QByteArray data;
    } cases[] = {
        {TextEncoding::shiftJIS, bytes("\x81\x60")},
        {TextEncoding::eucJP, bytes("\xA1\xC1")},
        {TextEncoding::iso2022JP, bytes("\x1B$B!A\x1B(B")},
        {TextEncoding::shiftJIS2004, bytes("\x81\x60")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding.rawValue().toStdString());
        EXPECT_EQ(TextCodec::encode(waveDash, formatOf(c.encoding)), c.data);
        EXPECT_EQ(TextCodec::decode(c.data, c.encoding).text, waveDash);
    }
    // The same bytes cannot also stand for the fullwidth tilde.
    for (TextEncoding e : {TextEncoding::shiftJIS, TextEncoding::iso2022JP}) {
        EXPECT_EQ(encodeError(u"～"_qs, e).kind(), CodecError::unrepresentable) << e.rawValue().toStdString();
    }
    // EUC-JP has a tilde of its own, JIS X 0212's, which stays the fullwidth tilde both ways and
    // is not rewritten as the wave dash.
    const QByteArray both = bytes("\x8F\xA2\xB7\xA1\xC1\xA4\xA2\x8F\xA2\xB7");
    const DecodedText euc = TextCodec::decode(both, TextEncoding::eucJP);
    EXPECT_EQ(euc.text, u"～〜あ～"_qs);
    EXPECT_EQ(TextCodec::encode(euc.text, euc.format), both);
    EXPECT_TRUE(TextCodec::reencodesExactly(both, euc));
    // Detection still recognises text holding it.
    EXPECT_EQ(TextCodec::decode(bytes("\x1B$BF|K\\!A\x1B(B")).text, u"日本〜"_qs);
}

TEST(TextCodec, ShiftJisX0213HoldsWhatShiftJisLacks)
{
    struct Case {
        QString text;
        QByteArray data;
    };
    const Case cases[] = {
        {u"𠀋"_qs, bytes("\x87\xA0")},          // a plane-2 kanji
        {u"か゚"_qs, bytes("\x82\xF5")},         // two code points, one character
        {u"ㇰ"_qs, bytes("\x83\xEC")},          // small katakana for Ainu
        {u"\\~"_qs, bytes("\\~")},              // ASCII stays ASCII
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextCodec::encode(c.text, formatOf(TextEncoding::shiftJIS2004)), c.data) << c.text.toStdString();
        EXPECT_EQ(TextCodec::decode(c.data, TextEncoding::shiftJIS2004).text, c.text);
    }
    EXPECT_EQ(encodeError(u"𠀋"_qs, TextEncoding::shiftJIS).kind(), CodecError::unrepresentable);
    EXPECT_EQ(encodeError(u"か゚"_qs, TextEncoding::shiftJIS).kind(), CodecError::unrepresentable);
    // A pair with no character of its own is refused, not replaced.
    EXPECT_EQ(decodeError(bytes("\x81\x7F"), TextEncoding::shiftJIS2004).kind(), CodecError::unsupported);
}

TEST(TextCodec, WorksOnSeveralThreadsAtOnce)
{
    const QString text = u"日本語〜のテキスト、並べて変換する。"_qs.repeated(200);
    std::vector<std::thread> threads;
    std::atomic<int> failures = 0;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const TextEncoding encoding = t % 2 ? TextEncoding::eucJP : TextEncoding::shiftJIS2004;
            for (int i = 0; i < 50; ++i) {
                const QByteArray data = TextCodec::encode(text, formatOf(encoding));
                if (TextCodec::decode(data, encoding).text != text) ++failures;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures, 0);
}

// Saving in a Unicode form skips the read-back check, so every well-formed text must come back
// unit for unit, across the whole code space and with or without a mark.
TEST(TextCodec, UnicodeFormsRoundTripEveryWellFormedText)
{
    std::uint32_t seed = 99;
    auto next = [&seed] { seed = seed * 1103515245u + 12345u; return seed >> 1; };
    for (int round = 0; round < 200; ++round) {
        QString text;
        for (int i = 0; i < 64; ++i) {
            char32_t c = static_cast<char32_t>(next() % 0x110000);
            if (c >= 0xD800 && c <= 0xDFFF) c -= 0x800;
            if (c == 0) c = 'x';
            text += QString::fromUcs4(&c, 1);
        }
        for (TextEncoding e : {TextEncoding::utf8, TextEncoding::utf16LE, TextEncoding::utf16BE,
                               TextEncoding::utf32LE, TextEncoding::utf32BE}) {
            const bool bom = round % 2 == 0;
            const QByteArray bytes = TextCodec::encode(text, formatOf(e, bom));
            const DecodedText back = TextCodec::decode(bytes, e);
            ASSERT_EQ(back.text, text) << e.rawValue().toStdString();
            EXPECT_EQ(back.format.bom, bom);
        }
    }
}

// Surrogates are looked for eight units at a time: a lone half, a pair cut by a block's edge and
// a reversed pair must each be found wherever they stand.
TEST(TextCodec, UnicodeFormsFindLoneSurrogatesAtEveryAlignment)
{
    const TextFormat utf8 = formatOf(TextEncoding::utf8, false);
    for (int at = 0; at < 40; ++at) {
        QString pair = QString(40, u'a');
        pair.insert(at, u"\U0001F600"_qs);
        EXPECT_NO_THROW(TextCodec::encode(pair, utf8)) << at;
        for (const QString& bad : {QString(QChar(0xD83D)), QString(QChar(0xDE00)), u"\xDE00\xD83D"_qs}) {
            QString text = QString(40, u'a');
            text.insert(at, bad);
            EXPECT_THROW(TextCodec::encode(text, utf8), CodecError) << at;
        }
    }
}

// The size is counted without encoding for the Unicode forms: it must equal what encoding writes,
// marks and surrogate pairs included, and refuse what encoding refuses.
TEST(TextCodec, EncodedSizeEqualsTheEncodedBytes)
{
    const QString samples[] = {QString(), u"abc"_qs, u"é日本語\r\n"_qs, u"😀👍🏽 mixed ÿ\u0800\u07FF"_qs};
    for (TextEncoding e : TextEncoding::allCases()) {
        for (const bool bom : {false, true}) {
            for (const QString& text : samples) {
                const TextFormat format = formatOf(e, bom);
                std::optional<qsizetype> expected;
                try {
                    expected = TextCodec::encode(text, format).size();
                } catch (const CodecError&) {
                }
                if (expected) {
                    EXPECT_EQ(TextCodec::encodedSize(text, format), *expected) << e.rawValue().toStdString();
                } else {
                    EXPECT_THROW(TextCodec::encodedSize(text, format), CodecError) << e.rawValue().toStdString();
                }
            }
        }
    }
    EXPECT_THROW(TextCodec::encodedSize(QString(QChar(0xD800)), formatOf(TextEncoding::utf8)), CodecError);
}

// The decoded text is sized exactly (it lives as long as the document), whatever mix of one- to
// four-byte sequences the file holds and wherever the sequences cross the scanner's blocks.
TEST(TextCodec, Utf8DecodesIntoAnExactlySizedText)
{
    const QString pieces[] = {u"a"_qs, u"é"_qs, u"日"_qs, u"😀"_qs, u"\n"_qs, u"ÿ\u0800"_qs};
    std::uint32_t seed = 5;
    for (const int length : {0, 1, 15, 16, 17, 1919, 1920, 1921, 5000}) {
        QString text;
        while (text.size() < length) {
            seed = seed * 1103515245u + 12345u;
            text += pieces[(seed >> 16) % 6];
        }
        const DecodedText decoded = TextCodec::decode(text.toUtf8(), TextEncoding::utf8);
        ASSERT_EQ(decoded.text, text) << length;
        EXPECT_LE(decoded.text.capacity() - decoded.text.size(), 8) << length;  // allocation rounding only
    }
}

// Large files are decoded in parts at once: every sequence, wherever the parts are cut, reads as
// in one pass, and a malformed one anywhere still fails the whole text.
TEST(TextCodec, LargeUtf8ReadsInPartsExactlyAsInOnePass)
{
    const QString pieces[] = {u"a"_qs, u"é"_qs, u"日本"_qs, u"😀"_qs, u"\n"_qs, u"ÿ\u0800"_qs, u"text "_qs};
    std::uint32_t seed = 9;
    QString text;
    while (text.size() < 3 * 1024 * 1024) {  // about 5 MiB of UTF-8: read in parts
        seed = seed * 1103515245u + 12345u;
        text += pieces[(seed >> 16) % 7];
    }
    const QByteArray data = text.toUtf8();
    const DecodedText decoded = TextCodec::decode(data);
    ASSERT_EQ(decoded.format.encoding, TextEncoding::utf8);
    ASSERT_TRUE(decoded.text == text);
    EXPECT_EQ(decoded.format.lineEnding, LineEnding::lf);
    EXPECT_FALSE(decoded.format.mixedLineEndings);

    // The parts begin at the first byte at or after k/n of the data that is no continuation byte:
    // break the sequences right around each cut.
    QByteArray broken = data;
    const size_t parts = korimado::parallelPartCount(size_t(data.size()), size_t(4) << 20, 8);
    for (size_t k = 1; k < parts; ++k) {
        qsizetype cut = qsizetype(double(data.size()) * double(k) / double(parts));
        while ((uchar(data[cut]) & 0xC0) == 0x80) ++cut;
        for (qsizetype at = cut - 1; at <= cut + 1; ++at) {
            const uchar byte = uchar(data[at]);
            // A lead byte loses its sequence; a continuation or ASCII byte becomes a stray one.
            broken[at] = char(byte >= 0xC0 ? 'x' : byte >= 0x80 ? 0xC0 : 0x80);
            EXPECT_EQ(decodeError(broken, TextEncoding::utf8).kind(), CodecError::unsupported) << parts << " " << at;
            broken[at] = char(byte);
        }
    }
    // At the head (tried before the parts) and at the very end.
    for (const qsizetype at : {qsizetype(3), data.size() - 1}) {
        broken[at] = char(0xFF);
        EXPECT_EQ(decodeError(broken, TextEncoding::utf8).kind(), CodecError::unsupported) << at;
        broken[at] = data[at];
    }
}

TEST(TextCodec, LineEndingKindsInLongRunsAndAtEveryAlignment)
{
    const std::pair<const char16_t*, LineEnding::Value> breaks[] = {{u"\n", LineEnding::lf}, {u"\r\n", LineEnding::crlf},
                                                                   {u"\r", LineEnding::cr}, {u"\u0085", LineEnding::nel},
                                                                   {u"\u2028", LineEnding::ls}, {u"\u2029", LineEnding::ps}};
    for (const auto& [mark, kind] : breaks) {
        for (int at = 0; at < 40; ++at) {
            QString text(200, u'x');
            text.insert(at, QString::fromUtf16(mark));
            const QList<LineEnding> kinds = LineEnding::kinds(text);
            ASSERT_EQ(kinds.size(), 1) << at;
            EXPECT_EQ(kinds.first(), kind) << at;
        }
    }
    // A large text is scanned in parts: a CR LF, a lone CR and a lone LF right at each cut.
    const qsizetype size = 9 * 1024 * 1024;
    const size_t parts = korimado::parallelPartCount(size_t(size), size_t(8) << 20, 8);
    const std::pair<const char16_t*, QList<LineEnding>> atCuts[] = {
        {u"\r\n", {LineEnding::crlf}}, {u"\rx", {LineEnding::cr}}, {u"x\n", {LineEnding::lf}}};
    for (const auto& [mark, expected] : atCuts) {
        QString text(size, u'x');
        for (size_t k = 1; k < parts; ++k) text.replace(size * qsizetype(k) / qsizetype(parts) - 1, 2, QString::fromUtf16(mark));
        EXPECT_EQ(LineEnding::kinds(text), expected) << parts;
    }
    QString endsInCR(size, u'x');
    endsInCR.back() = u'\r';
    EXPECT_EQ(LineEnding::kinds(endsInCR), QList<LineEnding>{LineEnding::cr});

    // Tab and other low controls, and look-alikes of the separators, are no breaks.
    EXPECT_TRUE(LineEnding::kinds(QString(64, u'\t') + u"\u2027\u202A\u0084\u0086\u000E"_qs).isEmpty());
    // A CR before a run of plain text, and at the very end.
    EXPECT_EQ(LineEnding::kinds(u"a\r"_qs + QString(64, u'y') + u"\r\n"_qs + QString(64, u'y') + u"\r"_qs),
              (QList<LineEnding>{LineEnding::cr, LineEnding::crlf}));
}

TEST(TextCodecTest, LineEndingsReadLaterAreThoseDecodeReads)
{
    for (const QByteArray& data : {QByteArray("a\r\nb\r\n"), QByteArray("a\rb\nc"), QByteArray("\tno break\t"),
                                   QByteArray("\xef\xbb\xbf" "x\r\n"), QByteArray("\xe2\x80\xa8 y \n")}) {
        DecodedText later = TextCodec::decodeLeavingLineEndings(data);
        const DecodedText now = TextCodec::decode(data);
        EXPECT_EQ(later.text, now.text);
        EXPECT_EQ(later.format.lineEnding, LineEnding(LineEnding::lf));
        EXPECT_FALSE(later.format.mixedLineEndings);
        TextCodec::readLineEndings(later);
        EXPECT_EQ(later.format, now.format) << data.toStdString();
    }
}
