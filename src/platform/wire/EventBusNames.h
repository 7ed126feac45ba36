#pragma once

#include <string>
#include <vector>

namespace korimado::wire {

// Where the program listens for events, as the command-line client finds it without Qt. The
// program's own side (EventBusLocation) takes the same names from its bundle.
struct EventBusNames {
    static constexpr const char* programIdentifier = "app.korimado.Korimado";
    static constexpr const char* dataFolderName = "Korimado";
    static constexpr const char* addressFileName = "bus-address";
    static constexpr const char* objectPath = "/AppleEvents";
    static constexpr const char* sendMethod = "Send";
    static constexpr const char* sendForFileMethod = "SendForFile";
    // The bus address of the program whose script runner started this process.
    static constexpr const char* programAddressVariable = "KORIMADO_BUS_ADDRESS";
    static constexpr const char* sendFileMethod = "SendFile";

    static std::string serviceName() { return programIdentifier; }
    static std::string processServiceName(long long pid) { return serviceName() + ".pid" + std::to_string(pid); }
    static std::string interfaceName() { return serviceName() + ".AppleEvents"; }

    // "$HOME/.local/share/Korimado/bus-address", where a script that inherited nothing but HOME
    // finds the bus of the first running program.
    static std::string addressFilePath();
    // The addresses a client tries, in order, without repeats: $KORIMADO_BUS_ADDRESS (a script
    // run from a program's runner drives that program), $DBUS_SESSION_BUS_ADDRESS,
    // /run/user/<uid>/bus when that socket exists, then the address in the file.
    static std::vector<std::string> clientAddresses();
};

}  // namespace korimado::wire
