#include "selftest/SelfTestWindow.h"

#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "window/DetailPane.h"
#include "window/DetailPreview.h"
#include "window/EditorWindowController.h"

#include <QLabel>
#include <QSplitter>

namespace korimado {

namespace {

EditorWindowController* controllerOf(const QPointer<QObject>& object)
{
    return static_cast<EditorWindowController*>(object.data());
}

// The controller's answer while the window lives, none once it is gone.
template <typename Answer, typename Ask>
Answer ask(const QPointer<QObject>& object, Answer none, Ask question)
{
    EditorWindowController* controller = controllerOf(object);
    return controller ? question(*controller) : none;
}

template <typename Command>
void tell(const QPointer<QObject>& object, Command command)
{
    if (EditorWindowController* controller = controllerOf(object)) command(*controller);
}

}  // namespace

SelfTestWindow::SelfTestWindow(QObject* controller) : controller_(controller) {}

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
    return ask(controller_, static_cast<QMainWindow*>(nullptr), [](EditorWindowController& c) { return c.window(); });
}

KoriDocument* SelfTestWindow::document() const
{
    return ask(controller_, static_cast<KoriDocument*>(nullptr), [](EditorWindowController& c) { return c.document(); });
}

EditorHost* SelfTestWindow::editors() const { return controllerOf(controller_); }

TextView* SelfTestWindow::textView() const
{
    return ask(controller_, static_cast<TextView*>(nullptr), [](EditorWindowController& c) { return c.textView(); });
}

QList<TextView*> SelfTestWindow::visibleTextViews() const
{
    QList<TextView*> found;
    QSplitter* split = ask(controller_, static_cast<QSplitter*>(nullptr), [](EditorWindowController& c) { return c.codeSplit(); });
    if (!split) return found;
    for (int i = 0; i < split->count(); ++i) {
        QWidget* pane = split->widget(i);
        if (auto* view = qobject_cast<EditorTextView*>(pane); view && view->isVisibleTo(split)) found.append(view);
        else if (pane && pane->isVisibleTo(split))
            if (auto* inner = pane->findChild<EditorTextView*>()) found.append(inner);
    }
    return found;
}

QWidget* SelfTestWindow::firstResponder() const
{
    return ask(controller_, static_cast<QWidget*>(nullptr), [](EditorWindowController& c) { return c.firstResponder(); });
}

void SelfTestWindow::makeFirstResponder(QWidget* widget) const
{
    tell(controller_, [widget](EditorWindowController& c) { c.makeFirstResponder(widget); });
}

TextCommands* SelfTestWindow::commands() const
{
    return ask(controller_, static_cast<TextCommands*>(nullptr), [](EditorWindowController& c) { return &c.commands(); });
}

TextCommands* SelfTestWindow::primaryCommands() const
{
    return ask(controller_, static_cast<TextCommands*>(nullptr), [](EditorWindowController& c) { return &c.primaryCommands(); });
}

SearchController* SelfTestWindow::search() const
{
    return ask(controller_, static_cast<SearchController*>(nullptr), [](EditorWindowController& c) { return &c.search(); });
}

LayoutManager* SelfTestWindow::layout() const
{
    return ask(controller_, static_cast<LayoutManager*>(nullptr), [](EditorWindowController& c) { return c.layout(); });
}

QAbstractScrollArea* SelfTestWindow::scroll() const
{
    return ask(controller_, static_cast<QAbstractScrollArea*>(nullptr), [](EditorWindowController& c) { return c.scroll(); });
}

SelfTestWindow::Mode SelfTestWindow::mode() const
{
    return ask(controller_, Mode::edit, [](EditorWindowController& c) { return Mode(int(c.mode())); });
}

void SelfTestWindow::setMode(Mode mode) const
{
    tell(controller_, [mode](EditorWindowController& c) { c.setMode(EditorWindowController::Mode(int(mode))); });
}

SegmentedControl* SelfTestWindow::modePicker() const
{
    return ask(controller_, static_cast<SegmentedControl*>(nullptr), [](EditorWindowController& c) { return c.modePicker(); });
}

void SelfTestWindow::openSplitTextView() const
{
    tell(controller_, [](EditorWindowController& c) { c.openSplitTextView(); });
}

void SelfTestWindow::closeSplitTextView() const
{
    tell(controller_, [](EditorWindowController& c) { c.closeSplitTextView(); });
}

QSplitter* SelfTestWindow::workspaceSplit() const
{
    return ask(controller_, static_cast<QSplitter*>(nullptr), [](EditorWindowController& c) { return c.workspaceSplit(); });
}

QWidget* SelfTestWindow::codePane() const
{
    return ask(controller_, static_cast<QWidget*>(nullptr), [](EditorWindowController& c) { return c.codePane(); });
}

QWidget* SelfTestWindow::previewPane() const
{
    return ask(controller_, static_cast<QWidget*>(nullptr), [](EditorWindowController& c) { return c.previewPane(); });
}

QWidget* SelfTestWindow::navigationBar() const
{
    return ask(controller_, static_cast<QWidget*>(nullptr), [](EditorWindowController& c) { return c.navigationBar(); });
}

