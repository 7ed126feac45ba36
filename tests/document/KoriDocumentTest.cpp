#include "document/KoriDocument.h"
#include "document/KoriDocumentWindow.h"
#include "document/TextCodec.h"
#include "platform/foundation/UndoManager.h"
#include "platform/text/LineStarts.h"
#include "platform/ui/WindowController.h"
#include "KoriDocumentTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace korimado;
using korimado::test::TempDir;
using korimado::test::readFile;
using korimado::test::openDocument;
using korimado::test::saveDocument;
using korimado::test::typeText;

namespace {

// Stands in for an editor window: records what the document tells it and holds one selection.
class RecordingWindow : public WindowController, public KoriDocumentWindow {
public:
    int reloads = 0;
    int textChanges = 0;
    int formatChanges = 0;
    QString status;
    EditorSelection selection;

    void reloadDocument() override { ++reloads; }
    void documentTextDidChange(const TextStorageEdit&) override { ++textChanges; }
    void documentFormatDidChange() override { ++formatChanges; }
    void setPreviewStatus(const QString& message) override { status = message; }
    EditorSelection activeEditorSelection() const override { return selection; }
    void restoreEditorSelection(const EditorSelection& restored) override { selection = restored; }
};

// Rewrites a file in place, as an editor that truncates and writes would. Each rewrite gets a
// later modification time, so that two within one clock tick still differ.
void overwrite(const QString& path, const QByteArray& bytes)
{
    static int seconds = 0;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.setFileTime(QDateTime::currentDateTime().addSecs(++seconds), QFileDevice::FileModificationTime);
}

QString sampleFor(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::shiftJIS:
    case TextEncoding::eucJP:
    case TextEncoding::iso2022JP:
    case TextEncoding::shiftJIS2004: return QStringLiteral("日本語のテキスト\nかな カナ\n");
    case TextEncoding::gb18030: return QStringLiteral("中文文本\n");
    case TextEncoding::big5: return QStringLiteral("繁體中文\n");
    case TextEncoding::eucKR: return QStringLiteral("한국어 텍스트\n");
    case TextEncoding::ascii: return QStringLiteral("plain ascii\r\n");
    case TextEncoding::latin2: return QStringLiteral("Łódź\n");
    case TextEncoding::windows1250: return QStringLiteral("Český\n");
    case TextEncoding::windows1251: return QStringLiteral("Привет\n");
    case TextEncoding::latin9: return QStringLiteral("prix 5 €\n");
    case TextEncoding::latin1:
    case TextEncoding::windows1252:
    case TextEncoding::macRoman: return QStringLiteral("café crème\n");
    default: return QStringLiteral("Unicode 日本語 😀\n");
    }
}

}  // namespace

TEST(KoriDocumentTest, ReadsEveryEncodingWithAndWithoutMarkAndSavesTheSameBytes)
{
    TempDir dir;
    for (const TextEncoding encoding : TextEncoding::allCases()) {
        for (const bool bom : {false, true}) {
            if (bom && !encoding.supportsBOM()) continue;
            SCOPED_TRACE(encoding.rawValue().toStdString() + (bom ? " with mark" : ""));
            const QString text = sampleFor(encoding);
            const QByteArray bytes = TextCodec::encode(text, TextFormat{encoding, bom, LineEnding::lf, false});
            const QString path = dir.write(encoding.rawValue() + (bom ? "-bom" : "") + ".txt", bytes);
            // A mark names its encoding; without one only UTF-8 is found without being told.
            const bool detectable = bom || encoding == TextEncoding::utf8;
            auto document = openDocument(path, detectable ? std::nullopt : std::optional<TextEncoding>(encoding));
            ASSERT_TRUE(document);
            EXPECT_EQ(document->storage().string(), text);
            EXPECT_EQ(document->format().encoding, encoding);
            EXPECT_EQ(document->format().bom, bom);
            EXPECT_EQ(document->revision(), 1u);
            ErrorInfo error;
            ASSERT_TRUE(saveDocument(*document, &error)) << error.description.toStdString();
            EXPECT_EQ(readFile(path), bytes);
        }
    }
}

