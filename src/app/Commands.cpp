// Commands of the main panel that talk to the sensor, and its setting callbacks.
#include "app/App.h"

#include "gui/Gui.h"
#include "link/Com232.h"
#include "rs232.h"
#include "shell/Shell.h"

#include <ctime>
#include <string>

namespace korva {

namespace {

// The set-point teach waits for its answer only this many ticks (about 0.75 s).
constexpr uint16_t TEACH_TICK_LIMIT = 15;

// The command buttons locked while a Run or Data loop is active.
void DimCommandButtons(int dimmed)
{
    SetCtrlAttribute(panelHandle, PANEL_CMD16, ATTR_DIMMED, dimmed);
    SetCtrlAttribute(panelHandle, PANEL_CMD14, ATTR_DIMMED, dimmed);
    SetCtrlAttribute(panelHandle, PANEL_CMD3, ATTR_DIMMED, dimmed);
}

void Dim(int control, int dimmed)
{
    SetCtrlAttribute(panelHandle, control, ATTR_DIMMED, dimmed);
}

void FlushQueues()
{
    FlushInQ(com);
    FlushOutQ(com);
}

// ---- continuous run ---------------------------------------------------------------------------------

void PrepareRun()
{
    SetCtrlAttribute(panelHandle, PANEL_GRAPHRAW, ATTR_VISIBLE, 1);
    Dim(PANEL_GRAPHDATA, 1);
    DimCommandButtons(1);
    DimTeachBackground(1);
}

// Draws each answer before pp is refilled for the next order: one order, one answer.
void RunLoop()
{
    do {
        if (graphrefresh == 1) {
            PlotRAWValues();
            FeedRunView();
            graphrefresh = 0;
        }
        if (rx_flag == 1) {
            FlushQueues();
            rx_flag = 0;
            SendParameters(ORDER_MEASURE);
        }
        if (ttick > TICK_LIMIT) {
            ShowMessage("Timeout RS232-Line!");
            NoteRunTimeout();
            stop_flag = 1;
            break;
        }
        ProcessSystemEvents();
    } while (stop_flag == 0);
}

void FinishRun()
{
    rx_flag = 0;
    FlushQueues();
    graphrefresh = 0;
    Dim(PANEL_CMD16, 0);
    EndTickWait();
    EndRunView();
}

// ---- data loop ---------------------------------------------------------------------------------------

// One measurement exchange of a data pass; pp goes out as it is. Returns whether it was answered.
bool MeasureOnce()
{
    InstallRxHandler(com);
    FlushQueues();
    rx_flag = 0;
    SendFrame(ORDER_MEASURE, pp);
    const bool answered = WaitForSensor([] { return rx_flag == 1; }, WaitCheck::LimitFirst);
    if (!answered) {
        ShowMessage("Timeout RS232-Line!");
        NoteRunTimeout();
        stop_flag = 1;
    }
    RemoveRxHandler(com);
    return answered;
}

// The receive handler stays off while the blocks come in, so their bytes are never taken for an
// answer frame.
void DataPass()
{
    FlushQueues();
    ref_flag = 0;
    ReadData128(0, ref_flag);
    ref_flag = 1;
    ReadData128(128, ref_flag);
    PlotDATACurve(adcbuf);
    const bool answered = MeasureOnce();
    PlotRAWValues();
    // A pass whose exchange timed out draws the last record again; it is no new record.
    if (answered)
        FeedRunView();
    ProcessSystemEvents();
}

void FinishData()
{
    FlushInQ(com);
    EndTickWait();
    EndRunView();
    Dim(PANEL_CMD16, 0);
    Dim(PANEL_CMD14, 0);
    InstallRxHandler(com);
    FlushOutQ(com);
    FlushInQ(com);
}

// ---- recording ----------------------------------------------------------------------------------------

// korva-run-<date>-<time>.csv, from the moment recording is switched on.
std::string RecordFileName()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char name[64];
    std::strftime(name, sizeof name, "korva-run-%Y%m%d-%H%M%S.csv", &local);
    return name;
}

void RecordFileChosen(const std::string& path)
{
    if (path.empty())
        SetCtrlVal(panelHandle, PANEL_BTNRECORD, 0);
    else
        StartRecording(path);
}

// ---- storage target ---------------------------------------------------------------------------------

struct TargetRadio {
    int control;
    int target;
};

const TargetRadio targetRadios[] = {{PANEL_RBTRAM, RAM}, {PANEL_RBTEEPROM, EEPROM}, {PANEL_RBTFILE, DATFILE}};

// A radio switched on selects its target and switches the others off; switching the selected one
// off falls back to RAM, and RAM cannot be switched off.
void ChooseTarget(int panel, int control, int event, int chosen)
{
    if (event != EVENT_VAL_CHANGED)
        return;
    int on = 0;
    GetCtrlVal(panel, control, &on);
    if (on == 0) {
        target = RAM;
        SetCtrlVal(panel, PANEL_RBTRAM, 1);
        return;
    }
    SetCtrlVal(panel, control, 1);
    target = chosen;
    for (const TargetRadio& radio : targetRadios)
        if (radio.control != control)
            SetCtrlVal(panel, radio.control, 0);
}

// ---- send -------------------------------------------------------------------------------------------

void SendToFile()
{
    if (FileSelectPopup(proj_dir, "KORVApara.dat", "*.dat", "KORVA-TB-Series Parameter File", VAL_OK_BUTTON, 1, 1,
                        &file_name) != VAL_NO_FILE_SELECTED)
        SendParaToFile();
}

void SendToSensor()
{
    GetPanelValues();
    if (SendParameters(target == EEPROM ? ORDER_SEND_EEPROM : ORDER_SEND_RAM) == FRAMELEN)
        ShowMessage("Line Ok!");
}

}  // namespace

