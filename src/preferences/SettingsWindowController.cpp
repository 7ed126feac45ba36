#include "preferences/SettingsWindowController.h"

#include "platform/foundation/Bundle.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/ToolWindow.h"
#include "platform/ui/WindowTracker.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "settings/EditorPreferences.h"
#include "settings/EditorSettingsError.h"
#include "settings/EditorSettingsKeys.h"
#include "settings/EditorSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QWidget>

namespace korimado {

namespace {

bool isArchive(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("cotsettings"), Qt::CaseInsensitive) == 0;
}

}  // namespace

SettingsWindowController& SettingsWindowController::shared()
{
    static SettingsWindowController* controller = new SettingsWindowController(UserDefaults::standard());
    return *controller;
}

SettingsWindowController::SettingsWindowController(UserDefaults& defaults) : defaults_(defaults)
{
    registerAction(QStringLiteral("exportSettings:"), [this](MenuItem* sender) { exportSettings(sender); });
    registerAction(QStringLiteral("importSettings:"), [this](MenuItem* sender) { importSettings(sender); });
}

void SettingsWindowController::sync()
{
    ++syncCount_;
}

QWidget* SettingsWindowController::window()
{
    if (!window_) {
        window_ = new QWidget(nullptr, Qt::Tool);
        window_->setWindowTitle(QStringLiteral("設定"));
        auto* label = new QLabel(QStringLiteral("設定ウインドウはまだ利用できません。"), window_);
        auto* layout = new QVBoxLayout(window_);
        layout->setContentsMargins(20, 20, 20, 20);
        layout->addWidget(label);
        window_->resize(420, 140);
        ToolWindow::closeOnEscape(window_);
    }
    return window_;
}

void SettingsWindowController::showWindow(MenuItem*)
{
    ToolWindow::present(window(), WindowTracker::shared().mainWindow(), ToolWindow::Lifetime::shared);
}

void SettingsWindowController::presentError(const QString& description)
{
    if (AlertPresenter* presenter = AlertPresenter::shared()) {
        presenter->presentError(ErrorInfo{Bundle::configuration().errorDomain, 0, description, QString()});
    }
}

void SettingsWindowController::exportSettings(MenuItem*)
{
    FilePanels* panels = FilePanels::shared();
    if (!panels) {
        return;
    }
    SavePanelOptions options;
    options.prompt = QStringLiteral("書き出す");
    options.message = exportMessage;
    options.nameFieldValue = QStringLiteral("Korimado設定.json");
    const SavePanelResult result = panels->runSavePanel(options);
    if (!result.confirmed || result.path.isEmpty()) {
        return;
    }
    // The typed extension is always replaced by the format's own.
    const QFileInfo chosen(result.path);
    const QString destination = chosen.dir().filePath(chosen.completeBaseName() + QStringLiteral(".json"));
    try {
        const QByteArray data = EditorSettingsStore(defaults_).exportData();
        QSaveFile file(destination);
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
            presentError(QStringLiteral("設定を書き出せませんでした。") + file.errorString());
        }
    } catch (const EditorSettingsError& error) {
        presentError(error.localizedDescription());
    }
}

void SettingsWindowController::importSettings(MenuItem*)
{
    FilePanels* panels = FilePanels::shared();
    if (!panels) {
        return;
    }
    OpenPanelOptions options;
    options.prompt = QStringLiteral("読み込む");
    options.message = importMessage;
    const OpenPanelResult result = panels->runOpenPanel(options);
    if (!result.confirmed || result.paths.isEmpty()) {
        return;
    }
    const QString path = result.paths.first();
    if (isArchive(path)) {
        presentError(archiveUnavailableMessage);
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        presentError(QStringLiteral("設定を読み込めませんでした。") + file.errorString());
        return;
    }
    try {
        EditorSettingsStore(defaults_).importData(file.readAll());
    } catch (const EditorSettingsError& error) {
        presentError(error.localizedDescription());
        return;
    }
    sync();
    EditorPreferences::applyAppearance(defaults_);
    NotificationCenter::defaultCenter().post(editorPreferencesChanged);
}

}  // namespace korimado
