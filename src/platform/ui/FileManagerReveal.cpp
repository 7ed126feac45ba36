#include "platform/ui/FileManagerReveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace korimado {

namespace {

std::function<void(const QString&)>& handlerSlot()
{
    static std::function<void(const QString&)> handler;
    return handler;
}

void openContainingFolder(const QString& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

}  // namespace

void FileManagerReveal::setHandler(std::function<void(const QString&)> handler)
{
    handlerSlot() = std::move(handler);
}

void FileManagerReveal::reveal(const QString& path)
{
    if (handlerSlot()) {
        handlerSlot()(path);
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openContainingFolder(path);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("/org/freedesktop/FileManager1"),
                                                       QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // Asynchronous, so a file manager that is slow to start never holds up the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [path](QDBusPendingCallWatcher* done) {
        if (QDBusPendingReply<>(*done).isError()) openContainingFolder(path);
        done->deleteLater();
    });
}

}  // namespace korimado
