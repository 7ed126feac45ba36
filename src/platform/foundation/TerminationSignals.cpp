#include "platform/foundation/TerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace korimado {

namespace {

constexpr int watched[] = {SIGTERM, SIGHUP};

int pipeEnds[2] = {-1, -1};

void onSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a request to end: this one adds nothing.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &number, 1);
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (pipeEnds[0] >= 0)
        return;
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeEnds[0] = pipeEnds[1] = -1;
        return;
    }
    notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readSignals);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : watched)
        ::sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    if (!notifier_)
        return;
    for (int signal : watched)
        ::signal(signal, SIG_DFL);
    delete notifier_;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void TerminationSignals::readSignals()
{
    unsigned char numbers[16];
    ssize_t count = 0;
    while ((count = ::read(pipeEnds[0], numbers, sizeof numbers)) > 0 || (count < 0 && errno == EINTR)) {
        for (ssize_t i = 0; i < count; ++i)
            Q_EMIT received(numbers[i]);
    }
}

}  // namespace korimado
