// The settings window's import and export commands: themes, and settings as the program's own
// JSON file or as an outside-editor settings archive.
#include "preferences/SettingsWindowController.h"

#include "platform/documents/FileIO.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/ProgressSheet.h"
#include "preferences/archive/SettingsArchive.h"
#include "preferences/archive/SettingsArchiveError.h"
#include "preferences/archive/SettingsArchiveTransfer.h"
#include "preferences/archive/SettingsResourceStore.h"
#include "settings/EditorPreferences.h"
#include "settings/EditorSettingsError.h"
#include "settings/EditorSettingsKeys.h"
#include "settings/EditorSettingsSnapshot.h"
#include "settings/EditorSettingsStore.h"
#include "theme/EditorTheme.h"
#include "theme/EditorThemeError.h"
#include "theme/EditorThemeStore.h"

#include <QDir>
#include <QFileInfo>
#include <QWidget>

#include <cerrno>

namespace korimado {

namespace {

const QString kArchiveFilter = QStringLiteral("設定アーカイブ (*.cotsettings)");
const QString kJSONFilter = QStringLiteral("JSON (*.json)");
const QString kArchiveExtension = QStringLiteral("cotsettings");
// Theme and JSON settings files are read whole; nothing that size is either.
constexpr qint64 kMaximumReadSize = 32 * 1024 * 1024;

// The chosen path without its last extension, as a base for the format's own.
QString withoutExtension(const QString& path)
{
    const QFileInfo info(path);
    if (info.suffix().isEmpty() || info.completeBaseName().isEmpty()) return path;
    return QDir(info.path()).filePath(info.completeBaseName());
}

std::optional<QByteArray> readChosenFile(const QString& path, ErrorInfo& error)
{
    std::optional<QByteArray> data = readWholeFile(path, &error, kMaximumReadSize);
    if (data && data->size() > kMaximumReadSize) {
        error = posixError(EFBIG, path);
        return std::nullopt;
    }
    return data;
}

}  // namespace

void SettingsWindowController::presentError(const QString& description)
{
    if (AlertPresenter* presenter = AlertPresenter::shared()) {
        presenter->presentError(ErrorInfo{Bundle::configuration().errorDomain, 0, description, QString()}, modalParent());
    }
}

void SettingsWindowController::importTheme(MenuItem*)
{
    FilePanels* panels = FilePanels::shared();
    if (!panels || isArchiveJobRunning()) return;
    OpenPanelOptions options;
    options.canChooseDirectories = false;
    options.allowsMultipleSelection = false;
    options.message = QStringLiteral(".cottheme形式のテーマファイルを選んでください。選択したテーマはKorimado用として保存します。");
    options.prompt = QStringLiteral("読み込む");
    options.nameFilters = {QStringLiteral("テーマ (*.cottheme)")};
    options.parent = modalParent();
    const OpenPanelResult result = panels->runOpenPanel(options);
    if (!result.confirmed || result.paths.isEmpty()) return;
    const QString path = result.paths.first();

    try {
        ErrorInfo error;
        const std::optional<QByteArray> data = readChosenFile(path, error);
        if (!data) throw EditorThemeError::fileOperation(QStringLiteral("読み込み"), error);
        const EditorTheme installed = themeStore_.installTheme(*data, QFileInfo(path).completeBaseName(), false);
        defaults_.setString(EditorSettingsKey::themeName, installed.name);
        reloadThemePicker(installed.name);
    } catch (const EditorThemeError& error) {
        presentError(error.localizedDescription());
        return;
    }
    settingsDidChange();
}

void SettingsWindowController::exportTheme(MenuItem*)
{
    FilePanels* panels = FilePanels::shared();
    if (!panels || isArchiveJobRunning()) return;
    const EditorTheme theme = EditorTheme::current(defaults_, themeStore_);
    SavePanelOptions options;
    options.nameFilters = {QStringLiteral("テーマ (*.cottheme)")};
    options.nameFieldValue = theme.name + QStringLiteral(".cottheme");
    options.message = QStringLiteral("現在のテーマを.cottheme形式で書き出します。");
    options.prompt = QStringLiteral("書き出す");
    options.parent = modalParent();
    const SavePanelResult result = panels->runSavePanel(options);
    if (!result.confirmed || result.path.isEmpty()) return;
    try {
        themeStore_.exportTheme(theme, result.path);
    } catch (const EditorThemeError& error) {
        presentError(error.localizedDescription());
    }
}

void SettingsWindowController::exportSettings(MenuItem*)
{
    FilePanels* panels = FilePanels::shared();
    if (!panels || isArchiveJobRunning()) return;
    SavePanelOptions options;
    options.nameFilters = {kArchiveFilter, kJSONFilter};
    options.nameFieldValue = QStringLiteral("Korimado設定.cotsettings");
    options.message = exportMessage;
    options.prompt = QStringLiteral("書き出す");
    options.accessory = PanelAccessory{{QStringLiteral("設定アーカイブ（.cotsettings）"), QStringLiteral("Korimado JSON（.json）")},
                                       0, QStringLiteral("設定ファイルの形式"), QSize(220, 28), QStringLiteral("形式")};
    options.packageExtensions = {kArchiveExtension};
    options.parent = modalParent();
    const SavePanelResult result = panels->runSavePanel(options);
    if (!result.confirmed || result.path.isEmpty()) return;

    // The format decides the extension, whatever the name typed ends in.
    const bool archive = result.accessorySelection <= 0;
    const QString destination =
        withoutExtension(result.path) + (archive ? QStringLiteral(".cotsettings") : QStringLiteral(".json"));
    if (!confirmReplacing(result.path, destination)) return;
    if (archive) exportArchive(destination);
    else exportJSON(destination);
}

bool SettingsWindowController::confirmReplacing(const QString& confirmed, const QString& destination)
{
    // The panel asked about the path it returned; a different one is asked about here.
    if (QDir::cleanPath(confirmed) == QDir::cleanPath(destination)) return true;
    const QFileInfo existing(destination);
    if (!existing.exists() && !existing.isSymLink()) return true;
    AlertPresenter* presenter = AlertPresenter::shared();
    if (!presenter) return false;
    Alert alert{QStringLiteral("「") + existing.fileName() + QStringLiteral("」はすでに存在します。置き換えますか？"),
                QString(),
                {QStringLiteral("置き換える"), QStringLiteral("キャンセル")},
                Alert::Style::warning};
    alert.parent = modalParent();
    return presenter->runModal(alert) == 0;
}

void SettingsWindowController::exportArchive(const QString& destination)
{
    // The settings and the font family are taken here: the defaults and the fonts belong to this thread.
    const EditorSettingsSnapshot settings(defaults_);
    const QString fontFamily = EditorPreferences::exportedFontFamily(settings.fontName);
    const SettingsArchiveStore store = archiveStore_;
    runArchiveJob(QStringLiteral("設定アーカイブを書き出しています…"), [=, this](Control& control) {
        auto result = std::make_shared<SettingsArchiveTransfer::ExportResult>(
            SettingsArchiveTransfer::exportArchive(destination, store, settings, fontFamily, control));
        return [this, result] {
            if (!result->cancelled && !result->error.isEmpty()) presentError(result->error);
        };
    });
}

void SettingsWindowController::exportJSON(const QString& destination)
{
    QByteArray data;
    try {
        data = EditorSettingsStore(defaults_).exportData();
    } catch (const EditorSettingsError& error) {
        presentError(error.localizedDescription());
        return;
    }
    ErrorInfo error;
    if (!writeFileSafely(destination, data, &error)) presentError(error.description);
}

void SettingsWindowController::importSettings(MenuItem*)
{
    FilePanels* panels = FilePanels::shared();
    if (!panels || isArchiveJobRunning()) return;
    OpenPanelOptions options;
    options.canChooseDirectories = false;
    options.allowsMultipleSelection = false;
    options.nameFilters = {kArchiveFilter, kJSONFilter};
    options.packageExtensions = {kArchiveExtension};
    options.message = importMessage;
    options.prompt = QStringLiteral("読み込む");
    options.parent = modalParent();
    const OpenPanelResult result = panels->runOpenPanel(options);
    if (!result.confirmed || result.paths.isEmpty()) return;
    const QString path = result.paths.first();

    if (QFileInfo(path).suffix().toLower() == kArchiveExtension) {
        importArchive(path);
        return;
    }
    if (!importJSON(path)) return;
    sync();
    settingsDidChange();
}

void SettingsWindowController::importArchive(const QString& path)
{
    const SettingsArchiveStore store = archiveStore_;
    const SettingsResourceStore resources = resourceStore();
    EditorThemeStore& themes = themeStore_;  // outlives the queue: the window's store, or the program's
    runArchiveJob(QStringLiteral("設定アーカイブを読み込んでいます…"), [=, this, &themes](Control& control) {
        auto result = std::make_shared<SettingsArchiveTransfer::ImportResult>(
            SettingsArchiveTransfer::importArchive(path, store, resources, themes, control));
        return [this, result] { finishArchiveImport(*result); };
    });
}

void SettingsWindowController::finishArchiveImport(const SettingsArchiveTransfer::ImportResult& result)
{
    if (result.cancelled) return;
    if (!result.error.isEmpty()) {
        presentError(result.error);
        return;
    }
    SettingsArchiveImportSummary summary;
    try {
        summary = result.archive
                      ->applyKnownSettings(defaults_, QSet<QString>(result.themeNames.cbegin(), result.themeNames.cend()))
                      .including(result.activation);
    } catch (const EditorSettingsError& error) {
        presentError(error.localizedDescription());
        return;
    }
    if (!result.activation.activated.isEmpty()) NotificationCenter::defaultCenter().post(editorSettingsResourcesChanged);
    sync();
    settingsDidChange();
    presentArchiveSummary(summary);
}

void SettingsWindowController::runArchiveJob(const QString& message, ArchiveJob job)
{
    auto control = std::make_shared<Control>();
    archiveJob_ = control;
    const quint64 generation = ++archiveGeneration_;
    auto* sheet = new ProgressSheet(modalParent(), message);
    progress_ = sheet;
    sheet->onCancel = [this, control, generation] {
        if (generation != archiveGeneration_) return;
        if (!control->cancel()) {
            // The job has begun to replace what is on disk: it ends on its own, shortly.
            progress_->setCancellable(false);
            return;
        }
        endArchiveJob();
    };
    // A small archive is done before the sheet would show.
    sheet->showAfter(200);
    if (!archiveQueue_) archiveQueue_ = std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral("settings.archive")));
    const std::weak_ptr<int> alive = lifetime_;
    archiveQueue_->async([this, job = std::move(job), control, generation, alive] {
        std::function<void()> finish = job(*control);
        MainQueue::async([this, finish = std::move(finish), control, generation, alive] {
            if (alive.expired() || generation != archiveGeneration_ || control->isCancelled()) return;
            endArchiveJob();
            finish();
        });
    });
}

