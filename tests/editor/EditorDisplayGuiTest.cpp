// A typed character in a window that is never put on screen reaches its backing store only with
// "display if needed", and then only its own row: how the self-tests time a keystroke's paint.

#include "document/LineIndex.h"
#include "editor/EditorTextView.h"
#include "editor/LineNumberRuler.h"
#include "platform/foundation/UndoManager.h"
#include "platform/text/LayoutManager.h"
#include "platform/text/TextStorage.h"
#include "platform/ui/WindowDisplay.h"
#include "support/PaintRecorder.h"

#include <gtest/gtest.h>

#include <QBackingStore>
#include <QFontDatabase>
#include <QImage>
#include <QWidget>
#include <QtMath>

#include <memory>

using namespace korimado;
using korimado::test::PaintRecorder;

namespace {

// A copy of what the window's backing store holds over a widget.
QImage stored(QWidget* widget)
{
    QPaintDevice* device = widget->window()->backingStore()->paintDevice();
    if (device->devType() != QInternal::Image) return {};
    const auto* image = static_cast<const QImage*>(device);
    const QRect area(widget->mapTo(widget->window(), QPoint(0, 0)) * image->devicePixelRatio(),
                     widget->size() * image->devicePixelRatio());
    return image->copy(area).convertToFormat(QImage::Format_RGB32);
}

}  // namespace

TEST(EditorDisplayTest, DisplayIfNeededPaintsTheTypedRowOfAWindowKeptOffScreen)
{
    auto storage = std::make_shared<TextStorage>();
    QString lines;
    for (int i = 0; i < 40; ++i) lines += QStringLiteral("line %1 of text\n").arg(i);
    storage->setString(lines);
    UndoManager undo;
    QWidget window;
    window.resize(520, 400);
    auto* editor = new EditorTextView(storage, &window);
    editor->setUndoManager(&undo);
    editor->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    editor->setGeometry(0, 0, 520, 400);
    new LineNumberRuler(editor, std::make_shared<LineIndex>(storage));
    editor->setRulersVisible(true);
    editor->setSelectedRange({storage->lines().start(5) + 2, 0});

    WindowDisplay::keepOffScreen(&window);
    PaintRecorder text(editor->viewport());
    PaintRecorder ruler(editor->findChild<LineNumberRuler*>());
    WindowDisplay::displayIfNeeded(&window);
    EXPECT_EQ(text.painted.boundingRect(), editor->viewport()->rect()) << "the first display is whole";
    ASSERT_FALSE(stored(editor->viewport()).isNull());

    const QImage before = stored(editor->viewport());
    text.painted = ruler.painted = QRegion();
    editor->insertText(QStringLiteral("WWWW"), TextRange{storage->lines().start(5) + 2, 0});
    EXPECT_TRUE(text.painted.isEmpty()) << "the edit only marks what needs painting";

    WindowDisplay::displayIfNeeded(&window);
    const int row = qCeil(editor->layoutManager()->rowHeight());
    const QRect rowPainted = text.painted.boundingRect();
    EXPECT_FALSE(rowPainted.isEmpty());
    EXPECT_LE(rowPainted.height(), row + 4);
    EXPECT_GT(rowPainted.top(), row * 4);
    EXPECT_TRUE(ruler.painted.isEmpty()) << "no number moved";
    const QImage after = stored(editor->viewport());
    EXPECT_NE(after.copy(rowPainted), before.copy(rowPainted)) << "the new glyphs are in the backing store";
    EXPECT_EQ(after.copy(0, 0, after.width(), rowPainted.top()), before.copy(0, 0, before.width(), rowPainted.top()));

    text.painted = QRegion();
    WindowDisplay::displayIfNeeded(&window);
    EXPECT_TRUE(text.painted.isEmpty()) << "nothing left pending";
}
