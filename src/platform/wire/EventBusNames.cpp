#include "platform/wire/EventBusNames.h"

#include <algorithm>
#include <cstdlib>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korimado::wire {

namespace {

bool isSocket(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

std::string readAddressFile()
{
    const int fd = ::open(EventBusNames::addressFilePath().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text(4096, '\0');
    const ssize_t n = ::read(fd, text.data(), text.size());
    ::close(fd);
    text.resize(n > 0 ? std::size_t(n) : 0);
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; };
    while (!text.empty() && space(text.back()))
        text.pop_back();
    text.erase(0, std::min(text.find_first_not_of(" \t\n\r\f\v"), text.size()));
    return text;
}

}  // namespace

std::string EventBusNames::addressFilePath()
{
    // Under $HOME whatever $XDG_DATA_HOME says: a script may inherit nothing but HOME.
    return homeFolder() + "/.local/share/" + dataFolderName + "/" + addressFileName;
}

std::vector<std::string> EventBusNames::clientAddresses()
{
    std::vector<std::string> addresses;
    const auto add = [&](const std::string& address) {
        if (!address.empty() && std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(address);
    };
    if (const char* address = std::getenv(programAddressVariable))
        add(address);
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        add(address);
    const std::string runUser = "/run/user/" + std::to_string(::getuid()) + "/bus";
    if (isSocket(runUser))
        add("unix:path=" + runUser);
    add(readAddressFile());
    return addresses;
}

}  // namespace korimado::wire
