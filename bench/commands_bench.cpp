// The text commands on a 1,000,000-line text with every line selected: each figure covers the
// transform, the one multi-range replace and its undo registration, as the menu runs it. For
// scale, the same text sorted by the system's sort(1) with LC_ALL=C.
#include "BenchSupport.h"

#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/UndoManager.h"
#include "platform/ui/MenuModel.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>

using namespace korimado;
using namespace korimado::bench;

namespace {

constexpr int Lines = 1'000'000;

// About 40 bytes of UTF-8 a line: a sort key, Japanese, half-width kana, full-width letters.
QString benchText()
{
    QRandomGenerator random(20240601);
    QString text;
    text.reserve(Lines * 28);
    for (int i = 0; i < Lines; ++i) {
        const quint32 key = random.bounded(600'000u);  // some lines repeat
        text += QString::number(key).rightJustified(8, u'0');
        text += QStringLiteral(" 日本 ｶﾅ ＡＢ item");
        text += QString::number(i % 1000);
        text += u'\n';
    }
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    report("load_average_1m", loadAverage());

    const QString text = benchText();
    KoriDocument document;
    document.storage().setString(text);
    EditorTextView editor(document.sharedStorage());
    editor.setUndoManager(document.undoManager());
    TextCommands commands(&editor, document);
    MenuItem swift;
    swift.setRepresentedObject(QStringLiteral("swift"));
    commands.perform(QStringLiteral("changeSyntax:"), &swift);
    UndoManager& undo = *document.undoManager();

    // Arguments, when given, pick the figures to take by part of their name (for perf record).
    const QStringList only = app.arguments().mid(1);
    const auto run = [&](const char* name, const char* action, bool reportUndo = false) {
        if (!only.isEmpty() && std::none_of(only.begin(), only.end(), [&](const QString& part) {
                return QString::fromLatin1(name).contains(part);
            }))
            return;
        editor.setSelectedRange({0, editor.textLength()});
        Stopwatch watch;
        commands.perform(QString::fromLatin1(action), nullptr);
        report(name, watch.ms());
        if (editor.string() == text) std::fprintf(stderr, "%s changed nothing\n", action);
        Stopwatch undoWatch;
        undo.undo();
        if (reportUndo) report((std::string("undo_") + name).c_str(), undoWatch.ms());
        if (editor.textLength() != text.size()) std::fprintf(stderr, "undo of %s did not restore the text\n", action);
    };
    run("sort_lines_ms", "sortLinesAscending:", true);
    run("dedupe_lines_ms", "deleteDuplicateLines:");
    run("toggle_comment_ms", "toggleComment:");
    run("uppercase_ms", "uppercase:");
    run("fullwidth_to_halfwidth_ms", "halfWidth:");

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lines.txt"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        const QByteArray bytes = text.toUtf8();
        file.write(bytes);
        file.close();
        report("text_mb", bytes.size() / 1e6);
        QProcess sort;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        sort.setProcessEnvironment(environment);
        Stopwatch watch;
        sort.start(QStringLiteral("sort"), {path, QStringLiteral("-o"), QStringLiteral("/dev/null")});
        if (sort.waitForFinished(120'000) && sort.exitCode() == 0) report("sort_coreutils_ms", watch.ms());
    }
    report("peak_rss_mb", peakRssMb());
    return 0;
}
