// What every module of the program shares: the panel handles, the status line, the 50 ms tick and
// the one wait for the sensor, the run flag and the storage target. It sits right above the
// platform layer; everything else in the program may use it.
#pragma once

#include "KorvaTBScope11Xe.h"
#include "userint.h"

#include <cstdint>
#include <string>

namespace korva {

// File holding both panels, looked up beside the program.
inline constexpr const char* PANEL_FILE = "KorvaTBScope11Xe.ui";

extern int panelHandle;        // main panel
extern int panelPopUp;         // CCD-settings panel
extern std::string proj_dir;   // directory of the program
extern int stop_flag;          // 0 while a Run or Data loop is active

// Storage targets of Send and Get.
constexpr int RAM = 1;
constexpr int EEPROM = 2;
constexpr int DATFILE = 3;
extern int target;

// ---- status line ------------------------------------------------------------------------------------

// Buffered messages go through szStatus and are shown from there at the end of an operation;
// direct messages are shown at once and leave szStatus alone.
constexpr int STATUS_SIZE = 64;
extern char szStatus[STATUS_SIZE];
void StoreStatus(const char* text);
void ShowStatus();
void ShowMessage(const char* text);

// ---- tick and waits -----------------------------------------------------------------------------------

extern uint16_t ttick;  // 50 ms ticks while a command waits, held at TTICK_MAX
constexpr uint16_t TTICK_MAX = 60000;
// A wait for the sensor fails once more than this many ticks have passed (about 1.55 s).
constexpr uint16_t TICK_LIMIT = 30;

// The tick timer of the waiting commands. Waits nest: a callback that runs inside a waiting loop's
// event processing may wait for the sensor itself. StartTickWait enables the timer and sets ttick
// to 0; EndTickWait sets ttick to 0 again and disables the timer once no wait is left, so an outer
// wait goes on counting from 0 when an inner one has ended. Every start is paired with one end.
void StartTickWait();
void EndTickWait();

int CC_Timer50ms(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// What a wait tests first after each event processing when both may hold at once: the answer it
// waits for, or the tick limit.
enum class WaitCheck { AnswerFirst, LimitFirst };

// The one wait for the sensor: starts a tick wait, processes events until `answered()` holds or
// `failAt` ticks have passed, and ends the wait. Returns true when the answer came in time.
template <class Answered>
bool WaitForSensor(Answered answered, WaitCheck check, uint16_t failAt = TICK_LIMIT + 1)
{
    bool done = false;
    StartTickWait();
    for (;;) {
        ProcessSystemEvents();
        if (check == WaitCheck::AnswerFirst && (done = answered()))
            break;
        if (ttick >= failAt)
            break;
        if (check == WaitCheck::LimitFirst && (done = answered()))
            break;
    }
    EndTickWait();
    return done;
}

}  // namespace korva
