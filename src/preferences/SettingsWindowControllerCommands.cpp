// The settings window's import and export commands: themes, and settings as the program's own
// JSON file or as an outside-editor settings archive.
#include "preferences/SettingsWindowController.h"

#include "platform/documents/FileIO.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/FilePanels.h"
#include "preferences/archive/SettingsArchive.h"
#include "preferences/archive/SettingsArchiveError.h"
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
    if (!panels) return;
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
    if (!panels) return;
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
    if (!panels) return;
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
    try {
        std::optional<SettingsArchive> base;
        const QFileInfo stored(archiveStore_.baseArchivePath());
        if (stored.exists() || stored.isSymLink()) base = SettingsArchive::read(archiveStore_.baseArchivePath());
        SettingsArchive::exporting(EditorSettingsSnapshot(defaults_), base ? &*base : nullptr,
                                   &EditorPreferences::exportedFontFamily)
            .write(destination);
    } catch (const SettingsArchiveError& error) {
        presentError(error.localizedDescription());
    }
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
    if (!panels) return;
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

    const bool archive = QFileInfo(path).suffix().toLower() == kArchiveExtension;
    SettingsArchiveImportSummary summary;
    if (!(archive ? importArchive(path, summary) : importJSON(path))) return;
    sync();
    settingsDidChange();
    if (archive) presentArchiveSummary(summary);
}

bool SettingsWindowController::importArchive(const QString& path, SettingsArchiveImportSummary& summary)
{
    try {
        const SettingsArchive archive = SettingsArchive::read(path);
        archiveStore_.saveBase(archive);
        const SettingsResourceActivationSummary activation = resourceStore().activate(archive);
        const QStringList names = themeStore_.availableThemeNames();
        summary = archive.applyKnownSettings(defaults_, QSet<QString>(names.cbegin(), names.cend()))
                      .including(activation);
        if (!activation.activated.isEmpty()) NotificationCenter::defaultCenter().post(editorSettingsResourcesChanged);
        return true;
    } catch (const SettingsArchiveError& error) {
        presentError(error.localizedDescription());
    } catch (const EditorSettingsError& error) {
        presentError(error.localizedDescription());
    }
    return false;
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
