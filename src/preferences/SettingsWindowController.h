#pragma once

#include "platform/ui/Responder.h"
#include "preferences/archive/SettingsArchiveStore.h"

#include <QLatin1String>
#include <QPointer>
#include <QString>

#include <memory>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;

namespace korimado {

class EditorThemeStore;
class MenuItem;
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
    void exportArchive(const QString& destination);
    void exportJSON(const QString& destination);
    // The archive road of an import; false when it stopped (the error has been shown).
    bool importArchive(const QString& path, SettingsArchiveImportSummary& summary);
    bool importJSON(const QString& path);
    void settingsDidChange();

    UserDefaults& defaults_;
    EditorThemeStore& themeStore_;
    SettingsArchiveStore archiveStore_;
    std::unique_ptr<SettingsResourceStore> resourceStore_;

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
