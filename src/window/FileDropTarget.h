#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class QMimeData;
class QWidget;

namespace korimado {

// Files and folders dropped onto a document window open as the File menu's open opens them: each
// file in a window (or tab) of its own, a folder as a folder window. Text is the editors' to take.
class FileDropTarget : public QObject {
    Q_OBJECT

public:
    // refuses tells the points (window coordinates) where a drop of files is refused.
    FileDropTarget(QWidget* window, std::function<bool(const QPoint&)> refuses);

    // The local files and folders a drag carries; none for anything else.
    static QStringList droppedPaths(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
    std::function<bool(const QPoint&)> refuses_;
};

}  // namespace korimado
