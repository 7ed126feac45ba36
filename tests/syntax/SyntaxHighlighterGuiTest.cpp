#include "syntax/SyntaxHighlighter.h"
#include "syntax/SyntaxModel.h"
#include "syntax/SyntaxParser.h"

#include "SyntaxTestSupport.h"
#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/ui/MenuModel.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/text/LayoutManager.h"
#include "platform/text/TextStorage.h"
#include "platform/foundation/UndoManager.h"
#include "theme/EditorTheme.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <limits>

using namespace korimado;

namespace {

using K = SyntaxTokenKind;

using test::spinFor;
using test::spinUntil;

// A document's model and one editor painted from it.
class SyntaxHighlighterTest : public ::testing::Test {
protected:
    void open(const QString& text, const QString& language)
    {
        document = std::make_unique<KoriDocument>();
        document->storage().setString(text);
        storage = &document->storage();
        model = &SyntaxModel::of(*document);
        editor = std::make_unique<EditorTextView>(document->sharedStorage());
        editor->resize(600, 400);
        editor->show();
        highlighter = std::make_unique<SyntaxHighlighter>(editor.get(), *model);
        QObject::connect(model, &SyntaxModel::languageChanged, editor.get(),
                         [this] { TextCommands::adoptLanguage(*editor, model->language()); });
        QObject::connect(model, &SyntaxModel::outlineChanged, editor.get(), [this] {
            ++outlineCalls;
            lastOutline = model->outline();
        });
        model->setLanguage(language);
    }
    void TearDown() override
    {
        highlighter.reset();
        editor.reset();
        document.reset();
    }

    // Schedules like the document's window does after an edit and waits for the applied result.
    bool parse()
    {
        const int before = outlineCalls;
        model->schedule();
        return spinUntil([&] { return outlineCalls > before; });
    }

    std::optional<TemporaryAttributes> attributesAt(qsizetype index) const
    {
        std::optional<TemporaryAttributes> found;
        editor->layoutManager()->enumerateTemporaryAttributes(highlighter.get(), TextRange(index, 1),
                                                              [&](TextRange, const TemporaryAttributes& a) { found = a; });
        return found;
    }
    std::optional<QColor> colorAt(qsizetype index) const
    {
        const auto attributes = attributesAt(index);
        return attributes ? attributes->foreground : std::nullopt;
    }
    // The highlighter's runs over the whole text (and beyond, to catch unclamped ones).
    std::vector<TextRange> paintedRuns() const
    {
        std::vector<TextRange> runs;
        editor->layoutManager()->enumerateTemporaryAttributes(highlighter.get(), TextRange(0, TextRange::NotFound / 2),
                                                              [&](TextRange r, const TemporaryAttributes&) { runs.push_back(r); });
        return runs;
    }
    static QColor expected(K kind) { return SyntaxHighlighter::color(kind, EditorTheme::current()); }

    std::unique_ptr<KoriDocument> document;
    TextStorage* storage = nullptr;
    SyntaxModel* model = nullptr;
    std::unique_ptr<EditorTextView> editor;
    std::unique_ptr<SyntaxHighlighter> highlighter;
    int outlineCalls = 0;
    std::vector<SyntaxOutlineEntry> lastOutline;
};

// Plausible Swift, big enough that its parse takes a while.
QString largeSwift(int functions)
{
    QString text;
    for (int i = 0; i < functions; ++i) {
        text += QStringLiteral("// Function %1\nfunc compute%1(value: Int) -> Int {\n    let label = \"value %1\"\n"
                               "    return value * %1 + label.count\n}\n\n")
                    .arg(i);
    }
    return text;
}

}  // namespace

TEST_F(SyntaxHighlighterTest, ColoursKeywordsStringsAndCommentsWithoutTouchingTheText)
{
    const QString text = QStringLiteral("func f() -> Int { return \"hi\" } // done\nlet n = 42\n");
    open(text, QStringLiteral("swift"));
    UndoManager undo;
    editor->setUndoManager(&undo);
    ASSERT_TRUE(parse());

    EXPECT_EQ(colorAt(text.indexOf("func")), expected(K::keyword));
    EXPECT_EQ(colorAt(text.indexOf("return") + 3), expected(K::keyword));
    EXPECT_EQ(colorAt(text.indexOf("\"hi\"") + 1), expected(K::string));
    EXPECT_EQ(colorAt(text.indexOf("// done") + 4), expected(K::comment));
    EXPECT_EQ(colorAt(text.indexOf("42")), expected(K::number));
    EXPECT_FALSE(colorAt(text.indexOf(" f(") + 1)) << "a plain name stays uncoloured";
    EXPECT_NE(expected(K::keyword), expected(K::string));

    EXPECT_EQ(storage->string(), text);
    EXPECT_FALSE(undo.canUndo()) << "colouring is no edit";
    EXPECT_EQ(editor->indentationOpeners, QStringList({"{"}));
    EXPECT_TRUE(editor->completionWords.contains("func"));
}

