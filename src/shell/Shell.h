// What every module of the program shares: the panel handles, the status line, the 50 ms tick and
// the one wait for the sensor, the run flag and the storage target. It sits right above the
// platform layer; everything else in the program may use it.
#pragma once

#include "KorvaTBScope11Xe.h"
#include "shell/Settings.h"  // the port and folders remembered between runs
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

// Where the file dialogs start: proj_dir when the user can write there (a build tree, a portable
// copy), else the user's documents folder. Never `packageFolder`, where an installed package put
// the program, which only root can write and nobody should. Set at start-up.
extern std::string defaultFolder;
void ChooseDefaultFolder(const std::string& packageFolder);

// Dims (1) or undims (0) a control.
void Dim(int panel, int control, int dimmed);
// Dims (1) or undims (0) the command buttons that a Run or Data loop locks: Get, Data and Run.
void DimCommandButtons(int dimmed);

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

// ---- the line: one exchange at a time ----------------------------------------------------------------
//
// The line to the sensor carries one exchange at a time: a request and its answer. A command that
// talks to the sensor holds the line while it runs (LineHold), and a Run or Data loop holds it from
// its start to its end (LoopHold), lending it between two of its passes. A command that wants the
// line while another holds it does not run nested in the holder's wait, where its frames would meet
// the holder's answer: it waits in line and runs later, with the arguments it was called with, as
// soon as the line is free - between two passes of a loop, or right after the command or loop that
// held it. Calls run in the order they came.

// What a command needs of the line.
enum class LineNeed {
    Exchange,  // a request and its answer: may also run between two passes of a loop
    Loop,      // a Run or Data loop, or a new port: only once no loop runs
};

// Called first by every command that talks to the sensor. False when the command may run now;
// true when it has been put in line (a call already waiting is not put in line twice) and must
// return at once. A command that acts on a choice made at its press (Send's and Get's target)
// passes it in `argument`: it waits with the call, and the call runs with it, whatever has been
// chosen meanwhile; presses with different choices are different calls.
bool WaitForLine(CtrlCallback command, int panel, int control, int event, LineNeed need, int* argument = nullptr);

// Holds the line for as long as it lives.
class LineHold {
public:
    LineHold();
    ~LineHold();
    LineHold(const LineHold&) = delete;
    LineHold& operator=(const LineHold&) = delete;
};

// Holds the line for a Run or Data loop, for as long as it lives.
class LoopHold {
public:
    LoopHold();
    ~LoopHold();
    LoopHold(const LoopHold&) = delete;
    LoopHold& operator=(const LoopHold&) = delete;

private:
    LineHold line_;
};

// True while a Run or Data loop runs, also while it finishes its last exchange after Stop.
bool LoopRunning();
// True while neither a loop nor a command holds the line.
bool LineFree();
// True when a command waits for the line that may run between two passes of a loop.
bool ExchangeWaiting();
// Called by a loop between two passes, when no answer is due: the commands waiting for an exchange
// run now.
void LendLine();

}  // namespace korva