void SettingsWindowController::endArchiveJob()
{
    ++archiveGeneration_;
    archiveJob_.reset();
    if (progress_) progress_->finish();
    progress_ = nullptr;
}

ProgressSheet* SettingsWindowController::progressSheet() const
{
    return progress_;
}

bool SettingsWindowController::importJSON(const QString& path)
{
    ErrorInfo error;
    const std::optional<QByteArray> data = readChosenFile(path, error);
    if (!data) {
        presentError(error.description);
        return false;
    }
    try {
        EditorSettingsStore(defaults_).importData(*data);
        return true;
    } catch (const EditorSettingsError& settingsError) {
        presentError(settingsError.localizedDescription());
        return false;
    }
}

void SettingsWindowController::presentArchiveSummary(const SettingsArchiveImportSummary& summary)
{
    AlertPresenter* presenter = AlertPresenter::shared();
    if (!presenter) return;
    Alert alert{QStringLiteral("設定アーカイブを読み込みました"),
                QStringLiteral("設定アーカイブ ") + summary.archiveVersion
                    + QStringLiteral("形式。対応項目だけを適用し、その他の値とファイルは次回の書き出し用に保持しました。"),
                {QStringLiteral("閉じる")},
                Alert::Style::informational};
    alert.accessoryText = summary.displayText();
    alert.parent = modalParent();
    presenter->runModal(alert);
}

}  // namespace korimado
