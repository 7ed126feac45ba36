// The UTF-8 encoder and decoder the files and the events share: the same bytes as Qt's for
// well-formed text, U+FFFD for a lone surrogate, and no difference where a large text is cut into
// parts, whatever stands at the cuts.
#include "platform/foundation/Utf8Decoder.h"
#include "platform/foundation/Utf8Encoder.h"

#include <gtest/gtest.h>

#include <random>

using namespace korimado;

namespace {

QString randomText(std::mt19937& random, qsizetype size)
{
    static const char16_t pieces[][3] = {{u'a', 0, 0}, {u'\n', 0, 0}, {0x00E9, 0, 0}, {0x07FF, 0, 0}, {0x0800, 0, 0},
                                         {0x65E5, 0, 0}, {0xFFFF, 0, 0}, {0xFEFF, 0, 0}, {0xD842, 0xDFB7, 0},
                                         {0xD83D, 0xDE00, 0}};
    std::uniform_int_distribution<int> pick(0, 9);
    QString text;
    text.reserve(size + 2);
    while (text.size() < size) {
        const int k = pick(random);
        // Long ASCII runs too, for the eight-at-a-time path.
        if (k == 0)
            text += QStringLiteral("plain ascii run ");
        text += QString(reinterpret_cast<const QChar*>(pieces[k]), pieces[k][1] ? 2 : 1);
    }
    return text;
}

}  // namespace

TEST(Utf8Coding, WellFormedTextEncodesAsQtDoesAndDecodesBack)
{
    std::mt19937 random(8);
    for (const qsizetype size : {qsizetype(0), qsizetype(1), qsizetype(7), qsizetype(100), qsizetype(5000),
                                 qsizetype(3) << 20}) {
        const QString text = randomText(random, size);
        const QByteArray bytes = Utf8Encoder::encode(text);
        ASSERT_EQ(bytes, text.toUtf8()) << size;
        EXPECT_EQ(Utf8Encoder::length(text), bytes.size());
        QByteArray into(bytes.size(), '\0');
        Utf8Encoder::encodeInto(text, into.data());
        EXPECT_EQ(into, bytes);
        EXPECT_EQ(Utf8Decoder::decode(bytes), text) << size;
    }
}

TEST(Utf8Coding, ALoneSurrogateIsWrittenAsTheReplacementCharacter)
{
    const QString lone = QString(QChar(0xD800)) + QStringLiteral("a") + QChar(0xDC00) + QChar(0xD83D);
    EXPECT_EQ(Utf8Encoder::encode(lone), QByteArray("\xEF\xBF\xBD" "a" "\xEF\xBF\xBD\xEF\xBF\xBD"));
    EXPECT_EQ(Utf8Encoder::length(lone), 10);
    // A large text cut into parts: pairs at every cut stay whole, lone halves stay alone.
    QString large;
    while (large.size() < (qsizetype(6) << 20))
        large += QStringLiteral("日本語𠮷") + QChar(0xDC00) + QStringLiteral("x");
    QString replaced = large;
    for (qsizetype i = 0; i < replaced.size(); ++i)
        if (replaced[i].unicode() == 0xDC00 && !(i > 0 && replaced[i - 1].isHighSurrogate()))
            replaced[i] = QChar::ReplacementCharacter;
    const QByteArray bytes = Utf8Encoder::encode(large);
    EXPECT_EQ(bytes, replaced.toUtf8());
    EXPECT_EQ(Utf8Encoder::length(large), bytes.size());
}

TEST(Utf8Coding, TheDecoderRefusesWhatIsNotUtf8AndKeepsALeadingByteOrderMark)
{
    for (const char* bad : {"\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE3\x81", "abc\xFF"})
        EXPECT_FALSE(Utf8Decoder::decode(QByteArray(bad)).has_value()) << bad;
    EXPECT_EQ(Utf8Decoder::decode(QByteArray("\xEF\xBB\xBF" "x")), QString(QChar(0xFEFF)) + QLatin1Char('x'));
    EXPECT_EQ(Utf8Decoder::decode(QByteArray()), QString());
}
