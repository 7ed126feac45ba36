// Quitting while windows, documents and a loaded preview are still open: the program ends its
// event loop and then drops its delegate before the application, as main() does.
#include "support/AppFixture.h"
#include "support/TestSupport.h"

#include "editor/EditorTextView.h"
#include "preview/PreviewWebView.h"

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

namespace korimado::test {
namespace {

class ApplicationQuitTest : public AppFixture {};

TEST_F(ApplicationQuitTest, QuittingWithWindowsDocumentsAndAPreviewOpenFreesThemOnce)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString notes = folder.filePath(QStringLiteral("notes.md"));
    QFile file(notes);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# 見出し\n\n本文と[リンク](https://example.invalid/)。\n");
    file.close();

    launch();
    delegate->openFiles({notes});
    ASSERT_TRUE(spinUntil([&] { return lastController() != nullptr; }));
    EditorWindowController* markdown = lastController();
    markdown->setMode(EditorWindowController::Mode::split);
    ASSERT_TRUE(spinUntil([&] { return markdown->renderCount() > 0; }, 30000)) << "the preview page loaded";
    ASSERT_TRUE(markdown->web()->hasEngine());

    EditorWindowController* untitled = openWindow();
    ASSERT_NE(untitled, nullptr);
    untitled->textView()->insertText(QStringLiteral("未保存の文字"));

    QPointer<QWidget> markdownWindow = markdown->window();
    QPointer<QWidget> untitledWindow = untitled->window();
    QPointer<PreviewWebView> preview = markdown->web();
    QPointer<Document> opened = delegate->documents().documents().front();

    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    EXPECT_EQ(QApplication::exec(), 0);
    delegate.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();

    EXPECT_TRUE(markdownWindow.isNull());
    EXPECT_TRUE(untitledWindow.isNull());
    EXPECT_TRUE(preview.isNull());
    EXPECT_TRUE(opened.isNull());
}

}  // namespace
}  // namespace korimado::test
