#include "document/DocumentInspection.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace korimado;

namespace {

QString s(const char16_t* text)
{
    return QString::fromUtf16(text);
}

DocumentInspection inspect(const QString& text, qsizetype guide = 80, TextFormat format = {})
{
    return DocumentInspection::inspect(text, {0, 0}, format, std::nullopt, guide);
}

QStringList titles(const DocumentInspection& report)
{
    QStringList out;
    for (const DocumentWarning& w : report.warnings) out << w.title;
    return out;
}

}  // namespace

TEST(DocumentInspectionTest, EmptyUntitledDocument)
{
    const DocumentInspection report = inspect(QString());
    EXPECT_EQ(report.displayName, "名称未設定");
    EXPECT_FALSE(report.path.has_value());
    EXPECT_EQ(report.characters, 0);
    EXPECT_EQ(report.lines, 1);
    EXPECT_EQ(report.longestLine, 0);
    EXPECT_EQ(report.words, 0);
    EXPECT_TRUE(report.warnings.isEmpty());
    EXPECT_EQ(report.encodedBytes, 0);
    EXPECT_FALSE(report.fileBytes.has_value());
    EXPECT_EQ(report.warningsText(), "警告はありません。");
    EXPECT_EQ(report.informationText(),
              "名前：名称未設定\n場所：未保存\n文字数：0\nUTF-16単位：0\n単語数：0\n行数：1\n"
              "最長行：0文字\n選択範囲：0文字\n文字コード：UTF-8\n改行コード：なし\n現在の設定で保存：0 バイト");
}

TEST(DocumentInspectionTest, CountsLinesCharactersAndWords)
{
    // Family emoji: one character of 7 scalars and 11 UTF-16 units.
    const QString family = s(u"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466");
    ASSERT_EQ(family.size(), 11);
    const QString text = "hello world\r\n" + family + "e" + s(u"\u0301") + "\n\n";
    const DocumentInspection report = inspect(text);
    EXPECT_EQ(report.utf16Units, text.size());
    // 11 + CR LF + emoji + e-acute + LF + LF
    EXPECT_EQ(report.characters, 11 + 1 + 1 + 1 + 1 + 1);
    EXPECT_EQ(report.lines, 4);  // the empty last line counts
    EXPECT_EQ(report.longestLine, 11);
    EXPECT_EQ(report.words, 3);  // hello, world and the accented e; the emoji is no word
    EXPECT_EQ(report.lineEndings, (QStringList{"CRLF", "LF"}));
    EXPECT_EQ(DocumentInspection::characterCount(family), 1);
    EXPECT_EQ(DocumentInspection::characterCount(QStringLiteral("a\r\nb\n\r")), 5);

    // Emoji lines: the longest line is counted in characters, not units.
    const DocumentInspection emoji = inspect(family + family + "\nabc");
    EXPECT_EQ(emoji.longestLine, 3);
    EXPECT_EQ(emoji.characters, 6);

    EXPECT_EQ(inspect(s(u"日本語の文章です。 two words")).words >= 3, true);
    EXPECT_EQ(inspect("  ,.;  ").words, 0);
}

TEST(DocumentInspectionTest, SelectionIsClampedNeverRejected)
{
    const QString text = s(u"ab\U0001F600cd");
    auto selected = [&](TextRange range) {
        return DocumentInspection::inspect(text, range, {}, std::nullopt, 80).selectedCharacters;
    };
    EXPECT_EQ(selected({TextRange::NotFound, 3}), 3);
    EXPECT_EQ(selected({-4, 2}), 2);
    EXPECT_EQ(selected({2, 2}), 1);  // the emoji's two units
    EXPECT_EQ(selected({1, 100}), 4);
    EXPECT_EQ(selected({100, 5}), 0);
    EXPECT_EQ(selected({1, -3}), 0);
}

