#pragma once

#include "platform/documents/FileWrapper.h"

#include <QString>

namespace korimado {

class SettingsArchive;

// The last imported archive, kept as the base of the next archive export so that every key and
// file the program does not understand goes back out unchanged.
class SettingsArchiveStore {
public:
    // ImportedBase.cotsettings in the user's data folder (Korimado/Settings); nothing is created.
    SettingsArchiveStore();
    explicit SettingsArchiveStore(QString baseArchivePath) : baseArchivePath_(std::move(baseArchivePath)) {}

    const QString& baseArchivePath() const { return baseArchivePath_; }

    // Replaces the stored base whole, atomically. Throws SettingsArchiveError ("保存" when the folder
    // cannot be made; the archive's own errors unchanged). beforeExchange and cancel as for
    // SettingsArchive::write.
    void saveBase(const SettingsArchive& archive, const FileWrapper::BeforeExchange& beforeExchange = {},
                  const CancellationToken* cancel = nullptr) const;

private:
    QString baseArchivePath_;
};

}  // namespace korimado
