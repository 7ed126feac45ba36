#pragma once

#include "platform/foundation/CancellationToken.h"
#include "preferences/archive/SettingsArchive.h"
#include "preferences/archive/SettingsArchiveStore.h"
#include "preferences/archive/SettingsResourceActivationSummary.h"
#include "settings/EditorSettingsSnapshot.h"

#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>

namespace korimado {

class EditorThemeStore;
class SettingsResourceStore;

// The file work of an archive import or export, for a worker thread: reading, storing the base,
// installing resources, writing the destination. Nothing here touches the user defaults or a
// window; the settings are applied on the main thread afterwards.
class SettingsArchiveTransfer {
public:
    // Shared by a job and the main thread. A job can be cancelled until it commits, the moment
    // it replaces something on disk (the stored base of an import, the destination of an
    // export); from then on it goes to its end and a cancel comes too late. A cancelled job
    // changes nothing.
    class Control {
    public:
        // True when the job will change nothing; false once it has committed.
        bool cancel();
        bool isCancelled() const { return token_.isCancelled(); }
        // The job's side: true, and no cancel succeeds afterwards, unless it was cancelled.
        bool commit();
        const CancellationToken* token() const { return &token_; }

    private:
        std::mutex lock_;
        CancellationToken token_;
        bool committed_ = false;
    };

    struct ImportResult {
        std::optional<SettingsArchive> archive;
        SettingsResourceActivationSummary activation;
        QStringList themeNames;  // taken after the archive's themes were installed
        QString error;           // why the import stopped, when it did
        bool cancelled = false;
    };
    struct ExportResult {
        QString error;
        bool cancelled = false;
    };

    SettingsArchiveTransfer() = delete;

    // Reads the archive, stores it as the base (the commit), installs its resources and lists
    // the themes.
    static ImportResult importArchive(const QString& path, const SettingsArchiveStore& store,
                                      const SettingsResourceStore& resources, const EditorThemeStore& themes,
                                      Control& control);
    // Reads the stored base when there is one and writes the settings over it to destination
    // (the commit is its exchange). fontFamily: the family the font setting is exported under.
    static ExportResult exportArchive(const QString& destination, const SettingsArchiveStore& store,
                                      const EditorSettingsSnapshot& settings, const QString& fontFamily,
                                      Control& control);
};

}  // namespace korimado
