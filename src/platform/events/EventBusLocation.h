#pragma once

#include <QString>

namespace korimado {

// Where events travel between processes: the bus names, the object and its interface, and how a
// client that inherited no bus address (a script started with a bare environment) finds the
// running program's session bus. The client's side of it is wire::EventBusNames.
class EventBusLocation {
public:
    EventBusLocation() = delete;

    // The first running program's name: the bundle identifier.
    static QString serviceName();
    // Every running program's own name: the identifier, ".pid", the process ID.
    static QString processServiceName(qint64 pid);
    static QString objectPath() { return QStringLiteral("/AppleEvents"); }
    static QString interfaceName() { return serviceName() + QStringLiteral(".AppleEvents"); }
    static QString sendMethod() { return QStringLiteral("Send"); }
    // The same call answered with a file descriptor, where the bus passes them.
    static QString sendForFileMethod() { return QStringLiteral("SendForFile"); }
    // The event itself in a sealed memory file, answered with one: for events larger than a
    // message is worth carrying.
    static QString sendFileMethod() { return QStringLiteral("SendFile"); }

    // The file the first running program keeps its bus address in, readable by its user only:
    // "$HOME/.local/share/<data folder>/bus-address", where a script that inherited nothing but HOME
    // finds it.
    static QString addressFilePath();
    // The session bus address this process would use: $DBUS_SESSION_BUS_ADDRESS, else the
    // socket "bus" in $XDG_RUNTIME_DIR when there is one; empty otherwise.
    static QString sessionAddress();
    // The address the file holds now; empty when there is none.
    static QString addressInFile();
    // The variable a script started from the program's runner finds the program's bus in.
    static QString programAddressVariable();
    // Writes address to the file, replacing it whole, mode 0600.
    static bool writeAddressFile(const QString& address, QString* error = nullptr);
    // Removes the file when it still holds address (another program may have taken it over).
    static void removeAddressFile(const QString& address);
};

}  // namespace korimado
