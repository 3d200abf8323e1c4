// The parameter set and the displays: the start values of the sixteen sensor parameters, their
// binding to the panel controls, the parameter file, the parameter read-back, the raw-value plot,
// the data curve and the edge-window cursors.
#pragma once

#include "gui/RunView.h"  // the run view's calls, for everyone who drives the loops through Gui.h
#include "link/Com232.h"
#include "link/RunProducts.h"
#include "userint.h"

#include <cstdint>
#include <string>

namespace korva {

// ---- parameter set --------------------------------------------------------------------------------

// Pixels of a CCD window: the data curve's points in window modes, one pixel each.
constexpr int WINDOW_WIDTH = 256;

// Window start pixel of the last measurement record drawn (word 5 of the record).
extern uint16_t pix1;

// Points of the data curve: x positions and the threshold line.
extern uint16_t xArray[CURVE_POINTS];
extern uint16_t thdArray[CURVE_POINTS];

// Path chosen in the most recent parameter-file dialog.
extern std::string file_name;

// Assigns the start values to the sixteen parameters.
void SetParameterStartValues();

// ---- the panels' side ------------------------------------------------------------------------------

// Installs the panels' sink: the link's texts on the status line, its state on the controls.
void InstallPanelSink();
// Dims (1) or undims (0) a control.
void Dim(int panel, int control, int dimmed);
// Dims (1) or undims (0) the command buttons that a Run or Data loop locks: Get, Data and Run.
void DimCommandButtons(int dimmed);
// The Record button's tooltip is its own again, after a fault it told of.
void ForgetRecordingFault();

// ---- panel binding --------------------------------------------------------------------------------

void GetPanelValues();
void SetPanelValues();
// Dims (1) or undims (0) the teach-background button and its lamp together.
void DimTeachBackground(int dimmed);

// ---- parameter read-back and file -----------------------------------------------------------------

// Reads the parameters back from `storageTarget` (RAM or EEPROM; the file's values already in the
// variables for DATFILE) and shows them on the panels.
void PushGET(int storageTarget);
void SendParaToFile();
// Opens the load dialog and returns; once it ends, the chosen file is read (LoadParaFile) and the
// panels are refreshed from the variables (PushGET with DATFILE), also when it was cancelled.
void ReadParaFromFile();
// Reads the parameter file file_name into the parameter variables; a file that cannot be read
// leaves them as they were and stores "Cannot read parameter file!".
void LoadParaFile();
// Where the program's parameter files are: the folder of the last one chosen in this run, else the
// one remembered from an earlier run (ParameterFileFolder).
std::string ParameterFolder();

// ---- displays -------------------------------------------------------------------------------------

void PlotRAWValues();
void PlotDATACurve(const uint16_t* curve);
// Raw graph and data arrays as they are before the first record: cursors, tolerance band.
void DrawStartUp();

int CC_NEDITVideoThreshold(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_NEDITEdgeLeft(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_NEDITEdgeRight(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

}  // namespace korva