TEST_F(SyntaxHighlighterTest, ColoursAreRemovedExactlyWhereTheNewParseNoLongerColours)
{
    const QString text = QStringLiteral("let a = \"quoted text\" + b // note\n");
    open(text, QStringLiteral("swift"));
    int finder = 0;  // another owner's highlight must survive the highlighter's repaints
    TemporaryAttributes found;
    found.background = QColor(Qt::yellow);
    editor->layoutManager()->addTemporaryAttributes(&finder, found, TextRange(0, 3));
    ASSERT_TRUE(parse());
    ASSERT_EQ(colorAt(text.indexOf("quoted")), expected(K::string));

    // Drop both quotes: the words are plain names now and must lose the colour the edit moved along.
    storage->replaceCharacters(TextRange(text.indexOf("\"quoted"), 1), QString());
    const QString edited = storage->string();
    storage->replaceCharacters(TextRange(edited.indexOf("text\"") + 4, 1), QString());
    const QString plain = storage->string();
    ASSERT_EQ(plain, "let a = quoted text + b // note\n");
    ASSERT_TRUE(parse());
    for (qsizetype i = plain.indexOf("quoted"); i < plain.indexOf(" + b"); ++i) {
        EXPECT_FALSE(colorAt(i)) << i;
    }
    EXPECT_EQ(colorAt(plain.indexOf("let")), expected(K::keyword));
    EXPECT_EQ(colorAt(plain.indexOf("note")), expected(K::comment));

    bool finderKept = false;
    editor->layoutManager()->enumerateTemporaryAttributes(&finder, TextRange(0, 3), [&](TextRange r, const TemporaryAttributes& a) {
        finderKept = r == TextRange(0, 3) && a == found;
    });
    EXPECT_TRUE(finderKept);
}

TEST_F(SyntaxHighlighterTest, ABurstOfRequestsYieldsOneAppliedParse)
{
    open(QStringLiteral("# One\ntext\n"), QStringLiteral("markdown"));
    for (int i = 0; i < 10; ++i) {
        storage->replaceCharacters(TextRange(storage->length(), 0), QStringLiteral("# More\n"));
        model->schedule();
    }
    ASSERT_TRUE(spinUntil([&] { return outlineCalls > 0; }));
    spinFor(300);
    EXPECT_EQ(outlineCalls, 1);
    EXPECT_EQ(lastOutline.size(), 11u) << "the text of the last request";
}

TEST_F(SyntaxHighlighterTest, AResultForATextEditedDuringTheParseIsDropped)
{
    open(largeSwift(12000), QStringLiteral("swift"));
    model->schedule();
    ASSERT_TRUE(spinUntil([&] { return model->parseInFlight(); }));
    // An edit nobody reported: the parse in flight describes the old text.
    storage->replaceCharacters(TextRange(0, 0), QStringLiteral("/* new */\n"));
    spinUntil([&] { return outlineCalls > 0; }, 2000);
    EXPECT_EQ(outlineCalls, 0);
    EXPECT_TRUE(paintedRuns().empty());
    EXPECT_TRUE(model->tokens().empty());

    // An edit that was reported supersedes the request: only the new one is applied.
    ASSERT_TRUE(parse());
    EXPECT_EQ(colorAt(0), expected(K::comment)) << "the new text is coloured";
}

TEST_F(SyntaxHighlighterTest, SupersededParsesGiveUpAndLeaveTheQueueFree)
{
    open(QString(40, 'a') + QStringLiteral("!\n"), QStringLiteral("plain"));
    // A package expression that backtracks for as long as it is allowed to.
    SyntaxLanguage slow = SyntaxLanguage::plain();
    slow.id = QStringLiteral("slow");
    slow.importedHighlightRules = {{QStringLiteral("(a|aa)+$"), K::string, false, false}};
    model->setLanguage(slow);
    for (int i = 0; i < 8; ++i) {
        model->schedule();
        ASSERT_TRUE(spinUntil([&] { return model->parseInFlight(); }));
        spinFor(10);
    }
    document.reset();  // the model goes with its document, and its parse is cancelled

    auto ran = std::make_shared<std::atomic<bool>>(false);
    SyntaxModel::queue().async([ran] { *ran = true; });
    // A superseded pass that ran out its budget would hold the queue for 1.5 s.
    ASSERT_TRUE(spinUntil([&] { return ran->load(); }, 1000)) << "a superseded job must not run out its time budget";
    EXPECT_EQ(outlineCalls, 0) << "nothing superseded was reported";
}

