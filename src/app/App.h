// The application shell and the commands of the main panel: start-up, the event loop and shutdown,
// the status line, the 50 ms tick, Run, Stop, Data, Send, Get, Teach and the setting callbacks of
// the main panel.
#pragma once

#include <cstdint>
#include <string>

namespace korva {

// File holding both panels, looked up beside the program.
inline constexpr const char* PANEL_FILE = "KorvaTBScope11Xe.ui";

extern int panelHandle;        // main panel
extern int panelPopUp;         // CCD-settings panel
extern std::string proj_dir;   // directory of the program
extern uint16_t hidePopUp;     // 1 while the CCD-settings panel is hidden
extern uint16_t ttick;         // 50 ms ticks while a command waits, held at TTICK_MAX
extern int stop_flag;          // 0 while a Run or Data loop is active
extern int target;             // storage target of Send and Get: RAM, EEPROM or DATFILE

constexpr uint16_t TTICK_MAX = 60000;
// A wait for the sensor fails once more than this many ticks have passed (about 1.55 s).
constexpr uint16_t TICK_LIMIT = 30;

// Status line. Buffered messages go through szStatus and are shown from there at the end of an
// operation; direct messages are shown at once and leave szStatus alone.
constexpr int STATUS_SIZE = 64;
extern char szStatus[STATUS_SIZE];
void StoreStatus(const char* text);
void ShowStatus();
void ShowMessage(const char* text);

// The tick timer of the waiting commands. Waits nest: a callback that runs inside a waiting loop's
// event processing may wait for the sensor itself. StartTickWait enables the timer and sets ttick
// to 0; EndTickWait sets ttick to 0 again and disables the timer once no wait is left, so an outer
// wait goes on counting from 0 when an inner one has ended. Every start is paired with one end.
void StartTickWait();
void EndTickWait();

int WinMain(int argc, char** argv);
int StartUp(int argc, char** argv);
void InitVars();
void ShowInfoText(const char* text, int left, int top, int pointSize);

int CC_PANEL(int panel, int event, void* callbackData, int eventData1, int eventData2);
int CC_Timer50ms(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// Commands.
int CC_BTNRun(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNStop(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNData(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_RBTRam(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_RBTEeprom(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_RBTFile(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNSend(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNGet(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_ButtonTeach(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// Setting controls of the main panel.
int CC_DropDEvalmode(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTN_CCDSettings(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Callback of the controls that act on no event (power slide, power-mode and polarity rings, video
// gain switch, data graph, the three unused reference controls): their values are taken when the
// panel is next read.
int IgnoreEvents(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);


}  // namespace korva
