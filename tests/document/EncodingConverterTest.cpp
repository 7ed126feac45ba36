#include "document/EncodingConverter.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <memory>

using korimado::EncodingConverter;
using korimado::TextEncoding;

namespace {

// ICU's own converter with nothing layered on it, strict like ours.
class RawConverter {
public:
    explicit RawConverter(const char* name)
    {
        UErrorCode status = U_ZERO_ERROR;
        converter_.reset(ucnv_open(name, &status));
        ucnv_setToUCallBack(converter_.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
        ucnv_setFromUCallBack(converter_.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    }

    // Whether the bytes decode and encode back into themselves.
    bool isExact(const QByteArray& data)
    {
        UChar text[16];
        char back[32];
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = ucnv_toUChars(converter_.get(), text, 16, data.constData(),
                                             static_cast<int32_t>(data.size()), &status);
        if (U_FAILURE(status)) return false;
        const int32_t size = ucnv_fromUChars(converter_.get(), back, 32, text, length, &status);
        return U_SUCCESS(status) && QByteArray(back, size) == data;
    }

private:
    struct Closer {
        void operator()(UConverter* c) const { ucnv_close(c); }
    };
    std::unique_ptr<UConverter, Closer> converter_;
};

bool isExact(TextEncoding encoding, const QByteArray& data)
{
    const std::optional<QString> text = EncodingConverter::toText(encoding, data);
    if (!text) return false;
    const std::optional<QByteArray> back = EncodingConverter::fromText(encoding, *text);
    return back && *back == data;
}

}  // namespace

// Reading the wave dash as U+301C must neither lose an exact round trip ICU's table has nor
// create one it lacks, or detection would change.
TEST(EncodingConverter, WaveDashLayerKeepsEveryExactByteSequence)
{
    struct Case {
        TextEncoding encoding;
        const char* icuName;
    };
    for (const Case c : {Case{TextEncoding::shiftJIS, "Shift_JIS"}, Case{TextEncoding::eucJP, "EUC-JP"}}) {
        RawConverter raw(c.icuName);
        int differences = 0;
        int exact = 0;
        auto check = [&](const QByteArray& data) {
            const bool ours = isExact(c.encoding, data);
            exact += ours ? 1 : 0;
            // JIS X 0212's tilde is no wave dash: ICU writes it back as A1 C1, we keep its bytes.
            const bool expected = c.encoding == TextEncoding::eucJP && data == "\x8F\xA2\xB7" ? true : raw.isExact(data);
            if (ours != expected && ++differences < 5) ADD_FAILURE() << data.toHex().constData();
        };
        for (int a = 0; a < 256; ++a) {
            check(QByteArray(1, char(a)));
            for (int b = 0; b < 256; ++b) {
                check(QByteArray{} + char(a) + char(b));
                if (c.encoding == TextEncoding::eucJP && a >= 0xA1 && b >= 0xA1) check(QByteArray("\x8F") + char(a) + char(b));
            }
        }
        EXPECT_EQ(differences, 0) << c.icuName;
        EXPECT_GT(exact, 7000) << c.icuName;
    }

    RawConverter raw("ISO-2022-JP");
    int differences = 0;
    for (int a = 0x21; a < 0x7F; ++a) {
        for (int b = 0x21; b < 0x7F; ++b) {
            const QByteArray data = QByteArray("\x1B$B") + char(a) + char(b) + "\x1B(B";
            if (isExact(TextEncoding::iso2022JP, data) != raw.isExact(data)) ++differences;
        }
    }
    EXPECT_EQ(differences, 0);
}

// The compiled table must be the one its source describes.
TEST(EncodingConverter, ShiftJisX0213TableMatchesItsSource)
{
    const QString source = QDir(EncodingConverter::tablesDirectory()).filePath("korimado-sjis-x0213.ucm");
    const QString table = QString::fromLatin1(korimado::test::readFile(source));
    ASSERT_FALSE(table.isEmpty()) << source.toStdString();

    static const QRegularExpression line(R"(^((?:<U[0-9A-F]+>)+) ((?:\\x[0-9A-F]{2})+) \|([03])$)",
                                         QRegularExpression::MultilineOption);
    int mappings = 0;
    int failures = 0;
    for (auto it = line.globalMatch(table); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QList<char32_t> codePoints;
        for (const QString& hex : m.captured(1).split('>', Qt::SkipEmptyParts)) codePoints.append(hex.mid(2).toUInt(nullptr, 16));
        const QString text = QString::fromUcs4(codePoints.constData(), codePoints.size());
        QByteArray data;
        for (const QString& hex : m.captured(2).split("\\x", Qt::SkipEmptyParts)) data.append(char(hex.toUInt(nullptr, 16)));
        ++mappings;
        const bool decodes = EncodingConverter::toText(TextEncoding::shiftJIS2004, data) == text;
        const bool encodes = m.captured(3) == "3" || EncodingConverter::fromText(TextEncoding::shiftJIS2004, text) == data;
        if ((!decodes || !encodes) && ++failures < 5) ADD_FAILURE() << m.captured(0).toStdString();
    }
    EXPECT_GT(mappings, 11000);
    EXPECT_EQ(failures, 0);
}

// Every switch between ASCII and JIS X 0208 costs an escape: far more bytes than characters.
TEST(EncodingConverter, EscapeHeavyTextOutgrowsTheFirstBuffer)
{
    const QString text = u"a日"_qs.repeated(1000);
    const std::optional<QByteArray> data = EncodingConverter::fromText(TextEncoding::iso2022JP, text);
    ASSERT_TRUE(data.has_value());
    EXPECT_GT(data->size(), text.size() * 4);
    EXPECT_EQ(EncodingConverter::toText(TextEncoding::iso2022JP, *data), text);
}
