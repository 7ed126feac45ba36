#include "document/EncodingConverter.h"
#include "document/TextCodec.h"
#include "search/folder/FolderBytePrefilter.h"
#include "search/folder/FolderSearchWalk.h"
#include "search/FolderTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace korimado;
using namespace korimado::test;

namespace {

QByteArray encoded(TextEncoding encoding, const QString& text)
{
    return *EncodingConverter::fromText(encoding, text);
}

// Files of every kind the byte road must tell apart from plain UTF-8: other encodings holding a
// literal in their own bytes, undecodable bytes with and without one, a NUL, an escape sequence,
// marks and other line endings.
void writeMixedTree(const TempDir& dir)
{
    dir.write("utf8/hit.txt", "a line with Korimado in it\nand one more\n");
    dir.write("utf8/none.txt", "nothing to see\n");
    dir.write("utf8/upper.txt", "KORIMADO shouting\r\nkorimado whispering\r\n");
    dir.write("utf8/bom.txt", "\xef\xbb\xbf" "Korimado behind a mark\n");
    dir.write("utf8/kelvin.txt", "\xe2\x84\xaaorimado with a Kelvin sign\n");
    dir.write("utf8/decomposed.txt", "Ko\xcc\x81rimado and Kōrimado\n");
    dir.write("utf8/wide.txt", "\xef\xbc\xab\xef\xbd\x8f\xef\xbd\x92\xef\xbd\x89\xef\xbd\x8d\xef\xbd\x81\xef\xbd\x84\xef\xbd\x8f\n");
    dir.write("utf8/lines.txt", "Kori\nmado and Kori\r\nmado\n");
    dir.write("sjis/hit.txt", encoded(TextEncoding::shiftJIS, QStringLiteral("氷窓 Korimado です\n")));
    dir.write("sjis/none.txt", encoded(TextEncoding::shiftJIS, QStringLiteral("氷窓です\n")));
    dir.write("latin1/hit.txt", "caf\xe9 Korimado\n");   // not UTF-8, holds the literal: still skipped
    dir.write("latin1/none.txt", "caf\xe9 au lait\n");
    dir.write("binary/hit.bin", QByteArray("Korimado\0\x01\x02", 11));
    dir.write("binary/none.bin", QByteArray("\x7f" "ELF\0\0\0", 7));
    dir.write("jis/none.txt", encoded(TextEncoding::iso2022JP, QStringLiteral("氷窓です\n")));
    dir.write("jis/hit.txt", encoded(TextEncoding::iso2022JP, QStringLiteral("氷窓 Korimado\n")));
    dir.write("utf16/hit.txt", "\xff\xfe" + encoded(TextEncoding::utf16LE, QStringLiteral("Korimado\n")));
    dir.write("empty.txt", "");
}

FolderSearchResult searched(const TempDir& dir, const SearchRequest& request, bool bytesFirst)
{
    const FolderSearchOptions options = folderOptions();
    FolderSearchWalk walk(request, options, nullptr, FolderFileSystem::standard(), bytesFirst);
    return walk.run(dir.path());
}

void expectSameResult(const FolderSearchResult& a, const FolderSearchResult& b, const QString& what)
{
    EXPECT_EQ(a.visitedFileCount, b.visitedFileCount) << what.toStdString();
    EXPECT_EQ(a.skippedFiles, b.skippedFiles) << what.toStdString();
    ASSERT_EQ(a.files.size(), b.files.size()) << what.toStdString();
    for (qsizetype i = 0; i < a.files.size(); ++i) {
        EXPECT_EQ(a.files[i].relativePath, b.files[i].relativePath) << what.toStdString();
        EXPECT_EQ(a.files[i].hits, b.files[i].hits) << what.toStdString();
        EXPECT_EQ(a.files[i].format, b.files[i].format) << what.toStdString();
        EXPECT_EQ(a.files[i].stamp, b.files[i].stamp) << what.toStdString();
    }
}

}  // namespace

