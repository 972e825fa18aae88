#include "base/SignalStop.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipeFds[2] = {-1, -1};
volatile sig_atomic_t signalsSeen = 0;

void Handle(int signal)
{
    if (signalsSeen != 0) {
        // The second signal: the user wants the process gone now.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    signalsSeen = 1;
    const int saved = errno;
    const char number = char(signal);
    [[maybe_unused]] const ssize_t written = write(pipeFds[1], &number, 1);
    errno = saved;
}

void SetHandler(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

SignalStop::SignalStop(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal))
{
    if (pipeFds[0] < 0 && pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    signalsSeen = 0;
    notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        char number = 0;
        while (read(pipeFds[0], &number, 1) == 1) {
            if (onSignal_)
                onSignal_(int(number));
        }
    });
    SetHandler(Handle);
    installed_ = true;
}

SignalStop::~SignalStop()
{
    if (installed_)
        SetHandler(SIG_DFL);
}
