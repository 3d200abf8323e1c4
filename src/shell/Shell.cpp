// The shared state of the program, the status line and the tick timer of the waits.
#include "shell/Shell.h"

#include <cstring>

namespace korva {

int panelHandle;
int panelPopUp;
std::string proj_dir;
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

}  // namespace

// ---- status line ------------------------------------------------------------------------------------

void StoreStatus(const char* text)
{
    std::strncpy(szStatus, text, STATUS_SIZE - 1);
    szStatus[STATUS_SIZE - 1] = '\0';
}

void ShowStatus()
{
    SetCtrlVal(panelHandle, PANEL_STATUS, szStatus);
}

void ShowMessage(const char* text)
{
    SetCtrlVal(panelHandle, PANEL_STATUS, text);
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

}  // namespace korva
