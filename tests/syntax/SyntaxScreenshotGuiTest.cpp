// Opens a Swift and a Markdown file in the real document window, waits for the colours and keeps a
// picture of each window in the build folder.
#include "syntax/SyntaxHighlighter.h"

#include "support/TestSupport.h"
#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/ErrorInfo.h"
#include "theme/EditorTheme.h"
#include "window/EditorWindowController.h"

#include <QDir>
#include <QImage>
#include <QMainWindow>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

using namespace korimado;

namespace {

// Pixels of the editor drawn within a small distance of colour.
int pixelsNear(const QImage& image, const QColor& colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            const int distance = std::abs(qRed(p) - colour.red()) + std::abs(qGreen(p) - colour.green())
                               + std::abs(qBlue(p) - colour.blue());
            if (distance < 40) ++count;
        }
    }
    return count;
}

void captureColouredWindow(const QString& name, const QString& text, SyntaxTokenKind kind, const QString& picture)
{
    test::TempDir dir;
    const QString path = dir.write(name, text.toUtf8());
    KoriDocument document;
    ErrorInfo error;
    ASSERT_TRUE(document.readFromURL(path, KoriDocument::plainTextType, &error));
    document.setFileURL(path);
    EditorWindowController window(document);
    window.showWindow();
    window.showEdit();
    window.window()->resize(900, 560);

    SyntaxHighlighter& highlighter = window.commands().syntaxHighlighter();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !highlighter.paintedRange().isEmpty(); }, 10000)) << name.toStdString();
    QTest::qWait(100);  // let the window settle at its size and paint

    const QColor expected = SyntaxHighlighter::color(kind, EditorTheme::current());
    const QImage editor = window.textView()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(pixelsNear(editor, expected), 20) << "no " << rawValue(kind).toStdString() << " colour on screen";
    EXPECT_NE(expected, window.textView()->textColor());

    const QPixmap image = window.window()->grab();
    const QString target = QDir::cleanPath(QStringLiteral(QT_TESTCASE_BUILDDIR "/../") + picture);
    EXPECT_TRUE(image.save(target, "PNG")) << target.toStdString();
}

}  // namespace

TEST(SyntaxScreenshot, SwiftAndMarkdownWindowsShowTheirColours)
{
    captureColouredWindow(QStringLiteral("Sample.swift"),
                          QStringLiteral("import Foundation\n\n"
                                         "/// Keeps the running total of a list of numbers.\n"
                                         "struct Tally {\n"
                                         "    private(set) var total: Int = 0\n\n"
                                         "    mutating func add(_ values: [Int]) -> Int {\n"
                                         "        for value in values where value > 0 {\n"
                                         "            total += value * 2  // doubled\n"
                                         "        }\n"
                                         "        print(\"total: \\(total)\")\n"
                                         "        return total\n"
                                         "    }\n"
                                         "}\n\n"
                                         "let tally = Tally()\n"),
                          SyntaxTokenKind::keyword, QStringLiteral("syntax-swift.png"));
    captureColouredWindow(QStringLiteral("README.md"),
                          QStringLiteral("# Korimado\n\n"
                                         "A text editor with **syntax colours** and `inline code`.\n\n"
                                         "## Features\n\n"
                                         "- Highlighting of [links](https://example.com)\n"
                                         "- An outline of every heading\n\n"
                                         "> A quotation.\n\n"
                                         "```\nlet x = 1\n```\n\n"
                                         "<!-- a comment -->\n"),
                          SyntaxTokenKind::heading, QStringLiteral("syntax-markdown.png"));
}
