#pragma once

#include "platform/ui/Responder.h"
#include "preferences/archive/SettingsArchiveStore.h"
#include "preferences/archive/SettingsArchiveTransfer.h"

#include <QLatin1String>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace korimado {

class DispatchQueue;
class EditorThemeStore;
class MenuItem;
class ProgressSheet;
class SettingsResourceStore;
class UserDefaults;
struct ErrorInfo;
struct SettingsArchiveImportSummary;

// Posted with no object after an archive import installed at least one theme, syntax or rule file.
inline constexpr QLatin1String editorSettingsResourcesChanged{"Korimado.settingsResourcesChanged"};

// The one settings window: four pages whose every control writes all settings the moment the
// user changes it, and the commands that import and export themes and settings (the program's
// own JSON file, or an outside-editor ".cotsettings" archive).
class SettingsWindowController : public Responder {
public:
    static SettingsWindowController& shared();
    // A controller over other defaults, theme store and base archive, for tests.
    SettingsWindowController(UserDefaults& defaults, EditorThemeStore& themeStore, SettingsArchiveStore archiveStore);
    ~SettingsWindowController() override;

    // Syncs the shared controller, then shows its window and makes it key.
    static void show();

    // Loads every control from the settings; writes nothing, posts nothing.
    void sync();
    QWidget* window() const { return window_; }
    void showWindow(MenuItem* sender = nullptr);

    // Writes all settings from the controls, applies the appearance and posts the change.
    void changed();
    void importTheme(MenuItem* sender);
    void exportTheme(MenuItem* sender);
    void exportSettings(MenuItem* sender);
    void importSettings(MenuItem* sender);

    // An archive import or export works on a worker behind a progress sheet, which can cancel it
    // until the job begins to replace what is on disk; other commands wait for it to end.
    bool isArchiveJobRunning() const { return archiveJob_ != nullptr; }
    ProgressSheet* progressSheet() const;

    // The controls, for the tests and the self-test suites.
    QComboBox* size() const { return size_; }
    QComboBox* appearance() const { return appearance_; }
    QComboBox* tokens() const { return tokens_; }
    QComboBox* theme() const { return theme_; }
    QComboBox* font() const { return font_; }
    QComboBox* tabWidth() const { return tabWidth_; }
    QComboBox* encoding() const { return encoding_; }
    QComboBox* lineEnding() const { return lineEnding_; }
    QLineEdit* guideColumn() const { return guideColumn_; }
    QCheckBox* wrap() const { return wrap_; }
    QCheckBox* hidden() const { return hidden_; }
    QCheckBox* autoplay() const { return autoplay_; }
    QCheckBox* spaces() const { return spaces_; }
    QCheckBox* lineNumbers() const { return lineNumbers_; }
    QCheckBox* statusBar() const { return statusBar_; }
    QCheckBox* invisibles() const { return invisibles_; }
    QCheckBox* pageGuide() const { return pageGuide_; }
    QCheckBox* spelling() const { return spelling_; }
    QTabWidget* tabView() const { return tabs_; }

    static inline const QString exportMessage = QStringLiteral("現在の設定を書き出します。形式を選んでください。");
    static inline const QString importMessage =
        QStringLiteral("設定アーカイブ（.cotsettings）またはKorimadoのJSON設定を選んでください。");

private:
    void buildControls();
    void buildWindow();
    QWidget* page(const QString& title, const QList<QWidget*>& views);
    QWidget* row(const QString& title, QWidget* control);
    void reloadThemePicker(const QString& selected);
    // The page-guide column's entry is done: written when it is a column the guide takes, else
    // refused and the stored one shown again.
    void guideColumnEdited();

    SettingsResourceStore& resourceStore();
    // The window panels and alerts are modal to: the settings window while it is on screen.
    QWidget* modalParent() const;
    void presentError(const QString& description);
    void presentArchiveSummary(const SettingsArchiveImportSummary& summary);
    // Asks before the export writes over something the panel did not confirm. True: go on.
    bool confirmReplacing(const QString& confirmed, const QString& destination);
    using Control = SettingsArchiveTransfer::Control;
    // Runs on the worker and returns what the main thread does with its result.
    using ArchiveJob = std::function<std::function<void()>(Control&)>;
    void runArchiveJob(const QString& message, ArchiveJob job);
    void endArchiveJob();
    void exportArchive(const QString& destination);
    void exportJSON(const QString& destination);
    // The archive road of an import: the file work on the worker, then the settings here.
    void importArchive(const QString& path);
    void finishArchiveImport(const SettingsArchiveTransfer::ImportResult& result);
    bool importJSON(const QString& path);
    void settingsDidChange();

    UserDefaults& defaults_;
    EditorThemeStore& themeStore_;
    SettingsArchiveStore archiveStore_;
    std::unique_ptr<SettingsResourceStore> resourceStore_;
    std::shared_ptr<Control> archiveJob_;
    QPointer<ProgressSheet> progress_;
    quint64 archiveGeneration_ = 0;
    // Results of the worker reach this object only while it lives.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
    // Made on the first archive job; its destruction waits for a job still running.
    std::unique_ptr<DispatchQueue> archiveQueue_;

    QPointer<QWidget> window_;
    QTabWidget* tabs_ = nullptr;
    QComboBox* size_ = nullptr;
    QComboBox* appearance_ = nullptr;
    QComboBox* tokens_ = nullptr;
    QComboBox* theme_ = nullptr;
    QComboBox* font_ = nullptr;
    QComboBox* tabWidth_ = nullptr;
    QComboBox* encoding_ = nullptr;
    QComboBox* lineEnding_ = nullptr;
    QLineEdit* guideColumn_ = nullptr;
    QCheckBox* wrap_ = nullptr;
    QCheckBox* hidden_ = nullptr;
    QCheckBox* autoplay_ = nullptr;
    QCheckBox* spaces_ = nullptr;
    QCheckBox* lineNumbers_ = nullptr;
    QCheckBox* statusBar_ = nullptr;
    QCheckBox* invisibles_ = nullptr;
    QCheckBox* pageGuide_ = nullptr;
    QCheckBox* spelling_ = nullptr;
};

}  // namespace korimado
