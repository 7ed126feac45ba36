// What a document must never do to the file on disk: overwrite a change it has not seen, rewrite
// bytes the user did not touch without asking, hang on a special file, or replace a read-only file.
#include "document/KoriDocument.h"
#include "document/TextCodec.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "KoriDocumentTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace korimado;
using korimado::test::TempDir;
using korimado::test::readFile;
using korimado::test::openDocument;
using korimado::test::saveDocument;
using korimado::test::typeText;

namespace {

// Another program rewrites the file in place with bytes of the same length and leaves the time
// as it was (touch -r, cp -p, rsync -t, or simply within the file system's time granule).
void rewriteKeepingTime(const QString& path, const QByteArray& bytes)
{
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_EQ(file.write(bytes), bytes.size());
    file.close();
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// Answers the document's questions, and is the only one asked.
class AlertsFixture : public ::testing::Test {
protected:
    void SetUp() override { AlertPresenter::setShared(&alerts); }
    void TearDown() override { AlertPresenter::setShared(nullptr); }
    ScriptedAlertPresenter alerts;
    TempDir dir;
};

using KoriDocumentSafetyTest = AlertsFixture;

}  // namespace

TEST_F(KoriDocumentSafetyTest, ASameSizeChangeThatKeepsTheTimeIsStillSeen)
{
    const QString path = dir.write("a.txt", "original\n");
    auto document = openDocument(path);
    ASSERT_TRUE(document);
    typeText(*document, 0, "my ");
    rewriteKeepingTime(path, "ORIGINAL\n");
    ASSERT_EQ(FileFingerprint::capture(path), document->observedFingerprint());

    ErrorInfo error;
    EXPECT_FALSE(saveDocument(*document, &error));
    EXPECT_EQ(error.code, KoriDocument::conflictErrorCode);
    EXPECT_EQ(readFile(path), "ORIGINAL\n");
    EXPECT_TRUE(document->hasExternalChanges());

    // The monitor too compares the bytes: an unedited document takes the new text.
    const QString other = dir.write("b.txt", "original\n");
    auto unedited = openDocument(other);
    ASSERT_TRUE(unedited);
    rewriteKeepingTime(other, "ORIGINAL\n");
    unedited->inspectExternalFile();
    EXPECT_EQ(unedited->storage().string(), "ORIGINAL\n");

    // Bytes written back unchanged are no change.
    const auto revision = unedited->revision();
    rewriteKeepingTime(other, "ORIGINAL\n");
    unedited->inspectExternalFile();
    EXPECT_EQ(unedited->revision(), revision);
    EXPECT_FALSE(unedited->hasExternalChanges());
}

TEST_F(KoriDocumentSafetyTest, AsksBeforeAChosenEncodingRewritesUntouchedBytes)
{
    // Each decodes, with the encoding chosen, to a text whose fresh encoding differs.
    const struct {
        TextEncoding encoding;
        QByteArray bytes;
    } cases[] = {
        {TextEncoding::shiftJIS, QByteArray("\xED\x40 NEC selected IBM")},
        {TextEncoding::shiftJIS, QByteArray("\x87\x90 NEC row 13")},
        {TextEncoding::big5, QByteArray("\xA2\xCC duplicate")},
        {TextEncoding::iso2022JP, QByteArray("a\x1B(Bb redundant escape")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding.rawValue().toStdString());
        alerts.clear();
        const QString path = dir.write("chosen.txt", c.bytes);
        auto document = openDocument(path, c.encoding);
        ASSERT_TRUE(document);

        // Unedited, the bytes read are written: nothing to ask.
        ASSERT_TRUE(saveDocument(*document));
        EXPECT_TRUE(alerts.shown().isEmpty());
        EXPECT_EQ(readFile(path), c.bytes);

        typeText(*document, document->storage().length(), "!");
        alerts.enqueueAnswer(1);
        ErrorInfo error;
        EXPECT_FALSE(saveDocument(*document, &error));
        EXPECT_TRUE(error.isUserCancelled());
        EXPECT_EQ(readFile(path), c.bytes);
        ASSERT_EQ(alerts.shown().size(), 1);
        EXPECT_TRUE(alerts.shown()[0].messageText.contains(c.encoding.rawValue()));
        EXPECT_EQ(alerts.shown()[0].buttons, (QStringList{"保存", "キャンセル"}));
        EXPECT_TRUE(document->isDocumentEdited());
        // Cancelled from the menu: the question, and no error alert after it.
        alerts.enqueueAnswer(1);
        EXPECT_FALSE(document->saveDocument());
        EXPECT_EQ(alerts.shown().size(), 2);

        alerts.enqueueAnswer(0);
        ASSERT_TRUE(saveDocument(*document));
        EXPECT_EQ(readFile(path), TextCodec::encode(document->storage().string(), document->format()));
        // Once written in the standard form the bytes write back exactly: no more questions.
        typeText(*document, 0, "?");
        ASSERT_TRUE(saveDocument(*document));
        EXPECT_EQ(alerts.shown().size(), 3);
    }
}

TEST_F(KoriDocumentSafetyTest, ExactDecodingsAndChangedEncodingsAskNothing)
{
    // EUC-JP's JIS X 0212 tilde now writes back as itself.
    const QByteArray tilde("\x8F\xA2\xB7\xA1\xC1");
    const QString path = dir.write("euc.txt", tilde);
    auto document = openDocument(path, TextEncoding::eucJP);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->storage().string(), u"～〜"_qs);
    typeText(*document, 2, "x");
    ASSERT_TRUE(saveDocument(*document));
    EXPECT_EQ(readFile(path), tilde + "x");

