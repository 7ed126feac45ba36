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

    // Quitting as the menu does: every document closes first, the unsaved one asking, and the
    // answer "don't save" lets it go.
    alerts.enqueueAnswer(2);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(20000);
    QTimer::singleShot(0, qApp, [] { ActionDispatcher::shared().sendAction(QStringLiteral("terminate:"), nullptr, nullptr); });
    EXPECT_EQ(QApplication::exec(), 0);
    guard.stop();
    ASSERT_EQ(alerts.shown().size(), 1);
    EXPECT_EQ(alerts.shown()[0].buttons.value(2), QStringLiteral("保存しない"));
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
