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
    // How long a start waits for the running program to take its files.
    static constexpr int handOverTimeoutMs = 10000;

    explicit ApplicationEventService(bool selfTest);
    ~ApplicationEventService();
    ApplicationEventService(const ApplicationEventService&) = delete;
    ApplicationEventService& operator=(const ApplicationEventService&) = delete;

    // Whether another program took over this start: the files given (or, without files, a
    // request to show itself) went to the running program, which answered.
    bool handedOver(const QStringList& files);

    bool isServing() const { return transport_ != nullptr; }
    bool ownsFirstInstanceName() const;
    DBusEventTransport* transport() const { return transport_.get(); }

private:
    std::unique_ptr<DBusEventTransport> transport_;
    bool selfTest_ = false;
    QString writtenAddress_;
};

}  // namespace korimado
