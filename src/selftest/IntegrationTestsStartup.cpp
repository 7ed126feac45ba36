// The startup-layout suite: a new draft's window, built and never shown, checked for its starting
// layout, the sidebar's unopenable files, pinch zoom, the Markdown and HTML previews and an old
// saved window state.
#include "selftest/IntegrationTests.h"

#include "document/KoriDocument.h"
#include "filetree/FileTreeModel.h"
#include "filetree/FileTreeNode.h"
#include "filetree/TreePath.h"
#include "filetree/FileTreeView.h"
#include "platform/documents/FileManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/text/LayoutManager.h"
#include "platform/text/TextEditing.h"
#include "platform/text/TextStorage.h"
#include "platform/text/TextView.h"
#include "platform/ui/FileIcons.h"
#include "platform/ui/MagnificationRecognizer.h"
#include "preview/PreviewResourceLocator.h"
#include "preview/PreviewWebView.h"
#include "selftest/SelfTestChecks.h"
#include "selftest/SelfTestFrame.h"
#include "selftest/SelfTestWindow.h"
#include "selftest/SuiteAlertWatch.h"
#include "selftest/SuiteAwait.h"
#include "settings/EditorSettingsKeys.h"
#include "window/SegmentedControl.h"

#include <QAbstractScrollArea>
#include <QDir>
#include <QIcon>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QLayout>
#include <QMainWindow>
#include <QMetaObject>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <optional>

namespace korimado {

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
}

// The preview shows the document's current revision and has finished loading. A loaded machine can
// take seconds to start the engine, so callers give it about ten.
SuiteTask<> waitForPreview(SelfTestWindow editorWindow, KoriDocument* document, int tries)
{
    const auto current = [editorWindow, document] {
        const std::optional<std::uint64_t> shown = editorWindow.previewRevision();
        return shown && *shown == document->revision() && !editorWindow.web()->isLoading();
    };
    for (int i = 0; i < tries; ++i) {
        if (current()) break;
        co_await sleepFor(50);
    }
}

SuiteTask<QVariant> script(PreviewWebView* web, const QString& source)
{
    const ScriptResult result = co_await evaluate(web, source);
    co_return result.ok ? result.value : QVariant();
}

// Sends the recognizer's action through the event loop, as the gesture would; true when it ran.
bool sendThroughApplication(MagnificationRecognizer* pinch, double magnification)
{
    pinch->setMagnification(magnification);
    bool handled = false;
    QMetaObject::invokeMethod(pinch, [pinch, &handled] { handled = pinch->sendAction(); }, Qt::DirectConnection);
    return handled;
}

// The most opaque pixel of the icon drawn at the size of a tree row's.
int peakAlpha(const QIcon& icon)
{
    QImage image(36, 36, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        icon.paint(&painter, image.rect());
    }
    int peak = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) peak = std::max(peak, qAlpha(image.pixel(x, y)));
    return peak;
}

// How opaque the tree draws the icon of the file's row, against the plain icon of its type; none
// while the row is not listed.
std::optional<double> drawnIconOpacity(FileTreeView* tree, const QString& file)
{
    FileTreeModel* model = tree->model();
    const QString url = TreePath::standardized(file);
    for (int row = 0; model && row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        const FileTreeNode* node = model->node(index);
        if (!node || node->url != url) continue;
        const int plain = peakAlpha(FileIcons::iconForFile(file));
        if (plain == 0) return std::nullopt;
        return peakAlpha(model->data(index, Qt::DecorationRole).value<QIcon>()) / double(plain);
    }
    return std::nullopt;
}

}  // namespace

