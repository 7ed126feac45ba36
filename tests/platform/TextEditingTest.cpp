#include "platform/foundation/UndoManager.h"
#include "platform/text/TextEditing.h"
#include "platform/text/TextStorage.h"

#include <gtest/gtest.h>

#include <vector>

using namespace korimado;

namespace {

// A storage with the undo manager its document would give it, and what it tells its observers.
struct EditedText {
    explicit EditedText(const QString& text) : storage(text)
    {
        undo.setGroupsByEvent(false);
        storage.history().setDefaultUndoManager(&undo);
        storage.addObserver([this](TextStorage&, const TextStorageEdit& edit) { edits.push_back(edit); });
    }
    ~EditedText() { storage.history().setDefaultUndoManager(nullptr); }

    TextStorage storage;
    UndoManager undo;
    std::vector<TextStorageEdit> edits;
};

struct ReadOnly : TextStorageDelegate {
    bool textStorageAcceptsEdits(const TextStorage&) const override { return false; }
};

}  // namespace

TEST(TextEditing, ReplacesEveryRangeAsOneNamedStepThatUndoesWhole)
{
    EditedText t(QStringLiteral("aaa bbb ccc ddd eee aaa"));
    // Given in any order: applied as one edit, heard of once.
    const auto outcome = TextEditing::replace(t.storage, {TextRange(20, 3), TextRange(0, 3)},
                                              {QStringLiteral("X"), QStringLiteral("X")}, QStringLiteral("すべて置換"));
    ASSERT_EQ(outcome, TextEditing::Outcome::replaced);
    EXPECT_EQ(t.storage.string(), QStringLiteral("X bbb ccc ddd eee X"));
    ASSERT_EQ(t.edits.size(), 1u);
    const TextStorageEdit& edit = t.edits.front();
    EXPECT_EQ(edit.mapPosition(11), 9) << "what lies between the pieces stays with its text";
    EXPECT_EQ(edit.mapPosition(2), 1) << "inside a piece: to the end of its new text";
    EXPECT_EQ(t.undo.undoActionName(), QStringLiteral("すべて置換"));
    EXPECT_EQ(t.storage.history().lastStepPieces(), 2);

    t.undo.undo();
    EXPECT_EQ(t.storage.string(), QStringLiteral("aaa bbb ccc ddd eee aaa"));
    EXPECT_FALSE(t.undo.canUndo());
    t.undo.redo();
    EXPECT_EQ(t.storage.string(), QStringLiteral("X bbb ccc ddd eee X"));
}

TEST(TextEditing, RefusesWhatWouldMakeTheRecordLieAndWhatTheDocumentForbids)
{
    EditedText t(QStringLiteral("abcdef"));
    const QStringList two{QStringLiteral("x"), QStringLiteral("y")};
    EXPECT_EQ(TextEditing::replace(t.storage, {TextRange(0, 3), TextRange(2, 2)}, two, QString()),
              TextEditing::Outcome::refused)
        << "overlapping";
    EXPECT_EQ(TextEditing::replace(t.storage, {TextRange(4, 3)}, {QStringLiteral("x")}, QString()),
              TextEditing::Outcome::refused)
        << "past the end";
    EXPECT_EQ(TextEditing::replace(t.storage, {TextRange(0, 1)}, two, QString()), TextEditing::Outcome::refused)
        << "one string per range";
    ReadOnly readOnly;
    t.storage.setDelegate(&readOnly);
    EXPECT_EQ(TextEditing::replace(t.storage, {TextRange(0, 1)}, {QStringLiteral("x")}, QString()),
              TextEditing::Outcome::notEditable);
    t.storage.setDelegate(nullptr);
    EXPECT_EQ(t.storage.string(), QStringLiteral("abcdef"));
    EXPECT_TRUE(t.edits.empty());
    EXPECT_FALSE(t.undo.canUndo());

    // Two insertions at one place keep the order they were given in.
    ASSERT_EQ(TextEditing::replace(t.storage, {TextRange(3, 0), TextRange(3, 0)}, two, QString()),
              TextEditing::Outcome::replaced);
    EXPECT_EQ(t.storage.string(), QStringLiteral("abcxydef"));
}

TEST(TextEditing, ManyPiecesAreKeptAsPiecesAndUndoAndRedoPutThemBack)
{
    // 20,000 pieces over a text of 200,000 lines: the step holds the pieces, not the text between.
    QString text;
    for (int i = 0; i < 200'000; ++i) text += i % 10 == 0 ? QStringLiteral("abc-line\n") : QStringLiteral("plain line\n");
    EditedText t(text);
    QVector<TextRange> ranges;
    QStringList strings;
    for (qsizetype at = text.indexOf(QStringLiteral("abc")); at >= 0; at = text.indexOf(QStringLiteral("abc"), at + 3)) {
        ranges.append(TextRange(at, 3));
        strings.append(QStringLiteral("Z\n"));
    }
    ASSERT_EQ(ranges.size(), 20'000);
    ASSERT_EQ(TextEditing::replace(t.storage, ranges, strings, QStringLiteral("すべて置換")),
              TextEditing::Outcome::replaced);
    EXPECT_EQ(t.storage.history().lastStepPieces(), 20'000);
    EXPECT_EQ(t.storage.history().lastStepUnits(), 20'000 * 5);
    EXPECT_EQ(t.storage.lines().count(), 220'001) << "the line starts followed every piece";
    t.undo.undo();
    EXPECT_EQ(t.storage.string(), text);
    EXPECT_EQ(t.storage.lines().count(), 200'001);
    t.undo.redo();
    EXPECT_EQ(t.storage.lines().count(), 220'001);
    QString expected = text;
    expected.replace(QStringLiteral("abc"), QStringLiteral("Z\n"));
    EXPECT_EQ(t.storage.string(), expected);
}