TEST_F(SyntaxHighlighterTest, InvalidateStopsPaintingButLeavesTheDocumentsTokens)
{
    open(QStringLiteral("# Title\nlet x = 1\n"), QStringLiteral("markdown"));
    ASSERT_TRUE(parse());
    ASSERT_FALSE(paintedRuns().empty());
    ASSERT_EQ(lastOutline.size(), 1u);

    highlighter->invalidate();
    EXPECT_TRUE(paintedRuns().empty());
    ASSERT_TRUE(parse());
    EXPECT_TRUE(paintedRuns().empty()) << "a closed window's editor is not painted again";
    EXPECT_EQ(model->outline().size(), 1u) << "the outline is the document's";
}

TEST_F(SyntaxHighlighterTest, RangesStayWithinTheTextAfterItShrinks)
{
    QString text;
    for (int i = 0; i < 200; ++i) text += QStringLiteral("let s%1 = \"string %1\" // comment\n").arg(i);
    open(text, QStringLiteral("swift"));
    ASSERT_TRUE(parse());
    ASSERT_FALSE(paintedRuns().empty());

    // Shrink the text and repaint before any new parse (a theme change can do that).
    storage->replaceCharacters(TextRange(10, storage->length() - 10), QString());
    highlighter->applyVisibleTokens();
    for (const TextRange& run : paintedRuns()) {
        EXPECT_LE(run.end(), storage->length());
    }
    EXPECT_TRUE(paintedRuns().empty()) << "tokens of the longer text are not painted on the shorter one";

    ASSERT_TRUE(parse());
    EXPECT_EQ(colorAt(0), expected(K::keyword));
    for (const TextRange& run : paintedRuns()) {
        EXPECT_LE(run.end(), storage->length());
    }
}

TEST_F(SyntaxHighlighterTest, OutlineEntriesHeadingFontAndGoingToAnEntry)
{
    const QString text = QStringLiteral("intro\n# One\ntext\n## Two\nend\n");
    open(text, QStringLiteral("markdown"));
    QFont font = editor->font();
    font.setPointSizeF(13);
    editor->setFont(font);
    ASSERT_TRUE(parse());

    ASSERT_EQ(model->outline().size(), 2u);
    EXPECT_EQ(lastOutline, model->outline());
    EXPECT_EQ(model->outline()[0].title, "One");
    EXPECT_EQ(model->outline()[1].level, 2);
    EXPECT_EQ(model->outline()[1].line, 4);

    const auto heading = attributesAt(text.indexOf("# One") + 2);
    ASSERT_TRUE(heading && heading->font);
    EXPECT_EQ(heading->font->weight(), QFont::DemiBold);
    EXPECT_DOUBLE_EQ(heading->font->pointSizeF(), 13);
    EXPECT_EQ(heading->foreground, expected(K::heading));
    EXPECT_FALSE(attributesAt(0)) << "body text";

    editor->setSelectedRange(TextRange(0, 2));
    for (int bad : {-1, 2}) {
        highlighter->goToOutlineEntry(bad);
        EXPECT_EQ(editor->selectedRange(), TextRange(0, 2)) << bad;
    }
    highlighter->goToOutlineEntry(1);
    EXPECT_EQ(editor->selectedRange(), TextRange(text.indexOf("## Two"), 0)) << "a caret at the entry's start";
}

TEST_F(SyntaxHighlighterTest, LanguageChangeResolvesExtensionsAndRecolours)
{
    const QString text = QStringLiteral("def run(): pass\n");
    open(text, QStringLiteral("plain"));
    EXPECT_EQ(editor->indentationOpeners, QStringList());
    ASSERT_TRUE(parse());
    EXPECT_TRUE(paintedRuns().empty());

    const int before = outlineCalls;
    model->setLanguage(QStringLiteral(".PY"));
    EXPECT_EQ(model->language().id, "python");
    EXPECT_EQ(editor->indentationOpeners, QStringList({":"}));
    ASSERT_TRUE(spinUntil([&] { return outlineCalls > before; }));
    EXPECT_EQ(colorAt(0), expected(K::keyword));

    model->setLanguage(QStringLiteral("css"));
    EXPECT_EQ(editor->indentationOpeners, QStringList({"{"}));

    model->setLanguage(QStringLiteral("no-such-language"));
    EXPECT_EQ(model->language().id, SyntaxLanguage::plain().id);
    ASSERT_TRUE(parse());
    EXPECT_TRUE(paintedRuns().empty()) << "the plain language colours nothing";
}