int CC_BTNRun(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    PrepareRun();
    FlushQueues();
    rx_flag = 0;
    if (SendParameters(ORDER_MEASURE) == FRAMELEN)
        ShowMessage("Line Ok!");
    StartTickWait();
    stop_flag = 0;
    graphrefresh = 0;
    StartRunView();
    RunLoop();
    FinishRun();
    return 0;
}

// Ends a Run or Data loop at the end of its current pass; the loop cleans up itself.
int CC_BTNStop(int, int, int event, void*, int, int)
{
    if (event != EVENT_LEFT_CLICK)
        return 0;
    stop_flag = 1;
    DimCommandButtons(0);
    if (bMode == 2)
        DimTeachBackground(0);
    return 0;
}

int CC_BTNData(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    Dim(PANEL_GRAPHDATA, 0);
    DimCommandButtons(1);
    HidePanel(panelPopUp);
    hidePopUp = 1;
    // Like a run, the loop waits for the sensor as a whole: the block reads and the measurement
    // exchanges are waits inside it.
    StartTickWait();
    stop_flag = 0;
    StartRunView();
    RemoveRxHandler(com);
    do {
        DataPass();
    } while (stop_flag == 0);
    FinishData();
    return 0;
}

int CC_RBTRam(int panel, int control, int event, void*, int, int)
{
    ChooseTarget(panel, control, event, RAM);
    return 0;
}

int CC_RBTEeprom(int panel, int control, int event, void*, int, int)
{
    ChooseTarget(panel, control, event, EEPROM);
    return 0;
}

int CC_RBTFile(int panel, int control, int event, void*, int, int)
{
    ChooseTarget(panel, control, event, DATFILE);
    return 0;
}

// Sends on the mouse press only: a commit from the keyboard sends nothing.
int CC_BTNSend(int, int, int event, void*, int, int)
{
    if (event != EVENT_LEFT_CLICK)
        return 0;
    ShowMessage("Transmit...");
    if (target == DATFILE)
        SendToFile();
    else
        SendToSensor();
    return 0;
}

int CC_BTNGet(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    if (target == DATFILE)
        ReadParaFromFile();
    PushGET(target);
    return 0;
}

// The sensor takes its current measurement as set point; the parameters are read back when it
// answers. Without an answer the teach has failed, and the status line says so.
int CC_ButtonTeach(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    FlushQueues();
    rx_flag = 0;
    SendFrame(ORDER_TEACH_SETPOINT, pp);
    ShowMessage("New setpoint value teached!");
    if (WaitForSensor([] { return rx_flag == 1; }, WaitCheck::LimitFirst, TEACH_TICK_LIMIT)) {
        PushGET(RAM);
    } else {
        StoreStatus("Timeout-RS-232...");
        ShowStatus();
    }
    return 0;
}

// Switched on, the Record button asks for the record file; the loops go on meanwhile, and the
// recording starts once a file is chosen. Switched off, it closes the file.
int CC_BTNRecord(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    int on = 0;
    GetCtrlVal(panel, control, &on);
    if (on == 0) {
        StopRecording();
        return 0;
    }
    FileSelectPopupThen(ParameterFolder(), RecordFileName().c_str(), "*.csv", "KORVA-TB Record File", RecordFileChosen);
    return 0;
}

// A press on the evaluation-mode ring ends a running loop; the new mode is taken when the panel is
// next read.
int CC_DropDEvalmode(int, int, int event, void*, int, int)
{
    if (event != EVENT_LEFT_CLICK)
        return 0;
    stop_flag = 1;
    DimCommandButtons(0);
    SetCtrlAttribute(panelPopUp, POPUP_BTNTEACHBACKGROUND, ATTR_DIMMED, 0);
    return 0;
}

int CC_BTN_CCDSettings(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    if (hidePopUp == 0) {
        HidePanel(panelPopUp);
        hidePopUp = 1;
    } else {
        DisplayPanel(panelPopUp);
        hidePopUp = 0;
    }
    return 0;
}

}  // namespace korva
