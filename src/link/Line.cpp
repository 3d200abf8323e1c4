// The line that carries one exchange at a time: who holds it, who waits for it, and lending it
// between two passes of a loop.
#include "link/Exchange.h"

#include "link/Com232.h"

#include <algorithm>
#include <array>

namespace korva {

namespace {

struct WaitingCall {
    LineCall call;
    int panel;
    int control;
    int event;
    LineNeed need;
    int argument;

    bool operator==(const WaitingCall& other) const
    {
        return call == other.call && panel == other.panel && control == other.control && event == other.event &&
               argument == other.argument;
    }
};

// Operator actions waiting for the line, oldest first. A few are all an operator can press during
// one exchange; one more than fits is not taken.
constexpr size_t MAX_WAITING = 16;
std::array<WaitingCall, MAX_WAITING> waiting;
size_t waitingCount = 0;

int lineHolds = 0;     // calls and loops holding the line, nested ones counted
int loopsRunning = 0;  // Run or Data loops
bool runPosted = false;
int callArgument = 0;  // of the call running on the line

bool Runnable(LineNeed need)
{
    return lineHolds == 0 && (need == LineNeed::Exchange || loopsRunning == 0);
}

bool IsWaiting(const WaitingCall& call)
{
    return std::find(waiting.begin(), waiting.begin() + waitingCount, call) != waiting.begin() + waitingCount;
}

void PutInLine(const WaitingCall& call)
{
    if (waitingCount < MAX_WAITING && !IsWaiting(call))
        waiting[waitingCount++] = call;
}

WaitingCall TakeFirst()
{
    const WaitingCall first = waiting[0];
    std::move(waiting.begin() + 1, waiting.begin() + waitingCount, waiting.begin());
    --waitingCount;
    return first;
}

// Runs a call that may run now, holding the line, with its argument.
int RunHolding(const WaitingCall& call)
{
    const LineHold hold;
    const int outer = callArgument;
    callArgument = call.argument;
    const int result = call.call(call.panel, call.control, call.event, nullptr, 0, 0);
    callArgument = outer;
    return result;
}

// Runs, in their order, the waiting calls that may run now; the others keep waiting, behind any
// that came meanwhile.
void RunWaitingCalls()
{
    for (size_t n = waitingCount; n > 0 && waitingCount > 0; --n) {
        const WaitingCall call = TakeFirst();
        if (Runnable(call.need))
            RunHolding(call);
        else
            PutInLine(call);
    }
}

void RunPostedCalls(void*)
{
    runPosted = false;
    RunWaitingCalls();
}

// Once nothing holds the line, what waits runs at the next event processing, outside of the
// callback that let the line go.
void RunWaitingCallsWhenFree()
{
    if (lineHolds == 0 && loopsRunning == 0 && waitingCount > 0 && !runPosted) {
        runPosted = true;
        PostDeferredCall(RunPostedCalls, nullptr);
    }
}

bool ExchangeWaiting()
{
    return std::any_of(waiting.begin(), waiting.begin() + waitingCount,
                       [](const WaitingCall& call) { return call.need == LineNeed::Exchange; });
}

}  // namespace

int CallOnLine(LineCall call, LineNeed need, int panel, int control, int event, int argument)
{
    if (need == LineNeed::None)
        return call(panel, control, event, nullptr, 0, 0);
    const WaitingCall waitingCall{call, panel, control, event, need, argument};
    if (waitingCount == 0 && Runnable(need))
        return RunHolding(waitingCall);
    PutInLine(waitingCall);
    RunWaitingCallsWhenFree();
    return 0;
}

int CallArgument()
{
    return callArgument;
}

// A command the operator starts afresh shows its own messages: an alert has been seen by then.
LineHold::LineHold()
{
    if (lineHolds == 0 && loopsRunning == 0)
        EndAlertEarly();
    ++lineHolds;
}

LineHold::~LineHold()
{
    --lineHolds;
    RunWaitingCallsWhenFree();
}

// Running from here on: a Stop pressed while the first order waits for a settled line ends it.
LoopHold::LoopHold()
{
    ++loopsRunning;
    stop_flag = 0;
}

LoopHold::~LoopHold()
{
    --loopsRunning;
}

bool LoopRunning()
{
    return loopsRunning > 0;
}

bool LineFree()
{
    return lineHolds == 0 && loopsRunning == 0;
}

bool LineHeld()
{
    return lineHolds > 0;
}

void LendLine()
{
    rx_flag = 0;
    if (!ExchangeWaiting())
        return;
    const ReceiveHandlerOn handler;
    --lineHolds;
    RunWaitingCalls();
    ++lineHolds;
}

}  // namespace korva