TEST(DocumentInspectionTest, WarningsInFixedOrderWithTheirTexts)
{
    TextFormat ascii;
    ascii.encoding = TextEncoding::ascii;
    const QString text = s(u"caf\u00E9 \nb\r\nc\u200B") + QString(81, QChar('x')) + s(u"\uFFFD");
    const DocumentInspection report = inspect(text, 80, ascii);
    EXPECT_EQ(titles(report), (QStringList{"改行コードが混在しています", "現在の文字コードでは保存できません",
                                          "行末に空白があります", "制御文字があります",
                                          "ページガイドを超える行があります", "置換文字があります"}));
    EXPECT_FALSE(report.encodedBytes.has_value());
    EXPECT_FALSE(report.informationText().contains("現在の設定で保存"));
    EXPECT_EQ(report.warnings[0].detail, "LF、CRLF");
    EXPECT_EQ(report.warnings[0].severity, DocumentWarningSeverity::caution);
    EXPECT_EQ(report.warnings[1].severity, DocumentWarningSeverity::error);
    EXPECT_EQ(report.warnings[2].detail, "1行に行末の空白またはタブがあります。");
    EXPECT_EQ(report.warnings[3].detail, "タブと改行を除く制御文字が1個あります。");
    EXPECT_EQ(report.warnings[4].detail, "80文字を超える行が1行あります。");
    EXPECT_TRUE(report.warningsText().startsWith("1. ［注意］改行コードが混在しています\n   LF、CRLF\n\n2. ［エラー］"));
    EXPECT_TRUE(report.warningsText().endsWith("6. ［注意］置換文字があります\n   文字化けの可能性がある「�」が含まれています。"));

    // U+FFFD is reported even where the encoding can store it.
    EXPECT_EQ(titles(inspect(s(u"a\uFFFD"))), QStringList{"置換文字があります"});
}

TEST(DocumentInspectionTest, TrailingBlanksControlsAndPageGuideBoundaries)
{
    EXPECT_EQ(titles(inspect("a\t\nb")), QStringList{"行末に空白があります"});
    EXPECT_TRUE(inspect(s(u"a\u3000\nb")).warnings.isEmpty());
    EXPECT_TRUE(inspect(s(u"a \u0301")).warnings.isEmpty());  // the space carries a mark
    // A tab always stands alone; a space joins a prepended letter before it, an astral one too.
    EXPECT_EQ(titles(inspect(s(u"a\u0D4E\t\nb"))), QStringList{"行末に空白があります"});
    EXPECT_TRUE(inspect(s(u"a\u0D4E \nb")).warnings.isEmpty());
    EXPECT_TRUE(inspect(s(u"a\U000111C2 \nb")).warnings.isEmpty());

    // NEL separates lines and is a control character; LS and PS only separate lines.
    const DocumentInspection nel = inspect(s(u"a\u0085b\u0085c"));
    EXPECT_EQ(nel.lines, 3);
    EXPECT_EQ(titles(nel), QStringList{"制御文字があります"});
    EXPECT_EQ(nel.warnings[0].detail, "タブと改行を除く制御文字が2個あります。");
    const DocumentInspection separators = inspect(s(u"a\u2028b\u2029c"));
    EXPECT_EQ(separators.lines, 3);
    EXPECT_EQ(titles(separators), QStringList{"改行コードが混在しています"});
    // Astral format characters are decoded as one scalar.
    EXPECT_EQ(inspect(s(u"\U000E0001\t\r\u007F")).warnings.last().detail, "タブと改行を除く制御文字が2個あります。");

    EXPECT_TRUE(inspect(QString(80, QChar('x'))).warnings.isEmpty());
    EXPECT_EQ(titles(inspect(QString(81, QChar('x')))), QStringList{"ページガイドを超える行があります"});
    // Eighty emoji are eighty characters.
    QString emoji;
    for (int i = 0; i < 80; ++i) emoji += s(u"\U0001F600");
    EXPECT_TRUE(inspect(emoji).warnings.isEmpty());
}

