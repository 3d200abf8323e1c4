// The parameter set and the displays: the start values of the sixteen sensor parameters, their
// binding to the panel controls, the parameter file, the parameter read-back, the raw-value plot,
// the data curve and the edge-window cursors.
#pragma once

#include "link/Com232.h"

#include <cstdint>
#include <string>

namespace korva {

// ---- parameter set --------------------------------------------------------------------------------

// Window start pixel of the last measurement record drawn.
extern uint16_t pix1;

// Points of the data curve: x positions and the threshold line.
extern uint16_t xArray[CURVE_POINTS];
extern uint16_t thdArray[CURVE_POINTS];

// Path chosen in the most recent parameter-file dialog.
extern std::string file_name;

// Assigns the start values to the sixteen parameters.
void SetParameterStartValues();

// ---- panel binding --------------------------------------------------------------------------------

void GetPanelValues();
void SetPanelValues();
// Dims (1) or undims (0) the teach-background button and its lamp together.
void DimTeachBackground(int dimmed);

// ---- parameter read-back and file -----------------------------------------------------------------

void PushGET(int storageTarget);
void SendParaToFile();
// Opens the load dialog and returns; once it ends, the chosen file is read (LoadParaFile) and the
// panels are refreshed from the variables (PushGET with DATFILE), also when it was cancelled.
void ReadParaFromFile();
// Reads the parameter file file_name into the parameter variables; a file that cannot be read
// leaves them as they were and stores "Cannot read parameter file!".
void LoadParaFile();

// ---- displays -------------------------------------------------------------------------------------

void PlotRAWValues();
void PlotDATACurve(const uint16_t* curve);
// Raw graph and data arrays as they are before the first record: cursors, tolerance band.
void DrawStartUp();

// ---- run view: statistics line, value trend and recording of the records drawn ----------------------

// A Run or Data loop starts: the statistics and the trend begin anew.
void StartRunView();
// A record has just been drawn (with PlotRAWValues): counted, added to the trend and recorded.
void FeedRunView();
// A measurement exchange of a loop timed out.
void NoteRunTimeout();
// The loop has ended: the final statistics and trend are shown and the recorded rows written.
void EndRunView();
// Starts recording every record fed to `path` (CSV). When the file cannot be written, or a
// recording stops on a fault, the Record button goes off, its tooltip says why until the operator
// switches it on again (ForgetRecordingFault), and the status line says so for a few seconds.
void StartRecording(const std::string& path);
void StopRecording();
void ForgetRecordingFault();
// Where the program's parameter files are: the folder of the last one chosen in this run, else the
// one remembered from an earlier run (ParameterFileFolder).
std::string ParameterFolder();

int CC_NEDITVideoThreshold(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_NEDITEdgeLeft(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int CC_NEDITEdgeRight(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

}  // namespace korva