TEST(KoriDocumentTest, UneditedDocumentKeepsOddBytesExactly)
{
    TempDir dir;
    // A mark, three kinds of line ending and a lone CR at the end.
    const QByteArray bytes = "\xEF\xBB\xBF" "one\r\ntwo\nthree\rfour\r";
    const QString path = dir.write("odd.txt", bytes);
    auto document = openDocument(path);
    ASSERT_TRUE(document);
    EXPECT_TRUE(document->format().mixedLineEndings);
    EXPECT_EQ(document->format().lineEnding, LineEnding::crlf);
    EXPECT_EQ(document->lines()->lineCount(), 5);
    ASSERT_TRUE(saveDocument(*document));
    EXPECT_EQ(readFile(path), bytes);

    // An edit undone leaves the text as read: the bytes stay exact.
    typeText(*document, 0, "x");
    document->storage().replaceCharacters(TextRange{0, 1}, QString());
    ASSERT_TRUE(saveDocument(*document));
    EXPECT_EQ(readFile(path), bytes);

    // A real edit encodes afresh, keeping the mark and the endings as they stand in the text.
    typeText(*document, 0, "x");
    ASSERT_TRUE(saveDocument(*document));
    EXPECT_EQ(readFile(path), QByteArray("\xEF\xBB\xBF" "xone\r\ntwo\nthree\rfour\r"));
    EXPECT_FALSE(document->isDocumentEdited());
}

TEST(KoriDocumentTest, BytesAFreshEncodingWouldChangeSurviveAnUneditedSave)
{
    TempDir dir;
    // A requested encoding is decoded without the exact re-encoding test: keep the bytes as read.
    const QByteArray bytes = "abc\x81\x60" "def\n";
    const QString path = dir.write("sjis.txt", bytes);
    auto document = openDocument(path, TextEncoding::shiftJIS);
    ASSERT_TRUE(document);
    ASSERT_TRUE(saveDocument(*document));
    EXPECT_EQ(readFile(path), bytes);
}

TEST(KoriDocumentTest, EditsKeepLineIndexAndRevisionInStep)
{
    TempDir dir;
    auto document = openDocument(dir.write("a.txt", "a\nb\nc"));
    ASSERT_TRUE(document);
    auto* window = static_cast<RecordingWindow*>(document->addWindowController(std::make_unique<RecordingWindow>()));
    const auto before = document->revision();

    typeText(*document, 1, "\n");
    EXPECT_EQ(document->revision(), before + 1);
    EXPECT_EQ(document->lines()->starts(), (std::vector<qsizetype>{0, 2, 3, 5}));
    EXPECT_EQ(window->textChanges, 1);

    document->storage().editedAttributes(TextRange{0, 2});
    EXPECT_EQ(document->revision(), before + 1);
    EXPECT_EQ(window->textChanges, 1);

    // Several edits in one transaction are one change.
    document->storage().beginEditing();
    document->storage().replaceCharacters(TextRange{0, 0}, "\r");
    document->storage().replaceCharacters(TextRange{1, 0}, "\n");
    document->storage().endEditing();
    EXPECT_EQ(document->revision(), before + 2);
    EXPECT_EQ(document->lines()->starts(), LineStarts(document->storage().string()).starts());

    // A read replaces the text as one revision, without telling the windows of an edit.
    ASSERT_TRUE(document->readFromData("x\ny", KoriDocument::plainTextType, nullptr));
    EXPECT_EQ(document->revision(), before + 3);
    EXPECT_EQ(window->textChanges, 2);
    EXPECT_GE(window->reloads, 1);
    EXPECT_EQ(document->lines()->starts(), (std::vector<qsizetype>{0, 2}));
}

TEST(KoriDocumentTest, TypesNamesAndLayoutThreshold)
{
    KoriDocument document;
    EXPECT_EQ(document.fileNameExtension(KoriDocument::plainTextType, Document::SaveOperation::save), "txt");
    EXPECT_EQ(document.displayName(), "名称未設定");
    EXPECT_EQ(document.format(), TextFormat{});
    EXPECT_EQ(document.revision(), 0u);
    EXPECT_TRUE(document.hasUndoManager());
    EXPECT_TRUE(KoriDocument::isNativeType("public.svg-image"));
    EXPECT_FALSE(KoriDocument::isNativeType("public.data"));
    EXPECT_EQ(document.writableTypes(), QStringList{"public.plain-text"});

    TempDir dir;
    auto markdown = openDocument(dir.write("notes.md", "# hi\n"));
    ASSERT_TRUE(markdown);
    EXPECT_EQ(markdown->fileNameExtension(KoriDocument::plainTextType, Document::SaveOperation::save), "md");
    // A hidden file's leading dot starts no extension; the last dot of a name does.
    for (const auto& [name, extension] : {std::pair{".bashrc", "txt"}, {"archive.tar.gz", "gz"}, {"notes.", "txt"}}) {
        auto other = openDocument(dir.write(name, "x\n"));
        ASSERT_TRUE(other);
        EXPECT_EQ(other->fileNameExtension(KoriDocument::plainTextType, Document::SaveOperation::save), extension) << name;
    }
}

