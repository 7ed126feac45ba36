#include "window/FileDropTarget.h"

#include "platform/documents/DocumentController.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace korimado {

FileDropTarget::FileDropTarget(QWidget* window, std::function<bool(const QPoint&)> refuses)
    : QObject(window), window_(window), refuses_(std::move(refuses))
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

QStringList FileDropTarget::droppedPaths(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && QFileInfo::exists(url.toLocalFile())) paths.append(url.toLocalFile());
    return paths;
}

bool FileDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_) return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (droppedPaths(drag->mimeData()).isEmpty() || (refuses_ && refuses_(drag->position().toPoint()))) {
            drag->ignore();
        } else {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList paths = droppedPaths(drop->mimeData());
        DocumentController* documents = DocumentController::shared();
        if (paths.isEmpty() || !documents || (refuses_ && refuses_(drop->position().toPoint()))) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        for (const QString& path : paths) {
            documents->openDocument(path, true, [documents](Document*, bool, std::optional<ErrorInfo> error) {
                if (error) documents->presentError(*error);
            });
        }
        return true;
    }
    default:
        return false;
    }
}

}  // namespace korimado
