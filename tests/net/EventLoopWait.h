#pragma once
// Runs the Qt event loop until a condition holds. The limit only keeps a broken test from
// hanging; a pass never depends on it.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

inline bool RunUntil(const std::function<bool()> &done, int limitMs = 15000)
{
    QTimer waker; // wakes the wait now and then so the limit is noticed
    waker.start(20);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Serves the event loop for a while; used only to give an unwanted event its chance to appear.
inline void RunFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    RunUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
}
