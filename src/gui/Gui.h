// The parameter set and the displays: the sixteen sensor parameters and the packet that carries
// them, their binding to the panel controls, the parameter file, the parameter read-back, the
// raw-value plot, the data curve and the edge-window cursors.
#pragma once

#include <cstdint>
#include <string>

namespace korva {

// ---- parameter set --------------------------------------------------------------------------------

// Words in a parameter packet; a frame carries 2 * PNUM + 4 bytes.
constexpr int PNUM = 16;

// Storage targets of Send and Get.
constexpr int RAM = 1;
constexpr int EEPROM = 2;
constexpr int DATFILE = 3;

// The sixteen parameters, in packet order.
extern uint16_t power, pwrMode, vThd, bVal, polarity, eMode, eBeg, eEnd, tVal, tTol, iGain, ePoti, ccdMode,
    pStart, bMode, para15;

// The parameter packet; also where every decoded answer frame lands.
extern uint16_t pp[PNUM];

// Words of the last measurement record drawn.
extern uint16_t inputs, pix1, edcnt, mvstart, mvend;

// Points of the data curve: x positions and the threshold line.
constexpr int CURVE_POINTS = 256;
extern uint16_t xArray[CURVE_POINTS];
extern uint16_t thdArray[CURVE_POINTS];

// Path chosen in the most recent parameter-file dialog.
extern std::string file_name;

// Assigns the start values to the sixteen parameters.
void SetParameterStartValues();

// ---- panel binding --------------------------------------------------------------------------------

void GetPanelValues();
void SetPanelValues();

// ---- parameter read-back and file -----------------------------------------------------------------

void PushGET(int storageTarget);
void SendParaToFile();
void ReadParaFromFile();

// ---- displays -------------------------------------------------------------------------------------

void PlotRAWValues();
void PlotDATACurve(const uint16_t* curve);
// Raw graph and data arrays as they are before the first record: cursors, tolerance band.
void DrawStartUp();

int CC_NEDITVideoThreshold(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_NEDITEdgeLeft(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_NEDITEdgeRight(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

}  // namespace korva