TEST_F(SyntaxHighlighterTest, TruncatedParseIsCompletedAroundTheViewport)
{
    test::ScopedEnvironment limit("KORIMADO_SYNTAX_TOKEN_LIMIT", QByteArray("10"));
    QString text;
    for (int i = 0; i < 12000; ++i) text += QStringLiteral("let v%1 = 1 // c\n").arg(i, 5, 10, QLatin1Char('0'));
    open(text, QStringLiteral("swift"));
    ASSERT_TRUE(parse());
    EXPECT_TRUE(model->resultWasTruncated());
    ASSERT_TRUE(spinUntil([&] { return !highlighter->viewportTokens().empty(); }));
    EXPECT_EQ(highlighter->viewportParseCount(), 1);

    const qsizetype last = text.lastIndexOf("let");
    EXPECT_FALSE(colorAt(last)) << "beyond the first parse and the first viewport";
    editor->verticalScrollBar()->setValue(editor->verticalScrollBar()->maximum());
    ASSERT_TRUE(spinUntil([&] { return colorAt(last).has_value(); }));
    EXPECT_EQ(colorAt(last), expected(K::keyword));
    EXPECT_EQ(highlighter->viewportParseCount(), 2);
    EXPECT_TRUE(highlighter->viewportRange().contains(last));

    // A short scroll stays inside the parsed neighbourhood: no new viewport parse.
    editor->verticalScrollBar()->setValue(editor->verticalScrollBar()->maximum() - 2000);
    spinFor(200);
    EXPECT_EQ(highlighter->viewportParseCount(), 2);
    EXPECT_EQ(colorAt(last), expected(K::keyword));
}

TEST_F(SyntaxHighlighterTest, ColouringALongLineTouchesOnlyTheSegmentsOnScreen)
{
    // About 5 MB of JSON without a line break.
    QString text = QStringLiteral("[");
    for (int n = 0; text.size() < 5'000'000; ++n)
        text += QStringLiteral("{\"id\":%1,\"name\":\"項目%1\",\"tags\":[\"a\",\"b\"],\"on\":true},").arg(n);
    text += QStringLiteral("{}]");
    open(text, QStringLiteral("json"));
    LayoutManager& layout = *editor->layoutManager();
    QSignalSpy redraws(&layout, &LayoutManager::needsDisplay);
    spinFor(50);  // the first paint
    const quint64 before = layout.segmentLayoutCount();
    redraws.clear();
    model->schedule();
    ASSERT_TRUE(spinUntil([&] { return outlineCalls > 0; }, 60000));
    spinFor(100);
    EXPECT_TRUE(colorAt(3).has_value()) << "the first key";
    EXPECT_LE(redraws.count(), 8) << "a batch per apply, not a redraw per token";
    const qsizetype segments = layout.laidOutSegmentCount(0);
    EXPECT_LE(segments, 3) << "of " << text.size() / LayoutManager::SegmentUnits;
    EXPECT_LE(layout.segmentLayoutCount() - before, 6u);
    EXPECT_LE(highlighter->paintedRange().length, 3 * LayoutManager::SegmentUnits + 16000);

    // Far along the line, colours follow the view without laying out what lies between.
    const qsizetype middle = text.indexOf(QStringLiteral("\"id\""), text.size() / 2);
    editor->scrollRangeToVisible(TextRange(middle, 4));
    ASSERT_TRUE(spinUntil([&] { return highlighter->paintedRange().contains(middle); }, 60000));
    spinFor(100);
    // A parse of the neighbourhood, not of the line from its start, colours it.
    ASSERT_TRUE(spinUntil([&] { return colorAt(middle + 1).has_value(); }, 30000));
    EXPECT_LE(layout.laidOutSegmentCount(0), 2 * segments + 1);
    EXPECT_LE(layout.segmentLayoutCount() - before, 16u);
}

