// Commands of the main panel that talk to the sensor, and its setting callbacks.
#include "app/App.h"

#include "gui/Gui.h"

#include <ctime>
#include <string>

namespace korva {

namespace {

// Bytes of a data block of the curve's two halves.
constexpr int BLOCK_BYTES = 2 * 128;

// The sensor stopped answering a loop's measurement order: the loop ends. When the operator has
// already stopped it, the time-out is counted but not announced.
void LoopTimedOut()
{
    if (stop_flag == 0)
        ShowMessage("Timeout RS232-Line!");
    NoteRunTimeout();
    StopLoops(LoopEnd::TimeOut);
}

// ---- continuous run ---------------------------------------------------------------------------------

void PrepareRun()
{
    SetCtrlAttribute(panelHandle, PANEL_GRAPHRAW, ATTR_VISIBLE, 1);
    Dim(panelHandle, PANEL_GRAPHDATA, 1);
    DimCommandButtons(1);
    DimTeachBackground(1);
}

void DrawRecord()
{
    PlotRAWValues();
    UpdateRunView();
    graphrefresh = 0;
}

// Between the answer just drawn and the next order, the commands that wait for the line have
// their exchanges. False when the run was stopped meanwhile.
bool SendNextOrder()
{
    LendLine();
    if (stop_flag != 0)
        return false;
    Ask(ORDER_MEASURE, Flush::InThenOut);
    ttick = 0;
    return true;
}

// Draws each answer before pp is refilled for the next order: one order, one answer. Once stopped,
// it sends nothing more but lets the answer on its way come and draws it, so that no later
// exchange takes it for its own.
void RunLoop()
{
    for (;;) {
        if (graphrefresh == 1)
            DrawRecord();
        if (stop_flag != 0 && !AnswerDue())
            return;
        if (Answered() && !SendNextOrder())
            continue;
        if (ttick > TICK_LIMIT) {
            LoopTimedOut();
            AnswerTimedOut(TICK_LIMIT + 1);
            return;
        }
        ProcessSystemEvents();
    }
}

void FinishRun()
{
    ClearLine();
    graphrefresh = 0;
    Dim(panelHandle, PANEL_CMD16, 0);
    EndTickWait();
    EndRunView();
}

// ---- data loop ---------------------------------------------------------------------------------------

// One half of the curve; a block that did not come whole is a time-out of the loop.
void ReadBlock(int start, int selector)
{
    ref_flag = selector;
    ReadData128(start, ref_flag);
    if (nBytesR < BLOCK_BYTES)
        NoteRunTimeout();
}

// One measurement exchange of a data pass; pp goes out as it is. Returns whether it was answered.
bool MeasureInPass()
{
    const bool answered = MeasureOnce();
    if (!answered)
        LoopTimedOut();
    return answered;
}

// Once stopped, no further request goes out; only an answered exchange is drawn.
void DataPass()
{
    FlushQueues();
    ReadBlock(0, 0);
    if (stop_flag != 0)
        return;
    ReadBlock(128, 1);
    PlotDATACurve(adcbuf);
    if (stop_flag == 0 && MeasureInPass())
        DrawRecord();
    ProcessSystemEvents();
}

void FinishData()
{
    EndTickWait();
    EndRunView();
    Dim(panelHandle, PANEL_CMD16, 0);
    Dim(panelHandle, PANEL_CMD14, 0);
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

// The dialog lets the loops go on; a file chosen after the toggle has gone off (the window was
// closed meanwhile) is not taken.
void RecordFileChosen(const std::string& path)
{
    int on = 0;
    GetCtrlVal(panelHandle, PANEL_BTNRECORD, &on);
    if (path.empty() || on == 0) {
        SetCtrlVal(panelHandle, PANEL_BTNRECORD, 0);
        return;
    }
    RememberRecordFile(path);
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

void ParameterFileToSave(const std::string& path)
{
    if (path.empty())
        return;
    file_name = path;
    RememberParameterFile(path);
    SendParaToFile();
}

// The dialog lets a running loop go on; the file is written once it is chosen.
void SendToFile()
{
    FileSelectPopupThen(panelHandle, ParameterFileFolder(), "KORVApara.dat", "*.dat",
                        "KORVA-TB-Series Parameter File", VAL_OK_BUTTON, ParameterFileToSave);
}

// A frame that cannot reach the sensor (its device pulled, the port not open) is said so, not left
// at "Transmit...".
void SendToSensor(int storageTarget)
{
    GetPanelValues();
    const int written = Ask(storageTarget == EEPROM ? ORDER_SEND_EEPROM : ORDER_SEND_RAM, Flush::None);
    if (written == FRAMELEN)
        ShowMessage("Line Ok!");
    else if (const std::string why = WriteFailureText(written); !why.empty())
        ShowMessage(why.c_str());
}

}  // namespace

int CC_BTNRun(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    const LoopHold hold;
    const FindDimmed findDimmed;
    PrepareRun();
    if (Ask(ORDER_MEASURE, Flush::InThenOut) == FRAMELEN)
        ShowMessage("Line Ok!");
    StartTickWait();
    graphrefresh = 0;
    StartRunView();
    RunLoop();
    FinishRun();
    return 0;
}

// Ends a Run or Data loop once the exchange under way is over (the loop cleans up itself), or the
// search for the sensor.
int CC_BTNStop(int, int, int event, void*, int, int)
{
    if (event != EVENT_LEFT_CLICK)
        return 0;
    StopLoops(LoopEnd::Stop);
    StopFind();
    return 0;
}

int CC_BTNData(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    const LoopHold hold;
    const FindDimmed findDimmed;
    Dim(panelHandle, PANEL_GRAPHDATA, 0);
    DimCommandButtons(1);
    HidePanel(panelPopUp);
    hidePopUp = 1;
    // Like a run, the loop waits for the sensor as a whole: the block reads and the measurement
    // exchanges are waits inside it.
    StartTickWait();
    StartRunView();
    {
        const BlockLine blocks;
        do {
            DataPass();
            if (stop_flag == 0)
                LendLine();
        } while (stop_flag == 0);
    }
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

// Sends on the mouse press only: a commit from the keyboard sends nothing. Send and Get act on the
// target chosen at their press (CallArgument), also when they waited for the line meanwhile.
int CC_BTNSend(int, int, int event, void*, int, int)
{
    if (event != EVENT_LEFT_CLICK)
        return 0;
    const int sendTo = CallArgument();
    ShowMessage("Transmit...");
    if (sendTo == DATFILE)
        SendToFile();
    else
        SendToSensor(sendTo);
    return 0;
}

// From a file, the panels show the parameters once the dialog has ended.
int CC_BTNGet(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    const int getFrom = CallArgument();
    if (getFrom == DATFILE)
        ReadParaFromFile();
    else
        PushGET(getFrom);
    return 0;
}

// The sensor takes its current measurement as set point; the parameters are read back when it
// answers. Without an answer the teach has failed, and the status line says so.
int CC_ButtonTeach(int, int, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    if (TeachSetPoint())
        PushGET(RAM);
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
    ForgetRecordingFault();
    FileSelectPopupThen(panelHandle, RecordFileFolder(ParameterFolder()), RecordFileName().c_str(), "*.csv",
                        "KORVA-TB Record File", VAL_SAVE_BUTTON, RecordFileChosen);
    return 0;
}

// A press on the evaluation-mode ring ends a running loop; the new mode is taken when the panel is
// next read.
int CC_DropDEvalmode(int, int, int event, void*, int, int)
{
    if (event == EVENT_LEFT_CLICK)
        StopLoops(LoopEnd::Setting);
    return 0;
}

// One reopen per operator choice: a ring change raises a value change and a commit, and choosing
// the same port again (to reopen it after a pulled cable) raises the commit alone. A running loop
// ends first; the port is changed once it has finished the exchange it has under way.
int CC_DropDCom(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    if (LoopRunning())
        StopLoops(LoopEnd::Setting);
    int port = 0;
    GetCtrlVal(panel, control, &port);
    ChangePort(port);
    return 0;
}

int CC_BTNFind(int, int, int event, void*, int, int)
{
    if (event == EVENT_COMMIT)
        FindSensor();
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
