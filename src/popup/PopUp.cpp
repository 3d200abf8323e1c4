// Callbacks of the CCD-settings panel.
#include "popup/PopUp.h"

#include "gui/Gui.h"

namespace korva {

namespace {

uint16_t ValueOf(int panel, int control)
{
    uint16_t value = 0;
    GetCtrlVal(panel, control, &value);
    return value;
}

// Whether the sensor answered the last background teach order. The release looks at this rather
// than at rx_flag, which a loop's exchanges between press and release may have changed.
bool backgroundTaught = false;

// Press of the teach-background button: the sensor takes its current line as background, with the
// panels' parameters.
void PressTeachBackground()
{
    Dim(panelPopUp, POPUP_BTNTEACHBACKGROUND, 1);
    SetCtrlVal(panelPopUp, POPUP_LEDTEACHBACKGROUND, 1);
    GetPanelValues();
    backgroundTaught = TeachBackground();
}

// Release of the button: the taught parameters are read back when the sensor answered.
void FinishBackgroundTeach()
{
    if (backgroundTaught)
        PushGET(RAM);
    SetCtrlVal(panelPopUp, POPUP_LEDTEACHBACKGROUND, 0);
    Dim(panelPopUp, POPUP_BTNTEACHBACKGROUND, 0);
}

}  // namespace

// Shows the last pixel of the CCD window while the slide moves; pStart follows on the next panel read.
int CC_NSLIDE_PixelStart(int panel, int control, int event, void*, int, int)
{
    if (event == EVENT_VAL_CHANGED)
        SetCtrlVal(panelPopUp, POPUP_NUMPIXELEND, ValueOf(panel, control) + WINDOW_WIDTH - 1);
    return 0;
}

// The pixel start matters only for a window from the pixel start (mode 1).
int CC_RING_CCDMode(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    const int dimmed = ValueOf(panel, control) == 1 ? 0 : 1;
    Dim(panelPopUp, POPUP_NSLIDEPIXELSTART, dimmed);
    Dim(panelPopUp, POPUP_NUMPIXELEND, dimmed);
    return 0;
}

// Mode 1 uses the background value, mode 2 the taught background (taught only while no loop runs).
int CC_RING_CCDBGMode(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_VAL_CHANGED)
        return 0;
    const uint16_t mode = ValueOf(panel, control);
    Dim(panelPopUp, POPUP_BACKGROUNDVALUE, mode == 1 ? 0 : 1);
    DimTeachBackground(mode == 2 && stop_flag == 1 ? 0 : 1);
    return 0;
}

// With the sensor's tolerance potentiometer enabled the tolerance numeric has no say.
int CC_BIN_Sw_EnableTol(int panel, int control, int event, void*, int, int)
{
    if (event == EVENT_VAL_CHANGED)
        Dim(panelPopUp, POPUP_NEDITTOLERANCE, ValueOf(panel, control) == 1 ? 1 : 0);
    return 0;
}

// One click is one teach: the press sends the order and waits for the echo, the release reads the
// result back and makes the button usable again.
// While a loop or another command has the line, press and release wait for it, in their order.
int CC_BTNTeachBackGround(int, int, int event, void*, int, int)
{
    if (event == EVENT_LEFT_CLICK)
        PressTeachBackground();
    else if (event == EVENT_COMMIT)
        FinishBackgroundTeach();
    return 0;
}

int CC_NEDITTeach(int panel, int control, int event, void*, int, int)
{
    if (event == EVENT_COMMIT)
        SetCtrlVal(panelHandle, PANEL_NUMTEACH, ValueOf(panel, control));
    return 0;
}

int CC_NEDITTolerance(int panel, int control, int event, void*, int, int)
{
    if (event == EVENT_VAL_CHANGED)
        SetCtrlVal(panelHandle, PANEL_NUMTOLERANCE, ValueOf(panel, control));
    return 0;
}

}  // namespace korva
