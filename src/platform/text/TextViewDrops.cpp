// Text dragged in from another program: inserted at the drop point through the edit door, one
// undo step. Files are not text: a drop of files is left to the window, which opens them.

#include "platform/text/TextView.h"

#include "platform/text/LayoutManager.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace korimado {

namespace {

bool carriesFiles(const QMimeData* data)
{
    if (!data || !data->hasUrls()) return false;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return true;
    return false;
}

}  // namespace

bool TextView::acceptsTextDrop(const QMimeData* data) const
{
    return editable_ && data && data->hasText() && !carriesFiles(data);
}

void TextView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!acceptsTextDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TextView::dragMoveEvent(QDragMoveEvent* event)
{
    if (!acceptsTextDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TextView::dropEvent(QDropEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (!acceptsTextDrop(data)) {
        event->ignore();
        return;
    }
    if (hasMarkedText()) unmarkText();
    const qsizetype at = characterIndexForInsertion(viewportToView(event->position()));
    const QString text = data->text();
    // The dropped text ends selected, as a drop does in text views.
    const QVector<TextRange> after{TextRange(at, text.size())};
    if (replaceRanges({TextRange(at, 0)}, {text}, QStringLiteral("ドロップ"), &after)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
        setFocus(Qt::OtherFocusReason);
    } else {
        event->ignore();
    }
}

}  // namespace korimado
