#include "filetree/WorkspaceFileOperations.h"

#include "filetree/TreePath.h"
#include "platform/documents/FileManager.h"
#include "platform/text/StringChecks.h"

#include <QFileInfo>

namespace korimado {

namespace {

QString lastComponent(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

}  // namespace

WorkspaceFileOperations::WorkspaceFileOperations(FileManager& fileManager) : fileManager_(&fileManager) {}

QString WorkspaceFileOperations::validatedName(const QString& name)
{
    const QString trimmed = trimmedOfWhiteSpaceAndNewlines(name);
    if (trimmed.isEmpty() || trimmed == u'.' || trimmed == QStringLiteral("..")) throw WorkspaceFileError::invalidName();
    for (const QChar c : trimmed) {
        if (c == u'/' || c == u':' || c == QChar(0) || c == u'\n' || c == u'\r') throw WorkspaceFileError::invalidName();
    }
    return trimmed;
}

bool WorkspaceFileOperations::isInside(const QString& url, const QString& root)
{
    return TreePath::isAtOrUnder(TreePath::resolved(url), TreePath::resolved(root));
}

QString WorkspaceFileOperations::destination(const QString& directory, const QString& name,
                                             const QString& workspaceRoot) const
{
    const QString root = TreePath::resolved(workspaceRoot);
    if (!isInside(directory, root)) throw WorkspaceFileError::outsideWorkspace();
    if (!fileManager_->attributes(directory).isDirectory) throw WorkspaceFileError::notDirectory(lastComponent(directory));
    const QString valid = validatedName(name);
    const QString target = TreePath::standardized(TreePath::standardized(directory) + u'/' + valid);
    if (!isInside(QFileInfo(target).path(), root)) throw WorkspaceFileError::outsideWorkspace();
    // A dangling link counts: creating through it would make a file wherever it points.
    if (fileManager_->itemExists(target)) throw WorkspaceFileError::destinationExists(lastComponent(target));
    return target;
}

QString WorkspaceFileOperations::create(Kind kind, const QString& directory, const QString& name,
                                        const QString& workspaceRoot)
{
    const QString target = destination(directory, name, workspaceRoot);
    ErrorInfo error;
    const bool made = kind == Kind::file ? fileManager_->createFile(target, &error)
                                         : fileManager_->createDirectory(target, &error);
    if (!made) {
        // Someone else was quicker between the check and the creation.
        if (fileManager_->itemExists(target)) throw WorkspaceFileError::destinationExists(lastComponent(target));
        throw WorkspaceFileError::operationFailed(
            kind == Kind::file ? QStringLiteral("ファイルを作成") : QStringLiteral("フォルダを作成"), error);
    }
    return target;
}

QString WorkspaceFileOperations::createFile(const QString& directory, const QString& name, const QString& workspaceRoot)
{
    return create(Kind::file, directory, name, workspaceRoot);
}

QString WorkspaceFileOperations::createFolder(const QString& directory, const QString& name,
                                              const QString& workspaceRoot)
{
    return create(Kind::folder, directory, name, workspaceRoot);
}

QString WorkspaceFileOperations::move(const QString& sourceURL, const QString& directory,
                                      const std::optional<QString>& newName, const QString& workspaceRoot)
{
    const QString root = TreePath::resolved(workspaceRoot);
    const QString source = TreePath::standardized(sourceURL);
    const FileAttributes item = fileManager_->attributes(source);
    if (!item.exists) throw WorkspaceFileError::sourceMissing(lastComponent(source));
    if (TreePath::resolved(source) == root) throw WorkspaceFileError::rootOperation();
    if (!isInside(source, root) || !isInside(directory, root)) throw WorkspaceFileError::outsideWorkspace();
    if (!fileManager_->attributes(directory).isDirectory) throw WorkspaceFileError::notDirectory(lastComponent(directory));
    const QString name = validatedName(newName.value_or(lastComponent(source)));
    const QString target = TreePath::standardized(TreePath::standardized(directory) + u'/' + name);
    if (target == source) return target;
    if (fileManager_->itemExists(target)) throw WorkspaceFileError::destinationExists(lastComponent(target));
    if (item.isDirectory && isInside(directory, source)) throw WorkspaceFileError::destinationInsideSource();
    ErrorInfo error;
    if (!fileManager_->moveItem(source, target, &error)) {
        throw WorkspaceFileError::operationFailed(QStringLiteral("移動"), error);
    }
    return target;
}

}  // namespace korimado
