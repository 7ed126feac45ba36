#include "platform/foundation/UndoManager.h"
#include "platform/text/TextStorage.h"
#include "platform/text/TextView.h"
#include "TextViewFixture.h"
#include "platform/ui/MenuModel.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace korimado;

namespace {

class TextViewContextMenuTest : public test::TextViewFixture {
protected:
    QPoint pointAt(qsizetype index) const
    {
        const QRectF caret = view->insertionPointRect(index);
        return view->viewToViewport(QPointF(caret.left() + 1, caret.center().y())).toPoint();
    }

    struct Shown {
        QStringList titles;  // "-" for a separator, a trailing "+" when enabled
    };
    // Opens the menu as a right-click at index does (or the Menu key without one), notes what it
    // shows and chooses the item titled choose, if any.
    Shown rightClick(std::optional<qsizetype> index, const QString& choose = {})
    {
        Shown shown;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            QAction* chosen = nullptr;
            for (QAction* action : menu->actions()) {
                if (action->isSeparator()) {
                    shown.titles << QStringLiteral("-");
                    continue;
                }
                const QString title = action->text().section(QLatin1Char('\t'), 0, 0);
                shown.titles << title + (action->isEnabled() ? QStringLiteral("+") : QString());
                if (title == choose) chosen = action;
            }
            menu->close();
            if (chosen) chosen->trigger();
        });
        const QPoint local = index ? pointAt(*index) : QPoint(5, 5);
        QContextMenuEvent event(index ? QContextMenuEvent::Mouse : QContextMenuEvent::Keyboard, local,
                                view->viewport()->mapToGlobal(local));
        QApplication::sendEvent(view->viewport(), &event);
        QApplication::processEvents();
        return shown;
    }

};

}  // namespace

// The items the text view offers, validated for the view clicked; what it chooses acts there.
TEST_F(TextViewContextMenuTest, RightClickOffersTheEditingCommandsOfTheViewClicked)
{
    QGuiApplication::clipboard()->clear();
    setText(QStringLiteral("alpha beta gamma"), TextRange(6, 4));
    Shown shown = rightClick(8);  // on the selection: it stays
    EXPECT_EQ(shown.titles, (QStringList{"取り消す", "やり直す", "-", "切り取り+", "コピー+", "ペースト", "削除+", "-",
                                         "すべてを選択+"}));
    EXPECT_EQ(view->selectedRange(), TextRange(6, 4));

    rightClick(8, QStringLiteral("コピー"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("beta"));

    // Outside the selection the caret moves there first; there is nothing to copy or cut then.
    shown = rightClick(2);
    EXPECT_EQ(view->selectedRange(), TextRange(2, 0));
    EXPECT_EQ(shown.titles, (QStringList{"取り消す", "やり直す", "-", "切り取り", "コピー", "ペースト+", "削除", "-",
                                         "すべてを選択+"}));
    rightClick(2, QStringLiteral("ペースト"));
    EXPECT_EQ(storage->string(), QStringLiteral("albetapha beta gamma"));
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("ペースト"));

    // Undo from the menu, named after the step.
    shown = rightClick(0);
    EXPECT_EQ(shown.titles.first(), QStringLiteral("取り消す（ペースト）+"));
    rightClick(0, QStringLiteral("取り消す（ペースト）"));
    EXPECT_EQ(storage->string(), QStringLiteral("alpha beta gamma"));

    rightClick(0, QStringLiteral("すべてを選択"));
    EXPECT_EQ(view->selectedRange(), TextRange(0, 16));
    rightClick(3, QStringLiteral("削除"));
    EXPECT_EQ(storage->string(), QString());

    // The Menu key opens it where the caret is, without moving it.
    setText(QStringLiteral("one two"), TextRange(4, 3));
    shown = rightClick(std::nullopt, QStringLiteral("切り取り"));
    EXPECT_EQ(storage->string(), QStringLiteral("one "));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("two"));
}

TEST_F(TextViewContextMenuTest, ReadOnlyViewsOfferOnlyWhatReads)
{
    setText(QStringLiteral("read only"), TextRange(0, 4));
    view->setEditable(false);
    const Shown shown = rightClick(1);
    EXPECT_EQ(shown.titles, (QStringList{"コピー+", "-", "すべてを選択+"}));
    rightClick(1, QStringLiteral("コピー"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("read"));
}

// Text dragged in from another program goes in at the drop point as one undo step; files are
// left to the window, and a read-only view takes nothing.
TEST_F(TextViewContextMenuTest, DroppedTextGoesInAtTheDropPointAsOneStep)
{
    setText(QStringLiteral("left right"), TextRange(0, 0));
    QMimeData text;
    text.setText(QStringLiteral("middle "));
    const QPoint at = pointAt(5);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction) << "the other program keeps its text";
    EXPECT_EQ(storage->string(), QStringLiteral("left middle right"));
    EXPECT_EQ(view->selectedRange(), TextRange(5, 7));
    undo.closeAutomaticGroup();
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("ドロップ"));
    undo.undo();
    EXPECT_EQ(storage->string(), QStringLiteral("left right"));

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/etc/hostname"))});
    files.setText(QStringLiteral("/etc/hostname"));
    QDragEnterEvent fileEnter(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &fileEnter);
    EXPECT_FALSE(fileEnter.isAccepted());

    view->setEditable(false);
    QDragEnterEvent readOnly(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &readOnly);
    EXPECT_FALSE(readOnly.isAccepted());
    EXPECT_EQ(storage->string(), QStringLiteral("left right"));
}
