#include "document/KoriDocumentController.h"
#include "platform/foundation/FilePath.h"

#include "document/KoriDocument.h"
#include "document/TextEncoding.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/WindowController.h"

#include <QDir>
#include <QFileInfo>

namespace korimado {

KoriDocumentController::KoriDocumentController(UserDefaults* defaults) : DocumentController(defaults) {}

QString KoriDocumentController::defaultType() const
{
    return KoriDocument::plainTextType;
}

std::unique_ptr<Document> KoriDocumentController::makeDocument(const QString&)
{
    return std::make_unique<KoriDocument>();
}

KoriDocument* KoriDocumentController::folderDocument(const QString& path) const
{
    const QString wanted = standardizedPath(path);
    for (Document* document : documents()) {
        auto* text = qobject_cast<KoriDocument*>(document);
        if (text && text->isFolderDocument() && standardizedPath(text->rootDirectory()) == wanted) return text;
    }
    return nullptr;
}

void KoriDocumentController::openDocument()
{
    FilePanels* panels = filePanels() ? filePanels() : FilePanels::shared();
    if (!panels) return;
    OpenPanelOptions options;
    options.canChooseFiles = true;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = true;
    options.prompt = QStringLiteral("開く");
    const OpenPanelResult result = panels->runOpenPanel(options);
    if (!result.confirmed) return;
    for (const QString& path : result.paths) {
        openDocument(path, true, [this](Document*, bool, std::optional<ErrorInfo> error) {
            if (error) presentError(*error);
        });
    }
}

void KoriDocumentController::openDocument(const QString& path, bool display, const OpenCompletion& completion)
{
    if (!QFileInfo(path).isDir()) {
        DocumentController::openDocument(path, display, completion);
        return;
    }
    if (KoriDocument* open = folderDocument(path)) {
        if (display) open->showWindows();
        if (completion) completion(open, true, std::nullopt);
        return;
    }
    auto document = std::make_unique<KoriDocument>();
    document->setRootDirectory(path);
    auto* added = static_cast<KoriDocument*>(addDocument(std::move(document)));
    added->makeWindowControllers();
    const QString title = QFileInfo(standardizedPath(path)).fileName();
    for (const auto& window : added->windowControllers()) window->setWindowTitle(title);
    if (display) added->showWindows();
    noteNewRecentDocumentURL(path);
    if (completion) completion(added, false, std::nullopt);
}

void KoriDocumentController::openWithEncoding()
{
    FilePanels* panels = filePanels() ? filePanels() : FilePanels::shared();
    if (!panels) return;
    OpenPanelOptions options;
    options.canChooseFiles = true;
    options.canChooseDirectories = false;
    options.allowsMultipleSelection = false;
    options.message = QStringLiteral("ファイルの文字コードを指定してください。");
    PanelAccessory popUp;
    for (const TextEncoding encoding : TextEncoding::allCases()) popUp.items.append(encoding.rawValue());
    popUp.selectedIndex = 0;
    popUp.accessibilityLabel = QStringLiteral("開く文字コード");
    popUp.size = QSize(220, 28);
    options.accessory = popUp;

    const OpenPanelResult result = panels->runOpenPanel(options);
    if (!result.confirmed || result.paths.isEmpty()) return;
    const QString path = result.paths.first();
    if (Document* open = documentForURL(path)) {
        open->showWindows();
        return;
    }
    const int index = result.accessorySelection;
    const auto& encodings = TextEncoding::allCases();
    const TextEncoding encoding = index >= 0 && index < TextEncoding::count ? encodings[static_cast<size_t>(index)]
                                                                            : TextEncoding(TextEncoding::utf8);

    auto document = std::make_unique<KoriDocument>();
    document->setForcedEncoding(encoding);
    ErrorInfo error;
    if (!document->readFromURL(standardizedPath(path), KoriDocument::plainTextType, &error)) {
        presentError(document->willPresentError(error));
        return;
    }
    document->setFileURL(path);
    document->setFileType(KoriDocument::plainTextType);
    Document* added = addDocument(std::move(document));
    added->makeWindowControllers();
    added->showWindows();
}

}  // namespace korimado
