#pragma once

#include "platform/ui/Responder.h"

#include <QPointer>
#include <QString>

class QLabel;
class QWidget;

namespace korimado {

class MenuItem;
class UserDefaults;

// The process-wide settings window and the settings export and import commands.
// Stand-in: the window shows no controls yet and settings archives are refused; the
// program's own JSON settings file is exported and imported for real.
class SettingsWindowController : public Responder {
public:
    static SettingsWindowController& shared();
    // A controller over other defaults, for tests.
    explicit SettingsWindowController(UserDefaults& defaults);

    // Reloads every control from the current settings.
    void sync();
    QWidget* window();
    void showWindow(MenuItem* sender = nullptr);

    void exportSettings(MenuItem* sender);
    void importSettings(MenuItem* sender);

    // How often sync() ran; the controls it will reload do not exist yet.
    int syncCount() const { return syncCount_; }

    static inline const QString exportMessage = QStringLiteral("現在の設定を書き出します。形式を選んでください。");
    static inline const QString importMessage =
        QStringLiteral("設定アーカイブ（.cotsettings）またはKorimadoのJSON設定を選んでください。");
    static inline const QString archiveUnavailableMessage =
        QStringLiteral("設定アーカイブの読み書きはまだ利用できません。");

private:
    void presentError(const QString& description);

    UserDefaults& defaults_;
    QPointer<QWidget> window_;
    int syncCount_ = 0;
};

}  // namespace korimado