TEST(KoriDocumentTest, ReadFailuresLeaveTheDocumentAsItWas)
{
    TempDir dir;
    auto document = openDocument(dir.write("a.txt", "keep"));
    ASSERT_TRUE(document);
    const auto revision = document->revision();

    ErrorInfo error;
    EXPECT_FALSE(document->readFromData(QByteArray("a\0b", 3), KoriDocument::plainTextType, &error));
    EXPECT_EQ(error.description, "文字コードを判定できません。「文字コードを指定して開く」を使ってください。");
    EXPECT_EQ(document->storage().string(), "keep");
    EXPECT_EQ(document->revision(), revision);

    // The size limit is tested before a single byte is read (a sparse file costs nothing).
    const QString big = dir.file("big.txt");
    QFile file(big);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(KoriDocument::maximumFileSize + 1));
    file.close();
    EXPECT_FALSE(document->readFromURL(big, KoriDocument::plainTextType, &error));
    EXPECT_EQ(error.description, "この版で開けるファイルは64 MiBまでです。");
    EXPECT_EQ(document->storage().string(), "keep");
}

TEST(KoriDocumentTest, ChangingFormatEncodesAfreshAndRefusesWhatCannotBeHeld)
{
    TempDir dir;
    const QString path = dir.write("a.txt", "caf\xC3\xA9\n");
    auto document = openDocument(path);
    ASSERT_TRUE(document);
    auto* window = static_cast<RecordingWindow*>(document->addWindowController(std::make_unique<RecordingWindow>()));

    TextFormat ascii = document->format();
    ascii.encoding = TextEncoding::ascii;
    try {
        document->changeFormat(ascii);
        ADD_FAILURE() << "US-ASCII cannot hold é";
    } catch (const CodecError& error) {
        EXPECT_EQ(error.kind(), CodecError::unrepresentable);
        EXPECT_EQ(error.errorDescription(),
                  "US-ASCIIでは保存できない文字があります。UTF-8へ変更してください。ファイルは変更していません。");
    }
    EXPECT_EQ(document->format().encoding, TextEncoding::utf8);
    EXPECT_FALSE(document->isDocumentEdited());

    TextFormat latin1 = document->format();
    latin1.encoding = TextEncoding::latin1;
    document->changeFormat(latin1);
    EXPECT_EQ(document->undoManager()->undoActionName(), "文字コードを変更");
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(window->formatChanges, 1);
    ASSERT_TRUE(saveDocument(*document));
    EXPECT_EQ(readFile(path), QByteArray("caf\xE9\n"));
}

TEST(KoriDocumentTest, UndoOfFormatChangeRestoresEvenWhenTheTextNoLongerFits)
{
    KoriDocument document;
    document.storage().setString("abc");
    TextFormat latin1;
    latin1.encoding = TextEncoding::latin1;
    document.changeFormat(latin1);
    document.undoManager()->closeAutomaticGroup();
    TextFormat utf8;
    document.changeFormat(utf8);
    document.undoManager()->closeAutomaticGroup();

    // Text that latin-1 cannot hold arrives without an undo step of its own.
    document.undoManager()->disableUndoRegistration();
    document.storage().replaceCharacters(TextRange{3, 0}, "日本");
    document.undoManager()->enableUndoRegistration();

    ASSERT_TRUE(document.undoManager()->canUndo());
    document.undoManager()->undo();
    EXPECT_EQ(document.format().encoding, TextEncoding::latin1);
    ASSERT_TRUE(document.undoManager()->canRedo());
    document.undoManager()->redo();
    EXPECT_EQ(document.format().encoding, TextEncoding::utf8);
    document.undoManager()->undo();
    document.undoManager()->undo();
    EXPECT_EQ(document.format().encoding, TextEncoding::utf8);  // the format read first
    EXPECT_TRUE(document.isDocumentEdited()) << "the text still holds characters nobody undid";
}