TEST(FolderBytePrefilter, TheSameTreeSearchedBothWaysGivesTheSameResult)
{
    TempDir dir;
    writeMixedTree(dir);
    std::vector<std::pair<QString, SearchRequest>> requests;
    for (int bits = 0; bits < 16; ++bits) {
        SearchRequest r = plainRequest(QStringLiteral("Korimado"));
        r.options.caseSensitive = !(bits & 1);
        r.options.ignoresDiacriticMarks = bits & 2;
        r.options.ignoresWidth = bits & 4;
        r.options.isLiteralSearch = bits & 8;
        requests.emplace_back(QStringLiteral("plain %1").arg(bits), r);
    }
    requests.emplace_back(QStringLiteral("plain across lines"), plainRequest(QStringLiteral("Kori\nmado")));
    for (const char* pattern : {"Kori(mado)?", "[Kk]orimado", "ori.ado", "Kori\\r?\\nmado", "氷窓", "\\bmado\\b"}) {
        for (bool caseSensitive : {true, false}) {
            SearchRequest r = plainRequest(QString::fromUtf8(pattern));
            r.options.mode = SearchMode::regularExpression;
            r.options.caseSensitive = caseSensitive;
            requests.emplace_back(QString::fromUtf8(pattern) + (caseSensitive ? "" : " folded"), r);
        }
    }
    int proven = 0;
    for (const auto& [what, request] : requests) {
        proven += FolderBytePrefilter::forRequest(request) ? 1 : 0;
        expectSameResult(searched(dir, request, true), searched(dir, request, false), what);
    }
    EXPECT_GE(proven, 10);  // the byte road really ran for most of them

    // Files skipped for their encoding that hold the literal are still reported, with the reason.
    const FolderSearchResult result = searched(dir, plainRequest(QStringLiteral("Korimado")), true);
    QStringList skipped;
    for (const FolderSkippedFile& s : result.skippedFiles) skipped.push_back(s.path + u' ' + s.reason);
    EXPECT_TRUE(skipped.contains(QStringLiteral("latin1/hit.txt ") + FolderSkipReason::notRoundTrip)) << skipped.join(u'\n').toStdString();
    EXPECT_TRUE(skipped.contains(QStringLiteral("binary/hit.bin ") + FolderSkipReason::notRoundTrip));
    EXPECT_TRUE(skipped.contains(QStringLiteral("binary/none.bin ") + FolderSkipReason::notRoundTrip));
}

TEST(FolderBytePrefilter, WhatItRefusesAtSightTheCodecRefusesToo)
{
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        QByteArray data(int(random() % 12), '\0');
        for (char& c : data) c = char(random() % 4 == 0 ? 0 : random() % 256);
        if (round % 7 == 0) data.prepend(QByteArray("\xff\xfe", 2));
        if (round % 11 == 0) data.prepend(QByteArray("\xef\xbb\xbf", 3));
        if (!FolderBytePrefilter::isRefusedByCodec(data)) continue;
        EXPECT_THROW(TextCodec::decode(data), CodecError) << data.toHex().toStdString();
    }
    EXPECT_FALSE(FolderBytePrefilter::isRefusedByCodec(QByteArray("\xff\xfe" "a\0", 4)));  // UTF-16 with its mark
    EXPECT_FALSE(FolderBytePrefilter::isRefusedByCodec("plain text"));
}

TEST(FolderBytePrefilter, PassesOverOnlyPlainUtf8WithoutTheLiteral)
{
    const std::optional<FolderBytePrefilter> folded = [] {
        SearchRequest r = plainRequest(QStringLiteral("Korimado"));
        r.options.caseSensitive = false;
        return FolderBytePrefilter::forRequest(r);
    }();
    ASSERT_TRUE(folded);
    EXPECT_TRUE(folded->provesNoHit("nothing here\n"));
    EXPECT_FALSE(folded->provesNoHit("a KORIMADO here\n"));      // either case
    EXPECT_FALSE(folded->provesNoHit("nothing \xe9 here\n"));    // not UTF-8
    EXPECT_FALSE(folded->provesNoHit(QByteArray("nothing\0", 8)));  // a NUL
    EXPECT_FALSE(folded->provesNoHit("\x1b$B"));                   // ISO-2022-JP may be meant
    EXPECT_TRUE(FolderBytePrefilter::isPlainUtf8("plain \xe6\xb0\xb7 \xf0\x9f\x98\x80"));
    for (const char* bad : {"\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe6\xb0", "\x80"})
        EXPECT_FALSE(FolderBytePrefilter::isPlainUtf8(bad)) << bad;
    // Width folding lets Ｋ stand for K: no ASCII piece proves anything then.
    SearchRequest wide = plainRequest(QStringLiteral("Korimado"));
    wide.options.ignoresWidth = true;
    EXPECT_FALSE(FolderBytePrefilter::forRequest(wide));
    // An expression with no literal proves nothing; an invalid one neither (the search reports it).
    SearchRequest any = plainRequest(QStringLiteral("\\w+"));
    any.options.mode = SearchMode::regularExpression;
    EXPECT_FALSE(FolderBytePrefilter::forRequest(any));
    any.pattern = QStringLiteral("(");
    EXPECT_FALSE(FolderBytePrefilter::forRequest(any));
}
