#include "platform/events/EventBusLocation.h"

#include "platform/foundation/Bundle.h"
#include "platform/wire/EventBusNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korimado {

namespace {

const QString addressFileName = QString::fromLatin1(wire::EventBusNames::addressFileName);

bool isSocket(const QString& path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISSOCK(status.st_mode);
}

}  // namespace

QString EventBusLocation::serviceName()
{
    return Bundle::bundleIdentifier();
}

QString EventBusLocation::processServiceName(qint64 pid)
{
    return serviceName() + QStringLiteral(".pid") + QString::number(pid);
}

QString EventBusLocation::addressFilePath()
{
    // Under $HOME whatever $XDG_DATA_HOME says: a script may inherit nothing but HOME.
    return QDir::homePath() + QStringLiteral("/.local/share/") + Bundle::configuration().dataFolderName
           + QLatin1Char('/') + addressFileName;
}

QString EventBusLocation::addressInFile()
{
    QFile file(addressFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(4096)).trimmed();
}

QString EventBusLocation::programAddressVariable()
{
    return QString::fromLatin1(wire::EventBusNames::programAddressVariable);
}

QString EventBusLocation::sessionAddress()
{
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty())
        return address;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isSocket(runtime + QStringLiteral("/bus")))
        return QStringLiteral("unix:path=") + runtime + QStringLiteral("/bus");
    return {};
}

bool EventBusLocation::writeAddressFile(const QString& address, QString* error)
{
    const QString path = addressFilePath();
    if (!QDir().mkpath(QFileInfo(path).path())) {
        if (error) *error = QStringLiteral("cannot create the folder of ") + path;
        return false;
    }
    // Made private before anything is written, then renamed over the old file in one step.
    const QByteArray temporary = QFile::encodeName(path + QStringLiteral(".tmp") + QString::number(::getpid()));
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error) *error = QStringLiteral("cannot write ") + path;
        return false;
    }
    const QByteArray bytes = address.toUtf8() + '\n';
    const bool written = ::fchmod(fd, 0600) == 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(temporary.constData());
        if (error) *error = QStringLiteral("cannot write ") + path;
        return false;
    }
    return true;
}

void EventBusLocation::removeAddressFile(const QString& address)
{
    if (!address.isEmpty() && addressInFile() == address)
        QFile::remove(addressFilePath());
}

}  // namespace korimado
