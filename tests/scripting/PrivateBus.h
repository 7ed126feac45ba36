#pragma once

#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

#include <memory>

namespace korimado::test {

// A session bus of this test's own: a dbus-daemon listening in a temporary folder, ended with
// the object.
class PrivateBus {
public:
    PrivateBus()
    {
        daemon_.setProgram(QStringLiteral("dbus-daemon"));
        daemon_.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                              QStringLiteral("--address=unix:path=") + folder_.file(QStringLiteral("bus"))});
        daemon_.start();
        if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000)) {
            ADD_FAILURE() << "dbus-daemon did not start";
            return;
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }

    ~PrivateBus()
    {
        for (const QString& name : names_)
            QDBusConnection::disconnectFromBus(name);
        daemon_.terminate();
        if (!daemon_.waitForFinished(5000))
            daemon_.kill();
        daemon_.waitForFinished(5000);
    }

    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    QString address() const { return address_; }

    // A connection of its own to the bus, under a name unique in this process.
    QDBusConnection connect(const QString& name)
    {
        names_.append(name);
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    TempDir folder_;
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

}  // namespace korimado::test