// A conversion either leaves a document that can be saved or changes nothing; Shift JIS has no
// NEL, LS or PS. What it does change is one undo step of one piece per break.
TEST(KoriDocumentTest, ChangingTheLineEndingGivesASaveableDocumentOrChangesNothing)
{
    TempDir dir;
    const QString text = QStringLiteral("日本語\r\nかな\nカナ\r\n");
    const QString path = dir.write("sjis.txt", TextCodec::encode(text, TextFormat{TextEncoding::shiftJIS, false, LineEnding::crlf, false}));
    auto document = openDocument(path, TextEncoding::shiftJIS);
    ASSERT_TRUE(document);
    ASSERT_EQ(document->string(), text);
    const TextFormat read = document->format();
    ASSERT_TRUE(read.mixedLineEndings);

    for (LineEnding ending : {LineEnding::nel, LineEnding::ls, LineEnding::ps}) {
        try {
            document->changeLineEnding(ending);
            ADD_FAILURE() << "Shift JIS cannot hold " << ending.rawValue().toStdString();
        } catch (const CodecError& error) {
            EXPECT_EQ(error.kind(), CodecError::unrepresentable);
            EXPECT_EQ(error.encoding(), TextEncoding::shiftJIS);
        }
        EXPECT_EQ(document->string(), text);
        EXPECT_EQ(document->format(), read);
        EXPECT_FALSE(document->isDocumentEdited());
        EXPECT_FALSE(document->undoManager()->canUndo());
    }

    // A later change the encoding can hold still goes through, and the result saves.
    ASSERT_TRUE(document->changeLineEnding(LineEnding::cr));
    EXPECT_EQ(document->string(), QStringLiteral("日本語\rかな\rカナ\r"));
    EXPECT_EQ(document->format().lineEnding, LineEnding::cr);
    EXPECT_FALSE(document->format().mixedLineEndings);
    EXPECT_EQ(document->storage().history().lastStepPieces(), 3);
    EXPECT_EQ(document->undoManager()->undoActionName(), KoriDocument::lineEndingActionName);
    ASSERT_TRUE(saveDocument(*document));
    EXPECT_EQ(readFile(path), TextCodec::encode(document->string(), document->format()));

    // One undo gives back the text and the format as they were; redo converts again.
    document->undoManager()->undo();
    EXPECT_EQ(document->string(), text);
    EXPECT_EQ(document->format(), read);
    EXPECT_FALSE(document->undoManager()->canUndo());
    document->undoManager()->redo();
    EXPECT_EQ(document->string(), QStringLiteral("日本語\rかな\rカナ\r"));
    EXPECT_EQ(document->format().lineEnding, LineEnding::cr);

    // The redone step keeps its name; the ending the document already has is no change and
    // records no step: one undo still gives back the original.
    EXPECT_EQ(document->undoManager()->undoActionName(), KoriDocument::lineEndingActionName);
    ASSERT_TRUE(document->changeLineEnding(LineEnding::cr));
    EXPECT_EQ(document->undoManager()->undoActionName(), KoriDocument::lineEndingActionName);
    document->undoManager()->undo();
    EXPECT_EQ(document->string(), text);
    EXPECT_FALSE(document->undoManager()->canUndo());

    // A Unicode form holds every ending.
    KoriDocument unicode;
    unicode.storage().setString(QStringLiteral("a\nb"));
    ASSERT_TRUE(unicode.changeLineEnding(LineEnding::ls));
    EXPECT_EQ(unicode.string(), QString::fromUtf16(u"a\u2028b"));
}