TEST(SyntaxHighlighterSearch, FirstTokenEndingAfterALocation)
{
    const std::vector<SyntaxTokenSpan> tokens = {{{0, 3}, K::keyword}, {{5, 2}, K::string}, {{10, 4}, K::comment}};
    const auto index = [&](qsizetype location) { return SyntaxHighlighter::firstTokenEndingAfter(tokens, location) - tokens.begin(); };
    EXPECT_EQ(index(0), 0);
    EXPECT_EQ(index(2), 0);
    EXPECT_EQ(index(3), 1) << "a token ending at the location does not meet it";
    EXPECT_EQ(index(6), 1);
    EXPECT_EQ(index(9), 2);
    EXPECT_EQ(index(14), 3);
    const std::vector<SyntaxTokenSpan> none;
    EXPECT_EQ(SyntaxHighlighter::firstTokenEndingAfter(none, 5), none.end());
}

// An outline cut short by the token limit says so where it is listed.
TEST(SyntaxHighlighterOutline, ATruncatedOutlineSaysSoInTheOutlineMenu)
{
    test::ScopedEnvironment limit("KORIMADO_SYNTAX_TOKEN_LIMIT", QByteArray("10"));
    QString text;
    for (int i = 0; i < 30; ++i) text += QStringLiteral("# Heading %1\n").arg(i);
    KoriDocument document;
    document.storage().setString(text);
    TextStorage* storage = &document.storage();
    EditorTextView editor(document.sharedStorage());
    TextCommands commands(&editor, document);
    auto menu = std::make_shared<MenuModel>(QStringLiteral("アウトライン"));
    commands.publishedOutlineMenu = menu.get();
    SyntaxModel& model = commands.syntax();
    model.setLanguage(QStringLiteral("markdown"));

    const auto noteShown = [&] {
        for (int i = 0; i < menu->numberOfItems(); ++i) {
            if (menu->itemAt(i)->title() == SyntaxModel::truncatedOutlineNote()) return !menu->itemAt(i)->isEnabled();
        }
        return false;
    };
    ASSERT_TRUE(spinUntil(noteShown));
    EXPECT_TRUE(model.outlineWasTruncated());
    EXPECT_EQ(model.outline().size(), 10u);

    storage->replaceCharacters({0, storage->length()}, QStringLiteral("# Only\n"));
    model.schedule();
    ASSERT_TRUE(spinUntil([&] { return model.outline().size() == 1; }));
    EXPECT_FALSE(model.outlineWasTruncated());
    EXPECT_FALSE(noteShown());
}

namespace {

// One line of C with comments and strings, each holding the other's delimiters.
QString longCLine(int blocks)
{
    QString text;
    for (int n = 0; n < blocks; ++n)
        text += QStringLiteral("/* block %1 \"not a string\" */ int v%1 = %1; char *s%1 = \"a /* b */ c\"; ").arg(n);
    return text;
}

std::vector<SyntaxTokenSpan> fullParse(const QString& text, const QString& id)
{
    return SyntaxParser::parse(text, test::builtInLanguage(id), std::numeric_limits<int>::max() / 4).tokens;
}

std::vector<SyntaxTokenSpan> inside(const std::vector<SyntaxTokenSpan>& tokens, TextRange range)
{
    std::vector<SyntaxTokenSpan> found;
    for (const SyntaxTokenSpan& token : tokens)
        if (token.range.location >= range.location && token.range.end() <= range.end()) found.push_back(token);
    return found;
}

}  // namespace

