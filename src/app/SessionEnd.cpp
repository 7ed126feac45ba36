#include "app/SessionEnd.h"

#include "platform/documents/Document.h"
#include "platform/documents/DocumentController.h"

#include <QApplication>
#include <QPointer>
#include <QSessionManager>
#include <QThread>
#include <QTimer>

#include <cstdio>

#include <unistd.h>

namespace korimado {

SessionEnd::SessionEnd(DocumentController& documents, std::function<void()> beforeImmediateExit)
    : documents_(documents), beforeImmediateExit_(std::move(beforeImmediateExit))
{
    connect(&signals_, &TerminationSignals::received, this, [this](int) { end(); });
    // Direct: the session manager waits for the answer inside this call.
    connect(qApp, &QGuiApplication::commitDataRequest, this, &SessionEnd::commitData, Qt::DirectConnection);
}

bool SessionEnd::preserveEdits(DocumentController& documents, ErrorInfo* error)
{
    bool all = true;
    const std::vector<Document*> open = documents.documents();
    for (Document* document : open) {
        ErrorInfo failure;
        if (!document->autosave(&failure) && std::exchange(all, false) && error)
            *error = failure;
    }
    return all;
}

void SessionEnd::commitData(QSessionManager& manager)
{
    ErrorInfo error;
    if (!preserveEdits(documents_, &error) && manager.allowsErrorInteraction()) {
        // What could not be kept is lost with the session: the user saves it by hand first.
        manager.cancel();
        QTimer::singleShot(0, this, [documents = QPointer<DocumentController>(&documents_), error] {
            if (documents)
                documents->presentError(error);
        });
        return;
    }
    end();
}

void SessionEnd::end()
{
    if (std::exchange(ending_, true))
        return;
    ErrorInfo ignored;  // nobody is left to tell: what could be written is
    preserveEdits(documents_, &ignored);
    // A dialog's own loop, left, would answer its question with its first button: save, discard.
    const bool insideDialog = QThread::currentThread()->loopLevel() > 1 || QApplication::activeModalWidget()
                              || QApplication::activePopupWidget();
    if (!insideDialog) {
        QCoreApplication::exit(0);
        return;
    }
    if (beforeImmediateExit_)
        beforeImmediateExit_();
    std::fflush(nullptr);
    ::_exit(0);
}

}  // namespace korimado