TEST(KoriDocumentTest, RefusesToOverwriteAFileChangedOnDisk)
{
    TempDir dir;
    const QString path = dir.write("a.txt", "original\n");
    auto document = openDocument(path);
    ASSERT_TRUE(document);
    typeText(*document, 0, "my ");

    for (const QByteArray& theirs : {QByteArray("ORIGINAL\n"), QByteArray("longer content\n")}) {
        SCOPED_TRACE(theirs.toStdString());
        overwrite(path, theirs);
        ErrorInfo error;
        EXPECT_FALSE(saveDocument(*document, &error));
        EXPECT_EQ(error.domain, "Korimado");
        EXPECT_EQ(error.code, 409);
        EXPECT_EQ(error.description, "ファイルが外部で変更されています。上書きを中止しました。");
        EXPECT_EQ(error.recoverySuggestion, "再読み込みで外部の変更を確認するか、別名で保存してください。");
        EXPECT_TRUE(document->hasExternalChanges());
        EXPECT_EQ(readFile(path), theirs);
    }

    // A copy goes anywhere and changes nothing of the document's own file state.
    const QString copy = dir.file("copy.txt");
    ASSERT_TRUE(document->saveToURL(copy, KoriDocument::plainTextType, Document::SaveOperation::saveTo, nullptr));
    EXPECT_EQ(readFile(copy), QByteArray("my original\n"));
    EXPECT_EQ(document->originalData(), QByteArray("original\n"));
    EXPECT_TRUE(document->isDocumentEdited());

    // Saving under another name succeeds and makes that file the document's.
    const QString other = dir.file("other.txt");
    ASSERT_TRUE(document->saveToURL(other, KoriDocument::plainTextType, Document::SaveOperation::saveAs, nullptr));
    EXPECT_EQ(document->fileURL(), other);
    EXPECT_FALSE(document->hasExternalChanges());
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_EQ(document->originalData(), QByteArray("my original\n"));
}