void SelfTestWindow::toggleNavigationBar() const
{
    tell(controller_, [](EditorWindowController& c) { c.toggleNavigationBar(); });
}

bool SelfTestWindow::isNavigationBarHidden() const
{
    return ask(controller_, false, [](EditorWindowController& c) { return c.isNavigationBarHidden(); });
}

void SelfTestWindow::navigateOutline(bool forward) const
{
    tell(controller_, [forward](EditorWindowController& c) { c.navigateOutline(forward); });
}

bool SelfTestWindow::isFileTreeHidden() const
{
    return ask(controller_, true, [](EditorWindowController& c) { return c.isFileTreeHidden(); });
}

FileTreeView* SelfTestWindow::fileTree() const
{
    return ask(controller_, static_cast<FileTreeView*>(nullptr), [](EditorWindowController& c) { return c.fileTree(); });
}

void SelfTestWindow::openTreeFile(const QString& url) const
{
    tell(controller_, [&url](EditorWindowController& c) { c.openTreeFile(url); });
}

void SelfTestWindow::showOutlineInspector() const
{
    tell(controller_, [](EditorWindowController& c) { c.showOutlineInspector(); });
}

QTableWidget* SelfTestWindow::outlineTable() const
{
    return ask(controller_, static_cast<QTableWidget*>(nullptr), [](EditorWindowController& c) { return c.outlineTable(); });
}

void SelfTestWindow::showAdvancedCounter() const
{
    tell(controller_, [](EditorWindowController& c) { c.showAdvancedCounter(); });
}

QPlainTextEdit* SelfTestWindow::inspectionText() const
{
    return ask(controller_, static_cast<QPlainTextEdit*>(nullptr), [](EditorWindowController& c) { return c.inspectionText(); });
}

QComboBox* SelfTestWindow::endingPicker() const
{
    return ask(controller_, static_cast<QComboBox*>(nullptr), [](EditorWindowController& c) { return c.endingPicker(); });
}

void SelfTestWindow::endingChanged(int index) const
{
    tell(controller_, [index](EditorWindowController& c) { c.endingChanged(index); });
}

void SelfTestWindow::preferencesChanged() const
{
    tell(controller_, [](EditorWindowController& c) { c.preferencesChanged(); });
}

void SelfTestWindow::saveRestorableState() const
{
    tell(controller_, [](EditorWindowController& c) { c.saveRestorableState(); });
}

void SelfTestWindow::restoreState(const RestorableState& state) const
{
    tell(controller_, [&state](EditorWindowController& c) { c.restoreState(state); });
}

UserDefaults& SelfTestWindow::restorableStateStore() { return EditorWindowController::restorableStateStore(); }

void SelfTestWindow::magnifySource(MagnificationRecognizer& pinch) const
{
    tell(controller_, [&pinch](EditorWindowController& c) { c.magnifySource(pinch); });
}

void SelfTestWindow::magnifyPreview(MagnificationRecognizer& pinch) const
{
    tell(controller_, [&pinch](EditorWindowController& c) { c.magnifyPreview(pinch); });
}

PreviewWebView* SelfTestWindow::web() const
{
    return ask(controller_, static_cast<PreviewWebView*>(nullptr), [](EditorWindowController& c) { return c.web(); });
}

bool SelfTestWindow::isHTML() const
{
    return ask(controller_, false, [](EditorWindowController& c) { return c.isHTML(); });
}

std::optional<std::uint64_t> SelfTestWindow::previewRevision() const
{
    return ask(controller_, std::optional<std::uint64_t>(), [](EditorWindowController& c) { return c.previewRevision(); });
}

qint64 SelfTestWindow::renderCount() const
{
    return ask(controller_, qint64(0), [](EditorWindowController& c) { return c.renderCount(); });
}

double SelfTestWindow::lastRenderMilliseconds() const
{
    return ask(controller_, 0.0, [](EditorWindowController& c) { return c.detailPane().lastRenderMilliseconds(); });
}

QString SelfTestWindow::previewStatus() const
{
    return ask(controller_, QString(), [](EditorWindowController& c) {
        return c.previewStatus() ? c.previewStatus()->text() : QString();
    });
}

QPushButton* SelfTestWindow::playButton() const
{
    return ask(controller_, static_cast<QPushButton*>(nullptr), [](EditorWindowController& c) { return c.detailPane().playButton(); });
}

bool SelfTestWindow::isSVGPaused() const
{
    return ask(controller_, false, [](EditorWindowController& c) { return c.detailPane().previewer().svgPaused; });
}

void SelfTestWindow::toggleSVGPlayback() const
{
    tell(controller_, [](EditorWindowController& c) { c.toggleSVGPlayback(); });
}

void SelfTestWindow::restartSVG() const
{
    tell(controller_, [](EditorWindowController& c) { c.restartSVG(); });
}

void SelfTestWindow::zoomInSVG() const
{
    tell(controller_, [](EditorWindowController& c) { c.zoomInSVG(); });
}

void SelfTestWindow::resetSVGZoom() const
{
    tell(controller_, [](EditorWindowController& c) { c.resetSVGZoom(); });
}

}  // namespace korimado