    // The user asked for other bytes altogether by changing the encoding.
    const QString sjis = dir.write("sjis.txt", QByteArray("\xED\x40"));
    auto converted = openDocument(sjis, TextEncoding::shiftJIS);
    ASSERT_TRUE(converted);
    converted->changeFormat(TextFormat{TextEncoding::utf8, false, LineEnding::lf, false});
    ASSERT_TRUE(saveDocument(*converted));
    EXPECT_EQ(readFile(sjis), u"纊"_qs.toUtf8());
    EXPECT_TRUE(alerts.shown().isEmpty());

    // With nobody to ask, the save is refused rather than done silently.
    AlertPresenter::setShared(nullptr);
    const QString lone = dir.write("lone.txt", QByteArray("\xED\x40"));
    auto unasked = openDocument(lone, TextEncoding::shiftJIS);
    ASSERT_TRUE(unasked);
    typeText(*unasked, 1, "x");
    ErrorInfo error;
    EXPECT_FALSE(saveDocument(*unasked, &error));
    EXPECT_EQ(error.code, KoriDocument::bytesWouldChangeErrorCode);
    EXPECT_EQ(readFile(lone), QByteArray("\xED\x40"));
}

TEST_F(KoriDocumentSafetyTest, SpecialFilesAreRefusedWithoutHanging)
{
    const QString fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A blocking open or an endless read would hang here until ctest's timeout.
    for (const QString& path : {fifo, QStringLiteral("/dev/zero")}) {
        SCOPED_TRACE(path.toStdString());
        KoriDocument document;
        ErrorInfo error;
        EXPECT_FALSE(document.readFromURL(path, KoriDocument::plainTextType, &error));
        EXPECT_TRUE(error.description.contains("通常のファイルではない")) << error.description.toStdString();
        EXPECT_FALSE(document.originalData());
    }

    // A file replaced by a pipe while open: the check neither blocks nor reloads.
    const QString path = dir.write("a.txt", "");
    auto document = openDocument(path);
    ASSERT_TRUE(document);
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    document->inspectExternalFile();
    EXPECT_TRUE(document->hasExternalChanges());
}

