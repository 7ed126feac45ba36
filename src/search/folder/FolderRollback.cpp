#include "search/folder/FolderRollback.h"

#include "search/folder/FolderFileSystem.h"

#include <limits>

namespace korimado {

QString FolderRollback::failureLine(const QString& target, const QString& description)
{
    return target + QStringLiteral(": ") + description;
}

FolderRollbackResult FolderRollback::run(const QList<FolderRollbackEntry>& entries, FolderFileSystem& fileSystem,
                                         bool restoreNewestUnchecked)
{
    constexpr qint64 noLimit = std::numeric_limits<qint64>::max() - 1;
    FolderRollbackResult result;
    for (qsizetype i = entries.size() - 1; i >= 0; --i) {
        const FolderRollbackEntry& entry = entries[i];
        ErrorInfo error;
        const bool checked = !(restoreNewestUnchecked && i == entries.size() - 1);
        if (checked) {
            const std::optional<QByteArray> current = fileSystem.readFile(entry.targetURL, noLimit, &error);
            if (!current) {
                result.failures.push_back(failureLine(entry.targetURL, error.description));
                continue;
            }
            if (*current != entry.replacementData) {
                result.refused.push_back(entry.targetURL);
                continue;
            }
        }
        const std::optional<QByteArray> backup = fileSystem.readFile(entry.backupURL, noLimit, &error);
        if (!backup) {
            result.failures.push_back(failureLine(entry.targetURL, error.description));
            continue;
        }
        if (!fileSystem.writeFile(entry.targetURL, *backup, entry.posixPermissions, &error)) {
            result.failures.push_back(failureLine(entry.targetURL, error.description));
            continue;
        }
        if (entry.posixPermissions && !fileSystem.setPermissions(entry.targetURL, *entry.posixPermissions, &error)) {
            result.failures.push_back(failureLine(entry.targetURL, error.description));
            continue;
        }
        result.restored.push_back(entry.targetURL);
    }
    return result;
}

}  // namespace korimado