TEST(KoriDocumentTest, AttributeOnlyChangesOnDiskAreNoConflict)
{
    TempDir dir;
    const QString path = dir.write("a.txt", "same\n");
    auto document = openDocument(path);
    ASSERT_TRUE(document);
    overwrite(path, "same\n");  // new time, same bytes
    ::chmod(QFile::encodeName(path).constData(), 0600);
    typeText(*document, 0, "x");
    ASSERT_TRUE(saveDocument(*document));
    EXPECT_EQ(readFile(path), QByteArray("xsame\n"));
    // The safe write kept the permissions.
    EXPECT_EQ(QFileInfo(path).permissions() & 0x7777, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

TEST(KoriDocumentTest, ComparesWithoutReadingWhenTheSizeAlreadyDiffers)
{
    TempDir dir;
    const QString path = dir.write("a.txt", "original\n");
    auto document = openDocument(path);
    ASSERT_TRUE(document);
    typeText(*document, 0, "x");
    // A pipe at the path has size 0: reading it would block for ever.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);

    ErrorInfo error;
    EXPECT_FALSE(saveDocument(*document, &error));
    EXPECT_EQ(error.code, 409);

    document->inspectExternalFile();
    EXPECT_TRUE(document->hasExternalChanges());
    EXPECT_EQ(document->storage().string(), "xoriginal\n");
}

TEST(KoriDocumentTest, AFileDeletedByAnotherProgramIsWrittenAgain)
{
    TempDir dir;
    const QString path = dir.write("a.txt", "original\n");
    auto document = openDocument(path);
    ASSERT_TRUE(document);
    ASSERT_TRUE(QFile::remove(path));

    document->inspectExternalFile();
    EXPECT_TRUE(document->hasExternalChanges());

    ErrorInfo error;
    ASSERT_TRUE(saveDocument(*document, &error)) << error.description.toStdString();
    EXPECT_EQ(readFile(path), QByteArray("original\n"));
    EXPECT_FALSE(document->hasExternalChanges());
}

// Writes the file once while the document reads it, as another program might.
class WriterDuringRead : public RecordingWindow {
public:
    QString path;
    QByteArray bytes;
    void reloadDocument() override
    {
        RecordingWindow::reloadDocument();
        if (!path.isEmpty()) overwrite(std::exchange(path, QString()), bytes);
    }
};

TEST(KoriDocumentTest, AChangeMadeWhileReadingIsNotMistakenForTheBytesRead)
{
    TempDir dir;
    for (const bool edited : {false, true}) {
        SCOPED_TRACE(edited ? "edited" : "unedited");
        const QString path = dir.write(edited ? "b.txt" : "a.txt", "mine\n");
        KoriDocument document;
        auto* window = static_cast<WriterDuringRead*>(document.addWindowController(std::make_unique<WriterDuringRead>()));
        window->path = path;
        window->bytes = "theirs\n";
        ASSERT_TRUE(document.readFromURL(path, KoriDocument::plainTextType, nullptr));
        document.setFileURL(path);
        ASSERT_EQ(document.storage().string(), "mine\n");

        if (!edited) {
            document.inspectExternalFile();
            EXPECT_EQ(document.storage().string(), "theirs\n");
            continue;
        }
        typeText(document, 0, "x");
        ErrorInfo error;
        EXPECT_FALSE(saveDocument(document, &error));
        EXPECT_EQ(error.code, 409);
        EXPECT_EQ(readFile(path), QByteArray("theirs\n"));
    }
}

TEST(KoriDocumentTest, ExternalChangeReloadsAnUneditedDocumentKeepingSelections)
{
    TempDir dir;
    const QString path = dir.write("a.txt", "0123456789\n");
    auto document = openDocument(path);
    ASSERT_TRUE(document);
    auto* window = static_cast<RecordingWindow*>(document->addWindowController(std::make_unique<RecordingWindow>()));
    window->selection = {true, TextRange{4, 6}};
    typeText(*document, 0, "x");
    document->undoManager()->registerUndo([] {});
    document->updateChangeCount(Document::ChangeType::cleared);

    overwrite(path, "short");
    document->inspectExternalFile();

    EXPECT_EQ(document->storage().string(), "short");
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_FALSE(document->undoManager()->canUndo());
    EXPECT_FALSE(document->hasExternalChanges());
    EXPECT_TRUE(window->selection.secondaryEditor);
    EXPECT_EQ(window->selection.range, (TextRange{4, 1}));

    // Touched only: no reload.
    const auto revision = document->revision();
    overwrite(path, "short");
    document->inspectExternalFile();
    EXPECT_EQ(document->revision(), revision);
}

TEST(KoriDocumentTest, ExternalChangeFlagsAnEditedDocumentAndKeepsItsText)
{
    TempDir dir;
    const QString path = dir.write("a.txt", "mine\n");
    auto document = openDocument(path);
    ASSERT_TRUE(document);
    auto* window = static_cast<RecordingWindow*>(document->addWindowController(std::make_unique<RecordingWindow>()));
    typeText(*document, 0, "edited ");

    overwrite(path, "theirs\n");
    document->inspectExternalFile();

    EXPECT_EQ(document->storage().string(), "edited mine\n");
    EXPECT_TRUE(document->hasExternalChanges());
    EXPECT_EQ(window->status, KoriDocument::externalChangeMessage);
    ErrorInfo error;
    EXPECT_FALSE(saveDocument(*document, &error));
    EXPECT_EQ(error.code, 409);

    // Reverting takes their text and clears the conflict.
    ASSERT_TRUE(document->revertToContentsOfURL(path, KoriDocument::plainTextType, nullptr));
    EXPECT_EQ(document->storage().string(), "theirs\n");
    EXPECT_FALSE(document->hasExternalChanges());
    EXPECT_FALSE(document->isDocumentEdited());
}

TEST(KoriDocumentTest, WatchesTheFileAndDebouncesBursts)
{
    TempDir dir;
    const QString path = dir.write("a.txt", "one\n");
    auto document = openDocument(path, TextEncoding::latin1);
    ASSERT_TRUE(document);

    // Several writes in a burst make one check, which reloads with the chosen encoding.
    overwrite(path, "tw\xF6\n");
    overwrite(path, "thr\xE9\xE9\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return document->hasPendingExternalCheck(); }, 2000));
    const auto revision = document->revision();
    ASSERT_TRUE(QTest::qWaitFor([&] { return document->revision() != revision; }, 2000));
    EXPECT_EQ(document->storage().string(), QString::fromUtf8("thréé\n"));
    EXPECT_EQ(document->format().encoding, TextEncoding::latin1);
    QTest::qWait(KoriDocument::externalCheckDelayMs + 100);
    EXPECT_EQ(document->revision(), revision + 1);

    // The document's own save produces no reload.
    typeText(*document, 0, "x");
    ASSERT_TRUE(saveDocument(*document));
    const auto afterSave = document->revision();
    QTest::qWait(KoriDocument::externalCheckDelayMs + 150);
    EXPECT_EQ(document->revision(), afterSave);
    EXPECT_FALSE(document->hasExternalChanges());

    // Another program's atomic replace is followed, and so is the next write after it.
    const QString temporary = dir.write("a.txt.tmp", "replaced\n");
    ASSERT_EQ(::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return document->storage().string() == "replaced\n"; }, 2000));
    overwrite(path, "again\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return document->storage().string() == "again\n"; }, 2000));
}

// The edited state without any window: the history's steps move it, undo brings it back to the
// saved text, and undoing past a save leaves the document edited.
TEST(KoriDocumentTest, EditedStateFollowsTheHistoryWithoutAWindow)
{
    TempDir dir;
    const QString path = dir.write("a.txt", "abc\n");
    KoriDocument document;
    ASSERT_TRUE(document.readFromURL(path, KoriDocument::plainTextType, nullptr));
    document.setFileURL(path);
    UndoManager& undo = *document.undoManager();
    EXPECT_FALSE(document.isDocumentEdited()) << "reading is no edit";

    document.storage().replaceCharacters({3, 0}, "d");
    undo.closeAutomaticGroup();
    EXPECT_TRUE(document.isDocumentEdited());
    undo.undo();
    EXPECT_EQ(document.storage().string(), "abc\n");
    EXPECT_FALSE(document.isDocumentEdited());
    undo.redo();
    EXPECT_TRUE(document.isDocumentEdited());

    ASSERT_TRUE(test::saveDocument(document));
    EXPECT_FALSE(document.isDocumentEdited());
    document.storage().beginEditing();
    document.storage().replaceCharacters({0, 1}, "A");
    document.storage().replaceCharacters({1, 1}, "B");
    document.storage().endEditing();
    undo.closeAutomaticGroup();
    EXPECT_TRUE(document.isDocumentEdited());
    undo.undo();
    EXPECT_EQ(document.storage().string(), "abcd\n");
    EXPECT_FALSE(document.isDocumentEdited()) << "one transaction, one step";
    undo.undo();
    EXPECT_EQ(document.storage().string(), "abc\n");
    EXPECT_TRUE(document.isDocumentEdited()) << "past the save";
}

TEST(KoriDocumentTest, BackgroundAutosaveWritesWhatASynchronousAutosaveWrites)
{
    TempDir dir;
    struct Case {
        QByteArray bytes;
        std::optional<TextEncoding> encoding;
        QString typed;  // typed at the start; empty types "x" and deletes it again
        bool flattened; // whether the text was flattened before the tick
    };
    const std::vector<Case> cases{
        {"\xEF\xBB\xBF" "one\r\ntwo\nthree\rfour\r", std::nullopt, "x", false},
        {"\xEF\xBB\xBF" "one\r\ntwo\nthree\rfour\r", std::nullopt, "", false},
        {TextCodec::encode(QStringLiteral("日本語\r\nかな\r\n"), TextFormat{TextEncoding::shiftJIS, false, LineEnding::crlf, false}),
         TextEncoding::shiftJIS, QStringLiteral("漢字"), true},
        {"abc\x81\x60" "def\n", TextEncoding::shiftJIS, "", true},
    };
    for (const Case& c : cases) {
        auto document = openDocument(dir.write("a.txt", c.bytes), c.encoding);
        ASSERT_TRUE(document);
        typeText(*document, 0, c.typed.isEmpty() ? QStringLiteral("x") : c.typed);
        if (c.typed.isEmpty()) document->storage().replaceCharacters(TextRange{0, 1}, QString());
        if (c.flattened) (void)document->string();
        ASSERT_TRUE(document->hasUnautosavedChanges());

        document->autosaveInBackground();
        ASSERT_TRUE(korimado::test::spinUntil([&] { return !document->hasUnautosavedChanges(); }));
        const QString autosaved = document->autosavedContentsFileURL();
        const QByteArray background = readFile(autosaved);

        document->updateChangeCount(Document::ChangeType::done);
        ErrorInfo error;
        ASSERT_TRUE(document->autosave(&error)) << error.description.toStdString();
        EXPECT_EQ(document->autosavedContentsFileURL(), autosaved);
        EXPECT_EQ(background, readFile(autosaved));
        if (c.typed.isEmpty()) {
            EXPECT_EQ(background, c.bytes);
        }
        ASSERT_TRUE(saveDocument(*document, &error)) << error.description.toStdString();
        EXPECT_FALSE(QFileInfo::exists(autosaved));
    }
}
