// Whole-text tokenizing with the built-in languages.
#include "BenchSupport.h"

#include "editor/EditorTextView.h"
#include "platform/text/TextStorage.h"
#include "document/KoriDocument.h"
#include "syntax/SyntaxHighlighter.h"
#include "syntax/SyntaxModel.h"
#include "syntax/SyntaxLanguage.h"
#include "syntax/SyntaxParser.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QTimer>

#include <limits>

using namespace korimado;

namespace {

// Plausible C: functions, comments, strings, numbers and types, every block a little different.
QString generateC(qsizetype units)
{
    QString text;
    text.reserve(units + 1024);
    for (int i = 0; text.size() < units; ++i) {
        text += QStringLiteral("/* Block %1: computes the running total.\n * Second line of the comment. */\n"
                               "static int compute_%1(const Buffer *buffer, size_t count) {\n"
                               "    int total = 0; // running \"total\"\n"
                               "    for (size_t i = 0; i < count; ++i) {\n"
                               "        total += buffer->values[i] * 0x%2 + %3.5e-3;\n"
                               "        if (total > 1024) { printf(\"overflow at %zu\\n\", i); return -1; }\n"
                               "    }\n"
                               "    char c = 'x';\n"
                               "    return total + (int)c;\n"
                               "}\n\n")
                    .arg(i)
                    .arg(i % 4096, 0, 16)
                    .arg(i % 97);
    }
    text.truncate(units);
    return text;
}

QString generateMarkdown(qsizetype units)
{
    QString text;
    text.reserve(units + 1024);
    for (int i = 0; text.size() < units; ++i) {
        text += QStringLiteral("## Section %1\n\n"
                               "Some paragraph text with `inline code` and a [link](https://example.com/%1) in it, "
                               "followed by more words to fill the line.\n\n"
                               "- first item\n- second item with **bold** text\n1. numbered\n\n"
                               "> A quotation line.\n\n"
                               "```\nlet x = %1;\n```\n\n"
                               "Setext heading %1\n---------\n\n<!-- note %1 -->\n\n")
                    .arg(i);
    }
    text.truncate(units);
    return text;
}

double timeParse(const QString& text, const SyntaxLanguage& language)
{
    std::vector<double> samples;
    for (int run = 0; run < 3; ++run) {
        bench::Stopwatch watch;
        const SyntaxParser::Result result = SyntaxParser::parse(text, language, std::numeric_limits<int>::max() / 4);
        samples.push_back(watch.ms());
        if (result.tokens.empty()) std::fprintf(stderr, "no tokens\n");
    }
    return bench::percentile(samples, 50);
}

// The highlighter's full parse of a whole document: the default token limit, the outline of
// the whole text, one time budget.
double timeDefaultParse(const QString& text, const SyntaxLanguage& language, bool* truncated)
{
    std::vector<double> samples;
    for (int run = 0; run < 3; ++run) {
        bench::Stopwatch watch;
        const SyntaxParser::Result result = SyntaxParser::parse(text, language);
        samples.push_back(watch.ms());
        *truncated = result.truncated;
    }
    return bench::percentile(samples, 50);
}

const SyntaxLanguage& builtIn(const char* id)
{
    for (const SyntaxLanguage& language : SyntaxLanguage::builtIn()) {
        if (language.id == QLatin1String(id)) return language;
    }
    return SyntaxLanguage::plain();
}

bool spinUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > timeoutMs) loop.quit();
    });
    poll.start(2);
    if (!done()) loop.exec();
    return done();
}

// An edit in the middle of a 64 MiB text (32 Mi UTF-16 units) shown in an editor: once the new
// parse and its viewport parse are in, the time to colour the visible part, and the same with the
// paint of the screen that follows.
void benchVisibleHighlight(const SyntaxLanguage& c)
{
    constexpr qsizetype units = 32 * 1024 * 1024;
    KoriDocument document;
    document.storage().setString(generateC(units));
    TextStorage* storage = &document.storage();
    EditorTextView editor(document.sharedStorage());
    editor.resize(1180, 760);
    editor.show();
    SyntaxModel& model = SyntaxModel::of(document);
    model.setLanguage(c.id);
    SyntaxHighlighter highlighter(&editor, model);
    int applied = 0;
    QObject::connect(&model, &SyntaxModel::tokensChanged, [&] { ++applied; });
    const qsizetype middle = units / 2;
    editor.setSelectedRange({middle, 0});
    editor.scrollRangeToVisible({middle, 0});
    QApplication::processEvents();

    std::vector<double> colouring;
    std::vector<double> withPaint;
    QImage image(editor.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (int edit = 0; edit < 6; ++edit) {
        storage->replaceCharacters({middle, 0}, QStringLiteral("x"));
        const int before = applied;
        const int viewports = highlighter.viewportParseCount();
        model.schedule();
        if (!spinUntil([&] { return applied > before; }, 60000)) {
            std::fprintf(stderr, "no parse result\n");
            return;
        }
        if (model.resultWasTruncated()
            && !spinUntil([&] { return highlighter.viewportParseCount() > viewports && highlighter.viewportRange().contains(middle)
                                       && !highlighter.viewportTokens().empty(); }, 60000)) {
            std::fprintf(stderr, "no viewport result\n");
            return;
        }
        spinUntil([] { return false; }, 50);
        bench::Stopwatch watch;
        highlighter.applyVisibleTokens();
        colouring.push_back(watch.ms());
        editor.viewport()->render(&image);
        withPaint.push_back(watch.ms());
    }
    if (highlighter.paintedRange().isEmpty()) std::fprintf(stderr, "nothing painted\n");
    bench::report("visible_highlight_ms", bench::percentile(colouring, 50));
    bench::report("visible_highlight_with_paint_ms", bench::percentile(withPaint, 50));
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr qsizetype mib = 1024 * 1024;
    const SyntaxLanguage& c = builtIn("c");
    bench::report("parse_c_1mib_ms", timeParse(generateC(mib), c));
    bench::report("parse_c_10mib_ms", timeParse(generateC(10 * mib), c));
    bench::report("parse_markdown_10mib_ms", timeParse(generateMarkdown(10 * mib), builtIn("markdown")));
    {
        bool truncated = false;
        bench::report("parse_c_64mib_default_limit_ms", timeDefaultParse(generateC(64 * mib / 2), c, &truncated));
        if (!truncated) std::fprintf(stderr, "the 64 MiB parse was not cut short by the token limit\n");
    }
    benchVisibleHighlight(c);
    return 0;
}
