// The program's own event processing for the tests: until a condition holds, or for a while.
#pragma once

#include "userint.h"

#include <QElapsedTimer>

#include <functional>

namespace korva::test {

// Processes events until `done` holds or `ms` milliseconds have passed; returns `done()`.
inline bool ProcessUntil(const std::function<bool()>& done, int ms = 3000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        ProcessSystemEvents();
    return done();
}

// Processes events for `ms` milliseconds; by default long enough for queued callbacks to run.
inline void ProcessFor(int ms = 30)
{
    ProcessUntil([] { return false; }, ms);
}

}  // namespace korva::test