TEST_F(KoriDocumentSafetyTest, AReadOnlyFileIsNotReplaced)
{
    const QString path = dir.write("read-only.txt", "theirs\n");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    auto document = openDocument(path);
    ASSERT_TRUE(document);
    typeText(*document, 0, "mine ");
    ErrorInfo error;
    EXPECT_FALSE(saveDocument(*document, &error));
    EXPECT_EQ(error.description, "“read-only.txt”は書き込みが許可されていないため、上書きしませんでした。");
    EXPECT_EQ(readFile(path), "theirs\n");
    EXPECT_TRUE(document->isDocumentEdited());

    // Under another name it saves.
    const QString copy = dir.file("copy.txt");
    ASSERT_TRUE(document->saveToURL(copy, KoriDocument::plainTextType, Document::SaveOperation::saveAs, &error));
    EXPECT_EQ(readFile(copy), "mine theirs\n");
}

namespace {

// An untitled document holding text in format, saved as path.
bool saveNew(const QString& path, const QString& text, const TextFormat& format, ErrorInfo* error)
{
    KoriDocument document;
    document.changeFormat(format);
    typeText(document, 0, text);
    return document.saveToURL(path, KoriDocument::plainTextType, Document::SaveOperation::saveAs, error);
}

}  // namespace

TEST_F(KoriDocumentSafetyTest, AsksBeforeSavingMoreThanCanBeOpenedAgain)
{
    // UTF-32 with a mark: 4 bytes a character after the 4 of the mark.
    const TextFormat utf32{TextEncoding::utf32LE, true, LineEnding::lf, false};
    const qsizetype fitting = (TextCodec::maximumFileSize - 4) / 4;
    const QString atLimit = dir.file("at-limit.txt");
    ErrorInfo error;
    ASSERT_TRUE(saveNew(atLimit, QString(fitting, u'a'), utf32, &error)) << error.description.toStdString();
    EXPECT_TRUE(alerts.shown().isEmpty()) << "exactly 64 MiB opens again";
    EXPECT_EQ(QFileInfo(atLimit).size(), TextCodec::maximumFileSize);

    const QString over = dir.file("over.txt");
    alerts.enqueueAnswer(1);
    EXPECT_FALSE(saveNew(over, QString(fitting + 1, u'a'), utf32, &error));
    EXPECT_TRUE(error.isUserCancelled());
    ASSERT_EQ(alerts.shown().size(), 1);
    EXPECT_EQ(alerts.shown()[0].messageText, "“over.txt”を保存すると67,108,868バイトのファイルになり、開き直せなくなります。");
    EXPECT_EQ(alerts.shown()[0].buttons, (QStringList{"保存", "キャンセル"}));
    EXPECT_FALSE(QFileInfo::exists(over));

    // Saved anyway, it is all there, though this version will not open it.
    alerts.enqueueAnswer(0);
    ASSERT_TRUE(saveNew(over, QString(fitting + 1, u'a'), utf32, &error));
    EXPECT_EQ(QFileInfo(over).size(), TextCodec::maximumFileSize + 4);
    KoriDocument reopened;
    EXPECT_FALSE(reopened.readFromURL(over, KoriDocument::plainTextType, &error));
}