TEST(DocumentInspectionTest, FileFactsAndEncodingName)
{
    test::TempDir dir;
    const QString path = dir.write("メモ.txt", QByteArray("abc\n"));
    TextFormat format;
    format.bom = true;
    const DocumentInspection report = DocumentInspection::inspect("abc\n", {0, 0}, format, path, 80);
    EXPECT_EQ(report.displayName, "メモ.txt");
    EXPECT_EQ(report.path, path);
    EXPECT_EQ(report.encoding, "UTF-8（BOM付き）");
    // A mark flag on an encoding without one writes no mark, so the name says none.
    TextFormat shiftJis;
    shiftJis.encoding = TextEncoding::shiftJIS;
    shiftJis.bom = true;
    EXPECT_EQ(DocumentInspection::inspect("abc", {0, 0}, shiftJis, {}, 80).encoding, "Shift JIS");
    EXPECT_EQ(report.fileBytes, 4);
    EXPECT_EQ(report.encodedBytes, 7);
    ASSERT_TRUE(report.modifiedAt.has_value());
    const QString info = report.informationText();
    EXPECT_TRUE(info.contains("\n場所：" + path + "\n"));
    EXPECT_TRUE(info.contains("現在の設定で保存：7 バイト\nディスク上のサイズ：4 バイト\n更新日時："));
    const QString date = info.section("更新日時：", 1);
    EXPECT_TRUE(QRegularExpression("^\\d{4}/\\d{2}/\\d{2} \\d{1,2}:\\d{2}:\\d{2}$").match(date).hasMatch())
        << date.toStdString();

    // A file that went away leaves both facts out.
    QFile::remove(path);
    const DocumentInspection gone = DocumentInspection::inspect("abc", {0, 0}, {}, path, 80);
    EXPECT_EQ(gone.displayName, "メモ.txt");
    EXPECT_FALSE(gone.fileBytes.has_value());
    EXPECT_FALSE(gone.modifiedAt.has_value());
    EXPECT_FALSE(gone.informationText().contains("ディスク上のサイズ"));
}

TEST(DocumentInspectionTest, ByteCountTextAndWarningCoding)
{
    EXPECT_EQ(DocumentInspection::byteCountText(0), "0 バイト");
    EXPECT_EQ(DocumentInspection::byteCountText(999), "999 バイト");
    EXPECT_EQ(DocumentInspection::byteCountText(1000), "1.0 KB");
    EXPECT_EQ(DocumentInspection::byteCountText(1234), "1.2 KB");
    EXPECT_EQ(DocumentInspection::byteCountText(123456), "123 KB");
    EXPECT_EQ(DocumentInspection::byteCountText(999960), "1.0 MB");
    // Numbers shown without a decimal round to 1000 from 999.5 on: the next unit takes them.
    EXPECT_EQ(DocumentInspection::byteCountText(999449), "999 KB");
    EXPECT_EQ(DocumentInspection::byteCountText(999500), "1.0 MB");
    EXPECT_EQ(DocumentInspection::byteCountText(999949), "1.0 MB");
    EXPECT_EQ(DocumentInspection::byteCountText(99949), "99.9 KB");
    EXPECT_EQ(DocumentInspection::byteCountText(99950), "100 KB");
    EXPECT_EQ(DocumentInspection::byteCountText(999500000), "1.0 GB");
    EXPECT_EQ(DocumentInspection::byteCountText(67108864), "67.1 MB");

    const DocumentWarning warning{DocumentWarningSeverity::error, "題", "詳細"};
    const QJsonObject json = warning.toJson();
    EXPECT_EQ(json.value("severity").toInt(), 2);
    EXPECT_EQ(DocumentWarning::fromJson(json), warning);
    QJsonObject bad = json;
    bad.insert("severity", 3);
    EXPECT_FALSE(DocumentWarning::fromJson(bad).has_value());
    bad.insert("severity", "2");
    EXPECT_FALSE(DocumentWarning::fromJson(bad).has_value());
    bad = json;
    bad.remove("detail");
    EXPECT_FALSE(DocumentWarning::fromJson(bad).has_value());
}