TEST_F(SyntaxHighlighterTest, KeysParseOnlyAroundTheEditAndAgreeWithAFullParse)
{
    QString text = longCLine(2500);  // about 190,000 characters on one line
    open(text, QStringLiteral("c"));
    ASSERT_TRUE(parse());
    ASSERT_FALSE(model->resultWasTruncated());
    const std::uint64_t fullParses = model->parseCount();

    // Each opens or closes a comment or a string somewhere in the line, as the window reports it.
    const struct {
        double at;
        qsizetype removed;
        const char* typed;
    } edits[] = {{0.5, 0, "\""}, {0.5, 0, "x"}, {0.5, 1, ""}, {0.3, 0, "/*"}, {0.7, 0, "*/"}, {0.1, 0, "\\"}, {0.9, 2, ""}};
    for (const auto& edit : edits) {
        const qsizetype at = static_cast<qsizetype>(static_cast<double>(storage->length()) * edit.at);
        const std::uint64_t editParses = model->editParseCount();
        const std::uint64_t parses = model->parseCount();
        QElapsedTimer clock;
        clock.start();
        storage->replaceCharacters(TextRange(at, edit.removed), QString::fromLatin1(edit.typed));
        model->textDidChange();
        ASSERT_TRUE(spinUntil([&] { return model->hasCurrentTokens() && !model->tokensPending(); }, 30000));
        // Unless the machine was too slow for the pause to be a pause.
        if (clock.elapsed() < SyntaxModel::settleDelayMs) {
            EXPECT_EQ(model->parseCount(), parses) << "no full parse for a key";
        }
        EXPECT_GT(model->editParseCount(), editParses);
        ASSERT_EQ(model->tokens(), fullParse(storage->string(), QStringLiteral("c"))) << edit.typed << " at " << at;
    }
    const TextRange visible = highlighter->paintedRange();
    ASSERT_FALSE(visible.isEmpty());
    for (const SyntaxTokenSpan& token : inside(model->tokens(), visible)) {
        EXPECT_EQ(colorAt(token.range.location), expected(token.kind)) << token.range.location;
    }

    // Once the keys pause, one full parse, which changes nothing.
    const std::vector<SyntaxTokenSpan> before = model->tokens();
    ASSERT_TRUE(spinUntil([&] { return model->parseCount() > fullParses && !model->parseInFlight() && model->hasCurrentTokens(); },
                          30000));
    spinFor(50);
    EXPECT_EQ(model->tokens(), before);
}

TEST_F(SyntaxHighlighterTest, KeysInsideALongLineRecolourTheViewportAroundTheEdit)
{
    // The document's tokens stop near the start: what the view shows is parsed by the view.
    test::ScopedEnvironment limit("KORIMADO_SYNTAX_TOKEN_LIMIT", QByteArray("2000"));
    const QString text = longCLine(8000);  // about 620,000 characters
    open(text, QStringLiteral("c"));
    ASSERT_TRUE(parse());
    ASSERT_TRUE(model->resultWasTruncated());
    const qsizetype middle = text.indexOf(QStringLiteral("char"), text.size() / 2);
    editor->scrollRangeToVisible(TextRange(middle, 4));
    ASSERT_TRUE(spinUntil([&] { return highlighter->viewportRange().contains(middle) && !highlighter->viewportTokens().empty(); },
                          30000));
    const int viewportParses = highlighter->viewportParseCount();
    const std::uint64_t fullParses = model->parseCount();

    // A quote turns the strings after it inside out as far as the view's tokens reach; the letter
    // and the deletion after it turn them back.
    // On a loaded machine a check between keys may outlast the pause after which the whole
    // document is parsed: the counts below hold only when every gap was shorter.
    QElapsedTimer sinceKey;
    qint64 longestGap = 0;
    for (const QString& typed : {QStringLiteral("\""), QStringLiteral("x"), QString()}) {
        const int editParses = highlighter->viewportEditParseCount();
        if (sinceKey.isValid()) longestGap = std::max(longestGap, sinceKey.elapsed());
        if (typed.isEmpty()) storage->replaceCharacters(TextRange(middle, 2), QString());
        else storage->replaceCharacters(TextRange(middle, 0), typed);
        model->textDidChange();
        sinceKey.start();
        ASSERT_TRUE(spinUntil([&] { return highlighter->viewportEditParseCount() > editParses && !highlighter->viewportPending()
                                            && highlighter->viewportRange().contains(middle)
                                            && highlighter->paintedRange().contains(middle); }, 30000));
        spinFor(20);
        // Past the first stretch of the view's own parse, which starts where it may not know the context.
        const TextRange range = highlighter->viewportRange();
        const TextRange checked = TextRange::fromBounds(range.location + 2000, range.end() - 200);
        const std::vector<SyntaxTokenSpan> full = inside(fullParse(storage->string(), QStringLiteral("c")), checked);
        ASSERT_EQ(inside(highlighter->viewportTokens(), checked), full) << "after typing \"" << typed.toStdString() << '"';
        for (const SyntaxTokenSpan& token : inside(full, highlighter->paintedRange())) {
            ASSERT_EQ(colorAt(token.range.location), expected(token.kind)) << token.range.location;
        }
    }
    longestGap = std::max(longestGap, sinceKey.elapsed());
    if (longestGap >= SyntaxModel::settleDelayMs) GTEST_SKIP() << "a check between keys took " << longestGap << " ms";
    EXPECT_EQ(highlighter->viewportParseCount(), viewportParses) << "the view's window is not parsed whole again";
    EXPECT_LE(model->parseCount(), fullParses + 1) << "nor the document for every key";
}
