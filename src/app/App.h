// The program and the commands of the main panel: the entry point, start-up, the event loop and
// shutdown, Run, Stop, Data, Send, Get, Teach and the setting callbacks of the main panel.
#pragma once

#include "gui/Gui.h"

#include <cstdint>
#include <span>

namespace korva {

extern uint16_t hidePopUp;  // 1 while the CCD-settings panel is hidden

// The program: start-up, the event loop, shutdown. Named as a Windows program's entry is; main
// calls it on every system.
int WinMain(int argc, char** argv);
int StartUp(int argc, char** argv);
void InitVars();
// A white text on the info bar; returns its control identifier.
int ShowInfoText(const char* text, int left, int top, int pointSize);

int CC_PANEL(int panel, int event, void* callbackData, int eventData1, int eventData2);

// A callback of the panels, under the name the panel file gives it, and what it needs of the line.
struct CtrlCallbackEntry {
    const char* name;
    CtrlCallback callback;
    LineNeed need;
};
// The callbacks of both panels.
std::span<const CtrlCallbackEntry> CtrlCallbacks();
// Calls a callback of that table as the event would: on the line as it declares (for tests and
// tools that act as the operator). UIE_CALLBACK_NOT_FOUND for a callback not in it.
int RunCallback(CtrlCallback callback, int panel, int control, int event);

// Commands.
int CC_DropDCom(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNFind(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNRun(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNStop(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNData(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_RBTRam(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_RBTEeprom(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_RBTFile(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNSend(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNGet(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_ButtonTeach(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNRecord(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// Setting controls of the main panel.
int CC_DropDEvalmode(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTN_CCDSettings(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Callback of the controls that act on no event (power slide, power-mode and polarity rings, video
// gain switch, data graph, the three unused reference controls): their values are taken when the
// panel is next read.
int IgnoreEvents(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);


}  // namespace korva
