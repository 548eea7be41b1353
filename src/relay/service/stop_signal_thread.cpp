#include "relay/service/stop_signal_thread.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "platform/system_error.h"

namespace {

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    return signals;
}

}  // namespace

void BlockStopSignals() {
    const sigset_t signals = StopSignals();
    const int result = ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    if (result != 0) throw Posix::Error(result);
}

StopSignalThread::StopSignalThread(std::function<void()> onStopSignal)
    : m_onStopSignal(std::move(onStopSignal)), m_body([this] { WaitForSignals(); }) {
    BlockStopSignals();
    const sigset_t signals = StopSignals();
    m_signals = PosixPlatform::FileDescriptor(::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
    Posix::CheckResult(m_signals.IsValid());
    m_thread = StartCallableThread(m_body);
}

StopSignalThread::~StopSignalThread() {
    m_finished.Set();
    WaitAndCloseThreadHandle(m_thread);
}

// The descriptor is readable while a signal is pending; each one read is one call.
void StopSignalThread::WaitForSignals() {
    for (;;) {
        m_finished.WaitWithHandle(m_signals.Get(), kWaitWithoutLimit);
        if (m_finished.Wait(0)) return;
        signalfd_siginfo information;
        while (::read(m_signals.Get(), &information, sizeof information) == sizeof information)
            m_onStopSignal();
    }
}
