#include "platform/foundation/FilePath.h"

#include <QDir>
#include <QFileInfo>

namespace korimado {

QString standardizedPath(const QString& path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

}  // namespace korimado
