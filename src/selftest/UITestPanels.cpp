// A new, unsaved document: the save panel it shows is cancelled and so is the question asked on
// closing it, and nothing it holds is lost; then New and Save As through the document controller.
#include "selftest/UITestRun.h"

#include "document/KoriDocument.h"
#include "platform/documents/DocumentController.h"
#include "platform/ui/ActionDispatcher.h"
#include "platform/ui/WindowSheet.h"
#include "platform/text/TextView.h"
#include "platform/ui/WindowActions.h"
#include "selftest/SelfTestFormat.h"
#include "selftest/SelfTestFrame.h"
#include "selftest/SuiteAlertWatch.h"
#include "selftest/SuiteAwait.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace korimado {

namespace {

const QString unsavedText = QStringLiteral("未保存の日本語");
const QString savedAsText = QStringLiteral("別名保存の検査 🌸");

// Runs job from the event loop, as a menu command would: the panel or alert it shows runs its
// own loop there, which the suite's waits resume in, so the suite can answer it.
void post(std::function<void()> job)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(job), Qt::QueuedConnection);
}

bool isSavePanel(const QDialog* sheet)
{
    const auto* panel = qobject_cast<const QFileDialog*>(sheet);
    return panel && panel->acceptMode() == QFileDialog::AcceptSave;
}

// The key that presses the button, as the sheet binds it: Escape for its cancel button, Return for
// its default one, else the button's own shortcut.
QString keyEquivalent(const QDialog* sheet, const QAbstractButton* button)
{
    if (const auto* box = qobject_cast<const QMessageBox*>(sheet); box && box->escapeButton() == button)
        return QStringLiteral("\x1B");
    if (const auto* push = qobject_cast<const QPushButton*>(button); push && push->isDefault()) return QStringLiteral("\r");
    return button->shortcut().toString();
}

QString unqualifiedClassName(const QObject* object)
{
    const QString name = QString::fromLatin1(object->metaObject()->className());
    return name.mid(name.lastIndexOf(QLatin1Char(':')) + 1);
}

std::optional<QString> readUtf8(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

struct NewWindow {
    KoriDocument* document = nullptr;
    SelfTestWindow controller;
};

NewWindow windowOf(Document* document)
{
    auto* text = dynamic_cast<KoriDocument*>(document);
    if (!text || text->windowControllers().empty()) return {};
    const SelfTestWindow controller = SelfTestWindow::of(*text);
    return controller ? NewWindow{text, controller} : NewWindow{};
}

}  // namespace

SuiteTask<> UITestRun::cancelPanelsOfUntitled()
{
    auto owned = std::make_unique<KoriDocument>();
    QPointer<KoriDocument> document = owned.get();
    DocumentController::shared()->addDocument(std::move(owned));
    const SelfTestWindow controller = SelfTestWindow::open(*document);
    document->showWindows();
    QPointer<QMainWindow> window = controller.window();
    controller.textView()->insertText(unsavedText, TextRange{0, 0});
    co_await sleepFor(200);
    const auto kept = [&document] { return document && document->string() == unsavedText; };

    // The save panel and the question before closing are this phase's own dialogs.
    const SuiteAlertWatch::Expected panels;
    post([document] {
        if (document) document->saveDocumentAs();
    });
    co_await sleepFor(500);
    QDialog* sheet = WindowSheet::attached(window);
    if (isSavePanel(sheet)) {
        sheet->reject();
        co_await sleepFor(200);
        checks_.check(QStringLiteral("save panel cancellation retains unsaved text"),
                      document && document->fileURL().isEmpty() && document->isDocumentEdited() && kept());
    } else {
        checks_.check(QStringLiteral("save panel appears for untitled document"), false);
    }

    post([window] {
        if (window) ActionDispatcher::shared().sendAction(QStringLiteral("performClose:"), WindowActions::forWindow(window), nullptr, window);
    });
    co_await sleepFor(400);
    sheet = WindowSheet::attached(window);
    const auto windowVisible = [&window] { return window && window->isVisible(); };
    if (isSavePanel(sheet)) {
        sheet->reject();
        co_await sleepFor(200);
        checks_.check(QStringLiteral("close save-panel cancellation protects unsaved document"), windowVisible() && kept());
    } else if (sheet) {
        const QList<QAbstractButton*> buttons = SelfTestFrame::buttons(sheet);
        QList<QPair<QString, QString>> described;
        for (const QAbstractButton* button : buttons) described.append({button->text(), keyEquivalent(sheet, button)});
        SelfTestFrame::printLine(QStringLiteral("Close sheet ") + unqualifiedClassName(sheet) + QStringLiteral(": ")
                                 + SelfTestFormat::quotedPairs(described));
        const auto cancel = std::find_if(buttons.begin(), buttons.end(), [sheet](const QAbstractButton* button) {
            return button->text() == QLatin1String("Cancel") || button->text() == QStringLiteral("キャンセル")
                   || keyEquivalent(sheet, button) == QStringLiteral("\x1B");
        });
        if (cancel != buttons.end()) {
            (*cancel)->click();
            co_await sleepFor(200);
            checks_.check(QStringLiteral("close cancellation protects unsaved document"), windowVisible() && kept());
        } else {
            checks_.check(QStringLiteral("close warning has cancel action"), false);
        }
    } else {
        checks_.check(QStringLiteral("closing unsaved document prompts"), false);
    }

    if (document) {
        document->updateChangeCount(Document::ChangeType::cleared);
        document->close();
    }
}

SuiteTask<> UITestRun::saveNewDocumentAs()
{
    const std::vector<Document*> before = DocumentController::shared()->documents();
    post([] {
        ActionDispatcher& dispatcher = ActionDispatcher::shared();
        dispatcher.sendAction(QStringLiteral("newDocument:"), dispatcher.documentController(), nullptr);
    });
    co_await sleepFor(200);
    Document* created = nullptr;
    for (Document* document : DocumentController::shared()->documents())
        if (std::find(before.begin(), before.end(), document) == before.end()) {
            created = document;
            break;
        }
    const NewWindow fresh = windowOf(created);
    checks_.check(QStringLiteral("standard New creates KoriDocument"), fresh.document != nullptr);
    if (!fresh.document) co_return;
    QPointer<KoriDocument> document = fresh.document;
    fresh.controller.textView()->insertText(savedAsText, TextRange{0, 0});
    co_await sleepFor(200);
    if (!document) co_return;

    const QString target = SelfTestFrame::path(QStringLiteral("tests/fixtures/Korimado-saveas-")
                                               + QString::number(QCoreApplication::applicationPid()) + QStringLiteral(".txt"));
    auto saving = save(document, target, KoriDocument::plainTextType, Document::SaveOperation::saveAs);
    const std::optional<ErrorInfo> error = co_await saving;
    const std::optional<QString> written = readUtf8(target);
    checks_.check(QStringLiteral("NSDocument Save As operation writes exact owned URL"),
                  !error && written && *written == savedAsText);
    checks_.check(QStringLiteral("Save As assigns URL and clears dirty state"),
                  document && QDir::cleanPath(document->fileURL()) == QDir::cleanPath(target) && !document->isDocumentEdited());
    if (document) {
        document->updateChangeCount(Document::ChangeType::cleared);
        document->close();
    }
}

}  // namespace korimado