TEST_F(KoriDocumentSafetyTest, AsksBeforeSavingATextNoReadWouldGiveBack)
{
    const TextFormat utf8{TextEncoding::utf8, false, LineEnding::lf, false};
    const TextFormat utf16{TextEncoding::utf16LE, false, LineEnding::lf, false};
    const TextFormat utf16WithMark{TextEncoding::utf16LE, true, LineEnding::lf, false};
    const TextFormat latin1{TextEncoding::latin1, false, LineEnding::lf, false};
    const TextFormat windows1252{TextEncoding::windows1252, true, LineEnding::lf, false};
    const QString nul = QStringLiteral("a") + QChar(0) + QStringLiteral("b");
    struct Case {
        QString text;
        TextFormat format;
        QString asked;  // the start of the question, none when nothing is asked
    };
    const std::vector<Case> cases{
        {nul, utf8, "“file.txt”にはNUL文字（U+0000）が含まれています。"},
        {nul, utf16WithMark, "“file.txt”にはNUL文字（U+0000）が含まれています。"},
        // U+FFFE alone, in UTF-16 LE without a mark, is FE FF: a UTF-16 BE mark on reading.
        {QStringLiteral("\uFFFE"), utf16, "“file.txt”の先頭は、開くときにバイトオーダーマーク（BOM）として読まれます。"},
        {QStringLiteral("\uFEFFtext"), utf8, "“file.txt”の先頭は、開くときにバイトオーダーマーク（BOM）として読まれます。"},
        {QStringLiteral("\uFFFE"), utf16WithMark, {}},
        {QStringLiteral("text"), utf16, {}},
        // Other encodings write the same bytes as ordinary characters.
        {QStringLiteral("ÿþabc"), latin1, "“file.txt”の先頭は、開くときにバイトオーダーマーク（BOM）として読まれます。"},
        {QStringLiteral("þÿabc"), windows1252, "“file.txt”の先頭は、開くときにバイトオーダーマーク（BOM）として読まれます。"},
        {QStringLiteral("ï»¿abc"), windows1252, "“file.txt”の先頭は、開くときにバイトオーダーマーク（BOM）として読まれます。"},
        {QStringLiteral("ÿ þ"), latin1, {}},
        // One question for one fault: a mark followed by U+0000 reads as UTF-32, and the NUL is asked about.
        {QChar(0) + QStringLiteral("a"), utf16WithMark, "“file.txt”にはNUL文字（U+0000）が含まれています。"},
    };
    for (const Case& c : cases) {
        alerts.clear();
        const QString path = dir.file("file.txt");
        QFile::remove(path);
        alerts.enqueueAnswer(1);
        ErrorInfo error;
        const bool saved = saveNew(path, c.text, c.format, &error);
        if (c.asked.isEmpty()) {
            EXPECT_TRUE(saved) << c.text.toStdString();
            EXPECT_TRUE(alerts.shown().isEmpty()) << c.text.toStdString();
            continue;
        }
        EXPECT_FALSE(saved);
        EXPECT_TRUE(error.isUserCancelled());
        ASSERT_EQ(alerts.shown().size(), 1);
        EXPECT_EQ(alerts.shown()[0].messageText, c.asked);
        EXPECT_FALSE(QFileInfo::exists(path));
    }

    // With nobody to ask, the text is written as it stands: nothing of it is lost.
    AlertPresenter::setShared(nullptr);
    alerts.clear();
    ErrorInfo error;
    ASSERT_TRUE(saveNew(dir.file("nul.txt"), nul, utf8, &error));
    EXPECT_EQ(readFile(dir.file("nul.txt")), QByteArray("a\0b", 3));
}