SuiteTask<> IntegrationTests::runStartupLayout()
{
    SelfTestChecks checks;
    SuiteAlertWatch::shared().start([&checks](const QString& alert) {
        checks.check(QStringLiteral("startup harness: ") + alert, false);
        SelfTestFrame::writeReport(QStringLiteral("docs/evidence/startup-layout-tests.json"),
                                   QJsonObject{{QStringLiteral("checks"), checks.records()}});
        SelfTestFrame::printLine(checks.summary(QStringLiteral("Startup and pinch checks ")));
        SelfTestFrame::terminate();
    });
    const DefaultsValue::Dictionary domainBefore = SelfTestFrame::setArgument(EditorSettingsKey::wrap, true);

    auto document = std::make_unique<KoriDocument>();
    const SelfTestWindow editorWindow = SelfTestWindow::open(*document);
    QMainWindow* window = editorWindow.window();
    window->ensurePolished();
    if (QLayout* layout = window->layout()) layout->activate();
    // Drawn once into an image, as the screen would: the preview and background work wait for
    // the editor's first paint.
    QImage canvas(window->size(), QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&canvas);
        window->render(&painter);
    }

    TextView* view = editorWindow.textView();
    checks.check(QStringLiteral("new draft starts in two-column mode"),
                 editorWindow.mode() == SelfTestWindow::Mode::split && !editorWindow.previewPane()->isHidden()
                     && !editorWindow.codePane()->isHidden());
    checks.check(QStringLiteral("new draft starts without file tree"), editorWindow.isFileTreeHidden());
    checks.check(QStringLiteral("source is labelled as draft"),
                 view->accessibleName() == QStringLiteral("原案") && editorWindow.modePicker()->label(0) == QStringLiteral("原案"));
    QAbstractScrollArea* scroll = editorWindow.scroll();
    checks.check(QStringLiteral("word wrap is enabled"),
                 view->wrapsLines() && scroll && scroll->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff);
    const int codeWidth = editorWindow.codePane()->width();
    const int previewWidth = editorWindow.previewPane()->width();
    checks.check(QStringLiteral("two columns share the available width"), std::abs(codeWidth - previewWidth) < 3 && codeWidth > 200);
    if (std::abs(codeWidth - previewWidth) >= 3 || codeWidth <= 200)
        SelfTestFrame::printLine(QStringLiteral("Column widths: ") + QString::number(codeWidth) + QStringLiteral(", ")
                                 + QString::number(previewWidth));

    const QString folder = SelfTestFrame::path(QStringLiteral("tests/fixtures/startup-supported"));
    QDir().mkpath(folder);
    writeFile(folder + QStringLiteral("/非対応.pdf"), "%PDF-1.7 test fixture");
    writeFile(folder + QStringLiteral("/対応.md"), QStringLiteral("# 対応する原案").toUtf8());
    FileManager& files = FileManager::defaultManager();
    FileTreeView* tree = editorWindow.fileTree();
    const FileTreeNode pdf(folder + QStringLiteral("/非対応.pdf"), files);
    const FileTreeNode markdown(folder + QStringLiteral("/対応.md"), files);
    const FileTreeNode directory(folder, files);
    checks.check(QStringLiteral("unsupported file cannot be selected"), !tree->shouldSelect(pdf));
    checks.check(QStringLiteral("supported file can be selected"), tree->shouldSelect(markdown));
    checks.check(QStringLiteral("folder can still be expanded and selected"), tree->shouldSelect(directory));
    // What is drawn: the row's icon in the tree listing the folder, not the rule behind it.
    const QString pdfPath = folder + QStringLiteral("/非対応.pdf");
    tree->setRoot(folder);
    const auto faint = [tree, pdfPath] {
        const std::optional<double> opacity = drawnIconOpacity(tree, pdfPath);
        return opacity && std::abs(*opacity - FileTreeView::unopenableIconOpacity) < 0.02;
    };
    const bool drawnFaint = co_await poll(30, 50, faint);
    checks.check(QStringLiteral("unsupported file is visually disabled"), drawnFaint);

    QString sample = QStringLiteral("# 原案とプレビュー\n\n");
    for (int i = 0; i < 32; ++i) sample += QStringLiteral("折り返しのある日本語の原稿です。");
    view->insertText(sample, TextRange{0, 0});
    view->breakUndoCoalescing();
    int fragments = 0;
    editorWindow.layout()->enumerateLineFragments(TextRange{0, sample.size()}, [&fragments](const LineFragment&) {
        ++fragments;
        return true;
    });
    checks.check(QStringLiteral("long draft lines wrap visually"), fragments > 4);
    document->updateChangeCount(Document::ChangeType::cleared);
    const TextRange selection = view->selectedRange();

    const QList<MagnificationRecognizer*> sourcePinches = MagnificationRecognizer::attachedTo(view);
    if (sourcePinches.isEmpty()) {
        checks.check(QStringLiteral("source pinch recognizer installed"), false);
    } else {
        MagnificationRecognizer* pinch = sourcePinches.front();
        const double before = view->font().pointSizeF();
        const bool handled = sendThroughApplication(pinch, 0.5);
        checks.check(QStringLiteral("source pinch expands continuously"),
                     handled && std::abs(view->font().pointSizeF() - 1.5 * before) < 0.01);
        pinch->setMagnification(-0.5);
        editorWindow.magnifySource(*pinch);
        checks.check(QStringLiteral("source pinch contracts continuously"), std::abs(view->font().pointSizeF() - 0.75 * before) < 0.01);
        checks.check(QStringLiteral("source zoom preserves text selection and clean state"),
                     document->string() == sample && view->selectedRange() == selection && !document->isDocumentEdited());
    }

    PreviewWebView* web = editorWindow.web();
    const QList<MagnificationRecognizer*> previewPinches = MagnificationRecognizer::attachedTo(web);
    if (previewPinches.isEmpty()) {
        checks.check(QStringLiteral("preview pinch recognizer installed"), false);
    } else {
        MagnificationRecognizer* pinch = previewPinches.front();
        const bool handled = sendThroughApplication(pinch, 0.5);
        checks.check(QStringLiteral("preview pinch expands continuously"), handled && std::abs(web->zoom() - 1.5) < 0.001);
        pinch->setMagnification(-0.5);
        editorWindow.magnifyPreview(*pinch);
        checks.check(QStringLiteral("preview pinch contracts continuously"), std::abs(web->zoom() - 0.75) < 0.001);
        web->setZoom(1.0);
    }

    co_await waitForPreview(editorWindow, document.get(), 200);
    const QVariant body = co_await script(web, QStringLiteral("document.body.innerText"));
    checks.check(QStringLiteral("preview updates from draft"), body.toString().contains(QStringLiteral("原案とプレビュー")));

    const QString html = folder + QStringLiteral("/html");
    QDir().mkpath(html);
    writeFile(html + QStringLiteral("/style.css"), "body { background-color: rgb(12, 34, 56); }");
    writeFile(html + QStringLiteral("/image.svg"),
              "<svg xmlns='http://www.w3.org/2000/svg' width='20' height='20'><rect width='20' height='20' fill='blue'/></svg>");
    const QString page = QStringLiteral(
        "<!doctype html><html><head><link rel='stylesheet' href='style.css'></head><body><h1>HTMLプレビュー</h1>"
        "<img id='local' src='image.svg'><script>document.body.dataset.executed='yes'</script></body></html>");
    writeFile(html + QStringLiteral("/index.html"), page.toUtf8());
    ErrorInfo readError;
    document->readFromURL(html + QStringLiteral("/index.html"), KoriDocument::plainTextType, &readError);
    document->setFileURL(html + QStringLiteral("/index.html"));
    editorWindow.setMode(SelfTestWindow::Mode::split);
    co_await waitForPreview(editorWindow, document.get(), 200);
    const QVariant heading = co_await script(web, QStringLiteral("document.querySelector('h1')?.textContent"));
    const QVariant background = co_await script(web, QStringLiteral("getComputedStyle(document.body).backgroundColor"));
    const QVariant width = co_await script(web, QStringLiteral("document.querySelector('#local')?.naturalWidth"));
    const QVariant inert = co_await script(web, QStringLiteral("document.body.dataset.executed === undefined"));
    checks.check(QStringLiteral("HTML renders as a page"), editorWindow.isHTML() && heading.toString() == QStringLiteral("HTMLプレビュー"));
    checks.check(QStringLiteral("HTML loads local stylesheet"), background.toString() == QStringLiteral("rgb(12, 34, 56)"));
    checks.check(QStringLiteral("HTML loads local image"), width.isValid() && width.toDouble() == 20);
    checks.check(QStringLiteral("HTML script does not execute"), inert.typeId() == QMetaType::Bool && inert.toBool());
    checks.check(QStringLiteral("HTML asset traversal is denied"),
                 !PreviewResourceLocator::localPath(QUrl(QStringLiteral("kori-preview://local/../../secret.css")), html));

    QString edited = page;
    edited.replace(QStringLiteral("HTMLプレビュー"), QStringLiteral("HTMLの編集を反映"));
    TextStorage& storage = document->storage();
    TextEditing::replace(storage, {TextRange{0, storage.length()}}, QStringList{edited}, QStringLiteral("内容を設定"));
    co_await waitForPreview(editorWindow, document.get(), 200);
    const QVariant editedHeading = co_await script(web, QStringLiteral("document.querySelector('h1')?.textContent"));
    checks.check(QStringLiteral("HTML preview updates after editing"), editedHeading.toString() == QStringLiteral("HTMLの編集を反映"));

    // A state saved before the startup layout had a version: edit mode with the tree shown.
    SelfTestWindow::RestorableState old;
    old.insert(QStringLiteral("kori.mode"), qint64(0));
    old.insert(QStringLiteral("kori.tree.hidden"), false);
    // Kept in the state file as an older launch left it, and read back from there as a launch would.
    const QString oldKey = folder + QStringLiteral("/old-window-state");
    UserDefaults& store = SelfTestWindow::restorableStateStore();
    store.set(oldKey, DefaultsValue(old));
    store.synchronize();
    std::optional<SelfTestWindow::RestorableState> stored;
    {
        const UserDefaults nextLaunch(store.filePath());
        stored = nextLaunch.dictionary(oldKey);
    }
    store.removeObject(oldKey);
    store.synchronize();
    if (stored) editorWindow.restoreState(*stored);
    checks.check(QStringLiteral("old window state adopts new two-column startup"),
                 stored && editorWindow.mode() == SelfTestWindow::Mode::split && editorWindow.isFileTreeHidden());
    checks.check(QStringLiteral("verification did not show a window"), window && !window->isVisible());

    document->updateChangeCount(Document::ChangeType::cleared);
    KoriDocument* owned = document.release();
    owned->close();
    SelfTestFrame::writeReport(QStringLiteral("docs/evidence/startup-layout-tests.json"),
                               QJsonObject{{QStringLiteral("checks"), checks.records()}});
    SelfTestFrame::printLine(checks.summary(QStringLiteral("Startup and pinch checks ")));
    SelfTestFrame::terminate();
    SelfTestFrame::restoreArguments(domainBefore);
}

}  // namespace korimado
