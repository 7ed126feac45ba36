#include "preferences/archive/SettingsArchiveTransfer.h"

#include "platform/documents/FileIO.h"
#include "preferences/archive/SettingsArchiveError.h"
#include "preferences/archive/SettingsResourceStore.h"
#include "theme/EditorThemeStore.h"

#include <QFileInfo>

#include <cerrno>

namespace korimado {

namespace {

// The last look before something on disk is replaced: the job commits, or gives up cancelled.
FileWrapper::BeforeExchange committing(SettingsArchiveTransfer::Control& control)
{
    return [&control](ErrorInfo* error) {
        if (control.commit()) return true;
        if (error) *error = posixError(ECANCELED, QString());
        return false;
    };
}

}  // namespace

bool SettingsArchiveTransfer::Control::cancel()
{
    std::lock_guard guard(lock_);
    if (committed_) return false;
    token_.cancel();
    return true;
}

bool SettingsArchiveTransfer::Control::commit()
{
    std::lock_guard guard(lock_);
    if (token_.isCancelled()) return false;
    committed_ = true;
    return true;
}

SettingsArchiveTransfer::ImportResult SettingsArchiveTransfer::importArchive(const QString& path,
                                                                             const SettingsArchiveStore& store,
                                                                             const SettingsResourceStore& resources,
                                                                             const EditorThemeStore& themes,
                                                                             Control& control)
{
    ImportResult result;
    try {
        result.archive = SettingsArchive::read(path, control.token());
        store.saveBase(*result.archive, committing(control), control.token());
    } catch (const SettingsArchiveCancelled&) {
        result.cancelled = true;
        return result;
    } catch (const SettingsArchiveError& error) {
        // A write given up at the commit was cancelled, not failed.
        result.cancelled = control.isCancelled();
        if (!result.cancelled) result.error = error.localizedDescription();
        return result;
    }
    result.activation = resources.activate(*result.archive);
    result.themeNames = themes.availableThemeNames();
    return result;
}

SettingsArchiveTransfer::ExportResult SettingsArchiveTransfer::exportArchive(const QString& destination,
                                                                             const SettingsArchiveStore& store,
                                                                             const EditorSettingsSnapshot& settings,
                                                                             const QString& fontFamily, Control& control)
{
    ExportResult result;
    try {
        std::optional<SettingsArchive> base;
        const QFileInfo stored(store.baseArchivePath());
        if (stored.exists() || stored.isSymLink()) base = SettingsArchive::read(store.baseArchivePath(), control.token());
        SettingsArchive::exporting(settings, base ? &*base : nullptr, [&fontFamily](const QString&) { return fontFamily; })
            .write(destination, committing(control), control.token());
    } catch (const SettingsArchiveCancelled&) {
        result.cancelled = true;
    } catch (const SettingsArchiveError& error) {
        result.cancelled = control.isCancelled();
        if (!result.cancelled) result.error = error.localizedDescription();
    }
    return result;
}

}  // namespace korimado
