// The text view's own context menu: the editing commands, aimed at the view that was clicked.

#include "platform/text/TextView.h"

#include "platform/foundation/UndoManager.h"
#include "platform/ui/MenuBinder.h"
#include "platform/ui/MenuModel.h"

#include <QContextMenuEvent>
#include <QScrollBar>

namespace korimado {

std::shared_ptr<MenuModel> TextView::contextMenu()
{
    auto menu = std::make_shared<MenuModel>(QStringLiteral("テキスト"));
    const auto add = [&](const QString& title, const char* action, const QString& key = {},
                         KeyModifiers modifiers = KeyModifier::Command) {
        MenuItem* item = menu->addItem(title, QString::fromLatin1(action), key);
        item->setKeyEquivalentModifierMask(modifiers);
        item->setTarget(this);
    };
    // A read-only view offers only what reads its text.
    if (editable_) {
        const UndoManager* manager = undoManager();
        add(manager ? manager->undoMenuItemTitle() : QStringLiteral("取り消す"), "undo:", QStringLiteral("z"));
        add(manager ? manager->redoMenuItemTitle() : QStringLiteral("やり直す"), "redo:", QStringLiteral("z"),
            KeyModifier::Command | KeyModifier::Shift);
        menu->addSeparator();
        add(QStringLiteral("切り取り"), "cut:", QStringLiteral("x"));
    }
    add(QStringLiteral("コピー"), "copy:", QStringLiteral("c"));
    if (editable_) {
        add(QStringLiteral("ペースト"), "paste:", QStringLiteral("v"));
        add(QStringLiteral("削除"), "delete:");
    }
    menu->addSeparator();
    add(QStringLiteral("すべてを選択"), "selectAll:", QStringLiteral("a"));
    return menu;
}

void TextView::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    if (!selectable_) return;
    QPoint at = event->globalPos();
    if (event->reason() == QContextMenuEvent::Mouse) {
        // A right-click on the selection acts on it; anywhere else it moves the caret there first.
        const qsizetype index = characterIndexForInsertion(viewportToView(QPointF(event->pos())));
        bool onSelection = false;
        for (TextRange r : selectedRanges())
            onSelection = onSelection || (r.length > 0 && index >= r.location && index <= r.end());
        if (!onSelection) {
            if (hasMarkedText()) unmarkText();
            setSelectedRange(TextRange(index, 0));
        }
    } else {
        // The Menu key opens it at the caret.
        const QRectF caret = insertionPointRect(selectedRange().location);
        const QPointF corner = viewToViewport(caret.bottomLeft());
        if (viewport()->rect().contains(corner.toPoint())) at = viewport()->mapToGlobal(corner.toPoint());
    }
    setFocus(Qt::PopupFocusReason);
    MenuBinder::shared().popUp(contextMenu(), this, at);
}

}  // namespace korimado
