// The shared state of the program, the status line, the tick timer of the waits, and the line that
// carries one exchange at a time.
#include "shell/Shell.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>

namespace korva {

int panelHandle;
int panelPopUp;
std::string proj_dir;
std::string defaultFolder;
int stop_flag;
int target;
char szStatus[STATUS_SIZE];
uint16_t ttick = 0;

namespace {

// Waits that have started and not yet ended, the outer ones of nested waits included.
int activeTickWaits = 0;

void EnableTickTimer(int on)
{
    SetCtrlAttribute(panelHandle, PANEL_TIMER50MS, ATTR_ENABLED, on);
}

// ---- status alerts ----

using Steady = std::chrono::steady_clock;
constexpr auto ALERT_TIME = std::chrono::seconds(5);

Steady::time_point alertUntil;
bool heldBack = false;     // a message came during the alert
std::string heldBackText;  // the last one

bool AlertShowing()
{
    return Steady::now() < alertUntil;
}

void PutOnStatusLine(const char* text)
{
    if (AlertShowing()) {
        heldBack = true;
        heldBackText = text;
        return;
    }
    SetCtrlVal(panelHandle, PANEL_STATUS, text);
}

// Timers may fire a little early; then it looks again when the time is really up. A later alert
// has moved the end and posted a look of its own.
void EndAlert(void*)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(alertUntil - Steady::now());
    if (left.count() > 0) {
        PostDeferredCall(EndAlert, nullptr, static_cast<int>(left.count()));
        return;
    }
    if (heldBack)
        SetCtrlVal(panelHandle, PANEL_STATUS, heldBackText.c_str());
    heldBack = false;
}

void EndAlertEarly()
{
    alertUntil = {};
    heldBack = false;
}

// ---- the line ----

struct WaitingCall {
    CtrlCallback command;
    int panel;
    int control;
    int event;
    LineNeed need;
    int argument;

    // The same callback called for the same event of the same control.
    bool SameCallback(const WaitingCall& other) const
    {
        return command == other.command && panel == other.panel && control == other.control && event == other.event;
    }

    bool operator==(const WaitingCall& other) const { return SameCallback(other) && argument == other.argument; }
};

// Operator actions waiting for the line, oldest first. A few are all an operator can press during
// one exchange; one more than fits is not taken.
constexpr size_t MAX_WAITING = 16;
std::array<WaitingCall, MAX_WAITING> waiting;
size_t waitingCount = 0;

int lineHolds = 0;     // commands and loops holding the line, nested ones counted
int loopsRunning = 0;  // Run or Data loops
bool runPosted = false;
// The waiting call being run now: its own look at the line lets it through.
WaitingCall admitted{};
bool admittedValid = false;

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

// Runs, in their order, the waiting calls that may run now; the others keep waiting, behind any
// that came meanwhile.
void RunWaitingCalls()
{
    for (size_t n = waitingCount; n > 0 && waitingCount > 0; --n) {
        const WaitingCall call = TakeFirst();
        if (!Runnable(call.need)) {
            PutInLine(call);
            continue;
        }
        admitted = call;
        admittedValid = true;
        call.command(call.panel, call.control, call.event, nullptr, 0, 0);
        admittedValid = false;
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

}  // namespace

void ChooseDefaultFolder(const std::string& packageFolder)
{
    defaultFolder = proj_dir != packageFolder && CanWriteIn(proj_dir) ? proj_dir : GetDocumentsDir();
}

void Dim(int panel, int control, int dimmed)
{
    SetCtrlAttribute(panel, control, ATTR_DIMMED, dimmed);
}

void DimCommandButtons(int dimmed)
{
    Dim(panelHandle, PANEL_CMD16, dimmed);
    Dim(panelHandle, PANEL_CMD14, dimmed);
    Dim(panelHandle, PANEL_CMD3, dimmed);
}

// ---- status line ------------------------------------------------------------------------------------

void StoreStatus(const char* text)
{
    std::strncpy(szStatus, text, STATUS_SIZE - 1);
    szStatus[STATUS_SIZE - 1] = '\0';
}

void ShowStatus()
{
    PutOnStatusLine(szStatus);
}

void ShowMessage(const char* text)
{
    PutOnStatusLine(text);
}

void ShowAlert(const char* text)
{
    SetCtrlVal(panelHandle, PANEL_STATUS, text);
    alertUntil = Steady::now() + ALERT_TIME;
    heldBack = false;
    PostDeferredCall(EndAlert, nullptr, std::chrono::duration_cast<std::chrono::milliseconds>(ALERT_TIME).count());
}

// ---- tick timer -------------------------------------------------------------------------------------

void StartTickWait()
{
    ++activeTickWaits;
    EnableTickTimer(1);
    ttick = 0;
}

void EndTickWait()
{
    if (activeTickWaits > 0)
        --activeTickWaits;
    if (activeTickWaits == 0)
        EnableTickTimer(0);
    ttick = 0;
}

int CC_Timer50ms(int, int, int event, void*, int, int)
{
    if (event == EVENT_TIMER_TICK && ttick < TTICK_MAX)
        ++ttick;
    return 0;
}

// ---- the line ----------------------------------------------------------------------------------------

bool WaitForLine(CtrlCallback command, int panel, int control, int event, LineNeed need, int* argument)
{
    const WaitingCall call{command, panel, control, event, need, argument != nullptr ? *argument : 0};
    if (admittedValid && call.SameCallback(admitted)) {
        admittedValid = false;
        if (argument != nullptr)
            *argument = admitted.argument;
        return false;
    }
    if (waitingCount == 0 && Runnable(need))
        return false;
    PutInLine(call);
    RunWaitingCallsWhenFree();
    return true;
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

LoopHold::LoopHold()
{
    ++loopsRunning;
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

bool ExchangeWaiting()
{
    return std::any_of(waiting.begin(), waiting.begin() + waitingCount,
                       [](const WaitingCall& call) { return call.need == LineNeed::Exchange; });
}

void LendLine()
{
    --lineHolds;
    RunWaitingCalls();
    ++lineHolds;
}

}  // namespace korva
