// Callbacks of the CCD-settings panel: CCD window and background settings, the tolerance switch,
// the background teach and the teach-value and tolerance mirrors on the main panel.
#pragma once

namespace korva {

int CC_NSLIDE_PixelStart(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_RING_CCDMode(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_RING_CCDBGMode(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BIN_Sw_EnableTol(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_BTNTeachBackGround(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_NEDITTeach(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_NEDITTolerance(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

}  // namespace korva
