#include "selftest/SelfTestWindow.h"

#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "window/DetailPane.h"
#include "window/EditorWindowController.h"

#include <QLabel>

namespace korimado {

namespace {

EditorWindowController* controllerOf(const QPointer<QObject>& object)
{
    return static_cast<EditorWindowController*>(object.data());
}

}  // namespace

SelfTestWindow::SelfTestWindow(EditorWindowController* controller) : controller_(controller) {}

EditorWindowController* SelfTestWindow::controller() const { return controllerOf(controller_); }

SelfTestWindow SelfTestWindow::of(const KoriDocument& document)
{
    for (const auto& controller : document.windowControllers())
        if (auto* window = dynamic_cast<EditorWindowController*>(controller.get())) return SelfTestWindow(window);
    return {};
}

SelfTestWindow SelfTestWindow::open(KoriDocument& document)
{
    return SelfTestWindow(static_cast<EditorWindowController*>(
        document.addWindowController(std::make_unique<EditorWindowController>(document))));
}

QMainWindow* SelfTestWindow::window() const
{
    EditorWindowController* controller = controllerOf(controller_);
    return controller ? controller->window() : nullptr;
}

KoriDocument* SelfTestWindow::document() const
{
    EditorWindowController* controller = controllerOf(controller_);
    return controller ? controller->document() : nullptr;
}

EditorHost* SelfTestWindow::editors() const { return controllerOf(controller_); }

TextView* SelfTestWindow::textView() const
{
    EditorWindowController* controller = controllerOf(controller_);
    return controller ? controller->textView() : nullptr;
}

void SelfTestWindow::makeFirstResponder(QWidget* widget) const
{
    if (EditorWindowController* controller = controllerOf(controller_)) controller->makeFirstResponder(widget);
}

SelfTestWindow::Mode SelfTestWindow::mode() const
{
    EditorWindowController* controller = controllerOf(controller_);
    return controller ? Mode(int(controller->mode())) : Mode::edit;
}

void SelfTestWindow::setMode(Mode mode) const
{
    if (EditorWindowController* controller = controllerOf(controller_))
        controller->setMode(EditorWindowController::Mode(int(mode)));
}

bool SelfTestWindow::isFileTreeHidden() const
{
    EditorWindowController* controller = controllerOf(controller_);
    return !controller || controller->isFileTreeHidden();
}

PreviewWebView* SelfTestWindow::web() const
{
    EditorWindowController* controller = controllerOf(controller_);
    return controller ? controller->web() : nullptr;
}

std::optional<std::uint64_t> SelfTestWindow::previewRevision() const
{
    EditorWindowController* controller = controllerOf(controller_);
    return controller ? controller->previewRevision() : std::nullopt;
}

qint64 SelfTestWindow::renderCount() const
{
    EditorWindowController* controller = controllerOf(controller_);
    return controller ? controller->renderCount() : 0;
}

double SelfTestWindow::lastRenderMilliseconds() const
{
    EditorWindowController* controller = controllerOf(controller_);
    return controller ? controller->detailPane().lastRenderMilliseconds() : 0;
}

QString SelfTestWindow::previewStatus() const
{
    EditorWindowController* controller = controllerOf(controller_);
    return controller && controller->previewStatus() ? controller->previewStatus()->text() : QString();
}

}  // namespace korimado
