// The shared state of the program, the status line, the tick timer of the waits, the end of a
// loop and the sink.
#include "shell/Shell.h"

#include <chrono>
#include <cstring>

namespace korva {

int panelHandle;
int panelPopUp;
std::string proj_dir;
std::string defaultFolder;
int stop_flag = 1;
int target;
char szStatus[STATUS_SIZE];
uint16_t ttick = 0;

namespace {

// Waits that have started and not yet ended, the outer ones of nested waits included.
int activeTickWaits = 0;

constexpr int TICK_MS = 50;

int TickTimer()
{
    static const int ticker = NewTicker(TICK_MS, CC_Timer50ms, nullptr);
    return ticker;
}

void EnableTickTimer(int on)
{
    EnableTicker(TickTimer(), on);
}

Sink silentSink;
Sink* installedSink = &silentSink;

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
    sink().Status(text);
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
        sink().Status(heldBackText.c_str());
    heldBack = false;
}

}  // namespace

void ChooseDefaultFolder(const std::string& packageFolder)
{
    defaultFolder = proj_dir != packageFolder && CanWriteIn(proj_dir) ? proj_dir : GetDocumentsDir();
}

Sink& sink()
{
    return *installedSink;
}

void SetSink(Sink* installed)
{
    installedSink = installed != nullptr ? installed : &silentSink;
}

void StopLoops(LoopEnd why)
{
    stop_flag = 1;
    sink().LoopsStopped(why);
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

void EndAlertEarly()
{
    alertUntil = {};
    heldBack = false;
}

void ShowAlert(const char* text)
{
    sink().Status(text);
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

bool TickWaitActive()
{
    return TickerEnabled(TickTimer()) == 1;
}

void CC_Timer50ms(void*)
{
    if (ttick < TTICK_MAX)
        ++ttick;
}

}  // namespace korva
