#pragma once
// SIGINT and SIGTERM (a batch run stopped, a window ended by a logout or a shutdown): the first
// one is handed to the event loop as a call of `onSignal` (the handler itself only writes the
// signal's number into a pipe, the one thing it may safely do); a second one ends the process at
// once, by the signal's own default.
#include <QSocketNotifier>

#include <functional>
#include <memory>

class SignalStop {
public:
    explicit SignalStop(std::function<void(int signal)> onSignal);
    ~SignalStop(); // puts the default handling back
    SignalStop(const SignalStop &) = delete;
    SignalStop &operator=(const SignalStop &) = delete;

    // False when the pipe or the handlers could not be set up; the signals then end the process
    // at once, as they do without this object.
    bool Installed() const { return installed_; }

private:
    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool installed_ = false;
};
