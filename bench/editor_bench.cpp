// The editor against QPlainTextEdit on a 64 MiB text and a 5 MB single line: open to first paint,
// peak memory, paint of a screen in the middle, and typing. Each case runs in a child process so
// that each peak memory figure is its own.
#include "BenchSupport.h"

#include "document/LineIndex.h"
#include "editor/EditorTextView.h"
#include "editor/LineNumberRuler.h"
#include "platform/text/LayoutManager.h"
#include "platform/text/TextStorage.h"
#include "platform/foundation/UndoManager.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTextBlock>

#include <cstring>

using namespace korimado;
using namespace korimado::bench;

namespace {

constexpr int Width = 1180;
constexpr int Height = 760;
constexpr int Keystrokes = 200;

// Paints a widget now, into an image of its size: the same paint event the screen would get.
void paintNow(QWidget* widget)
{
    static QImage image;
    if (image.size() != widget->size()) image = QImage(widget->size(), QImage::Format_ARGB32_Premultiplied);
    widget->render(&image);
}

QString benchText(bool singleLine)
{
    if (!singleLine) return generateMixedText(32 * 1024 * 1024);
    // About 5 MB of UTF-8 without a line break.
    QString text = generateMixedText(3 * 1024 * 1024);
    text.replace(QChar(u'\n'), QChar(u' '));
    qsizetype bytes = 0;
    qsizetype i = 0;
    for (; i < text.size() && bytes < 5'000'000; ++i) {
        const char16_t c = text.at(i).unicode();
        bytes += c < 0x80 ? 1 : (c < 0x800 ? 2 : (QChar::isSurrogate(c) ? 2 : 3));
    }
    text.truncate(i);
    return text;
}

struct Figures {
    QString suffix;
    QString prefix;
    void operator()(const char* name, double value) const
    {
        report(QString(prefix + name + suffix).toUtf8().constData(), value);
    }
};

// Resident memory now, in MiB: what the process holds before the text comes in.
double currentRssMb()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

double median(std::vector<double> v)
{
    return percentile(std::move(v), 50);
}

void runEditor(bool singleLine, const Figures& figure)
{
    figure("rss_before_text_mb", currentRssMb());
    QString text = benchText(singleLine);
    Stopwatch open;
    auto storage = std::make_shared<TextStorage>(text);
    text = QString();  // the document keeps only the storage
    UndoManager undo;
    EditorTextView view(storage);
    view.setUndoManager(&undo);
    view.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    new LineNumberRuler(&view, std::make_shared<LineIndex>(storage));
    view.setRulersVisible(true);
    view.resize(Width, Height);
    view.show();
    QImage first = view.grab().toImage();
    figure("open_to_first_paint_ms", open.ms());

    auto paintScreen = [&] {
        Stopwatch s;
        paintNow(view.viewport());
        return s.ms();
    };
    for (bool wraps : {false, true}) {
        view.setWrapsLines(wraps);
        QCoreApplication::processEvents();
        QScrollBar* bar = singleLine && !wraps ? view.horizontalScrollBar() : view.verticalScrollBar();
        Stopwatch cold;
        bar->setValue(bar->maximum() / 2);
        paintNow(view.viewport());
        const double coldMs = cold.ms();
        std::vector<double> warm;
        for (int i = 0; i < 20; ++i) warm.push_back(paintScreen());
        figure(wraps ? "paint_wrapped_ms" : "paint_unwrapped_ms", coldMs);
        figure(wraps ? "paint_wrapped_warm_ms" : "paint_unwrapped_warm_ms", median(warm));
    }

    // Typing in the middle of the text, unwrapped, at the caret shown on screen.
    view.setWrapsLines(false);
    const qsizetype middle = storage->length() / 2;
    view.setSelectedRange(TextRange(middle, 0));
    view.scrollRangeToVisible(TextRange(middle, 0));
    QCoreApplication::processEvents();
    paintNow(view.viewport());
    std::vector<double> keys;
    for (int i = 0; i < Keystrokes; ++i) {
        Stopwatch s;
        view.insertText(QStringLiteral("x"));
        paintNow(view.viewport());
        keys.push_back(s.ms());
        undo.closeAutomaticGroup();
    }
    figure("keystroke_p50_ms", percentile(keys, 50));
    figure("keystroke_p95_ms", percentile(keys, 95));
    figure("keystroke_max_ms", percentile(keys, 100));

    figure("peak_rss_mb", peakRssMb());
}

void runBaseline(bool singleLine, const Figures& figure)
{
    figure("rss_before_text_mb", currentRssMb());
    QString text = benchText(singleLine);
    Stopwatch open;
    QPlainTextEdit edit;
    edit.setLineWrapMode(QPlainTextEdit::NoWrap);
    edit.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    edit.setPlainText(text);
    text = QString();
    edit.resize(Width, Height);
    edit.show();
    QImage first = edit.grab().toImage();
    figure("open_to_first_paint_ms", open.ms());

    for (bool wraps : {false, true}) {
        edit.setLineWrapMode(wraps ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
        QCoreApplication::processEvents();
        QScrollBar* bar = singleLine && !wraps ? edit.horizontalScrollBar() : edit.verticalScrollBar();
        Stopwatch cold;
        bar->setValue(bar->maximum() / 2);
        paintNow(edit.viewport());
        const double coldMs = cold.ms();
        std::vector<double> warm;
        for (int i = 0; i < 20; ++i) {
            Stopwatch s;
            paintNow(edit.viewport());
            warm.push_back(s.ms());
        }
        figure(wraps ? "paint_wrapped_ms" : "paint_unwrapped_ms", coldMs);
        figure(wraps ? "paint_wrapped_warm_ms" : "paint_unwrapped_warm_ms", median(warm));
    }

    edit.setLineWrapMode(QPlainTextEdit::NoWrap);
    QTextCursor cursor = edit.textCursor();
    cursor.setPosition(static_cast<int>(edit.document()->characterCount() / 2));
    edit.setTextCursor(cursor);
    edit.ensureCursorVisible();
    QCoreApplication::processEvents();
    paintNow(edit.viewport());
    std::vector<double> keys;
    for (int i = 0; i < Keystrokes; ++i) {
        Stopwatch s;
        edit.insertPlainText(QStringLiteral("x"));
        paintNow(edit.viewport());
        keys.push_back(s.ms());
    }
    figure("keystroke_p50_ms", percentile(keys, 50));
    figure("keystroke_p95_ms", percentile(keys, 95));
    figure("keystroke_max_ms", percentile(keys, 100));
    figure("peak_rss_mb", peakRssMb());
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::strcmp(argv[1], "--case") == 0) {
        QApplication app(argc, argv);
        const QString which = QString::fromLatin1(argv[2]);
        const bool single = which.endsWith("single");
        Figures figure{single ? "_single_line" : "", which.startsWith("baseline") ? "baseline_" : ""};
        if (which.startsWith("baseline")) runBaseline(single, figure);
        else runEditor(single, figure);
        return 0;
    }
    // One child per case, so that every peak is its own; their lines are passed through. Each
    // case has a time limit: QPlainTextEdit never finishes laying out the single line, and a peer
    // that cannot finish is reported as such, not as a failed benchmark.
    QCoreApplication app(argc, argv);
    const int limitSeconds = qEnvironmentVariableIntValue("EDITOR_BENCH_CASE_LIMIT_S") > 0
        ? qEnvironmentVariableIntValue("EDITOR_BENCH_CASE_LIMIT_S")
        : 180;
    int status = 0;
    for (const char* which : {"editor", "editor-single", "baseline", "baseline-single"}) {
        const bool peer = std::strncmp(which, "baseline", 8) == 0;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {"--case", which});
        const bool finished = child.waitForFinished(limitSeconds * 1000);
        if (!finished) {
            child.kill();
            child.waitForFinished(-1);
        }
        std::fputs(child.readAllStandardOutput().constData(), stdout);
        if (!finished) std::printf("# %s: did not finish within %d s\n", which, limitSeconds);
        std::fflush(stdout);
        const bool failed = !finished || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0;
        if (failed && !peer) status = 1;
    }
    return status;
}
