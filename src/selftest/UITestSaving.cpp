// Saving the sample: Save As to a new file, the standard Save after a further edit, and the
// byte-order-mark option as an undoable change of the edited state.
#include "selftest/UITestRun.h"

#include "document/CodecError.h"
#include "document/KoriDocument.h"
#include "platform/foundation/UndoManager.h"
#include "platform/text/TextView.h"
#include "selftest/SelfTestFrame.h"
#include "selftest/SuiteAwait.h"

#include <QFile>

namespace korimado {

namespace {

const QString outputPath = QStringLiteral("tests/fixtures/Korimado-ui-output.md");

std::optional<QString> readUtf8(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return std::nullopt;
    }
    return QString::fromUtf8(file.readAll());
}

}  // namespace

SuiteTask<bool> UITestRun::saveSample()
{
    if (!sample_ || !sampleView_) {
        harnessError(sampleClosedMessage);
        co_return false;
    }
    const QString output = SelfTestFrame::path(outputPath);
    // Awaitables are named before they are awaited (see SuiteTask.h).
    auto saving = save(sample_, output, KoriDocument::plainTextType, Document::SaveOperation::saveAs);
    const std::optional<ErrorInfo> saveError = co_await saving;
    QString readError;
    std::optional<QString> written = readUtf8(output, &readError);
    if (!written) {
        harnessError(readError);
        co_return false;
    }
    checks_.check(QStringLiteral("real saved bytes preserve edits"), !saveError && *written == sampleText());

    sampleView_->insertText(QStringLiteral("\n保存確認"), TextRange{sampleView_->textLength(), 0});
    // From the event loop, as the menu command runs: an error it presents never blocks the suite.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [document = sample_] {
            if (document) document->saveDocument();
        },
        Qt::QueuedConnection);
    co_await sleepFor(500);
    written = readUtf8(output, &readError);
    if (!written || !sample_) {
        harnessError(written ? sampleClosedMessage : readError);
        co_return false;
    }
    checks_.check(QStringLiteral("standard Save writes file and clears edited state"),
                  *written == sampleText() && !sample_->isDocumentEdited());

    sampleView_->breakUndoCoalescing();
    UndoManager* undo = sample_->undoManager();
    undo->removeAllActions();
    TextFormat withMark = sample_->format();
    withMark.bom = true;
    undo->beginUndoGrouping();
    try {
        sample_->changeFormat(withMark);
    } catch (const CodecError& error) {
        undo->endUndoGrouping();
        harnessError(error.errorDescription());
        co_return false;
    }
    undo->endUndoGrouping();
    checks_.check(QStringLiteral("encoding option marks edited state"), sample_->isDocumentEdited() && sample_->format().bom);
    undo->undo();
    checks_.check(QStringLiteral("encoding option Undo restores clean state"),
                  !sample_->isDocumentEdited() && !sample_->format().bom);
    co_return true;
}

}  // namespace korimado
