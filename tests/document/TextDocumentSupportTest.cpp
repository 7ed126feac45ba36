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
