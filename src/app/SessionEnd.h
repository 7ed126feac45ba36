#pragma once

#include "platform/foundation/ErrorInfo.h"
#include "platform/foundation/TerminationSignals.h"

#include <QObject>

#include <functional>

class QSessionManager;

namespace korimado {

class DocumentController;

// The end of the user's session (logout, shutdown) and the signals that end the program (SIGTERM,
// SIGHUP): every document's unsaved changes go to its autosave at once, and the program ends
// without a question. The next start offers them back.
class SessionEnd : public QObject {
    Q_OBJECT

public:
    // beforeImmediateExit: what must still happen when the program cannot unwind (a dialog's
    // loop is running) and ends on the spot.
    explicit SessionEnd(DocumentController& documents, std::function<void()> beforeImmediateExit = {});

    // Writes the autosave of every document whose text is ahead of it. False when one could not
    // be written; error then says which and why.
    static bool preserveEdits(DocumentController& documents, ErrorInfo* error);

    // Whether the program is on its way out: the event loop is not to be started again.
    bool isEnding() const { return ending_; }
    bool watchesSignals() const { return signals_.isWatching(); }

private:
    void commitData(QSessionManager& manager);
    void end();

    DocumentController& documents_;
    std::function<void()> beforeImmediateExit_;
    TerminationSignals signals_;
    bool ending_ = false;
};

}  // namespace korimado