TEST_F(KoriDocumentSafetyTest, WhatIsSavedWithoutAQuestionOpensAgainAsTheSameText)
{
    // Texts at the edges of the marks in every Unicode form, with and without a mark: each is
    // either asked about or opened again, in a new document, as exactly the text saved.
    const QList<QString> texts{
        QStringLiteral("\uFEFF"), QStringLiteral("\uFFFE"), QStringLiteral("\uFFFEa"), QStringLiteral("a\uFFFE"),
        QString::fromUcs4(U"\U0001FEFF"), QString::fromUcs4(U"\U0010FFFE"), QString::fromUcs4(U"\U0001FFFEb"),
        QString::fromUcs4(U"\U0000FEFF\U0001FFFE"), QStringLiteral("\uFEFF\uFFFE"),
    };
    for (TextEncoding encoding : {TextEncoding::utf8, TextEncoding::utf16LE, TextEncoding::utf16BE,
                                  TextEncoding::utf32LE, TextEncoding::utf32BE}) {
        for (bool mark : {false, true}) {
            const TextFormat format{encoding, mark, LineEnding::lf, false};
            for (const QString& text : texts) {
                SCOPED_TRACE(QStringLiteral("%1 mark %2 text %3")
                                 .arg(encoding.rawValue())
                                 .arg(mark)
                                 .arg(QString::fromLatin1(text.toUtf8().toHex()))
                                 .toStdString());
                alerts.clear();
                const QString path = dir.file("edge.txt");
                QFile::remove(path);
                alerts.enqueueAnswer(1);
                ErrorInfo error;
                if (!saveNew(path, text, format, &error)) {
                    EXPECT_TRUE(error.isUserCancelled());
                    EXPECT_EQ(alerts.shown().size(), 1);
                    continue;
                }
                EXPECT_TRUE(alerts.shown().isEmpty());
                // Without a mark UTF-16 and UTF-32 are only read in the encoding chosen.
                const bool detected = mark || encoding == TextEncoding::utf8;
                auto reopened = openDocument(path, detected ? std::nullopt : std::optional(encoding));
                ASSERT_TRUE(reopened);
                EXPECT_EQ(reopened->string(), text);
                EXPECT_EQ(reopened->format().encoding, encoding);
            }
        }
    }
}

TEST_F(KoriDocumentSafetyTest, SavingAFileWithASecondNameKeepsBothNamesOneFile)
{
    const QString path = dir.write("linked.txt", "first\n");
    const QString other = dir.file("other-name.txt");
    ASSERT_EQ(::link(QFile::encodeName(path).constData(), QFile::encodeName(other).constData()), 0);
    auto document = openDocument(path);
    ASSERT_TRUE(document);
    ErrorInfo error;
    for (const char* typed : {"one ", "two "}) {
        typeText(*document, 0, typed);
        // The second save meets no refusal: the bytes it wrote are the ones it knows.
        ASSERT_TRUE(saveDocument(*document, &error)) << error.description.toStdString();
        EXPECT_EQ(readFile(other), document->string().toUtf8());
    }
    struct stat a {};
    struct stat b {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &a), 0);
    ASSERT_EQ(::stat(QFile::encodeName(other).constData(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(a.st_nlink, 2u);
}

TEST_F(KoriDocumentSafetyTest, ReadsItsOwnFileAgainInItsEncodingWhenDetectionCannotTell)
{
    // UTF-16 without a mark is all NUL bytes to detection; EUC-JP ア reads as Shift JIS too.
    const std::vector<std::pair<QString, TextFormat>> cases{
        {QStringLiteral("plain text\n"), TextFormat{TextEncoding::utf16LE, false, LineEnding::lf, false}},
        {QStringLiteral("ア\n"), TextFormat{TextEncoding::eucJP, false, LineEnding::lf, false}},
    };
    for (const auto& [text, format] : cases) {
        const QString path = dir.file("own.txt");
        ErrorInfo error;
        auto document = openDocument(dir.write("own.txt", "x\n"));
        ASSERT_TRUE(document);
        document->changeFormat(format);
        document->storage().replaceCharacters(TextRange{0, document->storage().length()}, text);
        ASSERT_TRUE(saveDocument(*document, &error)) << error.description.toStdString();
        typeText(*document, 0, "edit ");
        ASSERT_TRUE(document->revertToContentsOfURL(path, KoriDocument::plainTextType, &error))
            << error.description.toStdString();
        EXPECT_EQ(document->string(), text);
        EXPECT_EQ(document->format(), format);
        EXPECT_FALSE(document->isDocumentEdited());

        // Bytes that do not fit it are still refused, not misread.
        ASSERT_TRUE(QFile::remove(path));
        dir.write("own.txt", QByteArray("\x00\xD8\x00\x00", 4));
        EXPECT_FALSE(document->revertToContentsOfURL(path, KoriDocument::plainTextType, &error));
        EXPECT_EQ(document->string(), text);
    }
}
