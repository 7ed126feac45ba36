// The window state kept across launches, per document file or folder.
#include "window/EditorWindowController.h"

#include "document/KoriDocument.h"
#include "editor/EditorView.h"
#include "filetree/FileTreeView.h"
#include "platform/foundation/UserDefaults.h"
#include "window/SegmentedControl.h"

#include <QDir>
#include <QFileInfo>
#include <QSplitter>
#include <QStandardPaths>
#include <QUrl>

namespace korimado {

namespace {

const QString versionKey = QStringLiteral("kori.startupLayoutVersion");
const QString modeKey = QStringLiteral("kori.mode");
const QString detailKey = QStringLiteral("kori.detail");
const QString locationKey = QStringLiteral("kori.selection.location");
const QString lengthKey = QStringLiteral("kori.selection.length");
const QString navigationKey = QStringLiteral("kori.navigation.hidden");
const QString treeHiddenKey = QStringLiteral("kori.tree.hidden");
const QString splitKey = QStringLiteral("kori.editor.split");
const QString verticalKey = QStringLiteral("kori.editor.vertical");
const QString rootKey = QStringLiteral("kori.tree.root");

qint64 integer(const EditorWindowController::RestorableState& coder, const QString& key)
{
    const auto found = coder.find(key);
    if (found == coder.end()) return 0;
    return found->convertedInteger().value_or(0);
}

bool boolean(const EditorWindowController::RestorableState& coder, const QString& key)
{
    const auto found = coder.find(key);
    if (found == coder.end()) return false;
    return found->convertedBool().value_or(false);
}

QString stateKey(const KoriDocument& document)
{
    return document.fileURL().isEmpty() ? document.rootDirectory() : document.fileURL();
}

}  // namespace

void EditorWindowController::encodeRestorableState(RestorableState& coder) const
{
    coder.insert(versionKey, startupLayoutVersion);
    coder.insert(modeKey, static_cast<qint64>(mode));
    coder.insert(detailKey, static_cast<qint64>(detailPicker->selectedSegment()));
    const TextRange selection = activeEditor()->selectedRange();
    coder.insert(locationKey, static_cast<qint64>(selection.location));
    coder.insert(lengthKey, static_cast<qint64>(selection.length));
    coder.insert(navigationKey, isNavigationBarHidden());
    coder.insert(treeHiddenKey, isFileTreeHidden());
    coder.insert(splitKey, secondaryEditor != nullptr);
    coder.insert(verticalKey, isSplitVertical());
    if (const auto root = sidebarRoot()) coder.insert(rootKey, QUrl::fromLocalFile(*root).toString());
}

void EditorWindowController::restoreState(const RestorableState& coder)
{
    if (!coder.contains(modeKey)) return;
    const qint64 version = integer(coder, versionKey);

    int detail = 0;
    if (version <= 0) {
        setMode(Mode::split);
    } else {
        setMode(modeFromRawValue(integer(coder, modeKey)).value_or(Mode::split));
        const qint64 d = integer(coder, detailKey);
        detail = d >= 0 && d < 5 ? static_cast<int>(d) : 0;
    }
    detailPicker->setSelectedSegment(detail);
    updateDetailVisibility();

    const qsizetype length = textView->textLength();
    const qsizetype location = std::clamp<qint64>(integer(coder, locationKey), 0, length);
    const qsizetype extent = std::clamp<qint64>(integer(coder, lengthKey), 0, length - location);
    textView->setSelectedRange({location, extent});

    setNavigationBarHidden(version >= 1 && boolean(coder, navigationKey));
    fileTree->setHidden(version < 1 || boolean(coder, treeHiddenKey));

    if (const auto root = coder.find(rootKey); root != coder.end()) {
        const QUrl url(root->stringValue());
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir()) {
            const QString folder = QDir::cleanPath(url.toLocalFile());
            model->setRootDirectory(folder);
            std::optional<QString> selecting;
            if (!model->fileURL().isEmpty()) selecting = model->fileURL();
            fileTree->setRoot(folder, selecting);
        }
    }

    if (version >= 1 && boolean(coder, splitKey)) openSplitTextView();
    if (!fileTree->isHidden()) {
        QList<int> sizes = workspaceSplit->sizes();
        if (sizes.size() == 2 && sizes[0] < sidebarMinimumWidth) {
            const int total = sizes[0] + sizes[1];
            workspaceSplit->setSizes({sidebarDividerPosition, std::max(0, total - sidebarDividerPosition)});
        }
    }
    codeSplit->setOrientation(boolean(coder, verticalKey) ? Qt::Horizontal : Qt::Vertical);
}

UserDefaults& EditorWindowController::restorableStateStore()
{
    static UserDefaults store([] {
        QString base = qEnvironmentVariable("XDG_STATE_HOME");
        if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.local/state");
        return base + QStringLiteral("/Korimado/window-state.json");
    }());
    return store;
}

void EditorWindowController::saveRestorableState() const
{
    if (!model) return;
    const QString key = stateKey(*model);
    if (key.isEmpty()) return;
    RestorableState coder;
    encodeRestorableState(coder);
    restorableStateStore().set(key, DefaultsValue(coder));
}

std::optional<EditorWindowController::RestorableState> EditorWindowController::savedRestorableState(
    const QString& path)
{
    return restorableStateStore().dictionary(path);
}

}  // namespace korimado
