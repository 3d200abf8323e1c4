// What every module of the program shares: the panel handles, the status line, the 50 ms tick and
// the one wait for the sensor, the run flag and the one way to end a loop, the storage target, and
// the sink through which the link shows its work. It sits right above the platform layer, uses none
// of its panels, and everything else in the program may use it.
#pragma once

#include "KorvaTBScope11Xe.h"
#include "runtime.h"
#include "shell/Settings.h"  // the port and folders remembered between runs
#include "shell/Sink.h"

#include <cstdint>
#include <string>

namespace korva {

// File holding both panels, looked up beside the program.
inline constexpr const char* PANEL_FILE = "KorvaTBScope11Xe.ui";

extern int panelHandle;        // main panel
extern int panelPopUp;         // CCD-settings panel
extern std::string proj_dir;   // directory of the program
extern int stop_flag;          // 0 while a Run or Data loop is active

// Ends a running Run or Data loop once the exchange under way is over (the loop cleans up itself):
// sets stop_flag, and the sink makes usable again what the loop locked, as `why` says. Stop, the
// evaluation-mode ring, a port change, a time-out and closing the window all end a loop so.
void StopLoops(LoopEnd why);

// Where the file dialogs start: proj_dir when the user can write there (a build tree, a portable
// copy), else the user's documents folder. Never `packageFolder`, where an installed package put
// the program, which only root can write and nobody should. Set at start-up.
extern std::string defaultFolder;
void ChooseDefaultFolder(const std::string& packageFolder);

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
// A fault the operator must not miss (a recording that stopped): shown at once and kept for a few
// seconds, however busy a loop is with its own messages. What is shown meanwhile is not lost: the
// last of it follows when the time is up, or when the operator starts another command that talks
// to the sensor.
void ShowAlert(const char* text);
// An operation the operator starts afresh shows its own messages: an alert has been seen by then.
void EndAlertEarly();

// ---- tick and waits -----------------------------------------------------------------------------------

extern uint16_t ttick;  // 50 ms ticks while a command waits, held at TTICK_MAX
constexpr uint16_t TTICK_MAX = 60000;
// A wait for the sensor fails once more than this many ticks have passed (about 1.55 s).
constexpr uint16_t TICK_LIMIT = 30;

// The tick timer of the waiting commands, a timer of the event processing that needs no panel.
// Waits nest: a callback that runs inside a waiting loop's event processing may wait for the sensor
// itself. StartTickWait enables the timer and sets ttick to 0; EndTickWait sets ttick to 0 again
// and disables the timer once no wait is left, so an outer wait goes on counting from 0 when an
// inner one has ended. Every start is paired with one end.
void StartTickWait();
void EndTickWait();
// Whether a wait is under way, its timer ticking.
bool TickWaitActive();

// The timer's tick, every 50 ms while a wait is under way.
void CC_Timer50ms(void* callbackData);

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
