#include "document/TextDocumentSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

using namespace korimado;
using korimado::test::TempDir;

TEST(TextDocumentSupportTest, DecidesByNameExtensionAndContentType)
{
    TempDir dir;
    EXPECT_TRUE(TextDocumentSupport::canOpen(dir.write("Makefile", "\x01\x02\x03\x04\x05")));
    EXPECT_TRUE(TextDocumentSupport::canOpen(dir.write("sub/MAKEFILE", "")));
    EXPECT_TRUE(TextDocumentSupport::canOpen(dir.write("notes.MD", "\x01\x02\x03\x04")));
    EXPECT_TRUE(TextDocumentSupport::canOpen(dir.write(".gitignore", "build/\n")));
    EXPECT_TRUE(TextDocumentSupport::canOpen(dir.write(".env.local", "A=1\n")));
    EXPECT_TRUE(TextDocumentSupport::canOpen(dir.write(".env", "\x01\x01\x01\x01")));
    EXPECT_FALSE(TextDocumentSupport::canOpen(dir.write("archive.zip", "PK\x03\x04 text after")));
    EXPECT_FALSE(TextDocumentSupport::canOpen(dir.write(".DS_Store", "text")));
    // Known only to the content-type lookup.
    EXPECT_TRUE(TextDocumentSupport::canOpen(dir.write("setup.patch", "+x\n")));
    EXPECT_FALSE(TextDocumentSupport::canOpen(dir.write("photo.png", "text")));
    // Extra extensions and names come from the syntax definitions; names match exactly.
    EXPECT_TRUE(TextDocumentSupport::canOpen(dir.write("rules.weird", "x"), {"weird"}, {}));
    EXPECT_FALSE(TextDocumentSupport::canOpen(dir.write("Jenkinsfile", "\x01\x01\x01\x01"), {}, {"jenkinsfile"}));
    EXPECT_TRUE(TextDocumentSupport::canOpen(dir.write("Jenkinsfile", "\x01\x01\x01\x01"), {}, {"Jenkinsfile"}));
    EXPECT_TRUE(TextDocumentSupport::canOpen(dir.write("dockerfile", "\x01\x01\x01\x01"), {}, {"Dockerfile"}));

    EXPECT_FALSE(TextDocumentSupport::canOpen(dir.path()));
    EXPECT_FALSE(TextDocumentSupport::canOpen(dir.file("missing.txt")));
    const QString fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(TextDocumentSupport::canOpen(fifo));

    // Exactly 64 MiB is openable, one byte more is not (sparse files cost nothing).
    for (const qint64 size : {TextDocumentSupport::maximumFileSize, TextDocumentSupport::maximumFileSize + 1}) {
        const QString path = dir.file(QString("big%1.txt").arg(size));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(size));
        file.close();
        EXPECT_EQ(TextDocumentSupport::canOpen(path), size == TextDocumentSupport::maximumFileSize);
    }

    if (::geteuid() != 0) {
        const QString locked = dir.write("locked.txt", "secret");
        ::chmod(QFile::encodeName(locked).constData(), 0);
        EXPECT_FALSE(TextDocumentSupport::canOpen(locked));
    }
}

TEST(TextDocumentSupportTest, SniffsFilesWithoutExtension)
{
    TempDir dir;
    auto sniff = [&](const QByteArray& bytes) { return TextDocumentSupport::canOpen(dir.write("sample", bytes)); };
    EXPECT_TRUE(sniff(""));
    EXPECT_TRUE(sniff("plain words\twith tabs\r\n"));
    EXPECT_TRUE(sniff("\xFF\xFE" "a\0b\0"));
    EXPECT_FALSE(sniff(QByteArray("text\0more", 9)));
    EXPECT_FALSE(sniff("%PDF-1.7\n"));
    EXPECT_FALSE(sniff("PK\x03\x04"));
    EXPECT_FALSE(sniff("caf\xE9 latin-1"));
    EXPECT_TRUE(sniff("\xEF\xBB\xBF" "marked"));
    // A BEL followed by three more bytes fails; among the last three it is cut off by the retries.
    EXPECT_FALSE(sniff("ab\x07" "cde"));
    EXPECT_TRUE(sniff("abcd\x07" "ef"));

    // The 4,096-byte window cuts a three-byte character: still text.
    QByteArray head(4095, 'a');
    head += "\xE3\x81\x82 more after the window";
    EXPECT_TRUE(sniff(head));
}

TEST(TextDocumentSupportTest, SniffsJapaneseEncodingsAsOpeningReadsThem)
{
    TempDir dir;
    auto sniff = [&](const QByteArray& bytes) { return TextDocumentSupport::canOpen(dir.write("NEWS", bytes)); };
    // 「お知らせ」\n in Shift JIS, EUC-JP and ISO-2022-JP.
    EXPECT_TRUE(sniff("\x81\x75\x82\xA8\x92\x6D\x82\xE7\x82\xB9\x81\x76\n"));
    EXPECT_TRUE(sniff("\xA1\xD6\xA4\xAA\xC3\xCE\xA4\xE9\xA4\xBB\xA1\xD7\n"));
    EXPECT_TRUE(sniff("\x1B$B!V$*CN$i$;!W\x1B(B\n"));
    // Bytes that fit Shift JIS and EUC-JP alike are text either way.
    EXPECT_TRUE(sniff("\xE0\xA1"));
    // A control character inside Japanese text still fails.
    EXPECT_FALSE(sniff("\x82\xA0\x07\x82\xA0 and more"));

    // The window ends inside a run of ISO-2022-JP, even halfway through a character.
    QByteArray longRun("\x1B$B");
    while (longRun.size() < TextDocumentSupport::sniffLength + 100) longRun += "$\"";
    longRun += "\x1B(B";
    EXPECT_TRUE(sniff(longRun));
    EXPECT_TRUE(sniff(longRun.left(TextDocumentSupport::sniffLength - 1) + "$"));
    // And inside a two-byte Shift JIS character.
    QByteArray longSjis;
    while (longSjis.size() < TextDocumentSupport::sniffLength + 1) longSjis += "\x82\xA0";
    EXPECT_TRUE(sniff(QByteArray(1, 'a') + longSjis));
}
