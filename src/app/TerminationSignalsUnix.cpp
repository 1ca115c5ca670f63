#include "app/TerminationSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int s_pipe[2] = {-1, -1};

extern "C" void onSignal(int signalNumber)
{
    // Only async-signal-safe work here: one byte into the pipe.
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(s_pipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

void TerminationSignals::reserve()
{
    if (s_pipe[0] < 0 &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, s_pipe) != 0)
        s_pipe[0] = s_pipe[1] = -1;
}

TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{
    reserve();
    if (s_pipe[0] < 0)
        return;
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPending);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : kSignals) {
        // A signal ignored when the program started (SIGHUP under nohup)
        // stays ignored: whoever started it asked for that.
        struct sigaction current = {};
        if (::sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signalNumber, &action, nullptr);
        m_handled |= 1u << signalNumber;
    }
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier)
        return;
    for (const int signalNumber : kSignals) {
        if (m_handled & (1u << signalNumber))
            ::signal(signalNumber, SIG_DFL);
    }
    delete m_notifier;
    ::close(s_pipe[0]);
    ::close(s_pipe[1]);
    s_pipe[0] = s_pipe[1] = -1;
}

void TerminationSignals::readPending()
{
    unsigned char byte = 0;
    while (::read(s_pipe[0], &byte, 1) == 1)
        emit received(byte);
}
