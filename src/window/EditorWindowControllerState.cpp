// The window state kept across launches, per document file or folder.
#include "window/EditorWindowController.h"

#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "filetree/FileTreeView.h"
#include "window/DetailPane.h"
#include "window/EditorPair.h"
#include "window/RestorableStateCodec.h"

#include <QDir>
#include <QFileInfo>
#include <QSplitter>
#include <QUrl>

namespace korimado {

namespace {

QString stateKey(const KoriDocument& document)
{
    return document.fileURL().isEmpty() ? document.rootDirectory() : document.fileURL();
}

}  // namespace

void EditorWindowController::encodeRestorableState(RestorableState& coder) const
{
    RestorableWindowState state;
    state.version = startupLayoutVersion;
    state.mode = static_cast<qint64>(mode_);
    state.detail = detailPane_->selectedSegment();
    state.selection = activeEditor()->selectedRange();
    state.navigationHidden = isNavigationBarHidden();
    state.treeHidden = isFileTreeHidden();
    state.split = editors_->isSplitOpen();
    state.vertical = isSplitVertical();
    if (const auto root = sidebarRoot()) state.rootURL = QUrl::fromLocalFile(*root).toString();
    coder.insert(RestorableStateCodec::encode(state));
}

void EditorWindowController::restoreState(const RestorableState& coder)
{
    const auto state = RestorableStateCodec::decode(coder);
    if (!state) return;

    setMode(modeFromRawValue(state->mode).value_or(Mode::split));
    detailPane_->setSelectedSegment(state->detail);
    updateDetailVisibility();

    EditorTextView* editor = textView();
    const qsizetype length = editor->textLength();
    const qsizetype location = std::clamp<qint64>(state->selection.location, 0, length);
    const qsizetype extent = std::clamp<qint64>(state->selection.length, 0, length - location);
    editor->setSelectedRange({location, extent});

    setNavigationBarHidden(state->navigationHidden);
    fileTree_->setHidden(state->treeHidden);

    if (state->rootURL) {
        const QUrl url(*state->rootURL);
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir()) {
            const QString folder = QDir::cleanPath(url.toLocalFile());
            model->setRootDirectory(folder);
            std::optional<QString> selecting;
            if (!model->fileURL().isEmpty()) selecting = model->fileURL();
            fileTree_->setRoot(folder, selecting);
        }
    }

    if (state->split) openSplitTextView();
    if (!fileTree_->isHidden()) {
        QList<int> sizes = workspaceSplit_->sizes();
        if (sizes.size() == 2 && sizes[0] < sidebarMinimumWidth) {
            const int total = sizes[0] + sizes[1];
            workspaceSplit_->setSizes({sidebarDividerPosition, std::max(0, total - sidebarDividerPosition)});
        }
    }
    editors_->setVertical(state->vertical);
}

UserDefaults& EditorWindowController::restorableStateStore()
{
    return RestorableStateCodec::store();
}

void EditorWindowController::saveRestorableState() const
{
    if (!model) return;
    RestorableState coder;
    encodeRestorableState(coder);
    RestorableStateCodec::save(stateKey(*model), coder);
}

std::optional<EditorWindowController::RestorableState> EditorWindowController::savedRestorableState(
    const QString& path)
{
    return RestorableStateCodec::saved(path);
}

}  // namespace korimado
