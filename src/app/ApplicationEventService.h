#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace korimado {

class DBusEventTransport;

// Korimado on the session bus. The first program of a user takes the program's name, answers
// events there and under its own process name, and leaves its bus address where scripts started
// with a bare environment find it. A later start hands its files to that program and ends; a
// self-test always runs on its own, under its process name only.
class ApplicationEventService {
public:
    // After this long a waiting start says on standard error what it waits for.
    static constexpr int handOverNoticeMs = 10000;

    explicit ApplicationEventService(bool selfTest);
    ~ApplicationEventService();
    ApplicationEventService(const ApplicationEventService&) = delete;
    ApplicationEventService& operator=(const ApplicationEventService&) = delete;

    enum class HandOver {
        none,        // no other program takes them: this start runs on its own
        handedOver,  // the running program took the files (without files: it showed itself)
        refused,     // a program holds the name but would not take them: this start ends
    };
    // Gives this start's files to the program that holds the name. Waits as long as that program
    // lives, busy or behind an alert: a start that ran on beside it would open the same files in
    // two processes. When it ends without answering, this start takes the name and runs on its
    // own. For refused, message says why.
    HandOver handOver(const QStringList& files, QString* message = nullptr);
    // Takes back the address left for scripts, for an exit that runs no destructors.
    void withdraw();

    bool isServing() const { return transport_ != nullptr; }
    // Whether this program left its bus address for scripts; not when another program of this
    // user, on another session bus, holds the file and still answers there.
    bool wroteAddressFile() const { return !writtenAddress_.isEmpty(); }
    // What a start says on standard error when it leaves that program's file alone.
    static QString addressFileHeldMessage();
    bool ownsFirstInstanceName() const;
    DBusEventTransport* transport() const { return transport_.get(); }

private:
    bool takeFirstInstanceName();

    std::unique_ptr<DBusEventTransport> transport_;
    bool selfTest_ = false;
    QString writtenAddress_;
    bool addressFileHeld_ = false;  // by a program on another bus, which keeps it
};

}  // namespace korimado
