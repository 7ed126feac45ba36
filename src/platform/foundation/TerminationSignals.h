#pragma once

#include <QObject>

class QSocketNotifier;

namespace korimado {

// SIGTERM and SIGHUP (shutdown, a closed terminal, kill) as a signal of the main thread. The
// handler only writes the signal's number into a pipe the event loop watches, so that whatever
// runs on the main thread when it comes runs on undisturbed. One watcher at a time; the default
// handlers come back with it.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    bool isWatching() const { return notifier_ != nullptr; }

Q_SIGNALS:
    void received(int signal);

private:
    void readSignals();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace korimado
